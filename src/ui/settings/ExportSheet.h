#pragma once

#include "services/export/ExportService.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QString>

class LoadingView;
class ModelContext;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class SecureFieldWithToggle;

// "Export": a plain JSON export of the library (with or without pictures) or
// an encrypted backup, written off the UI thread to a new private file in the
// temporary folder. The written file can then be saved elsewhere ("Save As…")
// or shown in the file manager ("Show in Folder"). Several exports can be
// made in a row; each success replaces the file offered.
class ExportSheet final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMinimumPassphraseLength = 8;

    explicit ExportSheet(ModelContext* context, QWidget* parent = nullptr);
    ~ExportSheet() override;

    // The file the last successful export wrote; empty before.
    QString exportResult() const { return m_result; }
    bool isExporting() const { return m_exporting; }

    void startExport();
    // Copies the written file to a place the user chooses.
    void saveAs();
    void showInFolder();

Q_SIGNALS:
    // After every export, for tests: true when a file was written.
    void exportFinished(bool succeeded);

private:
    void updateState();
    void finishExport();

    ModelContext* m_context;
    QCheckBox* m_includeImages;
    QCheckBox* m_encrypt;
    SecureFieldWithToggle* m_passphrase;
    QGroupBox* m_done;
    QLabel* m_fileLabel;
    QPushButton* m_export;
    LoadingView* m_loading;
    QFutureWatcher<ExportService::WriteResult> m_watcher;
    bool m_exporting = false;
    QString m_result;
};
