#include "SettingsWindow.h"

#include "DataActions.h"
#include "FormParts.h"
#include "PrivacyPage.h"

#include "app/Vocabulary.h"
#include "model/AppConstants.h"
#include "platform/Settings.h"
#include "platform/Symbols.h"
#include "services/security/SecurityService.h"
#include "store/ModelContext.h"
#include "ui/Style.h"
#include "ui/sheets/TagManagementView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The badge and the name at the top.
QWidget* identityRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setAccessibleName(u"Folionest, Privacy-First Reference Library"_s);
    auto* layout = new QHBoxLayout(row);
    layout->setSpacing(16);
    auto* badge = new QLabel(row);
    badge->setFixedSize(56, 56);
    badge->setAlignment(Qt::AlignCenter);
    const QColor accent = Style::accent(badge->palette());
    badge->setPixmap(Symbols::icon(u"square.grid.2x2.fill"_s, accent).pixmap(36, 36));
    const QColor fill = Style::withOpacity(accent, 0.12);
    badge->setStyleSheet(u"background-color: rgba(%1, %2, %3, %4); border-radius: 14px;"_s.arg(fill.red())
                             .arg(fill.green())
                             .arg(fill.blue())
                             .arg(fill.alphaF()));
    layout->addWidget(badge);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    QLabel* name = FormParts::label(u"Folionest"_s, row);
    name->setFont(Style::font(Style::Text::title2, QFont::DemiBold));
    QLabel* tagline = FormParts::label(u"Privacy-First Reference Library"_s, row);
    tagline->setFont(Style::font(Style::Text::subheadline));
    QPalette palette = tagline->palette();
    palette.setColor(QPalette::WindowText, Style::secondaryText(palette));
    tagline->setPalette(palette);
    texts->addStretch(1);
    texts->addWidget(name);
    texts->addWidget(tagline);
    texts->addStretch(1);
    layout->addLayout(texts, 1);
    return row;
}

QCheckBox* preferenceSwitch(const FormParts::Section& section, const QString& text, const QString& objectName,
                            SettingsKey key, bool defaultValue)
{
    auto* box = new QCheckBox(FormParts::literal(text), section.box);
    box->setObjectName(objectName);
    box->setAccessibleName(text);
    box->setChecked(Settings::boolValue(key, defaultValue));
    QObject::connect(box, &QCheckBox::toggled, box, [key](bool on) { Settings::setValue(key, on); });
    section.rows->addRow(box);
    return box;
}

} // namespace

SettingsWindow::SettingsWindow(ModelContext* context, AppState* state, QWidget* parent, SecurityService* security)
    : QWidget(parent, Qt::Window), m_context(context), m_state(state),
      m_security(security ? *security : SecurityService::shared())
{
    setObjectName(u"settings"_s);
    setWindowTitle(u"Settings"_s);
    resize(560, 480);
    m_actions = new DataActions(context, state, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_navigation = new QWidget(this);
    auto* navigation = new QHBoxLayout(m_navigation);
    m_back = new QToolButton(m_navigation);
    m_back->setObjectName(u"backButton"_s);
    m_back->setText(u"Settings"_s);
    m_back->setAccessibleName(u"Back to Settings"_s);
    m_back->setIcon(Symbols::icon(u"chevron.left"_s));
    m_back->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back->setAutoRaise(true);
    m_pageTitle = FormParts::label({}, m_navigation);
    m_pageTitle->setObjectName(u"pageTitle"_s);
    m_pageTitle->setFont(Style::font(Style::Text::headline, QFont::DemiBold));
    m_pageTitle->setAlignment(Qt::AlignCenter);
    navigation->addWidget(m_back);
    navigation->addWidget(m_pageTitle, 1);
    navigation->addSpacing(m_back->sizeHint().width());
    layout->addWidget(m_navigation);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(u"pages"_s);
    layout->addWidget(m_pages, 1);
    m_settingsPage = buildSettingsPage();
    m_pages->addWidget(m_settingsPage);
    auto* privacyScroll = new QScrollArea(m_pages);
    privacyScroll->setWidgetResizable(true);
    privacyScroll->setFrameShape(QFrame::NoFrame);
    m_privacy = new PrivacyPage(m_security, privacyScroll);
    privacyScroll->setWidget(m_privacy);
    m_pages->addWidget(privacyScroll);
    m_tags = new TagManagementView(context, m_pages);
    m_pages->addWidget(m_tags);

    connect(m_back, &QToolButton::clicked, this, &SettingsWindow::showSettingsPage);
    for (const QKeySequence& key : {QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Escape)}) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &SettingsWindow::showSettingsPage);
    }
    connect(context, &ModelContext::changed, this, &SettingsWindow::refreshCounts);
    connect(&SettingsNotifier::instance(), &SettingsNotifier::valueChanged, this, [this](SettingsKey key) {
        if (key == SettingsKey::encryptionEnabled)
            refreshEncryption();
    });
    refreshCounts();
    refreshEncryption();
    showSettingsPage();
}

QWidget* SettingsWindow::buildSettingsPage()
{
    auto* scroll = new QScrollArea(m_pages);
    scroll->setObjectName(u"settingsPage"_s);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget(scroll);
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(8);
    layout->addWidget(identityRow(page));

    const FormParts::Section library = FormParts::section(layout, u"Library"_s);
    m_items = FormParts::valueRow(library, u"Items"_s, u"itemsCount"_s);
    m_folders = FormParts::valueRow(library, u"Folders"_s, u"foldersCount"_s);
    m_tagCount = FormParts::valueRow(library, u"Tags"_s, u"tagsCount"_s);

    const FormParts::Section security = FormParts::section(
        layout, u"Security"_s, u"All data stays on your device. Encryption adds an extra layer of protection."_s);
    m_encryption = FormParts::valueRow(security, u"Encryption"_s, u"encryptionState"_s);
    QPushButton* privacy =
        FormParts::entry(security.box, u"lock.shield.fill"_s, u"Privacy & Security"_s, u"privacyEntry"_s);
    security.rows->addRow(privacy);
    connect(privacy, &QPushButton::clicked, this, &SettingsWindow::showPrivacyPage);

    const FormParts::Section dataSection = FormParts::section(layout, u"Data"_s);
    auto addEntry = [&](const QString& symbol, const QString& text, const QString& name, auto slot) {
        QPushButton* button = FormParts::entry(dataSection.box, symbol, text, name);
        dataSection.rows->addRow(button);
        connect(button, &QPushButton::clicked, this, slot);
        return button;
    };
    addEntry(u"tag.fill"_s, u"Manage Tags"_s, u"manageTagsEntry"_s, &SettingsWindow::showTagManagement);
    const QList<QPushButton*> jobs = {
        addEntry(u"square.and.arrow.up"_s, u"Export Data"_s, u"exportDataButton"_s,
                 [this] { m_actions->exportData(); }),
        addEntry(u"square.and.arrow.down"_s, u"Import Data"_s, u"importDataButton"_s,
                 [this] { m_actions->importData(); }),
        addEntry(u"clock.arrow.circlepath"_s, u"Restore Backup…"_s, u"restoreBackupButton"_s,
                 [this] { m_actions->restoreBackup(); }),
        addEntry(u"bookmark"_s, u"Import Bookmarks…"_s, u"importBookmarksButton"_s,
                 [this] { m_actions->importBookmarks(); }),
        addEntry(u"bookmark"_s, u"Export Bookmarks…"_s, u"exportBookmarksButton"_s,
                 [this] { m_actions->exportBookmarks(); }),
    };
    QPushButton* deleteAll =
        addEntry(u"trash"_s, u"Delete All Data"_s, u"deleteAllButton"_s, [this] { m_actions->deleteAllData(); });
    QPalette danger = deleteAll->palette();
    danger.setColor(QPalette::ButtonText, QColor(255, 59, 48));
    deleteAll->setPalette(danger);
    deleteAll->setIcon(Symbols::icon(u"trash"_s, QColor(255, 59, 48)));
    // One job at a time: the entries wait while one runs.
    connect(m_actions, &DataActions::busyChanged, this, [jobs, deleteAll](bool busy) {
        for (QPushButton* button : jobs)
            button->setEnabled(!busy);
        deleteAll->setEnabled(!busy);
    });

    const FormParts::Section appearance = FormParts::section(layout, u"Appearance"_s);
    auto* viewMode = new QComboBox(appearance.box);
    viewMode->setObjectName(u"defaultViewPicker"_s);
    viewMode->setAccessibleName(u"Default View"_s);
    viewMode->addItem(Symbols::icon(u"square.grid.2x2"_s), u"Grid"_s, ViewModes::rawValue(ViewMode::grid));
    viewMode->addItem(Symbols::icon(u"list.bullet"_s), u"List"_s, ViewModes::rawValue(ViewMode::list));
    const QString current = Settings::value(SettingsKey::preferredViewMode, u"grid"_s).toString();
    viewMode->setCurrentIndex(std::max(0, viewMode->findData(current)));
    connect(viewMode, &QComboBox::activated, this,
            [viewMode](int index) { Settings::setValue(SettingsKey::preferredViewMode, viewMode->itemData(index)); });
    QLabel* viewModeLabel = FormParts::label(u"Default View"_s, appearance.box);
    viewModeLabel->setBuddy(viewMode);
    appearance.rows->addRow(viewModeLabel, viewMode);
    preferenceSwitch(appearance, u"Show Item Counts"_s, u"showItemCountsSwitch"_s, SettingsKey::showItemCounts, true);
    preferenceSwitch(appearance, u"Confirm Before Delete"_s, u"confirmBeforeDeleteSwitch"_s,
                     SettingsKey::confirmBeforeDelete, true);

    const FormParts::Section about =
        FormParts::section(layout, u"About"_s,
                           u"Folionest does not collect analytics or personal data. Your data stays on your device."_s);
    FormParts::valueRow(about, u"Version"_s, u"versionValue"_s)
        ->setText(AppConstants::appVersion() + u" ("_s + AppConstants::buildNumber() + u')');
    // The addresses are the build's; a build without them shows no row.
    if (const QUrl website = AppConstants::projectWebPageURL(); website.isValid() && !website.isEmpty()) {
        QPushButton* button = FormParts::entry(about.box, u"globe"_s, u"Website"_s, u"websiteLink"_s);
        button->setToolTip(website.toDisplayString());
        connect(button, &QPushButton::clicked, this, [website] { QDesktopServices::openUrl(website); });
        about.rows->addRow(button);
    }
    if (const QString email = AppConstants::supportEmail(); !email.isEmpty()) {
        auto* button = new QPushButton(FormParts::literal(email), about.box);
        button->setObjectName(u"supportLink"_s);
        button->setAccessibleName(u"Support, "_s + email);
        button->setFlat(true);
        connect(button, &QPushButton::clicked, this, [email] {
            QUrl mail;
            mail.setScheme(u"mailto"_s);
            mail.setPath(email);
            QDesktopServices::openUrl(mail);
        });
        about.rows->addRow(FormParts::label(u"Support"_s, about.box), button);
    }
    layout->addStretch(1);
    scroll->setWidget(page);
    return scroll;
}

void SettingsWindow::refreshCounts()
{
    m_items->setText(QString::number(m_context->items().size()));
    m_folders->setText(QString::number(m_context->folders().size()));
    m_tagCount->setText(QString::number(m_context->tags().size()));
}

void SettingsWindow::refreshEncryption()
{
    const bool on = Settings::boolValue(SettingsKey::encryptionEnabled, false);
    m_encryption->setText(on ? u"On"_s : u"Off"_s);
    QPalette palette = m_encryption->palette();
    palette.setColor(QPalette::WindowText,
                     on ? QColor(52, 199, 89)
                        : Style::secondaryText(m_settingsPage ? m_settingsPage->palette() : palette));
    m_encryption->setPalette(palette);
}

void SettingsWindow::showPage(QWidget* page, const QString& title)
{
    m_pages->setCurrentWidget(page);
    const bool top = page == m_settingsPage;
    m_navigation->setVisible(!top);
    m_pageTitle->setText(title);
    // Focus to the page's first control, so the keyboard works there at once.
    for (QWidget* next = page->nextInFocusChain(); next && next != page && page->isAncestorOf(next);
         next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(page) && next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    page->setFocus();
}

void SettingsWindow::showPrivacyPage()
{
    showPage(m_pages->widget(1), u"Privacy & Security"_s);
}

void SettingsWindow::showTagManagement()
{
    showPage(m_tags, u"Manage Tags"_s);
}

void SettingsWindow::showSettingsPage()
{
    showPage(m_settingsPage, u"Settings"_s);
}
