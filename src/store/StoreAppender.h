#pragma once

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Result.h"
#include "model/Tag.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class LibraryStore;

// Adds new records to a library file over a connection of its own, inside
// one write transaction: an item's pictures as soon as they are known, so
// nobody has to hold them, then the records themselves with their links.
// Other connections see nothing until commit(); an appender that goes away
// before that, a failure or a killed process leaves the file exactly as it
// was. The file's write lock is held from begin() to the end, so other
// processes' saves wait (and may time out) meanwhile.
class StoreAppender {
public:
    static Result<std::unique_ptr<StoreAppender>> begin(const QString& storePath);
    ~StoreAppender();
    StoreAppender(const StoreAppender&) = delete;
    StoreAppender& operator=(const StoreAppender&) = delete;

    // Writes the pictures the item holds and lets go of them; the item
    // itself comes later, with writeRecords.
    [[nodiscard]] Status writePictures(Item& item);
    // Writes a picture of `size` bytes for the item with that id (which
    // comes later) a piece at a time, so it is never held whole: `next`
    // sets the next piece, or answers false when the bytes turn out bad,
    // which leaves no picture of that kind for the item. True when written.
    using NextPiece = std::function<bool(QByteArrayView& piece)>;
    [[nodiscard]] Result<bool> writePicture(const QUuid& itemId, BlobKind kind, qsizetype size, const NextPiece& next);
    [[nodiscard]] Status removePicture(const QUuid& itemId, BlobKind kind);
    // Writes the records as new ones, with their fields and links.
    [[nodiscard]] Status writeRecords(const std::vector<std::unique_ptr<Folder>>& folders,
                                      const std::vector<std::unique_ptr<Tag>>& tags,
                                      const std::vector<std::unique_ptr<Item>>& items);
    [[nodiscard]] Status commit();

private:
    explicit StoreAppender(std::unique_ptr<LibraryStore> store);
    QString failure(const char* what) const;
    Status growCache(qsizetype pictureSize);

    std::unique_ptr<LibraryStore> m_store;
    bool m_committed = false;
    qsizetype m_cacheSize = 0; // bytes
};
