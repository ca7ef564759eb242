#pragma once

#include "AppError.h"
#include "Vocabulary.h"

#include "model/ItemType.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantList>

#include <optional>
#include <type_traits>

class Folder;
class Item;
class Tag;
class ModelContext;

// Application-wide interface state shared by every window. Each setter
// notifies only when the value really changes.
class AppState final : public QObject {
    Q_OBJECT

public:
    explicit AppState(QObject* parent = nullptr);

    // Forgets folders, items and tags as the context deletes them, so no
    // field ever points at a deleted record.
    void observe(ModelContext* context);

#define FOLIONEST_STATE_FIELD(Type, name, Setter)                                                                      \
public:                                                                                                                \
    const std::type_identity_t<Type>& name() const                                                                     \
    {                                                                                                                  \
        return m_##name;                                                                                               \
    }                                                                                                                  \
    void Setter(const std::type_identity_t<Type>& value)                                                               \
    {                                                                                                                  \
        if (m_##name == value)                                                                                         \
            return;                                                                                                    \
        m_##name = value;                                                                                              \
        Q_EMIT name##Changed();                                                                                        \
    }                                                                                                                  \
                                                                                                                       \
private:                                                                                                               \
    Type m_##name

    FOLIONEST_STATE_FIELD(Folder*, selectedFolder, setSelectedFolder) = nullptr;
    FOLIONEST_STATE_FIELD(Item*, selectedItem, setSelectedItem) = nullptr;
    FOLIONEST_STATE_FIELD(QVariantList, navigationPath, setNavigationPath);
    FOLIONEST_STATE_FIELD(QString, searchQuery, setSearchQuery);
    FOLIONEST_STATE_FIELD(QSet<Tag*>, filterTags, setFilterTags);
    FOLIONEST_STATE_FIELD(bool, showFavoritesOnly, setShowFavoritesOnly) = false;
    FOLIONEST_STATE_FIELD(SortOrder, sortOrder, setSortOrder) = SortOrder::dateAddedDescending;
    FOLIONEST_STATE_FIELD(ViewMode, viewMode, setViewMode) = ViewMode::grid;
    FOLIONEST_STATE_FIELD(std::optional<ItemType>, contentTypeFilter, setContentTypeFilter);
    FOLIONEST_STATE_FIELD(bool, isSearchFocused, setSearchFocused) = false;
    FOLIONEST_STATE_FIELD(bool, showNewFolderSheet, setShowNewFolderSheet) = false;
    FOLIONEST_STATE_FIELD(bool, showNewTagSheet, setShowNewTagSheet) = false;
    FOLIONEST_STATE_FIELD(bool, showImportSheet, setShowImportSheet) = false;
    FOLIONEST_STATE_FIELD(bool, showExportSheet, setShowExportSheet) = false;
    FOLIONEST_STATE_FIELD(bool, showSettings, setShowSettings) = false;
    FOLIONEST_STATE_FIELD(Item*, editingItem, setEditingItem) = nullptr;
    FOLIONEST_STATE_FIELD(std::optional<AppError>, currentError, setCurrentError);
    FOLIONEST_STATE_FIELD(bool, showErrorAlert, setShowErrorAlert) = false;
    FOLIONEST_STATE_FIELD(bool, isLoading, setLoading) = false;
    FOLIONEST_STATE_FIELD(QString, loadingMessage, setLoadingMessage);
    FOLIONEST_STATE_FIELD(bool, isUnlocked, setUnlocked) = true;

#undef FOLIONEST_STATE_FIELD

public:
    // Records the error and raises the alert flag.
    void showError(const AppError& error);
    // Hands what the clipboard holds to the main window, through the
    // application-wide notifications. Uses no field of the state.
    void pasteFromClipboard();

Q_SIGNALS:
    void selectedFolderChanged();
    void selectedItemChanged();
    void navigationPathChanged();
    void searchQueryChanged();
    void filterTagsChanged();
    void showFavoritesOnlyChanged();
    void sortOrderChanged();
    void viewModeChanged();
    void contentTypeFilterChanged();
    void isSearchFocusedChanged();
    void showNewFolderSheetChanged();
    void showNewTagSheetChanged();
    void showImportSheetChanged();
    void showExportSheetChanged();
    void showSettingsChanged();
    void editingItemChanged();
    void currentErrorChanged();
    void showErrorAlertChanged();
    void isLoadingChanged();
    void loadingMessageChanged();
    void isUnlockedChanged();
};
