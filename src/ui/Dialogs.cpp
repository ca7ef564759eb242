#include "Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

class DesktopDialogs final : public Dialogs {
public:
    QString openFile(QWidget* parent, const QString& title, const QStringList& nameFilters) override
    {
        QFileDialog dialog(parent, title);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(nameFilters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().first();
    }

    QString saveFile(QWidget* parent, const QString& title, const QString& proposed,
                     const QStringList& nameFilters) override
    {
        QFileDialog dialog(parent, title, proposed);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(nameFilters);
        dialog.selectFile(proposed);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().first();
    }

    bool confirm(QWidget* parent, const QString& title, const QString& text, const QString& confirmLabel) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
        // Questions quote names the user typed: never read them as markup.
        box.setTextFormat(Qt::PlainText);
        QPushButton* yes = box.addButton(confirmLabel, QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(cancel);
        box.exec();
        return box.clickedButton() == yes;
    }

    void showError(QWidget* parent, const QString& title, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
};

std::unique_ptr<Dialogs>& slot()
{
    static std::unique_ptr<Dialogs> s_dialogs;
    return s_dialogs;
}

} // namespace

QString Dialogs::saveFile(QWidget*, const QString&, const QString&, const QStringList&)
{
    return {};
}

Dialogs& Dialogs::current()
{
    if (!slot())
        slot() = std::make_unique<DesktopDialogs>();
    return *slot();
}

void Dialogs::setCurrent(std::unique_ptr<Dialogs> dialogs)
{
    slot() = std::move(dialogs);
}
