#pragma once

#include "ExportData.h"
#include "ImportError.h"

#include "model/Result.h"

#include <QByteArray>
#include <QByteArrayView>

// Decodes an export document into its records. Every key the format
// requires must be there and every value must have its type; a failure says
// which value is wrong and where, without quoting it. Values the format
// allows to be bad are not failures: picture text that is not valid Base64
// reads as no picture. Safe on any thread.
class ExportDocumentReader {
public:
    static Result<ExportData, ImportError> read(const QByteArray& bytes);

    // Standard Base64 with padding and nothing else (no line breaks, no
    // URL-safe letters); none for anything else.
    static std::optional<QByteArray> decodeBase64(QByteArrayView text);
};
