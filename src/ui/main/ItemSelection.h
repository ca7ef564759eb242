#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

class AppState;
class Item;
class ItemListModel;
class ModelContext;
class QItemSelectionModel;

// The main window's item selection, the one place that holds it. It keeps
// the selected items by id, so a new list (another search, another process's
// change) selects the same items again wherever they are still listed. The
// list and the grid share its selection model; AppState::selectedItem follows
// its current item.
class ItemSelection final : public QObject {
    Q_OBJECT

public:
    ItemSelection(ModelContext* context, AppState* state, ItemListModel* model, QObject* parent = nullptr);

    QItemSelectionModel* selectionModel() const { return m_selectionModel; }
    // The item of the keyboard position; the detail pane's item when it is
    // the only one selected.
    Item* current() const;
    // The selected items that the list shows, in list order.
    QList<Item*> selectedItems() const;
    int count() const { return int(selectedItems().size()); }
    bool contains(const Item* item) const;

    // Selects only this item (none: clears) and makes it current.
    void select(Item* item);
    void selectAll();
    void clear();

Q_SIGNALS:
    // The selected set or the current item changed.
    void changed();

private:
    void restore();
    void takeFromModel();
    void announce();

    ModelContext* m_context;
    AppState* m_state;
    ItemListModel* m_model;
    QItemSelectionModel* m_selectionModel;
    QSet<QUuid> m_ids;
    QUuid m_current;
    // While the model changes or the selection is put back, the selection
    // model's own signals say nothing about what the user chose.
    bool m_restoring = false;
};
