#pragma once

#include <QDialog>
#include <QUrl>

class QLineEdit;
class QPushButton;

// "Add URL": a field and Add, enabled only for a usable URL (typed as is,
// not trimmed).
class AddURLSheet final : public QDialog {
    Q_OBJECT

public:
    explicit AddURLSheet(QWidget* parent = nullptr);
    QUrl url() const;
    QLineEdit* field() const { return m_field; }
    QPushButton* addButton() const { return m_add; }

private:
    QLineEdit* m_field;
    QPushButton* m_add;
};
