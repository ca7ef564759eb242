#pragma once

#include "services/bookmarks/BrowserProfiles.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QListWidget;
class QPushButton;

// "Import Bookmarks": one of the browser profiles found on this machine, or
// a bookmark file chosen with "Choose File…". "Keep Duplicates" imports links
// the library already holds too.
class BookmarkImportSheet final : public QDialog {
    Q_OBJECT

public:
    // The profiles to offer; by default those found on this machine.
    explicit BookmarkImportSheet(QWidget* parent = nullptr,
                                 std::optional<QList<BrowserProfile>> profiles = std::nullopt);

    QListWidget* profileList() const { return m_list; }

Q_SIGNALS:
    void fileChosen(const QString& path, bool keepDuplicates);
    void profileChosen(const BrowserProfile& profile, bool keepDuplicates);

private:
    QList<BrowserProfile> m_profiles;
    QListWidget* m_list;
    QCheckBox* m_keepDuplicates;
    QPushButton* m_import;
};
