#include "ItemAdder.h"

#include "app/ItemCreation.h"
#include "model/Item.h"
#include "services/metadata/MetadataService.h"
#include "services/metadata/ThumbnailService.h"
#include "store/ModelContext.h"
#include "ui/Dialogs.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>

using namespace Qt::StringLiterals;

ItemAdder::ItemAdder(ModelContext* context, QWidget* window, std::function<void(Item*)> select,
                     MetadataService* metadata, QObject* parent)
    : QObject(parent), m_context(context), m_window(window), m_select(std::move(select)),
      m_metadata(metadata ? metadata : &MetadataService::shared())
{}

Item* ItemAdder::addItemFromURL(const QUrl& url)
{
    return ItemCreation::addItemFromURL(*m_context, url, m_metadata, m_select).item;
}

Item* ItemAdder::addItemFromImageData(const QByteArray& bytes)
{
    return ItemCreation::addItemFromImageData(*m_context, bytes, m_select).item;
}

Item* ItemAdder::addItemFromFile(const QUrl& fileUrl)
{
    const ItemType type = ItemTypes::detect(fileUrl);
    const QString title = QFileInfo(fileUrl.path()).completeBaseName();
    auto owned = std::make_unique<Item>(type, title, fileUrl);
    if (type == ItemType::image || type == ItemType::screenshot) {
        QFile file(fileUrl.toLocalFile());
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            owned->setImage(bytes);
            owned->setThumbnail(bytes);
        }
    }
    Item* item = m_context->insert(std::move(owned));
    if (m_select)
        m_select(item);
    return item;
}

void ItemAdder::pasteClipboardItem()
{
    const auto find =
        ItemCreation::findInClipboard(QGuiApplication::clipboard()->mimeData(), ItemCreation::ClipboardRules::addMenu);
    if (!find.url.isEmpty())
        addItemFromURL(find.url);
    else if (!find.imageBytes.isEmpty())
        addItemFromImageData(find.imageBytes);
}

void ItemAdder::chooseImage()
{
    const QString path = Dialogs::current().openFile(
        m_window, u"Add Image from File"_s, {u"Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.tif *.tiff *.heic)"_s});
    if (path.isEmpty())
        return;
    addItemFromImageFile(path);
}

Item* ItemAdder::addItemFromImageFile(const QString& path)
{
    // A picture keeps its file's name as its title; a file that is not one
    // (or cannot be read) is refused with the reason.
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        Dialogs::current().showError(m_window, u"Cannot Add Image"_s,
                                     u"“%1” could not be read: %2"_s.arg(name, file.errorString()));
        return nullptr;
    }
    if (file.size() > kMaxImageFileBytes) {
        Dialogs::current().showError(m_window, u"Cannot Add Image"_s,
                                     u"“%1” is larger than %2 MB."_s.arg(name).arg(kMaxImageFileBytes >> 20));
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    if (!ThumbnailService::isImage(bytes)) {
        Dialogs::current().showError(m_window, u"Cannot Add Image"_s, u"“%1” is not a picture."_s.arg(name));
        return nullptr;
    }
    Item* item = addItemFromImageData(bytes);
    if (item && !QFileInfo(path).completeBaseName().isEmpty())
        item->setTitle(QFileInfo(path).completeBaseName());
    return item;
}

void ItemAdder::chooseDocument()
{
    const QString path = Dialogs::current().openFile(
        m_window, u"Add Document from File"_s,
        {u"Documents (*.pdf *.txt *.md *.rtf *.doc *.docx *.odt *.pages *.xls *.xlsx *.ods *.numbers *.csv *.ppt "
         u"*.pptx "
         "*.odp *.key *.html *.htm *.c *.h *.cpp *.hpp *.py *.js *.ts *.swift *.java *.kt *.rs *.go *.rb *.php *.sh "
         "*.json *.xml *.yml *.yaml *.toml *.sql *.css *.scss *.tex)"_s,
         u"PDF (*.pdf)"_s, u"Plain Text (*.txt *.md)"_s});
    if (!path.isEmpty())
        addItemFromFile(QUrl::fromLocalFile(path));
}

bool ItemAdder::canAccept(const QMimeData* data)
{
    return data && (data->hasUrls() || data->hasText() || data->hasImage());
}

bool ItemAdder::handleDrop(const QMimeData* data)
{
    if (!canAccept(data))
        return false;
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                addItemFromFile(url);
            else if (url.isValid() && !url.scheme().isEmpty())
                addItemFromURL(url);
        }
        return true;
    }
    if (data->hasText()) {
        // Several links, one per line, become several items.
        const QStringList lines = data->text().split(u'\n', Qt::SkipEmptyParts);
        bool any = false;
        for (const QString& line : lines) {
            const QString text = line.endsWith(u'\r') ? line.chopped(1) : line;
            if (ItemCreation::isUsableURL(text)) {
                addItemFromURL(QUrl(text, QUrl::StrictMode));
                any = true;
            }
        }
        if (any || !data->hasImage())
            return true;
    }
    if (data->hasImage()) {
        // Encoded bytes as the source gave them, else the picture as PNG.
        for (const QString& format : {u"image/png"_s, u"image/jpeg"_s, u"image/tiff"_s, u"image/gif"_s}) {
            if (const QByteArray bytes = data->data(format); !bytes.isEmpty()) {
                addItemFromImageData(bytes);
                return true;
            }
        }
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull()) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter(&buffer, "png").write(image);
            addItemFromImageData(png);
        }
    }
    return true;
}
