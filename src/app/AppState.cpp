#include "AppState.h"

#include "ItemCreation.h"

#include "store/ModelContext.h"

AppState::AppState(QObject* parent) : QObject(parent) {}

void AppState::showError(const AppError& error)
{
    // A second identical error still raises the alert again.
    setCurrentError(error);
    setShowErrorAlert(true);
}

void AppState::pasteFromClipboard()
{
    ItemCreation::pasteFromClipboard();
}

void AppState::observe(ModelContext* context)
{
    connect(context, &ModelContext::folderAboutToBeRemoved, this, [this](Folder* folder) {
        if (m_selectedFolder == folder)
            setSelectedFolder(nullptr);
    });
    connect(context, &ModelContext::itemAboutToBeRemoved, this, [this](Item* item) {
        if (m_selectedItem == item)
            setSelectedItem(nullptr);
        if (m_editingItem == item)
            setEditingItem(nullptr);
    });
    connect(context, &ModelContext::allAboutToBeRemoved, this, [this] {
        setSelectedFolder(nullptr);
        setSelectedItem(nullptr);
        setEditingItem(nullptr);
        setFilterTags({});
    });
    connect(context, &ModelContext::tagAboutToBeRemoved, this, [this](Tag* tag) {
        if (m_filterTags.contains(tag)) {
            QSet<Tag*> tags = m_filterTags;
            tags.remove(tag);
            setFilterTags(tags);
        }
    });
}
