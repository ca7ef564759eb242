#include "AppConstants.h"

#include "model/SystemColors.h"

using namespace Qt::StringLiterals;

#ifndef FOLIONEST_VERSION
#define FOLIONEST_VERSION ""
#endif
#ifndef FOLIONEST_BUILD_NUMBER
#define FOLIONEST_BUILD_NUMBER ""
#endif
#ifndef FOLIONEST_HOMEPAGE_URL
#define FOLIONEST_HOMEPAGE_URL ""
#endif
#ifndef FOLIONEST_SUPPORT_EMAIL
#define FOLIONEST_SUPPORT_EMAIL ""
#endif

QString AppConstants::appVersion()
{
    static const QString s_version = [] {
        const QString v = QStringLiteral(FOLIONEST_VERSION);
        return v.isEmpty() ? u"1.0"_s : v;
    }();
    return s_version;
}

QString AppConstants::buildNumber()
{
    static const QString s_build = [] {
        const QString b = QStringLiteral(FOLIONEST_BUILD_NUMBER);
        return b.isEmpty() ? u"1"_s : b;
    }();
    return s_build;
}

QString AppConstants::userAgent()
{
    return u"Folionest/"_s + appVersion() + u" (Privacy-First Reference Library)"_s;
}

QUrl AppConstants::projectWebPageURL()
{
    return QUrl(QStringLiteral(FOLIONEST_HOMEPAGE_URL), QUrl::StrictMode);
}

QString AppConstants::supportEmail()
{
    return QStringLiteral(FOLIONEST_SUPPORT_EMAIL);
}

const QList<QColor>& AppConstants::colorPalette()
{
    using namespace SystemColors;
    static const QList<QColor> s_palette{blue(),   indigo(), purple(), pink(), red(),  orange(),
                                         yellow(), green(),  mint(),   teal(), cyan(), gray()};
    return s_palette;
}
