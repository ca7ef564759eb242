#pragma once

#include "ExportData.h"
#include "ImportError.h"
#include "JsonReader.h"

#include "model/Record.h"
#include "model/Result.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Decodes an export document into its records. Every key the format
// requires must be there and every value must have its type; a failure says
// which value is wrong and where, without quoting it. Values the format
// allows to be bad are not failures: picture text that is not valid Base64
// reads as no picture. Safe on any thread.
class ExportDocumentReader {
public:
    static Result<ExportData, ImportError> read(const QByteArray& bytes);

    // The same, read from `source` piece by piece. Each item goes to
    // `takeItem` as soon as it has been read, with its place in the list,
    // and is not kept; folders and tags are. A document with two lists of
    // items is refused (the first one's are gone by the second). Whatever
    // `takeItem` throws ends the read and reaches the caller.
    using ItemSink = std::function<void(ExportedItem&& item, qsizetype index)>;
    // A picture whose text is at least kTakenPictureText bytes can go to
    // `takePicture` as soon as its text has been read, instead of into the
    // item, so its bytes never have to be held whole: the sink gets the
    // Base64 text (valid until it returns) and answers whether it took it;
    // false when the text is not strict Base64, which reads as no picture,
    // as it does in the item. The item then only notes the picture as taken
    // (imageTaken, thumbnailTaken). When a later value of the same key
    // leaves the item without a taken picture, the sink is called with no
    // text to let go of the one it took. Pictures always belong to the item
    // read next, before that item reaches `takeItem`.
    using PictureSink = std::function<bool(BlobKind kind, std::optional<QByteArrayView> base64)>;
    static constexpr qsizetype kTakenPictureText = 64 * 1024;
    static Result<ExportData, ImportError> read(JsonReader::Source source, const ItemSink& takeItem,
                                                const PictureSink& takePicture = {});

    // Standard Base64 with padding and nothing else (no line breaks, no
    // URL-safe letters); none for anything else.
    static std::optional<QByteArray> decodeBase64(QByteArrayView text);
};
