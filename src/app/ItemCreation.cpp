#include "ItemCreation.h"

#include "AppNotifications.h"

#include "model/Clock.h"
#include "model/Item.h"
#include "services/metadata/MetadataService.h"
#include "services/metadata/ThumbnailService.h"
#include "store/ModelContext.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace ItemCreation {

Added addItemFromURL(ModelContext& context, const QUrl& url, MetadataService* metadata,
                     const std::function<void(Item*)>& select)
{
    const QString host = url.host();
    auto owned = std::make_unique<Item>(ItemTypes::detect(url), host.isEmpty() ? u"Untitled"_s : host, url);
    Item* item = context.insert(std::move(owned));
    if (select)
        select(item);
    Added added{item, QtFuture::makeReadyFuture()};
    if (metadata)
        added.metadata = metadata->applyFetchedMetadata(context, *item, url);
    return added;
}

Added addItemFromImageData(ModelContext& context, const QByteArray& bytes, const std::function<void(Item*)>& select)
{
    auto owned = std::make_unique<Item>(ItemType::screenshot, screenshotTitle(Clock::now()));
    owned->setImage(bytes);
    owned->setThumbnail(bytes);
    // Bytes that are no picture at all are still kept, as the user gave them.
    if (!owned->hasImage() && !bytes.isEmpty() && bytes.size() <= 10'485'760)
        owned->setImageData(bytes);
    Item* item = context.insert(std::move(owned));
    if (select)
        select(item);
    return {item, QtFuture::makeReadyFuture()};
}

QString screenshotTitle(const QDateTime& when, const QLocale& locale)
{
    // Month and day in the order of the locale's short date, then its short
    // time, which carries the AM/PM marker where the locale uses one.
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype month = shortDate.indexOf(u'M');
    const qsizetype day = shortDate.indexOf(u'd');
    const QString monthDay = (month >= 0 && day >= 0 && day < month) ? u"d MMM"_s : u"MMM d"_s;
    // Hours and minutes only: drop seconds and time-zone fields some
    // locales put in their short time.
    QString time = locale.timeFormat(QLocale::ShortFormat);
    time.remove(QRegularExpression(u"[:.]?s+"_s));
    time.remove(QRegularExpression(u"\\s*t+"_s));
    time = time.trimmed();
    return u"Screenshot "_s + locale.toString(when.toLocalTime(), monthDay + u", "_s + time);
}

bool isUsableURL(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty();
}

ClipboardFind findInClipboard(const QMimeData* data, ClipboardRules rules)
{
    if (!data)
        return {};
    if (rules == ClipboardRules::menuCommand && data->hasUrls()) {
        const QUrl url = data->urls().value(0);
        if (url.isValid() && !url.isEmpty())
            return {url, {}};
    }
    // A bare domain has no scheme and is not taken as a URL.
    if (data->hasText() && isUsableURL(data->text()))
        return {QUrl(data->text(), QUrl::StrictMode), {}};
    if (QByteArray png = data->data(u"image/png"_s); !png.isEmpty())
        return {{}, std::move(png)};
    if (rules == ClipboardRules::addMenu) {
        // The header tells whether TIFF bytes are a picture; nothing is
        // decoded here on the main thread.
        if (QByteArray tiff = data->data(u"image/tiff"_s); !tiff.isEmpty() && ThumbnailService::isImage(tiff))
            return {{}, std::move(tiff)};
    }
    return {};
}

void pasteFromClipboard(const QMimeData* data)
{
    const ClipboardFind find = findInClipboard(data, ClipboardRules::menuCommand);
    if (!find.url.isEmpty())
        Q_EMIT AppNotifications::instance().createItemFromURL(find.url);
    else if (!find.imageBytes.isEmpty())
        Q_EMIT AppNotifications::instance().createItemFromImageData(find.imageBytes);
}

void pasteFromClipboard(QClipboard* clipboard)
{
    if (!clipboard)
        clipboard = QGuiApplication::clipboard();
    if (clipboard)
        pasteFromClipboard(clipboard->mimeData());
}

} // namespace ItemCreation
