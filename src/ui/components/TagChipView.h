#pragma once

#include <QColor>
#include <QMargins>
#include <QString>
#include <QWidget>

#include <functional>

class ModelContext;
class QLabel;
class QPainter;
class QToolButton;
class Tag;

enum class TagChipSize { small, medium, large };

// One tag as a capsule: its name in the tag's colour over a light wash of
// the same colour, and an optional remove button ("xmark").
//
// The chip reads the tag when built and on refresh(); painting uses only
// what it read, so the tag is never touched in between. Whoever shows chips
// either calls refresh() after a rename or recolour and recreates the chips
// when tags go away, or hands the chip the context with observe(): it then
// follows changes by itself and lets go of a tag the moment it is deleted.
class TagChipView final : public QWidget {
    Q_OBJECT

public:
    TagChipView(Tag* tag, TagChipSize size, bool showRemove, std::function<void()> onRemove = {},
                QWidget* parent = nullptr);

    // Null once the chip has learnt that its tag was deleted.
    Tag* tag() const { return m_tag; }
    TagChipSize chipSize() const { return m_size; }
    // The colour shown: the tag's colour text read as "#RRGGBB", blue when it does not read.
    QColor color() const { return m_color; }
    QString name() const { return m_name; }

    // Space around the name: small 6/2, medium 8/4, large 12/6 (horizontal/vertical).
    static QMargins padding(TagChipSize size);
    // caption 2, caption and subheadline, medium weight.
    static QFont font(TagChipSize size);
    // A chip without a remove button drawn straight onto a painter, for views
    // that draw many tags (list rows) rather than hold a widget for each.
    static QSize sizeFor(const QString& name, TagChipSize size);
    static void paint(QPainter& painter, const QRect& rect, const QString& name, const QColor& color, TagChipSize size);

    // Reads the tag's name and colour again.
    void refresh();
    // Follows the tag in a context: refreshes on its changes, forgets it on deletion.
    void observe(ModelContext* context);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void apply();
    static void paintCapsule(QPainter& painter, const QRectF& rect, const QColor& color);

    Tag* m_tag;
    TagChipSize m_size;
    std::function<void()> m_onRemove;
    QString m_name;
    QColor m_color;
    QLabel* m_label;
    QToolButton* m_removeButton = nullptr;
};
