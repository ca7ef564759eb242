#include "ItemActions.h"

#include "app/AppNotifications.h"
#include "app/OpenPolicy.h"
#include "model/Clock.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/FileManager.h"
#include "platform/Settings.h"
#include "platform/Symbols.h"
#include "services/metadata/PictureDecoder.h"
#include "store/ModelContext.h"
#include "ui/Dialogs.h"
#include "ui/Style.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace ItemActions {

std::optional<QUrl> parsedUrl(const Item& item)
{
    if (!item.urlString())
        return std::nullopt;
    const QUrl url(*item.urlString(), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return url;
}

void copyLink(const Item& item)
{
    if (const auto url = parsedUrl(item)) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(url->toString(QUrl::FullyEncoded));
        Q_EMIT AppNotifications::instance().confirmation(u"Link Copied"_s);
    }
}

bool copyPicture(const Item& item)
{
    // The full picture when there is one, else the thumbnail; decoded
    // within the usual budget, at most at a large screen's size.
    for (const auto& bytes : {item.hasImage() ? item.imageData() : std::nullopt,
                              item.hasThumbnail() ? item.thumbnailData() : std::nullopt}) {
        if (!bytes)
            continue;
        const QImage image = PictureDecoder::decode(*bytes, QSize(4096, 4096), PictureDecoder::Fit::inside);
        if (image.isNull())
            continue;
        QGuiApplication::clipboard()->setImage(image);
        Q_EMIT AppNotifications::instance().confirmation(u"Picture Copied"_s);
        return true;
    }
    return false;
}

void reveal(const QUrl& fileUrl)
{
    (void)FileManager::reveal(fileUrl);
}

bool open(Item& item, QWidget* parent)
{
    const auto url = parsedUrl(item);
    if (!url)
        return false;
    const OpenPolicy::Verdict verdict = OpenPolicy::check(item, *url);
    if (!verdict.allowed) {
        Dialogs::current().showError(parent, u"Cannot Open"_s, verdict.reason);
        return false;
    }
    if (!QDesktopServices::openUrl(*url))
        return false;
    item.setAccessedAt(Clock::now());
    item.setRead(true);
    return true;
}

bool deleteItem(ModelContext& context, Item& item, QWidget* parent)
{
    if (Settings::boolValue(SettingsKey::confirmBeforeDelete, true)) {
        const QUuid id = item.id();
        const bool confirmed = Dialogs::current().confirm(
            parent, u"Delete Item"_s,
            u"Delete “%1”? This cannot be undone."_s.arg(
                item.title().isEmpty() ? u"Untitled"_s : Style::displayText(item.title(), 200)),
            u"Delete"_s);
        // The item may have gone while the question was open.
        if (!confirmed || !context.item(id))
            return false;
    }
    context.remove(&item);
    return true;
}

int deleteItems(ModelContext& context, const QList<Item*>& items, QWidget* parent)
{
    QList<QUuid> ids;
    for (const Item* item : items)
        ids.append(item->id());
    if (ids.size() > 1 && Settings::boolValue(SettingsKey::confirmBeforeDelete, true)) {
        if (!Dialogs::current().confirm(parent, u"Delete Items"_s,
                                        u"Delete %1 items? This cannot be undone."_s.arg(ids.size()), u"Delete"_s))
            return 0;
    } else if (ids.size() == 1) {
        Item* item = context.item(ids.first());
        return item && deleteItem(context, *item, parent) ? 1 : 0;
    }
    int deleted = 0;
    // Found again by id: some may have gone while the question was open.
    for (const QUuid& id : std::as_const(ids)) {
        if (Item* item = context.item(id)) {
            context.remove(item);
            ++deleted;
        }
    }
    return deleted;
}

bool isWebItem(const Item& item)
{
    const auto url = parsedUrl(item);
    return url && (url->scheme() == u"http" || url->scheme() == u"https");
}

void fillContextMenu(QMenu& menu, ModelContext& context, Item& item, QWidget* parent,
                     const std::function<void(Item&)>& refreshMetadata)
{
    const QUuid id = item.id();
    QPointer<ModelContext> ctx(&context);
    // Every action finds the item again: it may be gone by the time it runs.
    auto withItem = [ctx, id](auto&& f) {
        return [ctx, id, f] {
            if (Item* found = ctx ? ctx->item(id) : nullptr)
                f(*found);
        };
    };

    QMenu* tags = menu.addMenu(u"Tags"_s);
    tags->setObjectName(u"tagsMenu"_s);
    const QList<Tag*> all = context.fetchTags(Tag::displayOrder);
    for (Tag* tag : all) {
        const bool carries = item.hasTag(tag->id());
        const QUuid tagId = tag->id();
        tags->addAction(Symbols::icon(carries ? u"checkmark"_s : u"circle"_s), Style::mnemonicSafe(tag->name()),
                        withItem([ctx, tagId, carries](Item& i) {
                            Tag* t = ctx ? ctx->tag(tagId) : nullptr;
                            if (!t)
                                return;
                            if (carries)
                                i.removeTag(t);
                            else
                                i.addTag(t);
                        }));
    }
    if (item.isFavorite())
        menu.addAction(Symbols::icon(u"star.slash"_s), u"Remove from Favorites"_s,
                       withItem([](Item& i) { i.toggleFavorite(); }));
    else
        menu.addAction(Symbols::icon(u"star"_s), u"Add to Favorites"_s, withItem([](Item& i) { i.toggleFavorite(); }));
    if (const auto url = parsedUrl(item)) {
        menu.addAction(Symbols::icon(u"doc.on.doc"_s), u"Copy Link"_s, withItem([](Item& i) { copyLink(i); }));
        if (url->isLocalFile())
            menu.addAction(Symbols::icon(u"folder"_s), u"Show in Folder"_s, [url = *url] { reveal(url); });
        else
            menu.addAction(Symbols::icon(u"safari"_s), u"Open in Browser"_s,
                           withItem([owner = QPointer<QWidget>(parent)](Item& i) { open(i, owner); }));
    }
    if (item.hasImage() || item.hasThumbnail())
        menu.addAction(Symbols::icon(u"photo"_s), u"Copy Picture"_s, withItem([](Item& i) { copyPicture(i); }));
    if (refreshMetadata && isWebItem(item))
        menu.addAction(Symbols::icon(u"arrow.clockwise"_s), u"Refresh Metadata"_s,
                       withItem([refreshMetadata](Item& i) { refreshMetadata(i); }))
            ->setObjectName(u"refreshMetadataAction"_s);
    menu.addSeparator();
    if (item.isArchived())
        menu.addAction(Symbols::icon(u"tray.and.arrow.up"_s), u"Unarchive"_s,
                       withItem([](Item& i) { i.toggleArchived(); }));
    else
        menu.addAction(Symbols::icon(u"archivebox"_s), u"Archive"_s, withItem([](Item& i) { i.toggleArchived(); }));
    QPointer<QWidget> owner(parent);
    QAction* remove = menu.addAction(Symbols::icon(u"trash"_s, QColor(0xFF, 0x3B, 0x30)), u"Delete"_s,
                                     withItem([ctx, owner](Item& i) {
                                         if (ctx)
                                             deleteItem(*ctx, i, owner);
                                     }));
    remove->setObjectName(u"deleteAction"_s);
}

} // namespace ItemActions
