#include "model/Folder.h"
#include "model/Item.h"
#include "model/SmartFolder.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class TestFolderTag : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void sortedChildrenIsStable()
    {
        Folder root(u"root"_s, u"folder"_s, QColor(Qt::red));
        Folder a(u"a"_s, u"folder"_s, QColor(Qt::red), &root);
        Folder b(u"b"_s, u"folder"_s, QColor(Qt::red), &root);
        Folder c(u"c"_s, u"folder"_s, QColor(Qt::red), &root);
        b.setSortOrder(-1);
        QCOMPARE(root.sortedChildren(), (QList<Folder*>{&b, &a, &c}));
    }

    void allDescendantsArePreOrder()
    {
        Folder root(u"root"_s, u"folder"_s, QColor(Qt::red));
        Folder a(u"a"_s, u"folder"_s, QColor(Qt::red), &root);
        Folder a1(u"a1"_s, u"folder"_s, QColor(Qt::red), &a);
        Folder a1x(u"a1x"_s, u"folder"_s, QColor(Qt::red), &a1);
        Folder b(u"b"_s, u"folder"_s, QColor(Qt::red), &root);
        QCOMPARE(root.allDescendants(), (QList<Folder*>{&a, &a1, &a1x, &b}));
        QVERIFY(a1x.allDescendants().isEmpty());
    }

    void parentCannotCloseACycle()
    {
        Folder a(u"a"_s, u"folder"_s, QColor(Qt::red));
        Folder b(u"b"_s, u"folder"_s, QColor(Qt::red), &a);
        Folder c(u"c"_s, u"folder"_s, QColor(Qt::red), &b);
        QVERIFY(!a.setParent(&a));
        QVERIFY(!a.setParent(&c));
        QCOMPARE(a.parent(), nullptr);
        QVERIFY(c.setParent(&a));
        QCOMPARE(a.children(), (QList<Folder*>{&b, &c}));
        QCOMPARE(b.children(), QList<Folder*>{});
    }

    void tagOrdering_data()
    {
        QTest::addColumn<int>("orderA");
        QTest::addColumn<QString>("nameA");
        QTest::addColumn<int>("orderB");
        QTest::addColumn<QString>("nameB");
        QTest::addColumn<bool>("aLess");
        QTest::addColumn<bool>("bLess");
        QTest::newRow("same order: name ignoring case") << 0 << u"apple"_s << 0 << u"Banana"_s << true << false;
        QTest::newRow("sort order wins over name") << 1 << u"apple"_s << 0 << u"Zebra"_s << false << true;
        QTest::newRow("names equal but for case are unordered") << 0 << u"Work"_s << 0 << u"work"_s << false << false;
    }
    void tagOrdering()
    {
        QFETCH(int, orderA);
        QFETCH(QString, nameA);
        QFETCH(int, orderB);
        QFETCH(QString, nameB);
        QFETCH(bool, aLess);
        QFETCH(bool, bLess);
        Tag a(nameA, QColor(Qt::red)), b(nameB, QColor(Qt::red));
        a.setSortOrder(orderA);
        b.setSortOrder(orderB);
        QCOMPARE(a < b, aLess);
        QCOMPARE(b < a, bLess);
        QCOMPARE(a >= b, !aLess);
        QVERIFY(!(a == b));
    }

    void tagEqualityIsById()
    {
        Tag a(u"same"_s, QColor(Qt::red)), b(u"same"_s, QColor(Qt::red));
        QVERIFY(!(a == b));
        QVERIFY(a == a);
        QCOMPARE(qHash(a), qHash(a.id()));
    }

    void itemCountSkipsArchived()
    {
        Tag tag(u"t"_s, QColor(Qt::red));
        Item a(ItemType::webLink, u"a"_s), b(ItemType::webLink, u"b"_s), c(ItemType::webLink, u"c"_s);
        for (Item* i : {&a, &b, &c})
            i->addTag(&tag);
        c.toggleArchived();
        QCOMPARE(tag.itemCount(), 2);
    }

    void tagDragItemJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("upper-case id") << QByteArray(R"({"tagId":"6C626533-D9A1-4DF4-B357-F75DCCE91B18"})") << true;
        QTest::newRow("lower-case id") << QByteArray(R"({"tagId":"6c626533-d9a1-4df4-b357-f75dcce91b18"})") << true;
        QTest::newRow("missing key") << QByteArray(R"({"id":"6C626533-D9A1-4DF4-B357-F75DCCE91B18"})") << false;
        QTest::newRow("not a UUID") << QByteArray(R"({"tagId":"hello"})") << false;
        QTest::newRow("braced UUID") << QByteArray(R"({"tagId":"{6C626533-D9A1-4DF4-B357-F75DCCE91B18}"})") << false;
        QTest::newRow("number") << QByteArray(R"({"tagId":5})") << false;
        QTest::newRow("not JSON") << QByteArray("tagId") << false;
    }
    void tagDragItemJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto item = TagDragItem::fromJson(json);
        QCOMPARE(item.has_value(), decodes);
        if (decodes)
            QCOMPARE(item->tagId, QUuid(u"6C626533-D9A1-4DF4-B357-F75DCCE91B18"_s));
    }

    void tagDragItemEncodes()
    {
        const TagDragItem item{QUuid(u"6c626533-d9a1-4df4-b357-f75dcce91b18"_s)};
        QCOMPARE(item.toJson(), QByteArray(R"({"tagId":"6C626533-D9A1-4DF4-B357-F75DCCE91B18"})"));
        QCOMPARE(TagDragItem::mimeType(), u"com.vellumkeep.tag"_s);
    }

    void smartFolderRules_data()
    {
        QTest::addColumn<bool>("archived");
        QTest::addColumn<bool>("favorite");
        QTest::addColumn<bool>("filed");
        QTest::addColumn<qint64>("createdAgoSecs");
        QTest::addColumn<qint64>("viewedAgoSecs"); // -1: never viewed
        QTest::addColumn<QString>("memberships");  // raw values of the folders it belongs to
        const qint64 week = 7 * 24 * 3600;
        QTest::newRow("fresh unfiled item")
            << false << false << false << 0LL << -1LL << u"inbox recentlyAdded allItems"_s;
        QTest::newRow("created exactly at the cut-off is recent")
            << false << false << true << week << -1LL << u"recentlyAdded allItems"_s;
        QTest::newRow("created 7 days and 1 second ago is not")
            << false << false << true << week + 1 << -1LL << u"allItems"_s;
        QTest::newRow("viewed yesterday")
            << false << false << true << week + 10 << 86400LL << u"recentlyViewed allItems"_s;
        QTest::newRow("favorite") << false << true << true << week + 10 << -1LL << u"favorites allItems"_s;
        QTest::newRow("archived counts only for archived") << true << true << false << 0LL << 0LL << u"archived"_s;
    }
    void smartFolderRules()
    {
        QFETCH(bool, archived);
        QFETCH(bool, favorite);
        QFETCH(bool, filed);
        QFETCH(qint64, createdAgoSecs);
        QFETCH(qint64, viewedAgoSecs);
        QFETCH(QString, memberships);
        const QDateTime now(QDate(2026, 6, 15), QTime(10, 0), QTimeZone::utc());
        const QDateTime cutoff = SmartFolders::recentCutoff(now);
        QCOMPARE(cutoff.toMSecsSinceEpoch(), now.addDays(-7).toMSecsSinceEpoch());

        Folder folder(u"F"_s, u"folder"_s, QColor(Qt::red));
        Item item(ItemType::webLink, u"x"_s, std::nullopt, std::nullopt, filed ? &folder : nullptr);
        item.setArchived(archived);
        item.setFavorite(favorite);
        item.setCreatedAt(now.addSecs(-createdAgoSecs));
        if (viewedAgoSecs >= 0)
            item.setAccessedAt(now.addSecs(-viewedAgoSecs));
        QStringList got;
        for (SmartFolder f : SmartFolders::allCases()) {
            if (SmartFolders::contains(f, item, cutoff))
                got.append(SmartFolders::rawValue(f));
        }
        QCOMPARE(got.join(u' '), memberships);

        const QList<int> counts = SmartFolders::counts({&item}, cutoff);
        for (qsizetype i = 0; i < counts.size(); ++i)
            QCOMPARE(counts[i] == 1, got.contains(SmartFolders::rawValue(SmartFolders::allCases()[i])));
    }

    void smartFolderVocabulary()
    {
        QStringList raws, names;
        for (SmartFolder f : SmartFolders::allCases()) {
            raws.append(SmartFolders::rawValue(f));
            names.append(SmartFolders::displayName(f));
            QCOMPARE(SmartFolders::fromRawValue(SmartFolders::rawValue(f)), std::optional<SmartFolder>(f));
        }
        QCOMPARE(raws.join(u','), u"inbox,favorites,recentlyAdded,recentlyViewed,archived,allItems"_s);
        QCOMPARE(names.join(u','), u"Inbox,Favorites,Recently Added,Recently Viewed,Archived,All Items"_s);
    }
};

QTEST_GUILESS_MAIN(TestFolderTag)
#include "tst_foldertag.moc"
