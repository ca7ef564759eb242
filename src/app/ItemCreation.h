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

// A text is a usable URL when it parses unchanged (no trimming) and the URL
// has a scheme: the URL sheet, the clipboard and dropped text all ask this.
bool isUsableURL(const QString& text);

// Which clipboard rules apply: the menu command and the tray's "Paste from
// Clipboard" take a URL entry, URL text or PNG; the main window's add menu
// takes URL text, PNG or TIFF that is a picture.
enum class ClipboardRules { menuCommand, addMenu };

// What the clipboard offers under those rules: a URL, or picture bytes, or
// neither (both empty).
struct ClipboardFind {
    QUrl url;
    QByteArray imageBytes;
};
ClipboardFind findInClipboard(const QMimeData* data, ClipboardRules rules);

// The menu command: posts the notification matching what the clipboard
// offers; does nothing when none applies.
void pasteFromClipboard(const QMimeData* data);
void pasteFromClipboard(QClipboard* clipboard = nullptr);

} // namespace ItemCreation
