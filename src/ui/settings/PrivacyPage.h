#pragma once

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class SecureFieldWithToggle;
class SecurityService;

// "Privacy & Security": passphrase protection switched on (through the setup
// sheet), unlocked and switched off (after a confirmation), and the
// application's privacy promises. The switch follows the "encryptionEnabled"
// preference live. There is no biometric switch: no desktop keychain of this
// platform can hold a key behind a user-presence check.
class PrivacyPage final : public QWidget {
    Q_OBJECT

public:
    explicit PrivacyPage(SecurityService& security, QWidget* parent = nullptr);

    QCheckBox* encryptionSwitch() const { return m_switch; }

    void unlock();

private:
    void switchToggled(bool on);
    void refresh();

    SecurityService& m_security;
    QCheckBox* m_switch;
    QLabel* m_lockState;
    QPushButton* m_unlock;
};

// "Setup Encryption": a new passphrase typed twice, at least 8 user-perceived
// characters; "Enable" switches protection on through the security service
// and closes the sheet, a failure is shown in an "Error" alert and the sheet
// stays open. The fields and "Enable" wait while the keychain answers.
class PassphraseSetupSheet final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMinimumLength = 8;

    explicit PassphraseSetupSheet(SecurityService& security, QWidget* parent = nullptr);

private:
    void updateState();
    void setWorking(bool working);
    void enable();

    SecurityService& m_security;
    SecureFieldWithToggle* m_passphrase;
    SecureFieldWithToggle* m_confirm;
    QLabel* m_lengthIcon;
    QLabel* m_lengthText;
    QLabel* m_matchIcon;
    QLabel* m_matchText;
    QPushButton* m_enable;
    bool m_working = false;
};
