#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QLocale>
#include <QMimeData>
#include <QUrl>

#include <functional>

class Item;
class MetadataService;
class ModelContext;
class QClipboard;

// What a new item becomes when the user adds a URL or a picture, and the
// clipboard intake that hands its find to the main window.
namespace ItemCreation {

struct Added {
    Item* item = nullptr;
    // Finishes when the background metadata fetch is done (or at once).
    QFuture<void> metadata;
};

// Creates, inserts and selects a web item titled with the host, then fills
// it in the background from the metadata service (none: no fetch).
Added addItemFromURL(ModelContext& context, const QUrl& url, MetadataService* metadata,
                     const std::function<void(Item*)>& select = {});
// Creates, inserts and selects a screenshot item holding the picture.
Added addItemFromImageData(ModelContext& context, const QByteArray& bytes,
                           const std::function<void(Item*)>& select = {});

// "Screenshot " and the moment in the locale's words: abbreviated month,
// day, hour (with AM/PM where the locale uses it) and minute.
QString screenshotTitle(const QDateTime& when, const QLocale& locale = QLocale());

// What the clipboard offers, in order: a URL entry, plain text that parses
// as a URL with a scheme, PNG data. Posts the matching notification; does
// nothing when none applies.
void pasteFromClipboard(const QMimeData* data);
void pasteFromClipboard(QClipboard* clipboard = nullptr);

} // namespace ItemCreation
