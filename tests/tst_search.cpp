#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Settings.h"
#include "services/search/SearchService.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
struct Fixture {
    std::vector<std::unique_ptr<Tag>> tags;
    std::vector<std::unique_ptr<Item>> items;
    Tag* tag(const QString& name)
    {
        tags.push_back(std::make_unique<Tag>(name, QColor(Qt::red)));
        return tags.back().get();
    }
    Item* item(const QString& title, const QString& url = {}, const std::optional<QString>& note = {})
    {
        items.push_back(std::make_unique<Item>(ItemType::webLink, title,
                                               url.isEmpty() ? std::nullopt : std::optional<QUrl>(QUrl(url)), note));
        return items.back().get();
    }
    QList<Item*> all() const
    {
        QList<Item*> list;
        for (const auto& i : items)
            list.append(i.get());
        return list;
    }
};

QStringList titles(const QList<Item*>& items)
{
    QStringList t;
    for (const Item* i : items)
        t.append(i->title());
    return t;
}
} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void relevanceScore_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("note"); // "-" for none
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QString>("url");   // host becomes the source domain
        QTest::addColumn<QString>("query"); // already normalised
        QTest::addColumn<int>("score");
        const QString none = u"-"_s;
        QTest::newRow("title begins with the query")
            << u"Garden tips"_s << none << QStringList{} << QString() << u"garden"_s << 150;
        QTest::newRow("title contains the query")
            << u"My garden"_s << none << QStringList{} << QString() << u"garden"_s << 100;
        QTest::newRow("title has every word, not the phrase")
            << u"Tips for garden"_s << none << QStringList{} << QString() << u"garden tips"_s << 60;
        QTest::newRow("title has one of two words")
            << u"Garden"_s << none << QStringList{} << QString() << u"garden tips"_s << 0;
        QTest::newRow("note with one of two words")
            << u"x"_s << u"about tips"_s << QStringList{} << QString() << u"garden tips"_s << 10;
        QTest::newRow("note with the phrase")
            << u"x"_s << u"Garden Tips inside"_s << QStringList{} << QString() << u"garden tips"_s << 40;
        QTest::newRow("two tags each containing the word")
            << u"x"_s << none << QStringList{u"garden"_s, u"Gardening"_s} << QString() << u"garden"_s << 90;
        QTest::newRow("tag with both words and the phrase")
            << u"x"_s << none << QStringList{u"garden tips"_s} << QString() << u"garden tips"_s << 60;
        QTest::newRow("URL only") << u"x"_s << none << QStringList{} << u"https://example.com/garden"_s << u"garden"_s
                                  << 10;
        QTest::newRow("source domain and URL")
            << u"x"_s << none << QStringList{} << u"https://garden.org/"_s << u"garden"_s << 30;
        QTest::newRow("repeated word counts twice")
            << u"x"_s << u"tips"_s << QStringList{} << QString() << u"tips tips"_s << 20;
        QTest::newRow("tab stays inside a word") << u"a\tb"_s << none << QStringList{} << QString() << u"a\tb"_s << 150;
        QTest::newRow("words split at spaces only")
            << u"b then a"_s << none << QStringList{} << QString() << u"a  b"_s << 60;
        QTest::newRow("non-ASCII lower-casing")
            << u"ÄRGER im Büro"_s << none << QStringList{} << QString() << u"ärger"_s << 150;
        QTest::newRow("nothing matches") << u"x"_s << u"y"_s << QStringList{u"z"_s} << u"https://q.org/"_s
                                         << u"garden"_s << 0;
    }
    void relevanceScore()
    {
        QFETCH(QString, title);
        QFETCH(QString, note);
        QFETCH(QStringList, tags);
        QFETCH(QString, url);
        QFETCH(QString, query);
        QFETCH(int, score);
        Fixture f;
        Item* item = f.item(title, url, note == u"-" ? std::nullopt : std::optional<QString>(note));
        for (const QString& name : tags)
            item->addTag(f.tag(name));
        QCOMPARE(SearchService::relevanceScore(*item, query), score);
    }

    void queryIsTrimmedAndLowerCased()
    {
        Fixture f;
        f.item(u"My garden"_s);
        f.item(u"Garden tips"_s);
        f.item(u"Unrelated"_s);
        SearchService s;
        QCOMPARE(titles(s.search(f.all(), u"  Garden  "_s, {}, {}, false, nullptr, false)),
                 (QStringList{u"Garden tips"_s, u"My garden"_s}));
    }

    void shortQueriesSkipTheTextStage_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("one letter") << u"g"_s;
        QTest::newRow("spaces only") << u"    "_s;
        QTest::newRow("one letter with spaces") << u"  z \n"_s;
        QTest::newRow("one flag emoji (one character, four code units)") << u"🇩🇪"_s;
        QTest::newRow("letter with combining accent") << u"e\u0301"_s;
    }
    void shortQueriesSkipTheTextStage()
    {
        QFETCH(QString, query);
        Fixture f;
        f.item(u"b"_s);
        f.item(u"a"_s);
        SearchService s;
        QCOMPARE(titles(s.search(f.all(), query, {}, {}, false, nullptr, false)), (QStringList{u"b"_s, u"a"_s}));
    }

    void equalScoresKeepInputOrder()
    {
        Fixture f;
        f.item(u"first garden"_s);
        f.item(u"garden first"_s);
        f.item(u"second garden"_s);
        f.item(u"third garden"_s);
        SearchService s;
        QCOMPARE(titles(s.search(f.all(), u"garden"_s, {}, {}, false, nullptr, false)),
                 (QStringList{u"garden first"_s, u"first garden"_s, u"second garden"_s, u"third garden"_s}));
    }

    void filtersApplyInOrder()
    {
        Fixture f;
        Tag* a = f.tag(u"A"_s);
        Tag* b = f.tag(u"B"_s);
        Tag* c = f.tag(u"C"_s);
        Folder folder(u"F"_s, u"folder"_s, QColor(Qt::red));
        Folder child(u"child"_s, u"folder"_s, QColor(Qt::red), &folder);
        Item* onlyA = f.item(u"only A"_s);
        onlyA->setTags({a});
        Item* abc = f.item(u"A B C"_s);
        abc->setTags({c, b, a});
        abc->setFolder(&folder);
        Item* archived = f.item(u"archived A B"_s);
        archived->setTags({a, b});
        archived->setArchived(true);
        Item* inChild = f.item(u"in child"_s);
        inChild->setFolder(&child);
        Item* video = f.item(u"video"_s);
        video->setTypeRawValue(u"video"_s);
        video->setFavorite(true);
        Item* unknown = f.item(u"unknown type"_s);
        unknown->setTypeRawValue(u"hologram"_s);

        SearchService s;
        const QSet<QUuid> ab{a->id(), b->id()};
        QCOMPARE(titles(s.search(f.all(), {}, ab, {}, false, nullptr, false)), QStringList{u"A B C"_s});
        QCOMPARE(titles(s.search(f.all(), {}, ab, {}, false, nullptr, true)),
                 (QStringList{u"A B C"_s, u"archived A B"_s}));
        // The folder stage does not descend into child folders.
        QCOMPARE(titles(s.search(f.all(), {}, {}, {}, false, &folder, false)), QStringList{u"A B C"_s});
        QCOMPARE(titles(s.search(f.all(), {}, {}, ItemType::video, false, nullptr, false)), QStringList{u"video"_s});
        QCOMPARE(titles(s.search(f.all(), {}, {}, {}, true, nullptr, false)), QStringList{u"video"_s});
        // An unknown raw value counts as a web link.
        QVERIFY(
            titles(s.search(f.all(), {}, {}, ItemType::webLink, false, nullptr, false)).contains(u"unknown type"_s));
        // Archived items are dropped even when they match the text best.
        QCOMPARE(titles(s.search(f.all(), u"archived"_s, {}, {}, false, nullptr, false)), QStringList{});
    }

    void isSearchingIsTrueOnlyDuringASearch()
    {
        Fixture f;
        f.item(u"x"_s);
        SearchService s;
        QSignalSpy spy(&s, &SearchService::isSearchingChanged);
        s.search(f.all(), u"xx"_s, {}, {}, false, nullptr, false);
        QCOMPARE(spy.size(), 2);
        QVERIFY(!s.isSearching());
    }

    void recentSearchesComeFromTheSettings_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a list of strings")
            << QVariant(QStringList{u"rust"_s, u"qt"_s}) << QStringList{u"rust"_s, u"qt"_s};
        QTest::newRow("absent") << QVariant() << QStringList{};
        QTest::newRow("not a list of strings") << QVariant(42) << QStringList{};
        QTest::newRow("a list holding a number") << QVariant(QVariantList{u"a"_s, 3}) << QStringList{};
    }
    void recentSearchesComeFromTheSettings()
    {
        QFETCH(QVariant, stored);
        QFETCH(QStringList, expected);
        if (stored.isValid())
            Settings::setValue(SettingsKey::recentSearches, stored);
        else
            Settings::remove(SettingsKey::recentSearches);
        SearchService s;
        QCOMPARE(s.recentSearches(), expected);
        QSignalSpy spy(&s, &SearchService::recentSearchesChanged);
        s.setRecentSearches(expected);
        QCOMPARE(spy.size(), 0);
        Settings::remove(SettingsKey::recentSearches);
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
