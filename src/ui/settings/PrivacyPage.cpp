#include "PrivacyPage.h"

#include "FormParts.h"
#include "PassphrasePrompt.h"

#include "platform/Settings.h"
#include "platform/Symbols.h"
#include "services/search/SearchService.h"
#include "services/security/SecurityService.h"
#include "ui/Dialogs.h"
#include "ui/Style.h"
#include "ui/components/SecureFieldWithToggle.h"

#include <QCheckBox>
#include <QDebug>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QColor kGreen(52, 199, 89);
const QColor kOrange(255, 149, 0);

QLabel* symbolLabel(const QString& symbol, const QColor& tint, int size, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(Symbols::icon(symbol, tint).pixmap(size, size));
    label->setFixedWidth(std::max(size, 32));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// Calls `done` with the future's result once the keychain has answered,
// unless `receiver` has gone away by then (the window was closed meanwhile).
template <typename T, typename Done>
void whenAnswered(const QFuture<T>& future, QObject* receiver, Done done)
{
    auto* watcher = new QFutureWatcher<T>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, receiver, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        if (watcher->future().resultCount() > 0)
            done(watcher->result());
    });
    watcher->setFuture(future);
}

// A row of the privacy promises: a green symbol, a title and a subtitle.
QWidget* promiseRow(const QString& symbol, const QString& title, const QString& subtitle, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setAccessibleName(title + u", "_s + subtitle);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(12);
    layout->addWidget(symbolLabel(symbol, kGreen, 24, row));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    QLabel* titleLabel = FormParts::label(title, row);
    titleLabel->setFont(Style::font(Style::Text::subheadline, QFont::Medium));
    QLabel* subtitleLabel = FormParts::label(subtitle, row);
    FormParts::makeSecondary(subtitleLabel);
    texts->addWidget(titleLabel);
    texts->addWidget(subtitleLabel);
    layout->addLayout(texts, 1);
    return row;
}

} // namespace

PrivacyPage::PrivacyPage(SecurityService& security, QWidget* parent) : QWidget(parent), m_security(security)
{
    setObjectName(u"privacyPage"_s);
    setAccessibleName(u"Privacy & Security"_s);
    auto* layout = new QVBoxLayout(this);

    // The passphrase is asked for when the user unlocks here, not at launch.
    const FormParts::Section encryption = FormParts::section(
        layout, u"Encryption"_s, u"AES-256-GCM encryption. Unlock with your passphrase here when you need the key."_s);
    m_switch = new QCheckBox(u"Enable Encryption"_s, encryption.box);
    m_switch->setObjectName(u"encryptionSwitch"_s);
    m_switch->setAccessibleName(u"Enable Encryption"_s);
    encryption.rows->addRow(m_switch);
    auto* lockRow = new QHBoxLayout;
    m_lockState = FormParts::label({}, encryption.box);
    m_lockState->setObjectName(u"lockState"_s);
    m_unlock = new QPushButton(u"Unlock…"_s, encryption.box);
    m_unlock->setObjectName(u"unlockButton"_s);
    m_unlock->setAccessibleName(u"Unlock"_s);
    lockRow->addWidget(m_lockState, 1);
    lockRow->addWidget(m_unlock);
    encryption.rows->addRow(lockRow);

    const FormParts::Section privacy = FormParts::section(layout, u"Privacy"_s);
    privacy.rows->addRow(
        promiseRow(u"icloud.slash"_s, u"No Cloud Collection"_s, u"Data stays on device"_s, privacy.box));
    privacy.rows->addRow(promiseRow(u"chart.bar.xaxis"_s, u"No Analytics"_s, u"Zero tracking"_s, privacy.box));
    privacy.rows->addRow(promiseRow(u"brain.head.profile"_s, u"No AI Training"_s, u"Never used for AI"_s, privacy.box));
    privacy.rows->addRow(promiseRow(u"dollarsign.circle"_s, u"No Data Sales"_s, u"We don't sell data"_s, privacy.box));
    layout->addStretch(1);

    connect(m_switch, &QCheckBox::toggled, this, &PrivacyPage::switchToggled);
    connect(m_unlock, &QPushButton::clicked, this, &PrivacyPage::unlock);
    connect(&SettingsNotifier::instance(), &SettingsNotifier::valueChanged, this, [this](SettingsKey key) {
        if (key == SettingsKey::encryptionEnabled)
            refresh();
    });
    refresh();
}

void PrivacyPage::refresh()
{
    const bool enabled = Settings::boolValue(SettingsKey::encryptionEnabled, false);
    {
        const QSignalBlocker quiet(m_switch);
        m_switch->setChecked(enabled);
    }
    const bool unlocked = m_security.encryptionKey().has_value();
    m_lockState->setVisible(enabled);
    m_lockState->setText(unlocked ? u"Unlocked: the key is held until Folionest quits."_s
                                  : u"Locked: enter your passphrase to unlock."_s);
    m_unlock->setVisible(enabled && !unlocked);
}

void PrivacyPage::switchToggled(bool on)
{
    if (on) {
        auto* sheet = new PassphraseSetupSheet(m_security, this);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        // However the sheet closes, the switch then says what the service did.
        connect(sheet, &QDialog::finished, this, [this] { refresh(); });
        sheet->open();
        return;
    }
    // Biometric unlock goes first, whatever the answer below.
    (void)m_security.disableBiometricUnlock();
    if (!Dialogs::current().confirm(this, u"Disable Encryption?"_s,
                                    u"Your data will no longer be encrypted. This action cannot be undone."_s,
                                    u"Disable Encryption"_s)) {
        refresh();
        return;
    }
    // The switch waits for the keychain; the page says what came of it.
    m_switch->setEnabled(false);
    whenAnswered(m_security.disableEncryption(), this, [this](const SecurityStatus& disabled) {
        if (!disabled)
            qWarning().noquote() << u"Failed to disable encryption: "_s + disabled.error().description();
        m_switch->setEnabled(true);
        refresh();
    });
}

void PrivacyPage::unlock()
{
    auto* prompt = new PassphrasePrompt(u"Unlock"_s, u"Enter Passphrase"_s,
                                        u"Enter your encryption passphrase to unlock."_s, u"Unlock"_s, this);
    prompt->setObjectName(u"unlockSheet"_s);
    prompt->setAttribute(Qt::WA_DeleteOnClose);
    prompt->setKeepOpen(true);
    connect(prompt, &PassphrasePrompt::passphraseEntered, this, [this, prompt](const QString& passphrase) {
        prompt->setBusy(true);
        whenAnswered(m_security.unlock(passphrase), this,
                     [this, prompt = QPointer(prompt)](const SecurityStatus& unlocked) {
                         // The sheet may have been closed while the keychain answered.
                         if (prompt) {
                             prompt->setBusy(false);
                             if (!unlocked) {
                                 prompt->showProblem(unlocked.error().description());
                                 return;
                             }
                             prompt->accept();
                         }
                         refresh();
                     });
    });
    prompt->open();
}

PassphraseSetupSheet::PassphraseSetupSheet(SecurityService& security, QWidget* parent)
    : QDialog(parent), m_security(security)
{
    setObjectName(u"passphraseSetupSheet"_s);
    setWindowTitle(u"Setup Encryption"_s);
    setAccessibleName(u"Setup Encryption"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);

    const FormParts::Section create = FormParts::section(layout, u"Create Passphrase"_s);
    m_passphrase = new SecureFieldWithToggle(u"Passphrase"_s, create.box);
    m_passphrase->setObjectName(u"passphraseField"_s);
    m_passphrase->lineEdit()->setAccessibleName(u"Passphrase"_s);
    m_confirm = new SecureFieldWithToggle(u"Confirm"_s, create.box);
    m_confirm->setObjectName(u"confirmField"_s);
    m_confirm->lineEdit()->setAccessibleName(u"Confirm"_s);
    create.rows->addRow(m_passphrase);
    create.rows->addRow(m_confirm);
    auto requirement = [&](const QString& text, const QString& name, QLabel*& icon, QLabel*& label) {
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        icon = new QLabel(create.box);
        label = FormParts::label(text, create.box);
        label->setObjectName(name);
        label->setFont(Style::font(Style::Text::caption));
        row->addWidget(icon);
        row->addWidget(label, 1);
        create.rows->addRow(row);
    };
    requirement(u"At least 8 characters"_s, u"lengthRequirement"_s, m_lengthIcon, m_lengthText);
    requirement(u"Passphrases match"_s, u"matchRequirement"_s, m_matchIcon, m_matchText);

    const FormParts::Section warning = FormParts::section(layout, {});
    auto* warningRow = new QHBoxLayout;
    warningRow->setSpacing(10);
    warningRow->addWidget(symbolLabel(u"exclamationmark.triangle.fill"_s, kOrange, 18, warning.box));
    QLabel* warningText = FormParts::label(
        u"If you forget your passphrase, your data cannot be recovered. Write it down and store it securely."_s,
        warning.box);
    warningText->setWordWrap(true);
    warningText->setFont(Style::font(Style::Text::subheadline));
    warningRow->addWidget(warningText, 1);
    warning.rows->addRow(warningRow);
    layout->addStretch(1);

    QDialogButtonBox* buttons = FormParts::buttons(this, u"Enable"_s, u"enableButton"_s);
    m_enable = buttons->findChild<QPushButton*>(u"enableButton"_s);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &PassphraseSetupSheet::enable);
    connect(m_passphrase, &SecureFieldWithToggle::textChanged, this, &PassphraseSetupSheet::updateState);
    connect(m_confirm, &SecureFieldWithToggle::textChanged, this, &PassphraseSetupSheet::updateState);
    updateState();
    m_passphrase->lineEdit()->setFocus();
}

void PassphraseSetupSheet::updateState()
{
    const QString passphrase = m_passphrase->text();
    const bool longEnough = SearchService::userPerceivedLength(passphrase) >= kMinimumLength;
    const bool match = !passphrase.isEmpty() && passphrase == m_confirm->text();
    auto show = [](QLabel* icon, QLabel* text, bool met) {
        const QPalette palette = text->palette();
        icon->setPixmap(
            Symbols::icon(met ? u"checkmark.circle.fill"_s : u"circle"_s, met ? kGreen : Style::secondaryText(palette))
                .pixmap(14, 14));
        QPalette textPalette = palette;
        textPalette.setColor(QPalette::WindowText, met ? palette.color(QPalette::Text) : Style::secondaryText(palette));
        text->setPalette(textPalette);
        text->setAccessibleDescription(met ? u"met"_s : u"not met"_s);
    };
    show(m_lengthIcon, m_lengthText, longEnough);
    show(m_matchIcon, m_matchText, match);
    m_enable->setEnabled(longEnough && match && !m_working);
}

void PassphraseSetupSheet::setWorking(bool working)
{
    m_working = working;
    m_passphrase->setEnabled(!working);
    m_confirm->setEnabled(!working);
    updateState();
}

void PassphraseSetupSheet::enable()
{
    if (!m_enable->isEnabled())
        return;
    QString passphrase = m_passphrase->text();
    setWorking(true);
    whenAnswered(m_security.enableEncryption(passphrase), this, [this](const SecurityStatus& enabled) {
        setWorking(false);
        if (!enabled) {
            Dialogs::current().showError(this, u"Error"_s, enabled.error().description());
            return;
        }
        accept();
    });
    SecurityService::wipe(passphrase);
}
