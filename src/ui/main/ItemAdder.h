#pragma once

#include <QObject>
#include <QUrl>

#include <functional>

class Item;
class MetadataService;
class ModelContext;
class QMimeData;
class QWidget;

// Every way the main window adds items: URLs, pictures, files, the
// clipboard and drops. Each one creates the item and selects it.
class ItemAdder final : public QObject {
    Q_OBJECT

public:
    ItemAdder(ModelContext* context, QWidget* window, std::function<void(Item*)> select,
              MetadataService* metadata = nullptr, QObject* parent = nullptr);

    Item* addItemFromURL(const QUrl& url);
    Item* addItemFromImageData(const QByteArray& bytes);
    // A file by its URL, titled with its name without the final extension;
    // pictures also keep their bytes.
    Item* addItemFromFile(const QUrl& fileUrl);
    // "Add Image from File": a picture file, titled with its name; anything
    // else is refused with a message. Returns the new item or null.
    Item* addItemFromImageFile(const QString& path);
    static constexpr qint64 kMaxImageFileBytes = 100 * 1024 * 1024;

    // "Paste from Clipboard": URL text, else PNG, else TIFF.
    void pasteClipboardItem();
    void chooseImage();
    void chooseDocument();
    // Links, files, text and pictures dropped on the middle column. Returns
    // whether anything was offered at all.
    bool handleDrop(const QMimeData* data);
    static bool canAccept(const QMimeData* data);

    MetadataService* metadataService() const { return m_metadata; }

private:
    ModelContext* m_context;
    QWidget* m_window;
    std::function<void(Item*)> m_select;
    MetadataService* m_metadata;
};
