#include "model/Folder.h"
#include "model/Item.h"
#include "model/ItemMetadata.h"
#include "model/Tag.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class TestItemModel : public QObject {
    Q_OBJECT

    const QDateTime t0 = QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void creationFillsEveryField()
    {
        TestSupport::FixedClock clock(t0);
        Folder folder(u"Reading"_s, u"book"_s, QColor(Qt::red));
        Item item(ItemType::video, u"Talk"_s, QUrl(u"https://Vimeo.com/123?x=1"_s), u"note"_s, &folder);
        QVERIFY(!item.id().isNull());
        QCOMPARE(item.typeRawValue(), u"video"_s);
        QCOMPARE(item.urlString(), std::optional<QString>(u"https://vimeo.com/123?x=1"_s));
        QCOMPARE(item.sourceDomain(), std::optional<QString>(u"vimeo.com"_s));
        QCOMPARE(item.note(), std::optional<QString>(u"note"_s));
        QCOMPARE(item.folder(), &folder);
        QCOMPARE(folder.items(), QList<Item*>{&item});
        QVERIFY(item.tags().isEmpty());
        QVERIFY(!item.isArchived() && !item.isFavorite() && !item.isRead());
        QCOMPARE(item.createdAt(), t0);
        QCOMPARE(item.modifiedAt(), t0);
        QCOMPARE(item.accessedAt(), std::nullopt);
        QVERIFY(!item.hasThumbnail() && !item.hasImage());

        Item noUrl(ItemType::screenshot, u"Shot"_s);
        QCOMPARE(noUrl.urlString(), std::nullopt);
        QCOMPARE(noUrl.sourceDomain(), std::nullopt);
        Item file(ItemType::document, u"Doc"_s, QUrl(u"file:///tmp/a.pdf"_s));
        QCOMPARE(file.sourceDomain(), std::nullopt); // a URL without a host
    }

    void unknownRawValueReadsAsWebLink()
    {
        Item item(ItemType::image, u"x"_s);
        item.setTypeRawValue(u"hologram"_s);
        QCOMPARE(item.typeRawValue(), u"hologram"_s);
        QCOMPARE(item.type(), ItemType::webLink);
    }

    // Each operation moves modifiedAt to now; the no-op addTag does not.
    void operationsMoveModifiedAt_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("moves");
        QTest::newRow("toggleFavorite") << u"toggleFavorite"_s << true;
        QTest::newRow("toggleArchived") << u"toggleArchived"_s << true;
        QTest::newRow("moveToFolder") << u"moveToFolder"_s << true;
        QTest::newRow("moveToFolder none") << u"moveToNone"_s << true;
        QTest::newRow("addTag new") << u"addTag"_s << true;
        QTest::newRow("addTag with the same id") << u"addSameTag"_s << false;
        QTest::newRow("removeTag") << u"removeTag"_s << true;
        QTest::newRow("setMetadata does not count") << u"setMetadata"_s << false;
        QTest::newRow("plain setTitle does not count") << u"setTitle"_s << false;
    }
    void operationsMoveModifiedAt()
    {
        QFETCH(QString, operation);
        QFETCH(bool, moves);
        TestSupport::FixedClock clock(t0);
        Folder folder(u"F"_s, u"folder"_s, QColor(Qt::blue));
        Tag tag(u"T"_s, QColor(Qt::green));
        Tag other(u"U"_s, QColor(Qt::red));
        Item item(ItemType::webLink, u"x"_s);
        item.addTag(&tag);
        const QDateTime before = t0.addSecs(-60);
        item.setModifiedAt(before);
        clock.advance(5000);

        if (operation == u"toggleFavorite") {
            item.toggleFavorite();
            QVERIFY(item.isFavorite());
        } else if (operation == u"toggleArchived") {
            item.toggleArchived();
            QVERIFY(item.isArchived());
        } else if (operation == u"moveToFolder") {
            item.moveToFolder(&folder);
            QCOMPARE(folder.items().size(), 1);
        } else if (operation == u"moveToNone") {
            item.moveToFolder(nullptr);
        } else if (operation == u"addTag") {
            item.addTag(&other);
            QCOMPARE(item.tags(), (QList<Tag*>{&tag, &other}));
        } else if (operation == u"addSameTag") {
            item.addTag(&tag);
            QCOMPARE(item.tags().size(), 1);
            QCOMPARE(tag.items().size(), 1);
        } else if (operation == u"removeTag") {
            item.removeTag(&tag);
            QVERIFY(item.tags().isEmpty());
            QVERIFY(tag.items().isEmpty());
        } else if (operation == u"setMetadata") {
            item.setMetadata(ItemMetadata{});
        } else if (operation == u"setTitle") {
            item.setTitle(u"y"_s);
        }
        QCOMPARE(item.modifiedAt(), moves ? clock.now() : before);
    }

    void removeTagRemovesEveryCopyAndKeepsOrder()
    {
        Tag a(u"a"_s, QColor(Qt::red)), b(u"b"_s, QColor(Qt::red)), c(u"c"_s, QColor(Qt::red));
        Item item(ItemType::webLink, u"x"_s);
        item.setTags({&a, &b, &c, &b});
        item.removeTag(&b);
        QCOMPARE(item.tags(), (QList<Tag*>{&a, &c}));
        QCOMPARE(b.items().size(), 0);
    }

    void sortedTagsIgnoreCase()
    {
        Tag b(u"Banana"_s, QColor(Qt::red)), a(u"apple"_s, QColor(Qt::red)), c(u"Cherry"_s, QColor(Qt::red));
        Item item(ItemType::webLink, u"x"_s);
        item.setTags({&c, &b, &a});
        QCOMPARE(item.sortedTags(), (QList<Tag*>{&a, &b, &c}));
    }

    void destroyingRecordsUnlinksThem()
    {
        Folder folder(u"F"_s, u"folder"_s, QColor(Qt::red));
        Tag tag(u"T"_s, QColor(Qt::red));
        {
            Item item(ItemType::webLink, u"x"_s, std::nullopt, std::nullopt, &folder);
            item.addTag(&tag);
            QCOMPARE(tag.items().size(), 1);
        }
        QVERIFY(folder.items().isEmpty());
        QVERIFY(tag.items().isEmpty());
    }

    void metadataCoding()
    {
        ItemMetadata m;
        m.author = u"Ada"_s;
        m.publishDate = QDateTime(QDate(2001, 1, 2), QTime(0, 0), QTimeZone::utc());
        m.duration = 61.5;
        m.keywords = QStringList{u"a"_s, u"b"_s};
        m.customFields = QMap<QString, QString>{{u"k"_s, u"v"_s}};
        const QByteArray json = m.toJson();
        const QJsonObject o = QJsonDocument::fromJson(json).object();
        QCOMPARE(o.value("publishDate"_L1).toDouble(), 86400.0); // seconds since 2001-01-01
        QVERIFY(!o.contains("description"_L1));                  // absent fields are left out
        QCOMPARE(ItemMetadata::fromJson(json), std::optional<ItemMetadata>(m));
    }

    void metadataDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("empty object") << QByteArray("{}") << true;
        QTest::newRow("explicit null is none") << QByteArray(R"({"author":null})") << true;
        QTest::newRow("unknown keys are ignored") << QByteArray(R"({"other":1})") << true;
        QTest::newRow("the four bytes null") << QByteArray("null") << false;
        QTest::newRow("not JSON") << QByteArray("\xff\xfe") << false;
        QTest::newRow("an array") << QByteArray("[]") << false;
        QTest::newRow("string where a number belongs") << QByteArray(R"({"duration":"5"})") << false;
        QTest::newRow("number where a string belongs") << QByteArray(R"({"author":5})") << false;
        QTest::newRow("keyword that is not a string") << QByteArray(R"({"keywords":["a",1]})") << false;
        QTest::newRow("custom field that is not a string") << QByteArray(R"({"customFields":{"a":1}})") << false;
    }
    void metadataDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QCOMPARE(ItemMetadata::fromJson(json).has_value(), decodes);
        Item item(ItemType::webLink, u"x"_s);
        item.setMetadataJSON(json);
        QCOMPARE(item.metadata().has_value(), decodes);
    }

    void writingNoMetadataStoresNull()
    {
        Item item(ItemType::webLink, u"x"_s);
        item.setMetadata(std::nullopt);
        QCOMPARE(item.metadataJSON(), std::optional<QByteArray>("null"));
        QCOMPARE(item.metadata(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestItemModel)
#include "tst_itemmodel.moc"
