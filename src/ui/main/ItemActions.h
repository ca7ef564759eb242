#pragma once

#include <QList>
#include <QUrl>

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
// Shows the file in the desktop's file manager.
void reveal(const QUrl& fileUrl);
// Opens the item's address with the default browser, mail program or the
// file's application when OpenPolicy allows it; otherwise says why not.
// Returns whether it was handed to the desktop.
bool open(const Item& item, QWidget* parent);
// Deletes the item, asking first when "Confirm Before Delete" is on
// (the default). Returns whether it was deleted.
bool deleteItem(ModelContext& context, Item& item, QWidget* parent);
// Deletes several items with one question. Returns how many were deleted.
int deleteItems(ModelContext& context, const QList<Item*>& items, QWidget* parent);

// Fills the shared context menu of rows and cards.
void fillContextMenu(QMenu& menu, ModelContext& context, Item& item, QWidget* parent);

} // namespace ItemActions
