#pragma once

#include "PickerGrid.h"

#include <QString>
#include <QStringList>

// Picks one symbol name out of a list: one 36 × 36 cell per symbol, the
// chosen one on a light blue disc.
class IconPickerGrid final : public PickerGrid {
    Q_OBJECT

public:
    explicit IconPickerGrid(const QStringList& icons, QWidget* parent = nullptr);

    // The 35 symbols a folder can carry, in the order the folder editor shows them.
    static const QStringList& folderIcons();

    const QStringList& icons() const { return m_icons; }
    QString selectedIcon() const { return m_selected; }
    // Any name; one that is not in the list selects no cell.
    void setSelectedIcon(const QString& icon);

Q_SIGNALS:
    void selectedIconChanged(const QString& icon);

protected:
    int selectedIndex() const override;
    void pick(int index) override;
    void paintCell(QPainter& painter, int index, const QRectF& cell, bool selected) override;

private:
    QStringList m_icons;
    QString m_selected;
};
