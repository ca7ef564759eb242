// The export document: its exact text, its agreement with Qt's own JSON
// writer, the streaming export from a real store on the worker thread, file
// names, and writes that fail half-way.

#include "model/AppConstants.h"
#include "model/Clock.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/ItemMetadata.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "services/export/ExportService.h"
#include "store/ModelContext.h"
#include "support/FailingDevice.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray allByteValues()
{
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(i);
    return bytes;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(7);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Turns the event loop meanwhile: where the context saves in the
// background, the export waits for that save on this thread.
ExportService::WriteResult wait(QFuture<ExportService::WriteResult> future)
{
    while (!future.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return future.result();
}

// The document as Qt's own writer prints it, built from the records with the
// format's rules; the export must be byte for byte the same.
QByteArray referenceDocument(const ModelContext& context, const QDateTime& exportDate, bool includeImages)
{
    auto date = [](const QDateTime& d) { return d.toUTC().toString(Qt::ISODateWithMs); };
    auto id = [](const QUuid& uuid) { return uuid.toString(QUuid::WithoutBraces).toUpper(); };
    QJsonArray folders;
    for (const Folder* f : context.folders()) {
        QJsonObject o{{u"id"_s, id(f->id())},
                      {u"name"_s, f->name()},
                      {u"iconName"_s, f->iconName()},
                      {u"colorHex"_s, f->colorHex()},
                      {u"sortOrder"_s, f->sortOrder()},
                      {u"createdAt"_s, date(f->createdAt())},
                      {u"modifiedAt"_s, date(f->modifiedAt())}};
        if (f->parent())
            o.insert(u"parentId"_s, id(f->parent()->id()));
        folders.append(o);
    }
    QJsonArray tags;
    for (const Tag* t : context.tags()) {
        tags.append(QJsonObject{{u"id"_s, id(t->id())},
                                {u"name"_s, t->name()},
                                {u"colorHex"_s, t->colorHex()},
                                {u"sortOrder"_s, t->sortOrder()},
                                {u"createdAt"_s, date(t->createdAt())},
                                {u"modifiedAt"_s, date(t->modifiedAt())}});
    }
    QJsonArray items;
    for (const Item* i : context.items()) {
        QJsonObject o{{u"id"_s, id(i->id())},
                      {u"type"_s, ItemTypes::rawValue(i->type())},
                      {u"title"_s, i->title()},
                      {u"isArchived"_s, i->isArchived()},
                      {u"isFavorite"_s, i->isFavorite()},
                      {u"createdAt"_s, date(i->createdAt())},
                      {u"modifiedAt"_s, date(i->modifiedAt())}};
        if (i->urlString())
            o.insert(u"url"_s, *i->urlString());
        if (i->note())
            o.insert(u"note"_s, *i->note());
        if (i->sourceDomain())
            o.insert(u"sourceDomain"_s, *i->sourceDomain());
        if (i->folder())
            o.insert(u"folderId"_s, id(i->folder()->id()));
        QJsonArray tagIds;
        for (const Tag* t : i->tags())
            tagIds.append(id(t->id()));
        o.insert(u"tagIds"_s, tagIds);
        if (const auto m = i->metadata()) {
            QJsonObject metadata;
            if (m->author)
                metadata.insert(u"author"_s, *m->author);
            if (m->description)
                metadata.insert(u"description"_s, *m->description);
            if (m->platform)
                metadata.insert(u"platform"_s, *m->platform);
            if (m->siteName)
                metadata.insert(u"siteName"_s, *m->siteName);
            if (!metadata.isEmpty())
                o.insert(u"metadata"_s, metadata);
        }
        if (includeImages) {
            if (const auto image = i->imageData())
                o.insert(u"imageData"_s, QString::fromLatin1(image->toBase64()));
            if (const auto thumbnail = i->thumbnailData())
                o.insert(u"thumbnailData"_s, QString::fromLatin1(thumbnail->toBase64()));
        }
        items.append(o);
    }
    const QJsonObject document{{u"version"_s, u"1.0"_s},
                               {u"exportDate"_s, date(exportDate)},
                               {u"appVersion"_s, AppConstants::appVersion()},
                               {u"items"_s, items},
                               {u"folders"_s, folders},
                               {u"tags"_s, tags}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

struct SmallLibrary {
    Item* a;
    Item* b;
    Item* c;
    Folder* research;
    Folder* papers;
    Tag* reading;
    Tag* later;
};

// The library of the fixture small-library.json.
SmallLibrary buildSmallLibrary(ModelContext& context, TestSupport::FixedClock& clock)
{
    clock.set(utc("2025-03-14T09:26:53.589Z"));
    SmallLibrary lib;
    lib.reading = context.insert(std::make_unique<Tag>(u"Reading"_s, QColor(0xFF, 0x3B, 0x30)));
    lib.later = context.insert(std::make_unique<Tag>(u"Later"_s, QColor(0x34, 0xC7, 0x59)));
    lib.later->setSortOrder(2);
    lib.research = context.insert(std::make_unique<Folder>(u"Research"_s, u"book"_s, QColor(0xFF, 0x95, 0x00)));
    lib.papers =
        context.insert(std::make_unique<Folder>(u"Papers"_s, u"folder"_s, QColor(0x00, 0x7A, 0xFF), lib.research));

    lib.a = context.insert(std::make_unique<Item>(ItemType::webLink, u"Quotes \"and\" back\\slash / path"_s,
                                                  QUrl(u"https://example.com/a/b?q=1&r=%C3%A9"_s),
                                                  u"line one\nline two\ttab \u0001 é 😀"_s, lib.papers));
    lib.a->addTag(lib.later);
    lib.a->addTag(lib.reading);
    ItemMetadata metadata;
    metadata.author = u"Ada"_s;
    metadata.description = u"About things"_s;
    metadata.siteName = u"Example"_s;
    metadata.publishDate = utc("2024-01-01T00:00:00.000Z"); // not a field of the document
    metadata.keywords = QStringList{u"not"_s, u"exported"_s};
    lib.a->setMetadata(metadata);
    lib.a->setImageData(allByteValues());
    lib.a->setThumbnailData(QByteArray("thumb\xff\xfe"));

    lib.b = context.insert(std::make_unique<Item>(ItemType::document, u"Bare"_s));
    lib.b->setArchived(true);

    lib.c = context.insert(
        std::make_unique<Item>(ItemType::video, u"Only site"_s, QUrl(u"https://www.youtube.com/watch?v=x"_s)));
    ItemMetadata site;
    site.siteName = u"YouTube"_s;
    lib.c->setMetadata(site);

    clock.advance(1501);
    lib.a->toggleFavorite();
    clock.set(utc("2025-03-15T00:00:00.007Z"));
    return lib;
}

QByteArray fixture(const QString& name, const QHash<QString, QString>& ids)
{
    QByteArray text = readAll(TestSupport::testDataPath(u"export/"_s + name));
    text.replace("@APP_VERSION@", AppConstants::appVersion().toUtf8());
    for (auto it = ids.cbegin(); it != ids.cend(); ++it)
        text.replace(it.key().toUtf8(), it.value().toUtf8());
    return text;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::initTestEnvironment();
        // Exports without a path go to the temporary folder: this one.
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        QCOMPARE(QDir::tempPath(), QDir(m_tmp.path()).canonicalPath());
    }

    void cleanup()
    {
        for (const QString& name : QDir(m_tmp.path()).entryList(QDir::Files))
            QFile::remove(QDir(m_tmp.path()).filePath(name));
    }

    // The exact text, against a fixture written from the format description.
    void exactTextOfASmallLibrary()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime::currentDateTimeUtc());
        const SmallLibrary lib = buildSmallLibrary(*context, clock);
        const QHash<QString, QString> ids{
            {u"@A@"_s, UuidText::toString(lib.a->id())},       {u"@B@"_s, UuidText::toString(lib.b->id())},
            {u"@C@"_s, UuidText::toString(lib.c->id())},       {u"@F1@"_s, UuidText::toString(lib.research->id())},
            {u"@F2@"_s, UuidText::toString(lib.papers->id())}, {u"@T1@"_s, UuidText::toString(lib.reading->id())},
            {u"@T2@"_s, UuidText::toString(lib.later->id())}};

        // The file export streams from the store on the worker thread.
        const QString path = m_tmp.filePath(u"small.json"_s);
        const auto written = wait(ExportService::shared().exportLibrary(*context, true, path));
        QVERIFY2(written.ok(), qPrintable(written.ok() ? QString() : written.error()));
        QCOMPARE(written.value().items, 3);
        QCOMPARE(written.value().folders, 2);
        QCOMPARE(written.value().tags, 2);
        const QByteArray expected = fixture(u"small-library.json"_s, ids);
        QCOMPARE(readAll(path), expected);
        // The in-memory form of the same records is the same text.
        QCOMPARE(ExportService::exportJSON(context->items(), context->folders(), context->tags(), true), expected);
    }

    // Where the context saves in the background (as the window's does), its
    // pending changes are saved and the worker reads the records back from
    // the file: the same text as from the records themselves.
    void exportReadFromTheFileMatchesTheRecords()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime::currentDateTimeUtc());
        buildSmallLibrary(*context, clock);
        QVERIFY(context->hasChanges());
        context->setBackgroundSaving(true);
        const QString fromFile = m_tmp.filePath(u"from-file.json"_s);
        const auto written = wait(ExportService::shared().exportLibrary(*context, true, fromFile));
        QVERIFY2(written.ok(), qPrintable(written.ok() ? QString() : written.error()));
        QCOMPARE(written.value().items, 3);
        QVERIFY(!context->hasChanges());
        context->setBackgroundSaving(false);
        const QString fromRecords = m_tmp.filePath(u"from-records.json"_s);
        QVERIFY(wait(ExportService::shared().exportLibrary(*context, true, fromRecords)).ok());
        QCOMPARE(readAll(fromFile), readAll(fromRecords));
    }

    void emptyLibrary()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(utc("2025-03-15T00:00:00.007Z"));
        QCOMPARE(ExportService::exportJSON({}, {}, {}, true), fixture(u"empty-library.json"_s, {}));
    }

    // Pictures travel only when asked for, whatever the items hold.
    void picturesOnlyWhenIncluded()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime::currentDateTimeUtc());
        buildSmallLibrary(*context, clock);
        QVERIFY(context->save().ok());
        for (const bool includeImages : {false, true}) {
            const QString path = m_tmp.filePath(u"pictures.json"_s);
            QVERIFY(wait(ExportService::shared().exportLibrary(*context, includeImages, path)).ok());
            const QJsonArray items = QJsonDocument::fromJson(readAll(path)).object().value(u"items"_s).toArray();
            QCOMPARE(items.size(), 3);
            const QJsonObject a = items.at(0).toObject();
            QCOMPARE(a.contains(u"imageData"_s), includeImages);
            QCOMPARE(a.contains(u"thumbnailData"_s), includeImages);
            if (includeImages) {
                QCOMPARE(QByteArray::fromBase64(a.value(u"imageData"_s).toString().toLatin1()), allByteValues());
                QCOMPARE(QByteArray::fromBase64(a.value(u"thumbnailData"_s).toString().toLatin1()),
                         QByteArray("thumb\xff\xfe"));
            }
            for (const auto& other : {items.at(1).toObject(), items.at(2).toObject()})
                QVERIFY(!other.contains(u"imageData"_s) && !other.contains(u"thumbnailData"_s));
        }
    }

    // A stored raw value of no known type reads, and exports, as a web link.
    void unknownTypeExportsAsWebLink()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        Item* item = context->insert(std::make_unique<Item>(ItemType::video, u"from a newer version"_s));
        item->setTypeRawValue(u"hologram"_s);
        const QJsonObject exported = QJsonDocument::fromJson(ExportService::exportJSON(context->items(), {}, {}, false))
                                         .object()
                                         .value(u"items"_s)
                                         .toArray()
                                         .at(0)
                                         .toObject();
        QCOMPARE(exported.value(u"type"_s).toString(), u"web_link"_s);
    }

    // The streaming writer against QJsonDocument for texts and pictures that
    // are hard to get right: escapes, surrogates, the writer's slice edges.
    void sameTextAsQtWriter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("picture");

        QString controls;
        for (char16_t c = 0; c < 0x20; ++c)
            controls += QChar(c);
        controls += QChar(0x7f);
        QTest::newRow("every control character") << controls << QByteArray("x");
        QTest::newRow("quotes, backslashes and slashes") << u"\"q\" \\b\\ /s/ \\\""_s << QByteArray();
        QTest::newRow("non-ASCII and emoji") << u"é ü ß 中文 😀 \u2028 \uFEFF"_s << QByteArray("\x00", 1);
        QTest::newRow("unpaired high surrogate at the end") << (u"end "_s + QChar(0xD800)) << QByteArray("ab");
        QTest::newRow("unpaired low surrogate") << (QString(QChar(0xDC00)) + u" start"_s) << QByteArray("abc");
        QTest::newRow("high surrogate before a letter") << (u"x"_s + QChar(0xD83D) + u"a"_s) << QByteArray("abcd");
        QTest::newRow("empty text") << QString() << QByteArray("");
        // A surrogate pair where the writer cuts long texts into slices.
        QTest::newRow("pair across a slice edge")
            << (QString(32767, u'a') + u"😀"_s + QString(40000, u'b')) << randomBytes(48 * 1024 + 1);
        QTest::newRow("large picture across flushes") << u"big"_s << randomBytes(700 * 1024 + 2);
    }

    void sameTextAsQtWriter()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, picture);
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(utc("2030-07-01T23:59:59.999Z"));
        Tag* tag = context->insert(std::make_unique<Tag>(text, QColor(1, 2, 3)));
        Folder* parent = context->insert(std::make_unique<Folder>(text, text, QColor(4, 5, 6)));
        Folder* child = context->insert(std::make_unique<Folder>(u"child"_s, u"folder"_s, QColor(), parent));
        child->setSortOrder(-7);
        Item* item = context->insert(std::make_unique<Item>(ItemType::image, text, QUrl(u"file:///tmp/a.png"_s), text));
        item->setFolder(child);
        item->addTag(tag);
        item->setSourceDomain(text);
        ItemMetadata metadata;
        metadata.author = text;
        metadata.platform = text;
        item->setMetadata(metadata);
        item->setImageData(picture);
        item->setThumbnailData(picture);
        context->insert(std::make_unique<Item>(ItemType::screenshot, u"second"_s));

        const QByteArray expected = referenceDocument(*context, clock.now(), true);
        QCOMPARE(ExportService::exportJSON(context->items(), context->folders(), context->tags(), true), expected);
        const QString path = m_tmp.filePath(u"reference.json"_s);
        QVERIFY(wait(ExportService::shared().exportLibrary(*context, true, path)).ok());
        QCOMPARE(readAll(path), expected);
    }

    // The worker encodes a snapshot taken when the export starts: what
    // changes afterwards, saved or not, is not in the file.
    void exportsTheLibraryAsItWasWhenStarted()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        Item* item = context->insert(std::make_unique<Item>(ItemType::webLink, u"before"_s));
        item->setImageData(QByteArray("old picture")); // not saved yet: the export saves first
        QThread* encodingThread = nullptr;
        const QString path = m_tmp.filePath(u"snapshot.json"_s);
        auto future = ExportService::shared().exportLibrary(
            *context, true, path, [&](qsizetype, qsizetype) { encodingThread = QThread::currentThread(); });
        item->setTitle(u"after"_s);
        item->setImageData(QByteArray("new picture"));
        context->insert(std::make_unique<Item>(ItemType::webLink, u"added later"_s));
        QVERIFY(context->save().ok());

        QVERIFY(wait(future).ok());
        QVERIFY(encodingThread && encodingThread != QThread::currentThread());
        const QJsonArray items = QJsonDocument::fromJson(readAll(path)).object().value(u"items"_s).toArray();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.at(0).toObject().value(u"title"_s).toString(), u"before"_s);
        QCOMPARE(items.at(0).toObject().value(u"imageData"_s).toString(),
                 QString::fromLatin1(QByteArray("old picture").toBase64()));
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("slashes, colon and spaces replaced") << u"en_US"_s << u"3-14-25_9-26_PM"_s;
        QTest::newRow("dots and the day first stay") << u"de_DE"_s << u"14.03.25_21-26"_s;
        QTest::newRow("year first") << u"ja_JP"_s << u"2025-03-14_21-26"_s;
    }

    void fileNames()
    {
        QFETCH(QString, locale);
        QFETCH(QString, stamp);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        const QDateTime moment(QDate(2025, 3, 14), QTime(21, 26, 53), Qt::LocalTime);
        const QString tmp = QDir::tempPath();
        const QString exportPath = ExportService::exportFilePath(moment);
        const QString backupPath = ExportService::backupFilePath(moment);
        QLocale::setDefault(previous);
        QCOMPARE(exportPath, tmp + u"/vellumkeep_export_"_s + stamp + u".json"_s);
        QCOMPARE(backupPath, tmp + u"/vellumkeep_backup_"_s + stamp + u".vkbackup"_s);
    }

    // Files written without a path go to the shared temporary folder: each
    // is new (a second export in the same minute keeps the first), private to
    // the user, and never written through a file or link planted under its
    // name by someone else.
    void defaultFilesAreNewAndPrivate()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime(QDate(2025, 3, 14), QTime(9, 26, 5), Qt::LocalTime).toUTC());
        context->insert(std::make_unique<Item>(ItemType::webLink, u"first"_s));
        const QString name = ExportService::exportFilePath(clock.now());
        const QString victim = m_tmp.filePath(u"victim.txt"_s);
        {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        QVERIFY(QFile::link(victim, name)); // planted under the first name

        const auto first = wait(ExportService::shared().exportLibrary(*context, false));
        QVERIFY(first.ok());
        clock.advance(40 * 1000);
        context->insert(std::make_unique<Item>(ItemType::webLink, u"second"_s));
        const auto second = wait(ExportService::shared().exportLibrary(*context, false));
        QVERIFY(second.ok());

        QCOMPARE(readAll(victim), QByteArray("keep me"));
        QVERIFY(QFileInfo(name).isSymLink());
        const QString stem = name.chopped(5); // ".json"
        QCOMPARE(first.value().path, stem + u"_2.json"_s);
        QCOMPARE(second.value().path, stem + u"_3.json"_s);
        for (const auto* written : {&first, &second}) {
            QCOMPARE(QFileInfo(written->value().path).permissions(),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        }
        QCOMPARE(QJsonDocument::fromJson(readAll(first.value().path)).object().value(u"items"_s).toArray().size(), 1);
        QCOMPARE(QJsonDocument::fromJson(readAll(second.value().path)).object().value(u"items"_s).toArray().size(), 2);
        // Nothing else is left behind.
        QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4);
        QFile::remove(name);
        QFile::remove(victim);
        QFile::remove(first.value().path);
        QFile::remove(second.value().path);
    }

    // A device that fails after N bytes: the writer reports the failure and
    // stops writing at once.
    void writerStopsAtTheFirstFailedWrite_data()
    {
        QTest::addColumn<qint64>("capacity");
        QTest::newRow("nothing can be written") << qint64(0);
        QTest::newRow("fails in the header") << qint64(20);
        QTest::newRow("fails inside a picture") << qint64(300 * 1024);
        QTest::newRow("fails in the last record") << qint64(-200); // counted from the end
    }

    void writerStopsAtTheFirstFailedWrite()
    {
        QFETCH(qint64, capacity);
        TestSupport::TempContainer container;
        auto context = container.open();
        for (int i = 0; i < 3; ++i) {
            Item* item = context->insert(std::make_unique<Item>(ItemType::image, u"picture %1"_s.arg(i)));
            item->setImageData(randomBytes(400 * 1024));
        }
        context->insert(std::make_unique<Tag>(u"last"_s, QColor(1, 2, 3)));
        const QByteArray whole = ExportService::exportJSON(context->items(), context->folders(), context->tags(), true);
        if (capacity < 0)
            capacity += whole.size();

        const LibrarySnapshot snapshot = LibrarySnapshot::take(context->items(), context->folders(), context->tags());
        const ExportService::PictureReader pictures = [&](const QUuid& id, BlobKind kind) {
            return Result<std::optional<QByteArray>>(kind == BlobKind::image ? context->item(id)->imageData()
                                                                             : std::nullopt);
        };
        FailingDevice device(capacity);
        const Status written = ExportService::writeDocument(snapshot, true, pictures, device);
        QVERIFY(!written.ok());
        QCOMPARE(written.error(), u"No space left on device"_s);
        QVERIFY(device.hasFailed());
        QCOMPARE(device.writesAfterFailure(), 0);
    }

    // A real file that fails half-way (the file size limit stands in for a
    // full disk): no file is left, and a file of that name stays as it was.
    void failedFileWriteLeavesNoFile()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        for (int i = 0; i < 4; ++i) {
            Item* item = context->insert(std::make_unique<Item>(ItemType::image, u"picture %1"_s.arg(i)));
            item->setImageData(randomBytes(256 * 1024));
        }
        QVERIFY(context->save().ok());
        QTemporaryDir out;
        const QString path = out.filePath(u"export.json"_s);
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an earlier export");
        }
        std::optional<ExportService::WriteResult> written;
        {
            FileSizeLimit limit(512 * 1024);
            written = wait(ExportService::shared().exportLibrary(*context, true, path));
        }
        QVERIFY(written && !written->ok());
        QVERIFY2(written->error().contains(u"export.json"_s), qPrintable(written->error()));
        QCOMPARE(readAll(path), QByteArray("an earlier export"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"export.json"_s});

        // The same export without the limit goes through.
        QVERIFY(wait(ExportService::shared().exportLibrary(*context, true, path)).ok());
        QCOMPARE(QJsonDocument::fromJson(readAll(path)).object().value(u"items"_s).toArray().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
