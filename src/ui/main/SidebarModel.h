#pragma once

#include "model/SmartFolder.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

class AppState;
class Folder;
class ItemListQuery;
class ModelContext;
class Tag;

// The rows of the sidebar: the "Library" section with the six smart
// folders, the "Folders" section with the folder tree and its "New Folder"
// row, and the "Tags" section while there are tags. It follows the library
// row by row: a change inserts, removes, moves or repaints only the rows it
// touches, so the view keeps its keyboard position, expansion and scroll.
class SidebarModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Kind { Header, SmartFolderRow, FolderRow, NewFolderRow, TagRow };
    enum Role {
        KindRole = Qt::UserRole + 1,
        // The smart folder's raw value, or the folder's or tag's id.
        ValueRole,
        CountRole,
        // The smart folder or folder the list shows.
        SelectedRole,
        // A tag of the tag filter.
        CheckedRole,
        TintRole,
        IconRole,
    };
    // Items dragged out of the list: their ids, one per line.
    static QString itemsMimeType();

    SidebarModel(ModelContext* context, AppState* state, ItemListQuery* query, QObject* parent = nullptr);
    ~SidebarModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Tag rows drag out as tags; folder and tag rows take dropped items, tag
    // rows also tags.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The row of a smart folder, folder or tag; invalid when there is none.
    QModelIndex indexFor(Kind kind, const QString& value = {}) const;
    QModelIndex indexForFolder(const Folder* folder) const;
    QModelIndex indexForTag(const Tag* tag) const;
    Folder* folderAt(const QModelIndex& index) const;
    Tag* tagAt(const QModelIndex& index) const;
    std::optional<SmartFolder> smartFolderAt(const QModelIndex& index) const;
    bool isRootFolderRow(const QModelIndex& index) const;

    // Brings the rows up to date now instead of at the next turn.
    void sync();

Q_SIGNALS:
    // Items were dropped on a folder or a tag row: the view files or tags
    // them (through the main window, which may ask first).
    void itemsDropped(const QList<QUuid>& items, Folder* folder, Tag* tag);

private:
    struct Node;
    struct Wanted;
    void scheduleSync();
    Node* nodeAt(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    void reconcile(Node* parent, const std::vector<Wanted>& wanted);
    std::vector<Wanted> wantedChildren(const Node* parent) const;
    void repaint(Node* parent);

    ModelContext* m_context;
    AppState* m_state;
    ItemListQuery* m_query;
    std::unique_ptr<Node> m_root;
    QHash<QString, Node*> m_byKey;
    bool m_syncScheduled = false;
    bool m_showCounts = true;
};
