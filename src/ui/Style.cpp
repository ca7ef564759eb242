#include "Style.h"

#include <QApplication>

using namespace Qt::StringLiterals;

QFont Style::font(Text style, QFont::Weight weight)
{
    QFont f = QApplication::font();
    const qreal base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    qreal scale = 1.0;
    switch (style) {
    case Text::largeTitle: scale = 2.0; break;
    case Text::title: scale = 1.6; break;
    case Text::title2: scale = 1.35; break;
    case Text::title3: scale = 1.2; break;
    case Text::headline:
        scale = 1.0;
        weight = std::max(weight, QFont::DemiBold);
        break;
    case Text::body: scale = 1.0; break;
    case Text::callout: scale = 0.95; break;
    case Text::subheadline: scale = 0.92; break;
    case Text::caption: scale = 0.85; break;
    case Text::caption2: scale = 0.77; break;
    }
    f.setPointSizeF(base * scale);
    f.setWeight(weight);
    return f;
}

QColor Style::accent(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
}

QColor Style::secondaryText(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.62f);
    return c;
}

QColor Style::tertiaryText(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.42f);
    return c;
}

QColor Style::quaternary(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.2f);
    return c;
}

QColor Style::controlBackground(const QPalette& palette)
{
    return palette.color(QPalette::Base);
}

QColor Style::withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

QColor Style::tintOrText(const QColor& tint, const QPalette& palette)
{
    return tint.isValid() ? tint : palette.color(QPalette::WindowText);
}

QString Style::relativeDate(const QDateTime& then, const QDateTime& now)
{
    const qint64 seconds = then.secsTo(now);
    const bool past = seconds >= 0;
    const qint64 s = std::abs(seconds);
    auto phrase = [past](qint64 n, const char* unit) {
        const QString units = QString::fromLatin1(unit) + (n == 1 ? QString() : u"s"_s);
        return past ? u"%1 %2 ago"_s.arg(n).arg(units) : u"in %1 %2"_s.arg(n).arg(units);
    };
    if (s < 60)
        return u"now"_s;
    if (s < 3600)
        return phrase(s / 60, "minute");
    if (s < 86400)
        return phrase(s / 3600, "hour");
    // Calendar units from here on, counted in local days.
    const QDate a = then.toLocalTime().date();
    const QDate b = now.toLocalTime().date();
    const qint64 days = std::abs(a.daysTo(b));
    if (days <= 1)
        return past ? u"yesterday"_s : u"tomorrow"_s;
    if (days < 7)
        return phrase(days, "day");
    if (days < 31) {
        const qint64 weeks = days / 7;
        return weeks == 1 ? (past ? u"last week"_s : u"next week"_s) : phrase(weeks, "week");
    }
    const QDate early = past ? a : b;
    const QDate late = past ? b : a;
    int months = (late.year() - early.year()) * 12 + (late.month() - early.month());
    if (late.day() < early.day())
        --months;
    if (months < 12) {
        months = std::max(months, 1);
        return months == 1 ? (past ? u"last month"_s : u"next month"_s) : phrase(months, "month");
    }
    const int years = months / 12;
    return years == 1 ? (past ? u"last year"_s : u"next year"_s) : phrase(years, "year");
}

QString Style::displayText(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype cut = limit;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

QString Style::mnemonicSafe(const QString& text, qsizetype limit)
{
    QString shown = displayText(text, limit);
    shown.replace(u'&', u"&&"_s);
    return shown;
}
