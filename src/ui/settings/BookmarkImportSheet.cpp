#include "BookmarkImportSheet.h"

#include "FormParts.h"

#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

BookmarkImportSheet::BookmarkImportSheet(QWidget* parent, std::optional<QList<BrowserProfile>> profiles)
    : QDialog(parent), m_profiles(profiles ? *profiles : BrowserProfiles::discover())
{
    setObjectName(u"bookmarkImportSheet"_s);
    setWindowTitle(u"Import Bookmarks"_s);
    setAccessibleName(u"Import Bookmarks"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(440);
    auto* layout = new QVBoxLayout(this);

    const FormParts::Section section =
        FormParts::section(layout, u"Browser Profiles"_s,
                           u"Links the library already holds are skipped unless duplicates are kept. Folders "
                           u"of the same name are reused."_s);
    m_list = new QListWidget(section.box);
    m_list->setObjectName(u"profileList"_s);
    m_list->setAccessibleName(u"Browser Profiles"_s);
    for (const BrowserProfile& profile : std::as_const(m_profiles)) {
        QString text = profile.browser + u" — "_s + profile.name;
        if (profile.isDefault)
            text += u" (default)"_s;
        auto* row = new QListWidgetItem(text, m_list);
        row->setToolTip(profile.path);
    }
    if (m_profiles.isEmpty()) {
        auto* none = new QListWidgetItem(u"No browser profiles with bookmarks were found."_s, m_list);
        none->setFlags(Qt::NoItemFlags);
    } else {
        m_list->setCurrentRow(0);
    }
    section.rows->addRow(m_list);
    m_keepDuplicates = new QCheckBox(u"Keep Duplicates"_s, section.box);
    m_keepDuplicates->setObjectName(u"keepDuplicatesSwitch"_s);
    m_keepDuplicates->setAccessibleName(u"Keep Duplicates"_s);
    section.rows->addRow(m_keepDuplicates);

    QDialogButtonBox* buttons = FormParts::buttons(this, u"Import"_s, u"importButton"_s);
    m_import = buttons->findChild<QPushButton*>(u"importButton"_s);
    QPushButton* file = buttons->addButton(u"Choose File…"_s, QDialogButtonBox::ActionRole);
    file->setObjectName(u"chooseFileButton"_s);
    file->setAccessibleName(u"Choose File…"_s);
    file->setAutoDefault(false);
    layout->addWidget(buttons);
    m_import->setEnabled(!m_profiles.isEmpty());

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const int row = m_list->currentRow();
        if (row < 0 || row >= m_profiles.size())
            return;
        const BrowserProfile profile = m_profiles.at(row);
        const bool keep = m_keepDuplicates->isChecked();
        accept();
        Q_EMIT profileChosen(profile, keep);
    });
    connect(m_list, &QListWidget::itemActivated, m_import, &QPushButton::click);
    connect(file, &QPushButton::clicked, this, [this] {
        const QString path = Dialogs::current().openFile(this, u"Import Bookmarks"_s,
                                                         {u"Bookmark files (*.html *.htm)"_s, u"All files (*)"_s});
        if (path.isEmpty())
            return;
        const bool keep = m_keepDuplicates->isChecked();
        accept();
        Q_EMIT fileChosen(path, keep);
    });
}
