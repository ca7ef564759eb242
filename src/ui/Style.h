#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QPalette>
#include <QString>

class QWidget;

// The text styles and colours the windows share, derived from the desktop's
// own font and palette so the application follows the user's theme.
namespace Style {

enum class Text { largeTitle, title, title2, title3, headline, body, subheadline, callout, caption, caption2 };

QFont font(Text style, QFont::Weight weight = QFont::Normal);
QColor accent(const QPalette& palette);
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
QColor quaternary(const QPalette& palette);
QColor controlBackground(const QPalette& palette);
// The colour with an opacity from 0 to 1.
QColor withOpacity(QColor color, double opacity);
// The primary text colour when the colour is invalid (the "All Items" tint).
QColor tintOrText(const QColor& tint, const QPalette& palette);

// "now", "5 minutes ago", "yesterday", "last week", "3 months ago", "in 2 days".
QString relativeDate(const QDateTime& then, const QDateTime& now);

// A user's text as it is drawn: at most `limit` characters (an imported
// title can be megabytes long; nothing on screen shows more), never cut
// inside a surrogate pair, with an ellipsis when shortened.
QString displayText(const QString& text, qsizetype limit = 1000);
// A user's text for a button, menu entry or tab, where "&" marks a
// mnemonic: doubled, so it shows as typed. Bounded as above.
QString mnemonicSafe(const QString& text, qsizetype limit = 200);

} // namespace Style
