// Chromium's "Bookmarks" document: {"roots": {"bookmark_bar": NODE, "other":
// NODE, "synced": NODE}, ...}, where a NODE is {"type": "folder" | "url",
// "name", "url", "date_added", "date_modified", "children": [NODE...]}.

#include "BrowserBookmarks.h"

#include "BookmarkFileReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Microseconds since 1601-01-01 (UTC), as text, to milliseconds since 1970.
std::optional<qint64> chromiumDate(const QJsonValue& value)
{
    constexpr qint64 kEpochDifferenceMs = 11'644'473'600'000;
    bool ok = false;
    const qint64 micros = value.toString().toLongLong(&ok);
    if (!ok || micros <= 0)
        return std::nullopt;
    return micros / 1000 - kEpochDifferenceMs;
}

} // namespace

namespace BrowserBookmarks {

Result<BookmarkTree, BookmarkError> readChromium(const QByteArray& json)
{
    using R = Result<BookmarkTree, BookmarkError>;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject roots = document.object().value(u"roots"_s).toObject();
    if (error.error != QJsonParseError::NoError || roots.isEmpty())
        return R::failure(BookmarkError::notBookmarkFile());

    BookmarkTreeBuilder builder(BookmarkFileReader::kMaxDepth);
    // Depth first without recursion: each entry is a folder's children and
    // the next one to visit.
    struct Open {
        QJsonArray children;
        qsizetype next = 0;
    };
    std::vector<Open> stack;
    const auto visit = [&](const QJsonObject& node, bool transparent) {
        if (node.value(u"type"_s).toString() == u"url") {
            BookmarkTree::Link link;
            link.url = node.value(u"url"_s).toString();
            link.title = node.value(u"name"_s).toString();
            link.addDate = chromiumDate(node.value(u"date_added"_s));
            link.lastModified = chromiumDate(node.value(u"date_modified"_s));
            (void)builder.add(std::move(link));
            return;
        }
        if (transparent) {
            builder.openTransparent();
        } else {
            BookmarkTree::Folder folder;
            folder.name = node.value(u"name"_s).toString();
            folder.addDate = chromiumDate(node.value(u"date_added"_s));
            folder.lastModified = chromiumDate(node.value(u"date_modified"_s));
            builder.open(std::move(folder));
        }
        stack.push_back({node.value(u"children"_s).toArray()});
    };
    // The order and shape of Chromium's own bookmark file export.
    const QList<std::pair<QString, bool>> rootOrder = {
        {u"bookmark_bar"_s, false}, {u"other"_s, true}, {u"synced"_s, false}};
    for (const auto& [key, transparent] : rootOrder) {
        const QJsonObject root = roots.value(key).toObject();
        if (root.isEmpty())
            continue;
        visit(root, transparent);
        while (!stack.empty()) {
            Open& open = stack.back();
            if (open.next >= open.children.size()) {
                stack.pop_back();
                builder.close();
                continue;
            }
            visit(open.children.at(open.next++).toObject(), false);
        }
    }
    return R(builder.take());
}

} // namespace BrowserBookmarks
