#pragma once

#include <QString>
#include <QUrl>

class Item;

// Which addresses the window hands to the desktop when the user opens an
// item. Web and mail addresses open; a file opens only for a document item
// whose file exists; every other scheme (javascript:, vbscript:, data:, …)
// is refused, since the desktop would run or show it with the user's rights.
namespace OpenPolicy {

struct Verdict {
    bool allowed = false;
    // Why it was refused, in words for the user; empty when allowed.
    QString reason;
};

Verdict check(const Item& item, const QUrl& url);

} // namespace OpenPolicy
