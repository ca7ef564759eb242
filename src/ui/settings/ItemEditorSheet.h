#pragma once

#include <QDialog>
#include <QUrl>

#include <optional>

class Item;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Edit Item": the title, the URL (only for an item whose stored URL
// parses) and the note of one item. Works on copies of the texts and writes
// nothing until "Save", which is disabled while the title is empty.
class ItemEditorSheet final : public QDialog {
    Q_OBJECT

public:
    explicit ItemEditorSheet(Item* item, QWidget* parent = nullptr);

    // The URL text as the item would hold it, or nothing when it does not
    // parse as an absolute URL.
    static std::optional<QUrl> parsedUrl(const QString& text);

private:
    void save();

    Item* m_item;
    QLineEdit* m_title;
    QLineEdit* m_url = nullptr;
    QPlainTextEdit* m_note;
    QPushButton* m_save;
};
