#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

// A password field with a show/hide button. It starts hidden; switching
// keeps the text, the cursor and the focus.
class SecureFieldWithToggle final : public QWidget {
    Q_OBJECT

public:
    explicit SecureFieldWithToggle(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    QString text() const;
    void setText(const QString& text);
    // True while the text is hidden.
    bool isSecure() const { return m_secure; }
    void setSecure(bool secure);
    QLineEdit* lineEdit() const { return m_field; }

Q_SIGNALS:
    void textChanged(const QString& text);
    void secureChanged(bool secure);

protected:
    void changeEvent(QEvent* event) override;

private:
    void updateToggle();

    QLineEdit* m_field;
    QToolButton* m_toggle;
    bool m_secure = true;
};
