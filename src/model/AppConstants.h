#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QUrl>

namespace AppConstants {
// Version and build from the build system; "1.0" and "1" when it gives none.
QString appVersion();
QString buildNumber();
// "Folionest/<version> (Privacy-First Reference Library)"
QString userAgent();
// The build's addresses (FOLIONEST_HOMEPAGE_URL, FOLIONEST_SUPPORT_EMAIL);
// empty unless the build names them.
QUrl projectWebPageURL();
QString supportEmail();
// Twelve preset colours: blue, indigo, purple, pink, red, orange, yellow,
// green, mint, teal, cyan, gray.
const QList<QColor>& colorPalette();
} // namespace AppConstants
