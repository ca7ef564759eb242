#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class SecureFieldWithToggle;

// A sheet that asks for one passphrase (restoring a backup, unlocking the
// library): a hidden field with a show/hide toggle, "Cancel" and a confirming
// button that stays disabled while the field is empty.
class PassphrasePrompt final : public QDialog {
    Q_OBJECT

public:
    PassphrasePrompt(const QString& title, const QString& header, const QString& footer, const QString& confirmText,
                     QWidget* parent = nullptr);

    SecureFieldWithToggle* field() const { return m_field; }
    QPushButton* confirmButton() const { return m_confirm; }
    // Shown under the field, for a failure the user can correct.
    void showProblem(const QString& text);
    // The sheet stays open after confirming until it is closed (unlocking
    // keeps it open on a wrong passphrase).
    void setKeepOpen(bool keep) { m_keepOpen = keep; }
    // While the passphrase is being checked: the field and the confirming
    // button wait, "Cancel" still closes the sheet.
    void setBusy(bool busy);

Q_SIGNALS:
    // On confirm; the sheet then closes unless it keeps open.
    void passphraseEntered(const QString& passphrase);

private:
    SecureFieldWithToggle* m_field;
    QPushButton* m_confirm;
    QLabel* m_problem;
    bool m_keepOpen = false;
    bool m_busy = false;
};
