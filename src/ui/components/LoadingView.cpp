#include "LoadingView.h"

#include "ui/Style.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
constexpr int kRegularIndicatorSize = 32;
constexpr qreal kIndicatorScale = 1.5;
constexpr int kStackSpacing = 16;
constexpr int kSpokes = 12;
// One turn a second.
constexpr int kStepMs = 1000 / kSpokes;
// The material's translucency: what lies below shows through faintly.
constexpr qreal kBackgroundOpacity = 0.8;

// A spinning wheel of spokes, fading behind the leading one. It runs only
// while it is visible.
class BusyIndicator final : public QWidget {
public:
    explicit BusyIndicator(QWidget* parent) : QWidget(parent)
    {
        setObjectName(u"busyIndicator"_s);
        setFixedSize(LoadingView::indicatorSize(), LoadingView::indicatorSize());
        m_timer.setInterval(kStepMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % kSpokes;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal radius = width() / 2.0;
        painter.translate(width() / 2.0, height() / 2.0);
        QColor color = Style::secondaryText(palette());
        QPen pen(color, radius * 0.17, Qt::SolidLine, Qt::RoundCap);
        for (int i = 0; i < kSpokes; ++i) {
            // The leading spoke is the darkest; the others fade behind it.
            const int age = (m_step - i + kSpokes) % kSpokes;
            color.setAlphaF(float(1.0 - 0.8 * age / (kSpokes - 1)) * Style::secondaryText(palette()).alphaF());
            pen.setColor(color);
            painter.setPen(pen);
            painter.save();
            painter.rotate(360.0 * i / kSpokes);
            painter.drawLine(QPointF(0, -radius * 0.5), QPointF(0, -radius * 0.88));
            painter.restore();
        }
    }

private:
    QTimer m_timer;
    int m_step = 0;
};
} // namespace

LoadingView::LoadingView(const QString& message, QWidget* parent) : QWidget(parent), m_label(new QLabel(this))
{
    setObjectName(u"loadingView"_s);
    m_label->setObjectName(u"loadingMessage"_s);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    m_label->setFont(Style::font(Style::Text::subheadline));
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, Style::secondaryText(labelPalette));
    m_label->setPalette(labelPalette);
    m_label->setText(message);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(kStackSpacing);
    layout->addStretch(1);
    layout->addWidget(new BusyIndicator(this), 0, Qt::AlignHCenter);
    layout->addWidget(m_label);
    layout->addStretch(1);

    coverParent();
}

int LoadingView::indicatorSize()
{
    return qRound(kRegularIndicatorSize * kIndicatorScale);
}

QString LoadingView::message() const
{
    return m_label->text();
}

void LoadingView::setMessage(const QString& message)
{
    m_label->setText(message);
}

void LoadingView::coverParent()
{
    if (QWidget* parent = parentWidget()) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
        raise();
    }
}

bool LoadingView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

bool LoadingView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ParentAboutToChange:
        if (QWidget* parent = parentWidget())
            parent->removeEventFilter(this);
        break;
    case QEvent::ParentChange: coverParent(); break;
    // Stay above the siblings that were added after the overlay.
    case QEvent::Show: raise(); break;
    default: break;
    }
    return QWidget::event(event);
}

void LoadingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Style::withOpacity(palette().color(QPalette::Window), kBackgroundOpacity));
}
