#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AppState;
class ModelContext;
class QWidget;
struct BrowserProfile;

// The operations on the whole library that the settings window's "Data"
// section and the main window's File menu offer: export (through the export
// sheet), import of an export document, restore of a backup, bookmarks in
// and out, and deleting everything.
//
// Reading and decoding run on the export service's worker with their
// progress shown (JobProgress); the records are made in one synchronous step
// on the main thread. An import or a restore called off before that step
// leaves the library exactly as it was. A failure is reported once, through
// AppState::showError, which the application shows in an alert.
class DataActions final : public QObject {
    Q_OBJECT

public:
    DataActions(ModelContext* context, AppState* state, QWidget* window);

    // Each asks what it needs (a file, a passphrase, a confirmation) and runs.
    void exportData();
    void importData();
    void restoreBackup();
    void importBookmarks();
    void exportBookmarks();
    void deleteAllData();

    // The work itself, without questions (tests and the benchmark call these).
    void importFile(const QString& path);
    void restoreFile(const QString& path, const QString& passphrase);
    void importBookmarkFile(const QString& path, bool keepDuplicates = false);
    void importBookmarkProfile(const BrowserProfile& profile, bool keepDuplicates = false);
    void exportBookmarksTo(const QString& path);
    void deleteEverything();

    // Only one job at a time; the entries are disabled meanwhile.
    bool isBusy() const { return m_busy; }

Q_SIGNALS:
    void busyChanged(bool busy);
    // A job ended: `succeeded` false after a failure or a cancel.
    void jobFinished(bool succeeded);

private:
    void decodeAndApply(const QString& path, const QString& passphrase, bool restoring);
    void begin();
    void end(bool succeeded);

    ModelContext* m_context;
    AppState* m_state;
    QPointer<QWidget> m_window;
    bool m_busy = false;
};
