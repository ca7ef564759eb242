#pragma once

#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

class Item;
class ModelContext;
class QMenu;
class QWidget;

// What the user can do to one item from a context menu or the detail pane.
namespace ItemActions {

// The item's URL when its text parses as one.
std::optional<QUrl> parsedUrl(const Item& item);
void copyLink(const Item& item);
// Puts the item's picture on the clipboard; false when it has none that
// decodes.
bool copyPicture(const Item& item);
// An http or https link: one whose page can be fetched again.
bool isWebItem(const Item& item);
// Shows the file in the desktop's file manager.
void reveal(const QUrl& fileUrl);
// Opens the item's address with the default browser, mail program or the
// file's application when OpenPolicy allows it; otherwise says why not.
// Returns whether it was handed to the desktop; an opened item counts as
// viewed.
bool open(Item& item, QWidget* parent);
// Deletes the item, asking first when "Confirm Before Delete" is on
// (the default). Returns whether it was deleted.
bool deleteItem(ModelContext& context, Item& item, QWidget* parent);
// Deletes several items with one question. Returns how many were deleted.
int deleteItems(ModelContext& context, const QList<Item*>& items, QWidget* parent);

// Fills the shared context menu of rows and cards.
// `refreshMetadata`, when given, is offered as "Refresh Metadata" on web
// items.
void fillContextMenu(QMenu& menu, ModelContext& context, Item& item, QWidget* parent,
                     const std::function<void(Item&)>& refreshMetadata = {});

} // namespace ItemActions
