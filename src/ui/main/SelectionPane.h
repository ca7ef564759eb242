#pragma once

#include <QList>
#include <QSet>
#include <QUuid>
#include <QWidget>

class Item;
class ModelContext;
class QLabel;
class QToolButton;
class QPushButton;

// The detail column while several items are selected: how many, and what
// can be done to all of them at once (file, tag, untag, favourite, archive,
// delete). Each command is one edit of every selected item.
class SelectionPane final : public QWidget {
    Q_OBJECT

public:
    explicit SelectionPane(ModelContext* context, QWidget* parent = nullptr);

    void setItems(const QList<Item*>& items);
    QList<Item*> items() const;

    // The commands, also for tests: each acts on the selected items.
    void moveTo(const QUuid& folderId);
    void addTag(const QUuid& tagId);
    void removeTag(const QUuid& tagId);
    void toggleFavorite();
    void toggleArchived();

Q_SIGNALS:
    void deleteRequested();

private:
    void refresh();
    void scheduleRefresh();
    void fillFolderMenu();
    void fillTagMenu(bool adding);

    ModelContext* m_context;
    QList<QUuid> m_ids;
    QSet<QUuid> m_idSet;
    bool m_refreshPending = false;
    QLabel* m_title = nullptr;
    QLabel* m_summary = nullptr;
    QToolButton* m_folderButton = nullptr;
    QToolButton* m_addTagButton = nullptr;
    QToolButton* m_removeTagButton = nullptr;
    QPushButton* m_favoriteButton = nullptr;
    QPushButton* m_archiveButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
};
