#include "OpenPolicy.h"

#include "model/Item.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace OpenPolicy {

Verdict check(const Item& item, const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http"_s || scheme == u"https"_s || scheme == u"mailto"_s)
        return {true, {}};
    if (scheme == u"file"_s) {
        if (item.type() != ItemType::document)
            return {false, u"Only document items open files."_s};
        const QFileInfo file(url.toLocalFile());
        if (!file.exists() || !file.isFile())
            return {false, u"The file “%1” no longer exists."_s.arg(file.fileName())};
        return {true, {}};
    }
    if (scheme.isEmpty())
        return {false, u"This address has no scheme and cannot be opened."_s};
    return {false, u"Folionest opens only web and mail addresses, not “%1:” addresses."_s.arg(scheme)};
}

} // namespace OpenPolicy
