#include "ExportSheet.h"

#include "FormParts.h"

#include "platform/FileManager.h"
#include "services/search/SearchService.h"
#include "store/ModelContext.h"
#include "ui/Dialogs.h"
#include "ui/components/LoadingView.h"
#include "ui/components/SecureFieldWithToggle.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ExportSheet::ExportSheet(ModelContext* context, QWidget* parent) : QDialog(parent), m_context(context)
{
    setObjectName(u"exportSheet"_s);
    setWindowTitle(u"Export"_s);
    setAccessibleName(u"Export"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(440);
    auto* layout = new QVBoxLayout(this);

    const FormParts::Section options = FormParts::section(layout, u"Options"_s);
    m_includeImages = new QCheckBox(u"Include Images"_s, options.box);
    m_includeImages->setObjectName(u"includeImagesSwitch"_s);
    m_includeImages->setAccessibleName(u"Include Images"_s);
    m_encrypt = new QCheckBox(u"Encrypt Backup"_s, options.box);
    m_encrypt->setObjectName(u"encryptBackupSwitch"_s);
    m_encrypt->setAccessibleName(u"Encrypt Backup"_s);
    m_passphrase = new SecureFieldWithToggle(u"Passphrase"_s, options.box);
    m_passphrase->setObjectName(u"passphraseField"_s);
    m_passphrase->lineEdit()->setAccessibleName(u"Passphrase"_s);
    m_passphrase->hide();
    options.rows->addRow(m_includeImages);
    options.rows->addRow(m_encrypt);
    options.rows->addRow(m_passphrase);

    // The counts as they are when the sheet opens.
    const FormParts::Section summary = FormParts::section(layout, u"Summary"_s);
    FormParts::valueRow(summary, u"Items"_s, u"itemsCount"_s)->setText(QString::number(context->items().size()));
    FormParts::valueRow(summary, u"Folders"_s, u"foldersCount"_s)->setText(QString::number(context->folders().size()));
    FormParts::valueRow(summary, u"Tags"_s, u"tagsCount"_s)->setText(QString::number(context->tags().size()));

    const FormParts::Section done = FormParts::section(layout, u"Done"_s);
    m_done = done.box;
    m_done->setObjectName(u"doneSection"_s);
    m_fileLabel = FormParts::label({}, m_done);
    m_fileLabel->setObjectName(u"exportFileLabel"_s);
    m_fileLabel->setWordWrap(true);
    m_fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    done.rows->addRow(m_fileLabel);
    auto* fileActions = new QHBoxLayout;
    QPushButton* saveAsButton = FormParts::entry(m_done, u"square.and.arrow.down"_s, u"Save As…"_s, u"saveAsButton"_s);
    QPushButton* revealButton = FormParts::entry(m_done, u"folder"_s, u"Show in Folder"_s, u"showInFolderButton"_s);
    fileActions->addWidget(saveAsButton);
    fileActions->addWidget(revealButton);
    fileActions->addStretch(1);
    done.rows->addRow(fileActions);
    m_done->hide();
    layout->addStretch(1);

    QDialogButtonBox* buttons = FormParts::buttons(this, u"Export"_s, u"exportButton"_s);
    m_export = buttons->findChild<QPushButton*>(u"exportButton"_s);
    layout->addWidget(buttons);

    m_loading = new LoadingView(u"Exporting..."_s, this);
    m_loading->setObjectName(u"exportingView"_s);
    m_loading->hide();

    connect(m_encrypt, &QCheckBox::toggled, this, [this](bool on) {
        // Switching off hides the field but keeps what was typed.
        m_passphrase->setVisible(on);
        updateState();
    });
    connect(m_passphrase, &SecureFieldWithToggle::textChanged, this, &ExportSheet::updateState);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportSheet::startExport);
    connect(saveAsButton, &QPushButton::clicked, this, &ExportSheet::saveAs);
    connect(revealButton, &QPushButton::clicked, this, &ExportSheet::showInFolder);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &ExportSheet::finishExport);
    updateState();
}

ExportSheet::~ExportSheet()
{
    // A running export finishes on its own and keeps its file.
    m_watcher.disconnect(this);
}

void ExportSheet::updateState()
{
    bool ready = !m_exporting;
    if (m_encrypt->isChecked())
        ready = ready && SearchService::userPerceivedLength(m_passphrase->text()) >= kMinimumPassphraseLength;
    m_export->setEnabled(ready);
}

void ExportSheet::startExport()
{
    if (!m_export->isEnabled())
        return;
    m_exporting = true;
    updateState();
    m_loading->show();
    m_loading->raise();
    ExportService& service = ExportService::shared();
    // An encrypted backup always carries the pictures.
    m_watcher.setFuture(m_encrypt->isChecked() ? service.backupLibrary(*m_context, m_passphrase->text())
                                               : service.exportLibrary(*m_context, m_includeImages->isChecked()));
}

void ExportSheet::finishExport()
{
    m_exporting = false;
    m_loading->hide();
    updateState();
    const ExportService::WriteResult written = m_watcher.result();
    if (!written) {
        // An earlier success's file stays offered.
        Dialogs::current().showError(this, u"Export Error"_s, written.error());
        Q_EMIT exportFinished(false);
        return;
    }
    m_result = written.value().path;
    m_fileLabel->setText(QDir::toNativeSeparators(m_result));
    m_done->show();
    Q_EMIT exportFinished(true);
}

void ExportSheet::saveAs()
{
    if (m_result.isEmpty())
        return;
    const QFileInfo written(m_result);
    const QString target = Dialogs::current().saveFile(this, u"Save As"_s, written.fileName(),
                                                       {u"*."_s + written.suffix(), u"All files (*)"_s});
    if (target.isEmpty() || QFileInfo(target) == written)
        return;
    const QString source = m_result;
    // A copy that fails half-way leaves no file, and never a broken one over
    // an earlier file of that name.
    const Status copied = ExportService::writeFileAtomically(target, [&source](QIODevice& out) -> Status {
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly))
            return Status::failure(in.errorString());
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        for (;;) {
            const qint64 got = in.read(buffer.data(), buffer.size());
            if (got < 0)
                return Status::failure(in.errorString());
            if (got == 0)
                return {};
            if (out.write(buffer.constData(), got) != got)
                return Status::failure(out.errorString());
        }
    });
    if (!copied)
        Dialogs::current().showError(this, u"Export Error"_s, copied.error());
}

void ExportSheet::showInFolder()
{
    if (m_result.isEmpty())
        return;
    if (FileManager::reveal(QUrl::fromLocalFile(m_result)) == FileManager::RevealOutcome::failed)
        Dialogs::current().showError(this, u"Export Error"_s, u"The file manager could not show the file."_s);
}
