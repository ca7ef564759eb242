#pragma once

#include <QDialog>
#include <QImage>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The title-and-note sheet of the detail pane: Save stays disabled while the
// title is empty; Escape cancels, Return saves.
class TitleNoteSheet final : public QDialog {
    Q_OBJECT

public:
    TitleNoteSheet(const QString& title, const QString& note, QWidget* parent = nullptr);
    QString editedTitle() const;
    QString editedNote() const;
    QLineEdit* titleField() const { return m_title; }
    QPlainTextEdit* noteEditor() const { return m_note; }
    QPushButton* saveButton() const { return m_save; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* m_title;
    QPlainTextEdit* m_note;
    QPushButton* m_save;
};

// The picture at full size, fitted to the sheet, with a close button.
class FullImageSheet final : public QDialog {
    Q_OBJECT

public:
    FullImageSheet(const QImage& image, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();
    QImage m_image;
    QLabel* m_view;
};
