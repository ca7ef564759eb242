#include "LibraryIndex.h"

#include "SearchWeights.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "store/ModelContext.h"

#include <QCollator>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstring>

namespace {

// The texts are lower-cased as QStrings (exactly as the search service
// does) and kept as UTF-8: for valid UTF-8, a byte substring match is a
// character substring match, and glibc's memmem is fast on bytes.
// Appends the lower-cased UTF-8 of a text; ASCII text (the common case) is
// lowered in place, anything else exactly as QString::toLower does.
size_t appendLowerUtf8(std::string& out, const QString& text)
{
    const size_t start = out.size();
    const auto* data = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    bool ascii = true;
    for (qsizetype i = 0; i < n && ascii; ++i)
        ascii = data[i] < 0x80;
    if (ascii) {
        out.resize(start + size_t(n));
        char* dst = out.data() + start;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = data[i];
            dst[i] = char(c >= u'A' && c <= u'Z' ? c + 32 : c);
        }
    } else {
        const QByteArray utf8 = text.toLower().toUtf8();
        out.append(utf8.constData(), size_t(utf8.size()));
    }
    return out.size() - start;
}

std::string lowerUtf8(const QString& text)
{
    const QByteArray utf8 = text.toLower().toUtf8();
    return std::string(utf8.constData(), size_t(utf8.size()));
}

// Substring search: memchr (vectorised) to the next candidate for the first
// byte, then a compare. Faster than memmem on the short texts we hold.
const char* find(const char* haystack, size_t length, const std::string& needle)
{
    const size_t m = needle.size();
    if (m == 0)
        return haystack;
    if (m > length)
        return nullptr;
    const char first = needle[0];
    const char* end = haystack + (length - m + 1);
    for (const char* p = haystack; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, first, size_t(end - p)));
        if (!p)
            return nullptr;
        if (std::memcmp(p + 1, needle.data() + 1, m - 1) == 0)
            return p;
    }
    return nullptr;
}

bool contains(const char* haystack, size_t length, const std::string& needle)
{
    return find(haystack, length, needle) != nullptr;
}

constexpr quint32 kIndexedFields = ItemField::Type | ItemField::Url | ItemField::Title | ItemField::Note
                                   | ItemField::SourceDomain | ItemField::Folder | ItemField::Tags | ItemField::Archived
                                   | ItemField::Favorite | ItemField::CreatedAt | ItemField::ModifiedAt
                                   | ItemField::AccessedAt;

} // namespace

LibraryIndex::LibraryIndex(ModelContext* context, QObject* parent) : QObject(parent), m_context(context)
{
    const QList<Item*>& items = context->items();
    m_rows.reserve(size_t(items.size()));
    m_slotOf.reserve(items.size());
    for (Item* item : items)
        add(item);

    connect(context, &ModelContext::itemInserted, this, [this](Item* item) { add(item); });
    connect(context, &ModelContext::itemAboutToBeRemoved, this, [this](Item* item) { remove(item); });
    connect(context, &ModelContext::itemUpdated, this, [this](Item* item, quint32 fields) {
        if (!(fields & kIndexedFields))
            return;
        if (const auto it = m_slotOf.constFind(item); it != m_slotOf.constEnd())
            refill(it.value(), fields);
    });
    connect(context, &ModelContext::allAboutToBeRemoved, this, &LibraryIndex::clear);
    connect(context, &ModelContext::tagUpdated, this, [this](Tag* tag, quint32 fields) {
        if (!(fields & TagField::Name))
            return;
        if (const auto it = m_tagIndex.constFind(tag); it != m_tagIndex.constEnd())
            m_tagTable[it.value()].name = lowerUtf8(tag->name());
    });
    connect(context, &ModelContext::tagAboutToBeRemoved, this, [this](Tag* tag) {
        if (const auto it = m_tagIndex.constFind(tag); it != m_tagIndex.constEnd()) {
            m_tagTable[it.value()] = TagEntry{};
            m_tagIndex.erase(it);
        }
    });
}

LibraryIndex::~LibraryIndex() = default;

void LibraryIndex::clear()
{
    m_rows.clear();
    m_deadRows = 0;
    m_slotOf.clear();
    m_text.clear();
    m_garbage = 0;
    m_tagRefs.clear();
    m_tagGarbage = 0;
    m_tagTable.clear();
    m_tagIndex.clear();
    m_domains.clear();
    m_domainIndex.clear();
    m_titleKeys.clear();
    m_layoutDirty = true;
    m_laidOut = 0;
}

quint16 LibraryIndex::tagIndex(const Tag* tag)
{
    if (const auto it = m_tagIndex.constFind(tag); it != m_tagIndex.constEnd())
        return it.value();
    auto freeEntry = std::find_if(m_tagTable.begin(), m_tagTable.end(), [](const TagEntry& e) { return !e.tag; });
    if (freeEntry == m_tagTable.end())
        freeEntry = m_tagTable.insert(m_tagTable.end(), TagEntry{});
    *freeEntry = TagEntry{tag, tag->id(), lowerUtf8(tag->name())};
    const auto index = quint16(freeEntry - m_tagTable.begin());
    m_tagIndex.insert(tag, index);
    return index;
}

qint32 LibraryIndex::domainIndex(const QString& domain)
{
    // Keyed by the domain as stored, so the common hit costs no lower-casing.
    if (const auto it = m_domainIndex.constFind(domain); it != m_domainIndex.constEnd())
        return it.value();
    const auto index = qint32(m_domains.size());
    m_domains.push_back(lowerUtf8(domain));
    m_domainIndex.insert(domain, index);
    return index;
}

void LibraryIndex::add(Item* item)
{
    const auto slot = qint32(m_rows.size());
    m_rows.emplace_back();
    m_titleKeys.emplace_back();
    m_rows.back().item = item;
    m_rows.back().sequence = m_nextSequence++;
    m_slotOf.insert(item, slot);
    refill(slot);
}

void LibraryIndex::remove(const Item* item)
{
    const auto it = m_slotOf.constFind(item);
    if (it == m_slotOf.constEnd())
        return;
    const qint32 slot = it.value();
    m_slotOf.erase(it);
    Row& row = m_rows[size_t(slot)];
    m_garbage += row.titleLength + (row.noteLength == kAbsent ? 0 : row.noteLength)
                 + (row.urlLength == kAbsent ? 0 : row.urlLength);
    m_tagGarbage += row.tagCount;
    row = Row{};
    m_titleKeys[size_t(slot)].reset();
    ++m_deadRows;
    m_layoutDirty = true;
}

void LibraryIndex::refill(qsizetype slot, quint32 fields)
{
    Row& row = m_rows[size_t(slot)];
    const Item* item = row.item;
    const qint64 created = item->createdAt().toMSecsSinceEpoch();
    const qint64 modified = item->modifiedAt().toMSecsSinceEpoch();
    if (size_t(slot) < m_laidOut && (row.created != created || row.modified != modified))
        m_layoutDirty = true;
    row.folder = item->folder();
    row.created = created;
    row.modified = modified;
    row.accessed = item->accessedAt() ? item->accessedAt()->toMSecsSinceEpoch() : kNever;
    row.type = quint8(item->type());
    row.archived = item->isArchived();
    row.favorite = item->isFavorite();
    row.domain = item->sourceDomain() ? domainIndex(*item->sourceDomain()) : -1;

    // Moving, tagging or flagging many items leaves their text alone.
    if (fields & (ItemField::Title | ItemField::Note | ItemField::Url))
        refillText(slot);
    if (fields & ItemField::Tags)
        refillTags(slot);
}

void LibraryIndex::refillText(qsizetype slot)
{
    Row& row = m_rows[size_t(slot)];
    const Item* item = row.item;
    // Text: title, note and URL side by side; an edit appends a new copy.
    const size_t start = m_text.size();
    const size_t titleLength = appendLowerUtf8(m_text, item->title());
    const size_t noteLength = item->note() ? appendLowerUtf8(m_text, *item->note()) : 0;
    const size_t urlLength = item->urlString() ? appendLowerUtf8(m_text, *item->urlString()) : 0;
    if (row.titleLength
        && std::string_view(m_text.data() + row.text, row.titleLength)
               != std::string_view(m_text.data() + start, titleLength)) {
        m_titleKeys[size_t(slot)].reset();
        if (size_t(slot) < m_laidOut && (m_orderKind == Order::titleAscending || m_orderKind == Order::titleDescending))
            m_layoutDirty = true;
    }
    m_garbage += row.titleLength + (row.noteLength == kAbsent ? 0 : row.noteLength)
                 + (row.urlLength == kAbsent ? 0 : row.urlLength);
    row.text = quint32(start);
    row.titleLength = quint32(titleLength);
    row.noteLength = item->note() ? quint32(noteLength) : kAbsent;
    row.urlLength = item->urlString() ? quint32(urlLength) : kAbsent;

    // Edits append; the next lay-out reclaims the space.
    if (m_garbage > (1u << 20) && m_garbage > m_text.size() / 2)
        m_layoutDirty = true;
}

void LibraryIndex::refillTags(qsizetype slot)
{
    Row& row = m_rows[size_t(slot)];
    const QList<Tag*>& tags = row.item->tags();
    if (tags.size() > row.tagCount) {
        m_tagGarbage += row.tagCount;
        row.tags = quint32(m_tagRefs.size());
        m_tagRefs.resize(m_tagRefs.size() + size_t(tags.size()));
    } else {
        m_tagGarbage += size_t(row.tagCount - tags.size());
    }
    row.tagCount = quint16(tags.size());
    for (qsizetype i = 0; i < tags.size(); ++i)
        m_tagRefs[row.tags + size_t(i)] = tagIndex(tags[i]);
}

void LibraryIndex::layOut(Order order)
{
    // Rows added since the last lay-out (an import arriving in slices, a
    // save of another process) are sorted among themselves and merged in:
    // linear in the library, where sorting all of it again is not.
    const bool appendOnly = !m_layoutDirty && order == m_orderKind && m_laidOut > 0;
    if (appendOnly && m_laidOut == m_rows.size())
        return;
    const size_t sortedPrefix = appendOnly ? m_laidOut : 0;
    m_layoutDirty = false;
    m_orderKind = order;

    std::vector<qint32> order_;
    const auto& rows = m_rows;
    // Every order breaks ties the way "newest first, then insertion order" does.
    auto newestFirst = [&rows](qint32 a, qint32 b) {
        const Row& x = rows[size_t(a)];
        const Row& y = rows[size_t(b)];
        return x.created != y.created ? x.created > y.created : x.sequence < y.sequence;
    };
    switch (order) {
    case Order::createdDescending: order_ = arrange(sortedPrefix, newestFirst); break;
    case Order::createdAscending:
        order_ = arrange(sortedPrefix, [&rows](qint32 a, qint32 b) {
            const Row& x = rows[size_t(a)];
            const Row& y = rows[size_t(b)];
            return x.created != y.created ? x.created < y.created : x.sequence < y.sequence;
        });
        break;
    case Order::modifiedDescending:
        order_ = arrange(sortedPrefix, [&](qint32 a, qint32 b) {
            const Row& x = rows[size_t(a)];
            const Row& y = rows[size_t(b)];
            return x.modified != y.modified ? x.modified > y.modified : newestFirst(a, b);
        });
        break;
    case Order::titleAscending:
    case Order::titleDescending: {
        // The "C" locale's collation is byte order ("Tax" before "budget");
        // people sort titles without regard to case and numbers by value.
        const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
        QCollator collator{locale};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        for (size_t slot = sortedPrefix; slot < m_rows.size(); ++slot) {
            auto& key = m_titleKeys[slot];
            if (!key && m_rows[slot].item)
                key = collator.sortKey(m_rows[slot].item->title());
        }
        const bool ascending = order == Order::titleAscending;
        order_ = arrange(sortedPrefix, [&](qint32 a, qint32 b) {
            const int c = m_titleKeys[size_t(a)]->compare(*m_titleKeys[size_t(b)]);
            if (c != 0)
                return ascending ? c < 0 : c > 0;
            return newestFirst(a, b);
        });
        break;
    }
    }

    std::vector<Row> newRows;
    newRows.reserve(order_.size());
    std::vector<std::optional<QCollatorSortKey>> newKeys;
    newKeys.reserve(order_.size());
    if (appendOnly) {
        // Text and tags stay where they are; only the rows move, and only
        // the rows that moved are looked up again.
        for (const qint32 slot : order_) {
            const auto position = qint32(newRows.size());
            newRows.push_back(m_rows[size_t(slot)]);
            newKeys.push_back(std::move(m_titleKeys[size_t(slot)]));
            if (slot != position)
                m_slotOf[newRows.back().item] = position;
        }
        m_rows = std::move(newRows);
        m_titleKeys = std::move(newKeys);
        m_laidOut = m_rows.size();
        return;
    }

    // Rebuild rows, text, tags and the lookup in that order.
    std::string text;
    text.reserve(m_text.size() - std::min(m_garbage, m_text.size()));
    std::vector<quint16> tagRefs;
    tagRefs.reserve(m_tagRefs.size() - std::min(m_tagGarbage, m_tagRefs.size()));
    m_slotOf.clear();
    m_slotOf.reserve(qsizetype(order_.size()));
    for (const qint32 slot : order_) {
        Row row = m_rows[size_t(slot)];
        const size_t length = row.titleLength + (row.noteLength == kAbsent ? 0 : row.noteLength)
                              + (row.urlLength == kAbsent ? 0 : row.urlLength);
        const auto textOffset = quint32(text.size());
        text.append(m_text, row.text, length);
        row.text = textOffset;
        const auto tagOffset = quint32(tagRefs.size());
        tagRefs.insert(tagRefs.end(), m_tagRefs.begin() + row.tags, m_tagRefs.begin() + row.tags + row.tagCount);
        row.tags = tagOffset;
        m_slotOf.insert(row.item, qint32(newRows.size()));
        newRows.push_back(row);
        newKeys.push_back(std::move(m_titleKeys[size_t(slot)]));
    }
    m_rows = std::move(newRows);
    m_titleKeys = std::move(newKeys);
    m_text = std::move(text);
    m_tagRefs = std::move(tagRefs);
    m_garbage = 0;
    m_tagGarbage = 0;
    m_deadRows = 0;
    m_laidOut = m_rows.size();
}

template <typename Less>
std::vector<qint32> LibraryIndex::arrange(size_t sortedPrefix, Less less) const
{
    // The live rows from sortedPrefix on, sorted; the rows before it are in
    // order already and all live.
    std::vector<qint32> fresh;
    fresh.reserve(m_rows.size() - sortedPrefix);
    for (size_t slot = sortedPrefix; slot < m_rows.size(); ++slot) {
        if (m_rows[slot].item)
            fresh.push_back(qint32(slot));
    }
    std::sort(fresh.begin(), fresh.end(), less);
    if (sortedPrefix == 0)
        return fresh;
    std::vector<qint32> merged;
    merged.reserve(sortedPrefix + fresh.size());
    auto next = fresh.cbegin();
    for (qint32 slot = 0; slot < qint32(sortedPrefix); ++slot) {
        while (next != fresh.cend() && less(*next, slot))
            merged.push_back(*next++);
        merged.push_back(slot);
    }
    merged.insert(merged.end(), next, fresh.cend());
    return merged;
}

bool LibraryIndex::inSmartFolder(SmartFolder folder, const Row& row, qint64 cutoff) const
{
    switch (folder) {
    case SmartFolder::inbox: return !row.folder && !row.archived;
    case SmartFolder::favorites: return row.favorite && !row.archived;
    case SmartFolder::recentlyAdded: return row.created >= cutoff && !row.archived;
    case SmartFolder::recentlyViewed: return row.accessed != kNever && row.accessed >= cutoff && !row.archived;
    case SmartFolder::archived: return row.archived;
    case SmartFolder::allItems: return !row.archived;
    }
    return false;
}

QList<int> LibraryIndex::smartFolderCounts(const QDateTime& cutoffDate) const
{
    const qint64 cutoff = cutoffDate.toMSecsSinceEpoch();
    QList<int> counts(SmartFolders::allCases().size(), 0);
    for (const Row& row : m_rows) {
        if (!row.item)
            continue;
        if (row.archived) {
            ++counts[4];
            continue;
        }
        ++counts[5];
        counts[0] += !row.folder;
        counts[1] += row.favorite;
        counts[2] += row.created >= cutoff;
        counts[3] += row.accessed != kNever && row.accessed >= cutoff;
    }
    return counts;
}

QList<SearchService::Scored> LibraryIndex::run(const Query& query)
{
    const qint64 cutoff = query.cutoff.toMSecsSinceEpoch();
    const QString normalized = SearchService::normalizedQuery(query.text);
    const bool textStage = SearchService::userPerceivedLength(normalized) >= 2;

    // Required tags as table indices; a tag we do not know matches nothing.
    std::vector<quint16> required;
    for (const QUuid& id : query.tagIDs) {
        const auto it = std::find_if(m_tagTable.cbegin(), m_tagTable.cend(),
                                     [&id](const TagEntry& e) { return e.tag && e.id == id; });
        if (it == m_tagTable.cend())
            return {};
        required.push_back(quint16(it - m_tagTable.cbegin()));
    }

    std::string q;
    std::vector<std::string> words;
    std::vector<int> tagScores;
    std::vector<int> domainScores;
    if (textStage) {
        const QString lowered = normalized.toLower();
        q = lowerUtf8(lowered);
        for (const QString& w : lowered.split(u' ', Qt::SkipEmptyParts)) {
            const QByteArray utf8 = w.toUtf8();
            words.emplace_back(utf8.constData(), size_t(utf8.size()));
        }
        // Tag and domain points depend only on the name and the query.
        tagScores.resize(m_tagTable.size());
        for (size_t t = 0; t < m_tagTable.size(); ++t) {
            const std::string& name = m_tagTable[t].name;
            int points = contains(name.data(), name.size(), q) ? SearchWeights::kTagContainsQuery : 0;
            for (const std::string& w : words)
                points += contains(name.data(), name.size(), w) ? SearchWeights::kTagWord : 0;
            tagScores[t] = points;
        }
        domainScores.resize(m_domains.size());
        for (size_t d = 0; d < m_domains.size(); ++d)
            domainScores[d] =
                contains(m_domains[d].data(), m_domains[d].size(), q) ? SearchWeights::kDomainContainsQuery : 0;
    }

    layOut(query.order);
    struct Hit {
        qint32 slot;
        int score;
    };
    // Reads only; safe to run on two threads over two halves of the rows.
    auto scan = [&](qint32 first, qint32 last, std::vector<Hit>& out) {
        out.reserve(size_t(last - first));
        for (qint32 slot = first; slot < last; ++slot) {
            const Row& row = m_rows[size_t(slot)];
            if (query.smartFolder && !inSmartFolder(*query.smartFolder, row, cutoff))
                continue;
            if (query.folder && row.folder != query.folder)
                continue;
            if (!query.includeArchived && row.archived)
                continue;
            if (query.favoritesOnly && !row.favorite)
                continue;
            if (query.type && row.type != quint8(*query.type))
                continue;
            if (!required.empty()) {
                const quint16* begin = m_tagRefs.data() + row.tags;
                const quint16* end = begin + row.tagCount;
                if (!std::all_of(required.cbegin(), required.cend(),
                                 [&](quint16 t) { return std::find(begin, end, t) != end; }))
                    continue;
            }
            if (!textStage) {
                out.push_back({slot, 0});
                continue;
            }

            const char* title = m_text.data() + row.text;
            int score = 0;
            for (quint16 i = 0; i < row.tagCount; ++i)
                score += tagScores[m_tagRefs[row.tags + i]];
            if (row.domain >= 0)
                score += domainScores[size_t(row.domain)];
            // Title, note and URL lie side by side: when no word occurs anywhere
            // in them, none of them scores.
            const size_t textLength = row.titleLength + (row.noteLength == kAbsent ? 0 : row.noteLength)
                                      + (row.urlLength == kAbsent ? 0 : row.urlLength);
            if (std::none_of(words.cbegin(), words.cend(),
                             [&](const std::string& w) { return contains(title, textLength, w); })) {
                if (score >= 1)
                    out.push_back({slot, score});
                continue;
            }
            if (const char* at = find(title, row.titleLength, q))
                score += at == title ? SearchWeights::kTitleStartsWithQuery : SearchWeights::kTitleContainsQuery;
            else if (std::all_of(words.cbegin(), words.cend(),
                                 [&](const std::string& w) { return contains(title, row.titleLength, w); }))
                score += SearchWeights::kTitleContainsEveryWord;
            if (row.noteLength != kAbsent) {
                const char* note = title + row.titleLength;
                if (contains(note, row.noteLength, q)) {
                    score += SearchWeights::kNoteContainsQuery;
                } else {
                    for (const std::string& w : words)
                        score += contains(note, row.noteLength, w) ? SearchWeights::kNoteWord : 0;
                }
            }
            if (row.urlLength != kAbsent) {
                const char* url = title + row.titleLength + (row.noteLength == kAbsent ? 0 : row.noteLength);
                score += contains(url, row.urlLength, q) ? SearchWeights::kUrlContainsQuery : 0;
            }
            if (score >= 1)
                out.push_back({slot, score});
        }
    };

    std::vector<Hit> hits;
    const auto rowCount = qint32(m_rows.size());
    if (rowCount < s_parallelThreshold) {
        scan(0, rowCount, hits);
    } else {
        // Large libraries: the second half on a pool thread, in parallel.
        const qint32 middle = rowCount / 2;
        std::vector<Hit> tail;
        QFuture<void> other = QtConcurrent::run([&] { scan(middle, rowCount, tail); });
        scan(0, middle, hits);
        other.waitForFinished();
        hits.insert(hits.end(), tail.begin(), tail.end());
    }
    if (textStage)
        std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.score > b.score; });

    QList<SearchService::Scored> result;
    result.reserve(qsizetype(hits.size()));
    for (const Hit& hit : hits)
        result.append({m_rows[size_t(hit.slot)].item, hit.score});
    return result;
}
