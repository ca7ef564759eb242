#pragma once

#include <QByteArray>
#include <QStringView>

// Pieces of JSON text written straight into a byte buffer, for documents too
// large to build as a QJsonDocument first.
namespace JsonText {

// Appends the text as a JSON string body (no quotes), escaped exactly as
// QJsonDocument writes it: '"', '\\' and control characters escaped (\b \f
// \n \r \t, others as \u00xx), everything else as UTF-8, an unpaired
// surrogate as \uxxxx. '/' is not escaped.
void appendEscaped(QByteArray& out, QStringView text);

// Appends standard Base64 (with padding, no line breaks) of the bytes. When
// escapeSlashes is set, every '/' of the Base64 text is written as "\/".
void appendBase64(QByteArray& out, QByteArrayView bytes, bool escapeSlashes = false);

} // namespace JsonText
