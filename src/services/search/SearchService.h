#pragma once

#include "model/ItemType.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

class Folder;
class Item;
class Tag;

// Narrows a list of items by the user's filters and, when there is search
// text, ranks what remains by relevance. Main thread only.
class SearchService final : public QObject {
    Q_OBJECT

public:
    struct Scored {
        Item* item;
        int score;
    };

    explicit SearchService(QObject* parent = nullptr);
    static SearchService& shared();

    // Filters in order (archived, folder, favourites, type, tags), then, with
    // at least two user-perceived characters of trimmed, lower-cased text,
    // keeps the items scoring above zero, highest score first; equal scores
    // keep their input order.
    QList<Item*> search(const QList<Item*>& items, const QString& query, const QSet<QUuid>& tagIDs,
                        std::optional<ItemType> type, bool favoritesOnly, const Folder* folder, bool includeArchived);
    // The same, with each item's score (0 when there is no text stage).
    QList<Scored> searchScored(const QList<Item*>& items, const QString& query, const QSet<QUuid>& tagIDs,
                               std::optional<ItemType> type, bool favoritesOnly, const Folder* folder,
                               bool includeArchived);

    // The score of one item for a query (lower-cased again here).
    static int relevanceScore(const Item& item, const QString& query);

    static QString normalizedQuery(const QString& query);
    static int userPerceivedLength(const QString& text);

    const QString& searchQuery() const { return m_searchQuery; }
    void setSearchQuery(const QString& query);
    const QString& debouncedQuery() const { return m_debouncedQuery; }
    void setDebouncedQuery(const QString& query);
    const QStringList& recentSearches() const { return m_recentSearches; }
    void setRecentSearches(const QStringList& searches);
    bool isSearching() const { return m_isSearching; }

Q_SIGNALS:
    void searchQueryChanged();
    void debouncedQueryChanged();
    void recentSearchesChanged();
    void isSearchingChanged();

private:
    void setSearching(bool searching);

    QString m_searchQuery;
    QString m_debouncedQuery;
    QStringList m_recentSearches;
    bool m_isSearching = false;
};
