#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "services/search/LibraryIndex.h"
#include "store/ModelContext.h"
#include "support/ItemListOracle.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {
const QDateTime kNow(QDate(2026, 6, 15), QTime(12, 0), QTimeZone::utc());

QStringList titles(const QList<Item*>& items)
{
    QStringList t;
    for (const Item* i : items)
        t.append(i->title());
    return t;
}

// A small library covering every rule of the stages.
struct Library {
    TestSupport::TempContainer container;
    std::unique_ptr<ModelContext> ctx = container.open();
    Folder* folder = nullptr;
    Folder* child = nullptr;
    Tag* red = nullptr;
    Tag* blue = nullptr;

    Item* add(const QString& title, qint64 ageSecs)
    {
        Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, title, QUrl(u"https://site.org/x"_s)));
        item->setCreatedAt(kNow.addSecs(-ageSecs));
        return item;
    }

    Library()
    {
        folder = ctx->insert(std::make_unique<Folder>(u"Projects"_s, u"folder"_s, QColor(Qt::red)));
        child = ctx->insert(std::make_unique<Folder>(u"Sub"_s, u"folder"_s, QColor(Qt::red), folder));
        red = ctx->insert(std::make_unique<Tag>(u"red"_s, QColor(Qt::red)));
        blue = ctx->insert(std::make_unique<Tag>(u"blue"_s, QColor(Qt::blue)));
        const qint64 day = 86400;
        add(u"fresh"_s, 10);
        Item* fav = add(u"favourite garden"_s, 2 * day);
        fav->setFavorite(true);
        fav->setTags({red, blue});
        add(u"at the cut-off"_s, 7 * day);
        add(u"just too old"_s, 7 * day + 1);
        Item* viewed = add(u"viewed"_s, 30 * day);
        viewed->setAccessedAt(kNow.addSecs(-day));
        Item* filed = add(u"filed garden"_s, 40 * day);
        filed->setFolder(folder);
        filed->setTags({red});
        Item* deep = add(u"in subfolder"_s, 50 * day);
        deep->setFolder(child);
        Item* archived = add(u"archived garden"_s, 3 * day);
        archived->setArchived(true);
        archived->setFolder(folder);
        archived->setFavorite(true);
        archived->setAccessedAt(kNow);
    }
};
} // namespace

class TestItemListQuery : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::FixedClock> m_clock;

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::initTestEnvironment();
        m_clock = std::make_unique<TestSupport::FixedClock>(kNow);
    }
    void cleanupTestCase() { m_clock.reset(); }

    void stages_data()
    {
        QTest::addColumn<QString>("smart");  // raw value, or empty for none
        QTest::addColumn<QString>("folder"); // "", "Projects" or "Sub"
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("title");
        QTest::newRow("all items at start, newest first")
            << u"allItems"_s << QString() << QString() << QString()
            << QStringList{u"fresh"_s,  u"favourite garden"_s, u"at the cut-off"_s, u"just too old"_s,
                           u"viewed"_s, u"filed garden"_s,     u"in subfolder"_s}
            << u"All Items"_s;
        QTest::newRow("inbox: unfiled, not archived")
            << u"inbox"_s << QString() << QString() << QString()
            << QStringList{u"fresh"_s, u"favourite garden"_s, u"at the cut-off"_s, u"just too old"_s, u"viewed"_s}
            << u"Inbox"_s;
        QTest::newRow("recently added includes the cut-off exactly")
            << u"recentlyAdded"_s << QString() << QString() << QString()
            << QStringList{u"fresh"_s, u"favourite garden"_s, u"at the cut-off"_s} << u"Recently Added"_s;
        QTest::newRow("recently viewed") << u"recentlyViewed"_s << QString() << QString() << QString()
                                         << QStringList{u"viewed"_s} << u"Recently Viewed"_s;
        QTest::newRow("archived even with a query") << u"archived"_s << QString() << u"garden"_s << QString()
                                                    << QStringList{u"archived garden"_s} << u"Archived"_s;
        QTest::newRow("favorites hide archived") << u"favorites"_s << QString() << QString() << QString()
                                                 << QStringList{u"favourite garden"_s} << u"Favorites"_s;
        QTest::newRow("root folder: no subfolders, no archived")
            << QString() << u"Projects"_s << QString() << QString() << QStringList{u"filed garden"_s} << u"Projects"_s;
        QTest::newRow("child folder keeps the smart folder")
            << u"inbox"_s << u"Sub"_s << QString() << QString() << QStringList{} << u"Sub"_s;
        QTest::newRow("search ranks, then date")
            << u"allItems"_s << QString() << u"garden"_s << QString()
            << QStringList{u"favourite garden"_s, u"filed garden"_s} << u"All Items"_s;
        QTest::newRow("two tags: items with only one are out")
            << u"allItems"_s << QString() << QString() << u"red blue"_s << QStringList{u"favourite garden"_s}
            << u"All Items"_s;
    }
    void stages()
    {
        QFETCH(QString, smart);
        QFETCH(QString, folder);
        QFETCH(QString, query);
        QFETCH(QString, tags);
        QFETCH(QStringList, expected);
        QFETCH(QString, title);
        Library lib;
        AppState state;
        ItemListQuery list(lib.ctx.get(), &state);
        Folder* chosen = folder == u"Projects" ? lib.folder : folder == u"Sub" ? lib.child : nullptr;
        if (!smart.isEmpty())
            list.selectSmartFolder(*SmartFolders::fromRawValue(smart));
        if (chosen && smart.isEmpty())
            list.selectRootFolder(chosen);
        else if (chosen)
            list.selectChildFolder(chosen);
        state.setSearchQuery(query);
        QSet<Tag*> filter;
        if (tags.contains(u"red"))
            filter.insert(lib.red);
        if (tags.contains(u"blue"))
            filter.insert(lib.blue);
        state.setFilterTags(filter);
        QCOMPARE(titles(list.items()), expected);
        QCOMPARE(list.navigationTitle(), title);
    }

    void countsIgnoreFiltersAndCountRecentlyViewed()
    {
        Library lib;
        AppState state;
        ItemListQuery list(lib.ctx.get(), &state);
        const QList<int> expected{5, 1, 3, 1, 1, 7};
        QCOMPARE(list.smartFolderCounts(), expected);
        state.setSearchQuery(u"garden"_s);
        state.setShowFavoritesOnly(true);
        list.selectRootFolder(lib.folder);
        QCOMPARE(list.smartFolderCounts(), expected);
        QCOMPARE(SmartFolders::counts(lib.ctx->items(), SmartFolders::recentCutoff()), expected);
    }

    void recomputesOncePerTurn()
    {
        Library lib;
        AppState state;
        ItemListQuery list(lib.ctx.get(), &state);
        list.items();
        QSignalSpy changed(&list, &ItemListQuery::itemsChanged);
        QSignalSpy counts(&list, &ItemListQuery::countsChanged);
        state.setSearchQuery(u"ga"_s);
        state.setSearchQuery(u"gar"_s);
        state.setShowFavoritesOnly(true);
        lib.ctx->items().first()->toggleArchived();
        QVERIFY(changed.wait(1000));
        QCoreApplication::processEvents();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(counts.size(), 1);
        // An edit the list does not show (a picture) recomputes nothing: once
        // the context has reported it, the list's turn has come and gone.
        QSignalSpy contextChanged(lib.ctx.get(), &ModelContext::changed);
        lib.ctx->items().first()->setThumbnailData(QByteArray("x"));
        QVERIFY(contextChanged.wait(1000));
        QCoreApplication::processEvents();
        QCOMPARE(changed.size(), 1);
    }

    void deletedSelectedFolderFallsBackToAllItems()
    {
        Library lib;
        AppState state;
        ItemListQuery list(lib.ctx.get(), &state);
        list.selectRootFolder(lib.folder);
        lib.ctx->remove(lib.folder);
        QCOMPARE(list.navigationTitle(), u"All Items"_s);
        QCOMPARE(list.items().size(), 7);
    }

    void chosenSortOrderApplies_data()
    {
        QTest::addColumn<SortOrder>("order");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("title A-Z ignores case")
            << SortOrder::titleAscending << QString() << QStringList{u"apple"_s, u"Banana"_s, u"cherry"_s, u"Cherry"_s};
        QTest::newRow("title Z-A") << SortOrder::titleDescending << QString()
                                   << QStringList{u"cherry"_s, u"Cherry"_s, u"Banana"_s, u"apple"_s};
        QTest::newRow("oldest first") << SortOrder::dateAddedAscending << QString()
                                      << QStringList{u"Cherry"_s, u"Banana"_s, u"apple"_s, u"cherry"_s};
        QTest::newRow("recently modified") << SortOrder::dateModifiedDescending << QString()
                                           << QStringList{u"Banana"_s, u"cherry"_s, u"apple"_s, u"Cherry"_s};
        QTest::newRow("equal scores keep the chosen order")
            << SortOrder::titleAscending << u"an"_s << QStringList{u"Banana"_s};
        QTest::newRow("equal scores, title order")
            << SortOrder::titleDescending << u"rry"_s << QStringList{u"cherry"_s, u"Cherry"_s};
    }
    void chosenSortOrderApplies()
    {
        QFETCH(SortOrder, order);
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        TestSupport::TempContainer container;
        auto ctx = container.open();
        const QStringList names{u"Cherry"_s, u"Banana"_s, u"apple"_s, u"cherry"_s}; // oldest first
        for (int i = 0; i < names.size(); ++i) {
            Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, names[i]));
            item->setCreatedAt(kNow.addSecs(-1000 + i));
            item->setModifiedAt(kNow.addSecs(names[i] == u"Banana" ? 500 : i));
        }
        AppState state;
        state.setSortOrder(order);
        state.setSearchQuery(query);
        ItemListQuery list(ctx.get(), &state);
        QCOMPARE(titles(list.items()), expected);
        // The plain computation gives the same list.
        ItemListQuery::Filters filters;
        filters.query = query;
        filters.sortOrder = order;
        SearchService search;
        QList<Item*> plain;
        for (const auto& s : ItemListOracle::compute(ItemListOracle::sorted(ctx->items(), order), {}, filters, search,
                                                     SmartFolders::recentCutoff()))
            plain.append(s.item);
        QCOMPARE(titles(plain), expected);
    }

    // The index must give exactly the plain computation's list and scores,
    // for any library, selection, filter and query, before and after edits.
    void indexAgreesWithThePlainComputation()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        QRandomGenerator random(1234);
        const QStringList words{u"Garden"_s, u"tips"_s, u"rust"_s, u"Straße"_s,    u"ÄRGER"_s, u"a\tb"_s,
                                u"über"_s,   u"x"_s,    u"🙂"_s, u"GARDENING"_s, u"the"_s,   u"ǅemal"_s};
        auto phrase = [&](int n) {
            QStringList w;
            for (int i = 0; i < n; ++i)
                w.append(words[int(random.bounded(words.size()))]);
            return w.join(u' ');
        };
        QList<Folder*> folders{ctx->insert(std::make_unique<Folder>(u"F1"_s, u"folder"_s, QColor(Qt::red)))};
        folders.append(ctx->insert(std::make_unique<Folder>(u"F2"_s, u"folder"_s, QColor(Qt::red), folders[0])));
        QList<Tag*> tags;
        for (int i = 0; i < 5; ++i)
            tags.append(ctx->insert(std::make_unique<Tag>(phrase(1), QColor(Qt::red))));
        const QStringList hosts{u"garden.org"_s, u"RUST-lang.org"_s, u"example.com"_s};
        for (int i = 0; i < 300; ++i) {
            std::optional<QUrl> url;
            if (random.bounded(4))
                url = QUrl(u"https://"_s + hosts[int(random.bounded(hosts.size()))] + u"/"_s
                           + phrase(1).toHtmlEscaped().replace(u' ', u'-'));
            auto item = std::make_unique<Item>(ItemType::webLink, phrase(1 + int(random.bounded(4))), url,
                                               random.bounded(3) ? std::nullopt : std::optional<QString>(phrase(3)));
            item->setCreatedAt(kNow.addSecs(-qint64(random.bounded(20)) * 86400 / 2));
            item->setModifiedAt(kNow.addSecs(-qint64(random.bounded(100))));
            item->setArchived(random.bounded(8) == 0);
            item->setFavorite(random.bounded(5) == 0);
            if (random.bounded(4) == 0)
                item->setFolder(folders[int(random.bounded(2))]);
            if (random.bounded(6) == 0)
                item->setAccessedAt(kNow.addSecs(-qint64(random.bounded(14)) * 86400));
            if (random.bounded(7) == 0)
                item->setTypeRawValue(random.bounded(2) ? u"video"_s : u"hologram"_s);
            for (int t = 0; t < int(random.bounded(3)); ++t)
                item->addTag(tags[int(random.bounded(tags.size()))]);
            ctx->insert(std::move(item));
        }
        LibraryIndex index(ctx.get());
        SearchService search;
        const QStringList queries{QString(),   u"g"_s,          u"garden"_s,  u" Garden Tips "_s,
                                  u"straße"_s, u"ärger über"_s, u"a\tb"_s,    u"rust-lang"_s,
                                  u"🙂 x"_s, u"https"_s,      u"the the"_s, u"ǆemal"_s};
        auto check = [&](const QString& stage) {
            for (int round = 0; round < 60; ++round) {
                ItemListQuery::Selection selection;
                const int s = int(random.bounded(8));
                selection.smartFolder = s < 6 ? std::optional<SmartFolder>(SmartFolders::allCases()[s]) : std::nullopt;
                if (s >= 6 || random.bounded(5) == 0)
                    selection.folder = folders[int(random.bounded(2))];
                ItemListQuery::Filters filters;
                filters.query = queries[int(random.bounded(queries.size()))];
                if (random.bounded(4) == 0)
                    filters.tagIDs.insert(tags[int(random.bounded(tags.size()))]->id());
                if (random.bounded(5) == 0)
                    filters.type = random.bounded(2) ? ItemType::webLink : ItemType::video;
                filters.favoritesOnly = random.bounded(6) == 0;
                filters.sortOrder = SortOrders::allCases()[int(random.bounded(5))];
                const QDateTime cutoff = SmartFolders::recentCutoff();
                const auto plain = ItemListOracle::compute(ItemListOracle::sorted(ctx->items(), filters.sortOrder),
                                                           selection, filters, search, cutoff);
                const auto fast = index.run(ItemListQuery::indexQuery(selection, filters, cutoff));
                QCOMPARE(fast.size(), plain.size());
                for (qsizetype i = 0; i < plain.size(); ++i) {
                    QVERIFY2(fast[i].item == plain[i].item && fast[i].score == plain[i].score,
                             qPrintable(stage + u": query “"_s + filters.query + u"” at "_s + QString::number(i)));
                }
            }
            QCOMPARE(index.smartFolderCounts(SmartFolders::recentCutoff()),
                     SmartFolders::counts(ctx->items(), SmartFolders::recentCutoff()));
        };
        check(u"fresh"_s);
        LibraryIndex::setParallelThreshold(10); // the two-thread scan gives the same answers
        check(u"two threads"_s);
        LibraryIndex::setParallelThreshold(20000);
        // Edits of every kind the index follows.
        for (int i = 0; i < 80; ++i) {
            Item* item = ctx->items()[int(random.bounded(ctx->items().size()))];
            switch (random.bounded(8)) {
            case 0: item->setTitle(phrase(2)); break;
            case 1: item->setNote(phrase(2)); break;
            case 2: item->toggleArchived(); break;
            case 3: item->moveToFolder(random.bounded(2) ? folders[0] : nullptr); break;
            case 4: item->addTag(tags[int(random.bounded(tags.size()))]); break;
            case 5: ctx->remove(item); break;
            case 6: item->setUrlString(u"https://garden.org/new"_s); break;
            default: item->setCreatedAt(kNow.addSecs(-qint64(random.bounded(1000)))); break;
            }
        }
        tags[0]->setName(u"Garden tips"_s);
        ctx->remove(tags[1]);
        ctx->remove(folders[1]);
        for (int i = 0; i < 20; ++i)
            ctx->insert(std::make_unique<Item>(ItemType::webLink, phrase(2)));
        check(u"after edits"_s);

        // Items added after a lay-out are merged into it: under each order,
        // slices of items older, newer and tied with those there, each
        // slice compared before the next arrives.
        for (const SortOrder order : SortOrders::allCases()) {
            ItemListQuery::Filters filters;
            filters.sortOrder = order;
            for (int slice = 0; slice < 3; ++slice) {
                for (int i = 0; i < 15; ++i) {
                    auto item = std::make_unique<Item>(ItemType::webLink, phrase(1));
                    const Item* twin = ctx->items()[int(random.bounded(ctx->items().size()))];
                    item->setCreatedAt(random.bounded(2) ? twin->createdAt()
                                                         : kNow.addSecs(qint64(random.bounded(2000)) - 1000));
                    item->setModifiedAt(random.bounded(2) ? twin->modifiedAt() : kNow);
                    ctx->insert(std::move(item));
                }
                for (const QString& text : {QString(), u"garden"_s}) {
                    filters.query = text;
                    ItemListQuery::Selection selection;
                    const QDateTime cutoff = SmartFolders::recentCutoff();
                    const auto plain = ItemListOracle::compute(ItemListOracle::sorted(ctx->items(), order), selection,
                                                               filters, search, cutoff);
                    const auto fast = index.run(ItemListQuery::indexQuery(selection, filters, cutoff));
                    QCOMPARE(fast.size(), plain.size());
                    for (qsizetype i = 0; i < plain.size(); ++i)
                        QVERIFY2(fast[i].item == plain[i].item && fast[i].score == plain[i].score,
                                 qPrintable(u"merged slice %1 at %2"_s.arg(slice).arg(i)));
                }
            }
        }
        check(u"after merges"_s);
    }
};

QTEST_GUILESS_MAIN(TestItemListQuery)
#include "tst_itemlistquery.moc"
