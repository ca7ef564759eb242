#include "SearchService.h"

#include "SearchWeights.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Settings.h"

#include <QTextBoundaryFinder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QStringList queryWords(const QString& lowerQuery)
{
    return lowerQuery.split(u' ', Qt::SkipEmptyParts);
}

// The scoring rules, over already lower-cased texts.
template <typename TagNames>
int scoreTexts(const QString& title, const QString* note, const TagNames& tagNames, const QString* domain,
               const QString* url, const QString& query, const QStringList& words)
{
    using namespace SearchWeights;
    int score = 0;
    if (title.startsWith(query))
        score += kTitleStartsWithQuery;
    else if (title.contains(query))
        score += kTitleContainsQuery;
    else if (std::all_of(words.cbegin(), words.cend(), [&](const QString& w) { return title.contains(w); }))
        score += kTitleContainsEveryWord;

    if (note) {
        if (note->contains(query)) {
            score += kNoteContainsQuery;
        } else {
            for (const QString& w : words)
                score += note->contains(w) ? kNoteWord : 0;
        }
    }
    tagNames([&](const QString& name) {
        if (name.contains(query))
            score += kTagContainsQuery;
        for (const QString& w : words)
            score += name.contains(w) ? kTagWord : 0;
    });
    if (domain && domain->contains(query))
        score += kDomainContainsQuery;
    if (url && url->contains(query))
        score += kUrlContainsQuery;
    return score;
}

} // namespace

SearchService::SearchService(QObject* parent) : QObject(parent)
{
    const QVariant stored = Settings::value(SettingsKey::recentSearches);
    // Only a list of strings counts; anything else reads as no searches.
    if (stored.metaType().id() == QMetaType::QStringList) {
        m_recentSearches = stored.toStringList();
    } else if (stored.metaType().id() == QMetaType::QVariantList) {
        const QVariantList list = stored.toList();
        const bool allStrings = std::all_of(list.cbegin(), list.cend(),
                                            [](const QVariant& v) { return v.metaType().id() == QMetaType::QString; });
        if (allStrings)
            m_recentSearches = stored.toStringList();
    }
}

SearchService& SearchService::shared()
{
    static SearchService* s_shared = new SearchService;
    return *s_shared;
}

QString SearchService::normalizedQuery(const QString& query)
{
    return query.trimmed().toLower();
}

int SearchService::userPerceivedLength(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

int SearchService::relevanceScore(const Item& item, const QString& query)
{
    const QString q = query.toLower();
    const QStringList words = queryWords(q);
    auto lower = [](const std::optional<QString>& text) {
        return text ? std::optional<QString>(text->toLower()) : std::nullopt;
    };
    const std::optional<QString> note = lower(item.note());
    const std::optional<QString> domain = lower(item.sourceDomain());
    const std::optional<QString> url = lower(item.urlString());
    auto tags = [&item](const auto& visit) {
        for (const Tag* tag : item.tags())
            visit(tag->name().toLower());
    };
    return scoreTexts(item.title().toLower(), note ? &*note : nullptr, tags, domain ? &*domain : nullptr,
                      url ? &*url : nullptr, q, words);
}

QList<SearchService::Scored> SearchService::searchScored(const QList<Item*>& items, const QString& query,
                                                         const QSet<QUuid>& tagIDs, std::optional<ItemType> type,
                                                         bool favoritesOnly, const Folder* folder, bool includeArchived)
{
    setSearching(true);
    QList<Scored> result;
    result.reserve(items.size());
    for (Item* item : items) {
        if (!includeArchived && item->isArchived())
            continue;
        if (folder && (!item->folder() || item->folder()->id() != folder->id()))
            continue;
        if (favoritesOnly && !item->isFavorite())
            continue;
        if (type && item->type() != *type)
            continue;
        if (!tagIDs.isEmpty()) {
            qsizetype found = 0;
            for (const QUuid& id : tagIDs)
                found += item->hasTag(id);
            if (found != tagIDs.size())
                continue;
        }
        result.append({item, 0});
    }

    const QString q = normalizedQuery(query);
    if (userPerceivedLength(q) >= 2) {
        // Score each item once; a stable sort on the stored scores gives the
        // order that scoring in every comparison would.
        qsizetype kept = 0;
        for (Scored& s : result) {
            s.score = relevanceScore(*s.item, q);
            if (s.score >= 1)
                result[kept++] = s;
        }
        result.resize(kept);
        std::stable_sort(result.begin(), result.end(),
                         [](const Scored& a, const Scored& b) { return a.score > b.score; });
    }
    setSearching(false);
    return result;
}

QList<Item*> SearchService::search(const QList<Item*>& items, const QString& query, const QSet<QUuid>& tagIDs,
                                   std::optional<ItemType> type, bool favoritesOnly, const Folder* folder,
                                   bool includeArchived)
{
    const QList<Scored> scored = searchScored(items, query, tagIDs, type, favoritesOnly, folder, includeArchived);
    QList<Item*> result;
    result.reserve(scored.size());
    for (const Scored& s : scored)
        result.append(s.item);
    return result;
}

void SearchService::setSearchQuery(const QString& query)
{
    if (m_searchQuery == query)
        return;
    m_searchQuery = query;
    Q_EMIT searchQueryChanged();
}

void SearchService::setDebouncedQuery(const QString& query)
{
    if (m_debouncedQuery == query)
        return;
    m_debouncedQuery = query;
    Q_EMIT debouncedQueryChanged();
}

void SearchService::setRecentSearches(const QStringList& searches)
{
    if (m_recentSearches == searches)
        return;
    m_recentSearches = searches;
    Q_EMIT recentSearchesChanged();
}

void SearchService::setSearching(bool searching)
{
    if (m_isSearching == searching)
        return;
    m_isSearching = searching;
    Q_EMIT isSearchingChanged();
}
