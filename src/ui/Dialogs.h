#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

// The questions the interface asks the user, behind one seam so tests can
// answer them without a human.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A file to open, or empty when the user cancels. Filters as for QFileDialog.
    virtual QString openFile(QWidget* parent, const QString& title, const QStringList& nameFilters) = 0;
    // A file to write, starting at `proposed` (a path or a name); empty when
    // the user cancels (which is what a seam that does not answer does).
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& proposed,
                             const QStringList& nameFilters);
    // A destructive question; true when the user confirms.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& text, const QString& confirmLabel) = 0;
    virtual void showError(QWidget* parent, const QString& title, const QString& text) = 0;

    static Dialogs& current();
    // Replaces the dialogs until reset with nullptr (tests).
    static void setCurrent(std::unique_ptr<Dialogs> dialogs);
};
