// Import of export documents: a round trip doubles the library, values are
// read as the format says, folder cycles cannot reach the tree, bad documents
// create nothing, and a failed save leaves the library exactly as it was.

#include "model/ColorHex.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/ItemMetadata.h"
#include "model/Tag.h"
#include "services/export/EncryptedBackup.h"
#include "services/export/ExportDocumentReader.h"
#include "services/export/ExportDocumentWriter.h"
#include "services/export/ExportService.h"
#include "services/export/ImportService.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QtConcurrent>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const QString kDate = u"2025-01-01T00:00:00.000Z"_s;

QJsonObject document(const QJsonArray& items, const QJsonArray& folders = {}, const QJsonArray& tags = {})
{
    return {{u"version"_s, u"1.0"_s}, {u"exportDate"_s, kDate}, {u"appVersion"_s, u"1.0"_s},
            {u"items"_s, items},      {u"folders"_s, folders},  {u"tags"_s, tags}};
}

QJsonObject withDates(QJsonObject o)
{
    o.insert(u"createdAt"_s, kDate);
    o.insert(u"modifiedAt"_s, kDate);
    return o;
}

QJsonObject item(const QString& id, const QString& title, const QJsonObject& extra = {})
{
    QJsonObject o = withDates({{u"id"_s, id}, {u"type"_s, u"web_link"_s}, {u"title"_s, title}});
    for (auto it = extra.begin(); it != extra.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

QJsonObject folder(const QString& id, const QString& name, const QJsonObject& extra = {})
{
    QJsonObject o = withDates({{u"id"_s, id}, {u"name"_s, name}, {u"colorHex"_s, u"#FF9500"_s}});
    for (auto it = extra.begin(); it != extra.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

QJsonObject tag(const QString& id, const QString& name, const QString& colorHex = u"#FF3B30"_s)
{
    return withDates({{u"id"_s, id}, {u"name"_s, name}, {u"colorHex"_s, colorHex}});
}

// JSON written with single quotes, for readable tables.
QByteArray quoted(QByteArray text)
{
    return text.replace('\'', '"');
}

// A document with one item given as the text of its members (dates added).
QByteArray documentWithItem(const QByteArray& members)
{
    return quoted("{'version':'1.0','exportDate':'d','appVersion':'1','folders':[],'tags':[],'items':[{"
                  "'createdAt':'d','modifiedAt':'d',")
           + quoted(members) + "}]}";
}

QByteArray bytes(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T>
QList<QUuid> ids(const QList<T*>& records)
{
    QList<QUuid> list;
    for (const T* r : records)
        list.append(r->id());
    return list;
}

QString optionalText(const std::optional<QString>& text)
{
    return text ? *text : u"(none)"_s;
}

// A value of the imported records, as text, for the table below.
QString probe(const ModelContext& context, const QString& what)
{
    const Item* i = context.items().value(0);
    const Folder* f = context.folders().value(0);
    const Tag* t = context.tags().value(0);
    if (what == u"tag colour") {
        const QColor c = t->color();
        return u"%1 %2 %3"_s.arg(c.redF(), 0, 'f', 3).arg(c.greenF(), 0, 'f', 3).arg(c.blueF(), 0, 'f', 3);
    }
    if (what == u"tag colour text")
        return t->colorHex();
    if (what == u"tag sort order")
        return QString::number(t->sortOrder());
    if (what == u"folder icon")
        return f->iconName();
    if (what == u"folder sort order")
        return QString::number(f->sortOrder());
    if (what == u"parent of the first folder")
        return f->parent() ? f->parent()->name() : u"(top level)"_s;
    if (what == u"type")
        return i->typeRawValue();
    if (what == u"title")
        return i->title();
    if (what == u"url")
        return optionalText(i->urlString());
    if (what == u"source domain")
        return optionalText(i->sourceDomain());
    if (what == u"note")
        return optionalText(i->note());
    if (what == u"folder")
        return i->folder() ? i->folder()->name() : u"(none)"_s;
    if (what == u"tags") {
        QStringList names;
        for (const Tag* tag : i->tags())
            names.append(tag->name());
        return names.join(u", "_s);
    }
    if (what == u"metadata")
        return i->metadataJSON() ? QString::fromUtf8(*i->metadataJSON()) : u"(none)"_s;
    if (what == u"image")
        return i->imageData() ? QString::fromLatin1(i->imageData()->toHex()) : u"(none)"_s;
    if (what == u"thumbnail")
        return i->thumbnailData() ? QString::fromLatin1(i->thumbnailData()->toHex()) : u"(none)"_s;
    if (what == u"flags")
        return u"archived=%1 favorite=%2"_s.arg(i->isArchived()).arg(i->isFavorite());
    return u"unknown probe"_s;
}

// Runs SQL on the store file through a connection of its own.
class SideConnection {
public:
    explicit SideConnection(const QString& path)
    {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~SideConnection() { sqlite3_close(m_db); }
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

private:
    sqlite3* m_db = nullptr;
};

struct Counts {
    qsizetype items, folders, tags;
    bool operator==(const Counts&) const = default;
};

Counts countsOf(const ModelContext& context)
{
    return {context.items().size(), context.folders().size(), context.tags().size()};
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    // Export, then import into the same library: every record twice, the
    // copies with new ids and dates and the same content.
    void roundTripDoublesEveryRecord()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime::fromString(u"2024-05-01T10:00:00.000Z"_s, Qt::ISODateWithMs));
        Tag* red = context->insert(std::make_unique<Tag>(u"Red"_s, QColor(0xFF, 0x3B, 0x30)));
        Tag* green = context->insert(std::make_unique<Tag>(u"Green"_s, QColor(0x34, 0xC7, 0x59)));
        Folder* top = context->insert(std::make_unique<Folder>(u"Top"_s, u"book"_s, QColor(0xAF, 0x52, 0xDE)));
        Folder* middle = context->insert(std::make_unique<Folder>(u"Middle"_s, u"tray"_s, QColor(1, 2, 3), top));
        Folder* bottom = context->insert(std::make_unique<Folder>(u"Bottom"_s, u"folder"_s, QColor(4, 5, 6), middle));
        bottom->setSortOrder(4);
        Item* full = context->insert(std::make_unique<Item>(ItemType::video, u"Full"_s,
                                                            QUrl(u"https://vimeo.com/1?a=b"_s), u"a note"_s, bottom));
        full->addTag(green);
        full->addTag(red);
        full->toggleFavorite();
        ItemMetadata metadata;
        metadata.author = u"Author"_s;
        metadata.description = u"Description"_s;
        metadata.platform = u"Vimeo"_s;
        metadata.siteName = u"Vimeo site"_s;
        full->setMetadata(metadata);
        full->setImageData(QByteArray("\x89PNG image bytes", 16));
        full->setThumbnailData(QByteArray("thumbnail"));
        Item* bare = context->insert(std::make_unique<Item>(ItemType::screenshot, u"Bare"_s));
        bare->toggleArchived();
        QVERIFY(context->save().ok());
        const QList<QUuid> originalIds = ids(context->items()) + ids(context->folders()) + ids(context->tags());

        const QByteArray exported =
            ExportService::exportJSON(context->items(), context->folders(), context->tags(), true);
        clock.set(QDateTime::fromString(u"2025-02-02T12:00:00.000Z"_s, Qt::ISODateWithMs));
        const auto imported = ImportService::importJSON(exported, *context);
        QVERIFY2(imported.ok(), qPrintable(imported.ok() ? QString() : imported.error().description()));
        QVERIFY(imported.value().success);
        QCOMPARE(imported.value().items, 2);
        QCOMPARE(imported.value().folders, 3);
        QCOMPARE(imported.value().tags, 2);
        QVERIFY(!context->hasChanges());

        // The saved file holds both copies.
        context.reset();
        context = container.open();
        QCOMPARE(countsOf(*context), (Counts{4, 6, 4}));
        auto copyOf = [&](const QString& title) -> Item* {
            for (Item* i : context->items()) {
                if (i->title() == title && !originalIds.contains(i->id()))
                    return i;
            }
            return nullptr;
        };
        Item* fullCopy = copyOf(u"Full"_s);
        Item* bareCopy = copyOf(u"Bare"_s);
        QVERIFY(fullCopy && bareCopy);
        QCOMPARE(fullCopy->typeRawValue(), u"video"_s);
        QCOMPARE(fullCopy->urlString(), std::optional<QString>(u"https://vimeo.com/1?a=b"_s));
        QCOMPARE(fullCopy->note(), std::optional<QString>(u"a note"_s));
        QCOMPARE(fullCopy->sourceDomain(), std::optional<QString>(u"vimeo.com"_s));
        QVERIFY(fullCopy->isFavorite() && !fullCopy->isArchived());
        QVERIFY(bareCopy->isArchived() && !bareCopy->isFavorite());
        QCOMPARE(bareCopy->typeRawValue(), u"screenshot"_s);
        QVERIFY(!bareCopy->urlString() && !bareCopy->sourceDomain() && !bareCopy->folder()
                && bareCopy->tags().isEmpty());
        QCOMPARE(fullCopy->imageData(), std::optional<QByteArray>(QByteArray("\x89PNG image bytes", 16)));
        QCOMPARE(fullCopy->thumbnailData(), std::optional<QByteArray>(QByteArray("thumbnail")));
        // Only author and description travel back.
        const auto copiedMetadata = fullCopy->metadata();
        QVERIFY(copiedMetadata);
        QCOMPARE(copiedMetadata->author, std::optional<QString>(u"Author"_s));
        QCOMPARE(copiedMetadata->description, std::optional<QString>(u"Description"_s));
        QVERIFY(!copiedMetadata->platform && !copiedMetadata->siteName);
        // Links go to the new records, in the same shape.
        QVERIFY(fullCopy->folder() && !originalIds.contains(fullCopy->folder()->id()));
        QCOMPARE(fullCopy->folder()->name(), u"Bottom"_s);
        QCOMPARE(fullCopy->folder()->sortOrder(), 4);
        QCOMPARE(fullCopy->folder()->parent()->name(), u"Middle"_s);
        QCOMPARE(fullCopy->folder()->parent()->iconName(), u"tray"_s);
        QCOMPARE(fullCopy->folder()->parent()->parent()->name(), u"Top"_s);
        QVERIFY(!fullCopy->folder()->parent()->parent()->parent());
        QCOMPARE(fullCopy->tags().size(), 2);
        QCOMPARE(fullCopy->tags()[0]->name(), u"Green"_s);
        QCOMPARE(fullCopy->tags()[1]->name(), u"Red"_s);
        QCOMPARE(fullCopy->tags()[1]->colorHex(), u"#FF3B30"_s);
        for (const Tag* t : fullCopy->tags())
            QVERIFY(!originalIds.contains(t->id()));
        // New dates: the moment of the import.
        QCOMPARE(fullCopy->createdAt(), clock.now());
        QCOMPARE(fullCopy->folder()->createdAt(), clock.now());
        QCOMPARE(fullCopy->tags()[0]->createdAt(), clock.now());
    }

    void valuesAsTheFormatSays_data()
    {
        QTest::addColumn<QJsonObject>("doc");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");

        const QJsonArray one{item(u"i"_s, u"Item"_s)};
        QTest::newRow("hex colour with number sign")
            << document({}, {}, {tag(u"t"_s, u"T"_s, u"#FF8000"_s)}) << u"tag colour"_s << u"1.000 0.502 0.000"_s;
        QTest::newRow("colour without hexadecimal digits is blue")
            << document({}, {}, {tag(u"t"_s, u"T"_s, u"no colour"_s)}) << u"tag colour text"_s << u"#007AFF"_s;
        QTest::newRow("eight hex digits drop the top byte")
            << document({}, {}, {tag(u"t"_s, u"T"_s, u"#80FF8000"_s)}) << u"tag colour text"_s << u"#FF8000"_s;
        QJsonObject sorted = tag(u"t"_s, u"T"_s);
        sorted.insert(u"sortOrder"_s, 9);
        QTest::newRow("tag sort order is not carried over")
            << document({}, {}, {sorted}) << u"tag sort order"_s << u"0"_s;
        QTest::newRow("folder without icon")
            << document({}, {folder(u"f"_s, u"F"_s)}) << u"folder icon"_s << u"folder"_s;
        QTest::newRow("folder without sort order")
            << document({}, {folder(u"f"_s, u"F"_s)}) << u"folder sort order"_s << u"0"_s;
        QTest::newRow("folder sort order kept")
            << document({}, {folder(u"f"_s, u"F"_s, {{u"sortOrder"_s, 5}})}) << u"folder sort order"_s << u"5"_s;
        QTest::newRow("sort order beyond the stored range")
            << document({}, {folder(u"f"_s, u"F"_s, {{u"sortOrder"_s, 1e12}})}) << u"folder sort order"_s
            << u"2147483647"_s;
        QTest::newRow("parent listed after its child")
            << document({}, {folder(u"c"_s, u"Child"_s, {{u"parentId"_s, u"p"_s}}), folder(u"p"_s, u"Parent"_s)})
            << u"parent of the first folder"_s << u"Parent"_s;
        QTest::newRow("parent id of no folder")
            << document({}, {folder(u"c"_s, u"Child"_s, {{u"parentId"_s, u"nowhere"_s}})})
            << u"parent of the first folder"_s << u"(top level)"_s;
        QTest::newRow("unknown type reads as web link")
            << document({item(u"i"_s, u"I"_s, {{u"type"_s, u"hologram"_s}})}) << u"type"_s << u"web_link"_s;
        QTest::newRow("known type kept") << document({item(u"i"_s, u"I"_s, {{u"type"_s, u"document"_s}})}) << u"type"_s
                                         << u"document"_s;
        QTest::newRow("url that parses kept as written")
            << document({item(u"i"_s, u"I"_s, {{u"url"_s, u"https://EXAMPLE.com/%7e/x?q=1"_s}})}) << u"url"_s
            << u"https://EXAMPLE.com/%7e/x?q=1"_s;
        QTest::newRow("url that does not parse gives none")
            << document({item(u"i"_s, u"I"_s, {{u"url"_s, u"http://exa mple.com/"_s}})}) << u"url"_s << u"(none)"_s;
        QTest::newRow("source domain of the document replaces the host") << document(
            {item(u"i"_s, u"I"_s, {{u"url"_s, u"https://a.example/"_s}, {u"sourceDomain"_s, u"b.example"_s}})})
                                                                         << u"source domain"_s << u"b.example"_s;
        QTest::newRow("no source domain clears the host")
            << document({item(u"i"_s, u"I"_s, {{u"url"_s, u"https://a.example/"_s}})}) << u"source domain"_s
            << u"(none)"_s;
        QTest::newRow("null counts as absent")
            << document({item(u"i"_s, u"I"_s, {{u"note"_s, QJsonValue::Null}, {u"isFavorite"_s, QJsonValue::Null}})})
            << u"note"_s << u"(none)"_s;
        QTest::newRow("absent flags are false") << document(one) << u"flags"_s << u"archived=0 favorite=0"_s;
        QTest::newRow("flags read") << document(
            {item(u"i"_s, u"I"_s, {{u"isArchived"_s, true}, {u"isFavorite"_s, true}})})
                                    << u"flags"_s << u"archived=1 favorite=1"_s;
        QTest::newRow("folder id of no folder")
            << document({item(u"i"_s, u"I"_s, {{u"folderId"_s, u"f"_s}})}) << u"folder"_s << u"(none)"_s;
        QTest::newRow("folder id of a folder")
            << document({item(u"i"_s, u"I"_s, {{u"folderId"_s, u"f"_s}})}, {folder(u"f"_s, u"Folder"_s)}) << u"folder"_s
            << u"Folder"_s;
        const QJsonArray tags{tag(u"a"_s, u"A"_s), tag(u"b"_s, u"B"_s)};
        QTest::newRow("one known and one unknown tag id")
            << document({item(u"i"_s, u"I"_s, {{u"tagIds"_s, QJsonArray{u"nope"_s, u"a"_s}}})}, {}, tags) << u"tags"_s
            << u"A"_s;
        QTest::newRow("tags in the document's order")
            << document({item(u"i"_s, u"I"_s, {{u"tagIds"_s, QJsonArray{u"b"_s, u"a"_s}}})}, {}, tags) << u"tags"_s
            << u"B, A"_s;
        QTest::newRow("a tag listed twice is added once")
            << document({item(u"i"_s, u"I"_s, {{u"tagIds"_s, QJsonArray{u"a"_s, u"a"_s}}})}, {}, tags) << u"tags"_s
            << u"A"_s;
        QTest::newRow("a later tag with the same id wins the links")
            << document({item(u"i"_s, u"I"_s, {{u"tagIds"_s, QJsonArray{u"a"_s}}})}, {},
                        {tag(u"a"_s, u"First"_s), tag(u"a"_s, u"Second"_s)})
            << u"tags"_s << u"Second"_s;
        QTest::newRow("metadata with only a site name is an empty record")
            << document({item(u"i"_s, u"I"_s, {{u"metadata"_s, QJsonObject{{u"siteName"_s, u"S"_s}}}})})
            << u"metadata"_s << u"{}"_s;
        QTest::newRow("author and description read back")
            << document(
                   {item(u"i"_s, u"I"_s,
                         {{u"metadata"_s,
                           QJsonObject{{u"author"_s, u"A"_s}, {u"description"_s, u"D"_s}, {u"platform"_s, u"P"_s}}}})})
            << u"metadata"_s << u"{\"author\":\"A\",\"description\":\"D\"}"_s;
        QTest::newRow("valid Base64 picture")
            << document({item(u"i"_s, u"I"_s, {{u"imageData"_s, u"AAEC/w=="_s}})}) << u"image"_s << u"000102ff"_s;
        QTest::newRow("invalid Base64 is ignored")
            << document({item(u"i"_s, u"I"_s, {{u"imageData"_s, u"not base64!"_s}})}) << u"image"_s << u"(none)"_s;
        QTest::newRow("Base64 without padding is not standard")
            << document({item(u"i"_s, u"I"_s, {{u"thumbnailData"_s, u"AAEC/w"_s}})}) << u"thumbnail"_s << u"(none)"_s;
        QTest::newRow("URL-safe Base64 is not standard")
            << document({item(u"i"_s, u"I"_s, {{u"thumbnailData"_s, u"AAEC_w=="_s}})}) << u"thumbnail"_s << u"(none)"_s;
        QTest::newRow("line break inside Base64")
            << document({item(u"i"_s, u"I"_s, {{u"imageData"_s, u"AAEC\n/w=="_s}})}) << u"image"_s << u"(none)"_s;
        QJsonObject anyVersion = document(one);
        anyVersion.insert(u"version"_s, u"9.9"_s);
        QTest::newRow("any version is read") << anyVersion << u"title"_s << u"Item"_s;
        QJsonObject extra = document({item(u"i"_s, u"I"_s, {{u"rating"_s, QJsonObject{{u"stars"_s, 5}}}})});
        extra.insert(u"comment"_s, QJsonArray{1, 2, 3});
        QTest::newRow("unknown keys are ignored") << extra << u"title"_s << u"I"_s;
    }

    void valuesAsTheFormatSays()
    {
        QFETCH(QJsonObject, doc);
        QFETCH(QString, what);
        QFETCH(QString, expected);
        TestSupport::TempContainer container;
        auto context = container.open();
        const auto imported = ImportService::importJSON(bytes(doc), *context);
        QVERIFY2(imported.ok(), qPrintable(imported.ok() ? QString() : imported.error().description()));
        QCOMPARE(probe(*context, what), expected);
    }

    // Texts the JSON writer of another program may produce.
    void textForms_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("title");
        QTest::newRow("escaped slash and unicode")
            << documentWithItem("'id':'1','type':'web_link','title':'a\\/b \\u00e9 \\ud83d\\ude00'") << u"a/b é 😀"_s;
        QTest::newRow("escaped key name")
            << documentWithItem("'id':'1','type':'web_link','t\\u0069tle':'key'") << u"key"_s;
        QTest::newRow("a key given twice counts with its last value")
            << documentWithItem("'id':'1','type':'web_link','title':'first','title':'last'") << u"last"_s;
        QTest::newRow("unpaired surrogate escape")
            << documentWithItem("'id':'1','type':'web_link','title':'x\\ud800y'") << u"x\uFFFDy"_s;
    }

    void textForms()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, title);
        TestSupport::TempContainer container;
        auto context = container.open();
        const auto imported = ImportService::importJSON(json, *context);
        QVERIFY2(imported.ok(), qPrintable(imported.ok() ? QString() : imported.error().description()));
        QCOMPARE(context->items().value(0)->title(), title);
    }

    // The folder whose link would close a cycle stays at the top level.
    void folderCycles_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("parents"); // "child<parent" per folder, "name<" at the top
        QTest::newRow("folder is its own parent") << u"cycle-self-parent.json"_s << QStringList{u"A<"_s};
        QTest::newRow("cycle of two folders") << u"cycle-two-folders.json"_s << QStringList{u"A<B"_s, u"B<"_s};
        QTest::newRow("cycle of three folders")
            << u"cycle-three-folders.json"_s << QStringList{u"A<B"_s, u"B<C"_s, u"C<"_s, u"D<C"_s};
    }

    void folderCycles()
    {
        QFETCH(QString, fixture);
        QFETCH(QStringList, parents);
        TestSupport::TempContainer container;
        auto context = container.open();
        const auto imported =
            ImportService::importJSON(readFile(TestSupport::testDataPath(u"import/"_s + fixture)), *context);
        QVERIFY(imported.ok());
        QStringList found;
        for (const Folder* f : context->folders()) {
            found.append(f->name() + u'<' + (f->parent() ? f->parent()->name() : QString()));
            QVERIFY(!f->isAncestorOf(f));
            QVERIFY(!f->allDescendants().contains(f));
        }
        QCOMPARE(found, parents);
        // The saved tree loads the same.
        context.reset();
        context = container.open();
        found.clear();
        for (const Folder* f : context->folders())
            found.append(f->name() + u'<' + (f->parent() ? f->parent()->name() : QString()));
        QCOMPARE(found, parents);
    }

    // Each fails with a message that says what is wrong, and creates nothing.
    void badDocuments_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        auto file = [](const char* name) {
            return readFile(TestSupport::testDataPath(u"import/"_s + QLatin1StringView(name)));
        };
        QTest::newRow("not JSON") << file("not-json.json") << u"not valid JSON: illegal value (at byte 0)"_s;
        QTest::newRow("empty file") << QByteArray() << u"The file is empty."_s;
        QTest::newRow("JSON array") << file("json-array.json") << u"holds a list, not an object"_s;
        QTest::newRow("object without items") << file("no-items.json") << u"“items” is missing in the document"_s;
        QTest::newRow("item without title") << file("item-without-title.json") << u"“title” is missing in items[1]"_s;
        QTest::newRow("flag as text") << file("archived-as-text.json")
                                      << u"“isArchived” in items[0] should be true or false, not text"_s;
        QTest::newRow("fractional sort order")
            << file("sort-order-fraction.json") << u"“sortOrder” in folders[0] should be a whole number"_s;
        QTest::newRow("trailing comma") << file("trailing-comma.json") << u"not valid JSON"_s;
        QTest::newRow("truncated file") << file("truncated.json") << u"not valid JSON: unterminated string"_s;
        QTest::newRow("invalid UTF-8") << file("invalid-utf8.json") << u"not valid JSON: invalid UTF-8 string"_s;
        QTest::newRow("required text is null")
            << bytes(document({item(u"1"_s, u"t"_s, {{u"title"_s, QJsonValue::Null}})}))
            << u"“title” in items[0] should be text, not null"_s;
        QTest::newRow("tag ids hold a number")
            << bytes(document({item(u"1"_s, u"t"_s, {{u"tagIds"_s, QJsonArray{u"a"_s, 2}}})}))
            << u"“tagIds” in items[0] should be a list of texts, not a number"_s;
        QTest::newRow("metadata value is a number")
            << bytes(document({item(u"1"_s, u"t"_s, {{u"metadata"_s, QJsonObject{{u"duration"_s, 3}}}})}))
            << u"“metadata” in items[0] should be an object of texts, not a number"_s;
        QJsonArray listInItems;
        listInItems.append(QJsonArray());
        QTest::newRow("item is a list") << bytes(document(listInItems))
                                        << u"items[0] should be an object, not a list"_s;
        QTest::newRow("garbage after the document") << bytes(document({})) + "{}" << u"garbage at the end"_s;

        QTest::newRow("nesting 10,000 levels deep") << documentWithItem(
            "'id':'1','type':'web_link','title':'t','extra':" + QByteArray(10000, '[') + QByteArray(10000, ']'))
                                                    << u"not valid JSON: too deeply nested document (at byte"_s;
        QTest::newRow("100 MB string where the items belong")
            << quoted("{'version':'1.0','exportDate':'d','appVersion':'1','folders':[],'tags':[],'items':'")
                   + QByteArray(100 * 1024 * 1024, 'x') + "\"}"
            << u"“items” in the document should be a list, not text"_s;
        QTest::newRow("100 MB string instead of a document")
            << "\"" + QByteArray(100 * 1024 * 1024, 'x') + "\"" << u"holds text, not an object"_s;
        const auto envelope = EncryptedBackup::seal(bytes(document({})), u"passphrase"_s);
        QTest::newRow("encrypted backup") << envelope.value() << u"is an encrypted backup"_s;
    }

    void badDocuments()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestSupport::TempContainer container;
        auto context = container.open();
        context->insert(std::make_unique<Item>(ItemType::webLink, u"already here"_s));
        QVERIFY(context->save().ok());
        const Counts before = countsOf(*context);

        const auto imported = ImportService::importJSON(content, *context);
        QVERIFY(!imported.ok());
        QCOMPARE(imported.error().kind(), ImportError::Kind::decodingFailed);
        const QString description = imported.error().description();
        QVERIFY2(description.contains(message), qPrintable(description));
        QVERIFY2(description.size() < 200, "the message must not quote the document");
        QCOMPARE(countsOf(*context), before);
        QVERIFY(!context->hasChanges());
    }

    // Read piece by piece (a restore reads its document as it is
    // decrypted), every document gives what it gives read whole: the same
    // records, or the same failure at the same byte, wherever the pieces
    // cut it - inside a key, an escape, a number or a UTF-8 sequence.
    void readInPieces_data()
    {
        badDocuments_data();
        QTest::newRow("escapes, surrogates and keys across pieces")
            << documentWithItem("'id':'1','type':'web_link','t\\u0069tle':'a\\/b \\u00e9 \\ud83d\\ude00 é😀',"
                                "'tagIds':['x'],'isArchived':true,'isFavorite':false,'note':null")
            << QString();
        QTest::newRow("numbers and pictures across pieces") << bytes(
            document({item(u"i"_s, u"I"_s, {{u"imageData"_s, QString::fromLatin1(QByteArray(5000, 'x').toBase64())}}),
                      item(u"j"_s, u"J"_s, {{u"thumbnailData"_s, u"AAEC/w=="_s}})},
                     {folder(u"f"_s, u"F"_s, {{u"sortOrder"_s, 1234567}})}, {tag(u"t"_s, u"T"_s)}))
                                                            << QString();
        QTest::newRow("a document of the writer") << ExportDocumentWriter::encode(ExportData{}) << QString();
    }

    void readInPieces()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const auto whole = ExportDocumentReader::read(content);
        // Small pieces cross every boundary; a 100 MB row is read in larger ones.
        const QList<qsizetype> pieceSizes =
            content.size() > 1024 * 1024 ? QList<qsizetype>{65536} : QList<qsizetype>{1, 2, 7, 4096};
        for (const qsizetype pieceSize : pieceSizes) {
            qsizetype at = 0;
            QList<ExportedItem> items;
            const auto streamed = ExportDocumentReader::read(
                [&](char* into, qsizetype maxSize) {
                    const qsizetype n = std::min({pieceSize, maxSize, content.size() - at});
                    std::memcpy(into, content.constData() + at, size_t(n));
                    at += n;
                    return n;
                },
                [&](ExportedItem&& item, qsizetype index) {
                    QCOMPARE(index, items.size());
                    items.append(std::move(item));
                });
            QCOMPARE(streamed.ok(), whole.ok());
            if (!whole.ok()) {
                QCOMPARE(streamed.error(), whole.error());
                QVERIFY(whole.error().description().contains(message));
                continue;
            }
            QVERIFY(message.isEmpty());
            ExportData read = streamed.value();
            QVERIFY(read.items.isEmpty());
            read.items = items;
            QCOMPARE(read, whole.value());
        }
    }

    // Items read piece by piece are handed on as they come, so a second
    // list of them cannot replace the first as it does in a whole reading.
    void itemsListedTwiceAreRefusedInPieces()
    {
        const QByteArray twice =
            quoted("{'version':'1.0','exportDate':'d','appVersion':'1','folders':[],'tags':[],'items':[],'items':[]}");
        QVERIFY(ExportDocumentReader::read(twice).ok());
        qsizetype at = 0;
        const auto streamed = ExportDocumentReader::read(
            [&](char* into, qsizetype maxSize) {
                const qsizetype n = std::min(maxSize, twice.size() - at);
                std::memcpy(into, twice.constData() + at, size_t(n));
                at += n;
                return n;
            },
            [](ExportedItem&&, qsizetype) {});
        QVERIFY(!streamed.ok());
        QCOMPARE(streamed.error().description(), u"The export document is invalid: “items” is given twice."_s);
    }

    // The save fails after some rows are written, or cannot start at all:
    // the store and the context are as before, the user's own pending edit
    // included, and the automatic save never writes part of the import.
    void failedSaveLeavesLibraryAsItWas_data()
    {
        QTest::addColumn<bool>("failHalfWay");
        QTest::newRow("store refuses the third item") << true;
        QTest::newRow("another process holds the write lock") << false;
    }

    void failedSaveLeavesLibraryAsItWas()
    {
        QFETCH(bool, failHalfWay);
        TestSupport::TempContainer container;
        auto context = container.open();
        Folder* existingFolder = context->insert(std::make_unique<Folder>(u"Mine"_s, u"folder"_s, QColor(1, 2, 3)));
        Tag* existingTag = context->insert(std::make_unique<Tag>(u"Mine"_s, QColor(1, 2, 3)));
        Item* mine = context->insert(std::make_unique<Item>(ItemType::webLink, u"mine"_s));
        mine->moveToFolder(existingFolder);
        mine->addTag(existingTag);
        QVERIFY(context->save().ok());
        mine->setTitle(u"edited, not saved yet"_s);

        const QList<QUuid> items = ids(context->items());
        const QList<QUuid> folders = ids(context->folders());
        const QList<QUuid> tags = ids(context->tags());
        const QJsonObject doc =
            document({item(u"1"_s, u"one"_s, {{u"folderId"_s, u"f"_s}, {u"tagIds"_s, QJsonArray{u"t"_s}}}),
                      item(u"2"_s, u"two"_s), item(u"3"_s, u"poison"_s), item(u"4"_s, u"four"_s)},
                     {folder(u"f"_s, u"Imported"_s), folder(u"g"_s, u"Imported child"_s, {{u"parentId"_s, u"f"_s}})},
                     {tag(u"t"_s, u"Imported"_s)});

        SideConnection side(container.storePath());
        if (failHalfWay) {
            QVERIFY(side.exec("CREATE TRIGGER refuse BEFORE INSERT ON Item WHEN NEW.title = 'poison' "
                              "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END"));
        } else {
            QVERIFY(side.exec("BEGIN IMMEDIATE"));
            context->setBusyTimeout(50);
        }
        int inserted = 0;
        int removed = 0;
        connect(context.get(), &ModelContext::itemInserted, this, [&] { ++inserted; });
        connect(context.get(), &ModelContext::itemRemoved, this, [&] { ++removed; });

        const auto imported = ImportService::importJSON(bytes(doc), *context);
        QVERIFY(!imported.ok());
        QCOMPARE(imported.error().kind(), ImportError::Kind::saveFailed);
        if (failHalfWay)
            QVERIFY2(imported.error().description().contains(u"refused by the test"_s),
                     qPrintable(imported.error().description()));
        // In memory: exactly the records of before, links and the pending edit intact.
        QCOMPARE(ids(context->items()), items);
        QCOMPARE(ids(context->folders()), folders);
        QCOMPARE(ids(context->tags()), tags);
        QCOMPARE(inserted, 4);
        QCOMPARE(removed, 4);
        QCOMPARE(existingFolder->items(), QList<Item*>{mine});
        QCOMPARE(existingTag->items(), QList<Item*>{mine});
        QVERIFY(existingFolder->children().isEmpty());
        QCOMPARE(mine->title(), u"edited, not saved yet"_s);
        QVERIFY(context->hasChanges());

        // The automatic save runs with the failure still in place; it may
        // write the pending edit, never a part of the import.
        QSignalSpy autosaved(context.get(), &ModelContext::saved);
        QSignalSpy autosaveFailed(context.get(), &ModelContext::saveFailed);
        QTRY_VERIFY(autosaved.size() + autosaveFailed.size() > 0);
        if (!failHalfWay)
            QVERIFY(side.exec("COMMIT"));
        else
            QVERIFY(side.exec("DROP TRIGGER refuse"));
        QVERIFY(context->save().ok());
        context.reset();
        context = container.open();
        QCOMPARE(ids(context->items()), items);
        QCOMPARE(ids(context->folders()), folders);
        QCOMPARE(ids(context->tags()), tags);
        QCOMPARE(context->items().value(0)->title(), u"edited, not saved yet"_s);
    }

    // Decoding waits its turn on the export worker; the calling thread goes
    // on, and the records appear on it once the document is decoded.
    void decodesOffTheMainThread()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        QSemaphore blockWorker;
        QSemaphore workerBusy;
        auto blocker = QtConcurrent::run(&ExportService::shared().worker(), [&] {
            workerBusy.release();
            blockWorker.acquire();
        });
        workerBusy.acquire();
        auto future = ImportService::importJSONAsync(bytes(document({item(u"1"_s, u"async"_s)})), *context);
        QCoreApplication::processEvents(); // the calling thread goes on while the worker is held
        QVERIFY(!future.isFinished());
        QVERIFY(context->items().isEmpty());
        blockWorker.release();
        QTRY_VERIFY(future.isFinished());
        QVERIFY(future.result().ok());
        QCOMPARE(context->items().value(0)->title(), u"async"_s);
        QVERIFY(!context->hasChanges());
        blocker.waitForFinished();

        // A bad document fails the same way and adds nothing.
        auto bad = ImportService::importJSONAsync("[]", *context);
        QTRY_VERIFY(bad.isFinished());
        QVERIFY(!bad.result().ok());
        QCOMPARE(context->items().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
