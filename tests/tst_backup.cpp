// Encrypted backups: the envelope, opening and its failures, restoring into
// a library, writes that fail, and both directions against an independent
// implementation (Python's cryptography package).

#include "model/Folder.h"
#include "model/Item.h"
#include "model/ItemMetadata.h"
#include "model/Tag.h"
#include "services/export/BackupRestore.h"
#include "services/export/EncryptedBackup.h"
#include "services/export/ExportService.h"
#include "services/export/ImportService.h"
#include "services/security/SecurityService.h"
#include "store/ModelContext.h"
#include "support/FailingDevice.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const QString kPassphrase = u"correct horse battery staple"_s;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

ExportService::WriteResult wait(QFuture<ExportService::WriteResult> future)
{
    future.waitForFinished();
    return future.result();
}

// A library with a folder, a tag and pictures.
void fill(ModelContext& context)
{
    Folder* folder = context.insert(std::make_unique<Folder>(u"Trips"_s, u"folder"_s, QColor(0xFF, 0x95, 0x00)));
    Tag* tag = context.insert(std::make_unique<Tag>(u"Keep"_s, QColor(0xFF, 0x3B, 0x30)));
    Item* photo = context.insert(std::make_unique<Item>(ItemType::image, u"Photo / beach"_s,
                                                        QUrl(u"https://example.com/beach.jpg"_s), u"sunny"_s, folder));
    photo->addTag(tag);
    photo->setImageData(randomBytes(300 * 1024));
    photo->setThumbnailData(randomBytes(5000));
    context.insert(std::make_unique<Item>(ItemType::webLink, u"Plain"_s, QUrl(u"https://example.org/"_s)));
}

// Picture rows in the file, whether or not an item owns them.
int pictureRows(const QString& storePath)
{
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(QFile::encodeName(storePath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM ItemBlob", -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW)
            rows = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

QJsonObject envelopeObject(const QByteArray& envelope)
{
    return QJsonDocument::fromJson(envelope).object();
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;

    QJsonObject python(const QJsonObject& request)
    {
        const auto result = TestSupport::run(
            TestSupport::pythonPath(),
            {QDir(QStringLiteral(FOLIONEST_SOURCE_DIR)).filePath(u"tests/interop/backup_interop.py"_s)}, {},
            QJsonDocument(request).toJson(QJsonDocument::Compact));
        if (result.exitCode != 0) {
            QTest::qFail(qPrintable(u"interop script failed: "_s + QString::fromUtf8(result.err)), __FILE__, __LINE__);
            return {};
        }
        return QJsonDocument::fromJson(result.out).object();
    }

    bool havePython()
    {
        return TestSupport::run(TestSupport::pythonPath(), {u"-c"_s, u"import cryptography"_s}).exitCode == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::initTestEnvironment();
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
    }

    // {"version":"2.0","kdf":{…},"salt":"…","data":"…"}: compact, in this
    // order, every '/' escaped, a 32-byte salt, the export document with
    // pictures sealed under a key from scrypt.
    void envelopeFormat()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime::fromString(u"2025-03-14T09:26:53.589Z"_s, Qt::ISODateWithMs));
        fill(*context);
        const auto written = wait(ExportService::shared().backupLibrary(*context, kPassphrase));
        QVERIFY2(written.ok(), qPrintable(written.ok() ? QString() : written.error()));
        QCOMPARE(written.value().path, ExportService::backupFilePath(clock.now()));
        QCOMPARE(written.value().items, 2);

        const QByteArray text = readAll(written.value().path);
        QVERIFY(text.startsWith(
            "{\"version\":\"2.0\",\"kdf\":{\"name\":\"scrypt\",\"N\":131072,\"r\":8,\"p\":1},\"salt\":\""));
        QVERIFY(text.contains("\",\"data\":\""));
        QVERIFY(text.endsWith("\"}"));
        QVERIFY(!text.contains(' ') && !text.contains('\n'));
        for (qsizetype i = text.indexOf('/'); i >= 0; i = text.indexOf('/', i + 1))
            QCOMPARE(text.at(i - 1), '\\');

        const QJsonObject envelope = envelopeObject(text);
        QCOMPARE(envelope.size(), 4);
        const QString salt = envelope.value(u"salt"_s).toString();
        QCOMPARE(salt.size(), 44);
        QVERIFY(salt.endsWith(u'='));
        QCOMPARE(QByteArray::fromBase64(salt.toLatin1()).size(), 32);

        const auto document = EncryptedBackup::open(text, kPassphrase);
        QVERIFY(document.ok());
        const QByteArray sealed = QByteArray::fromBase64(envelope.value(u"data"_s).toString().toLatin1());
        QCOMPARE(sealed.size(), document.value().size() + 28);
        // Pictures always travel in a backup.
        QCOMPARE(document.value(),
                 ExportService::exportJSON(context->items(), context->folders(), context->tags(), true, true));
    }

    void twoBackupsDifferCompletely()
    {
        const QByteArray document = "{\"any\":\"document\"}";
        const auto first = EncryptedBackup::seal(document, kPassphrase);
        const auto second = EncryptedBackup::seal(document, kPassphrase);
        QVERIFY(first.ok() && second.ok());
        const QJsonObject a = envelopeObject(first.value());
        const QJsonObject b = envelopeObject(second.value());
        QVERIFY(a.value(u"salt"_s) != b.value(u"salt"_s));
        const QByteArray dataA = QByteArray::fromBase64(a.value(u"data"_s).toString().toLatin1());
        const QByteArray dataB = QByteArray::fromBase64(b.value(u"data"_s).toString().toLatin1());
        QVERIFY(dataA.first(12) != dataB.first(12)); // new nonce
        QVERIFY(dataA.sliced(12) != dataB.sliced(12));
        QCOMPARE(EncryptedBackup::open(first.value(), kPassphrase).value(), document);
        QCOMPARE(EncryptedBackup::open(second.value(), kPassphrase).value(), document);
    }

    void opening_data()
    {
        QTest::addColumn<QByteArray>("envelope");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QString>("failure"); // empty: opens

        const QByteArray document = "{\"export\":\"document\"}";
        const QByteArray good = EncryptedBackup::seal(document, kPassphrase).value();
        const QJsonObject parts = envelopeObject(good);
        auto envelope = [](const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); };
        auto with = [&](const QString& key, const QJsonValue& value) {
            QJsonObject o = parts;
            if (value.isUndefined())
                o.remove(key);
            else
                o.insert(key, value);
            return envelope(o);
        };

        QTest::newRow("right passphrase") << good << kPassphrase << QString();
        {
            // What backups were before scrypt: one HKDF step, no "kdf".
            const QByteArray salt = randomBytes(32);
            const auto key = ExportService::deriveBackupKey(kPassphrase, salt);
            const auto sealed = SecurityService::encrypt(document, key.value());
            const QJsonObject old{{u"version"_s, u"1.0"_s},
                                  {u"salt"_s, QString::fromLatin1(salt.toBase64())},
                                  {u"data"_s, QString::fromLatin1(sealed.value().toBase64())}};
            QTest::newRow("a 1.0 backup still opens") << envelope(old) << kPassphrase << QString();
            QJsonObject relabelled = old;
            relabelled.insert(u"version"_s, u"2.0"_s);
            QTest::newRow("2.0 without its key derivation")
                << envelope(relabelled) << kPassphrase << u"Invalid file format"_s;
        }
        // Parameters a crafted file could use to make a restore allocate
        // gigabytes or spin for hours are refused before any work.
        auto scrypt = [&](const QJsonValue& n, const QJsonValue& r, const QJsonValue& p, const QString& name) {
            return with(u"kdf"_s, QJsonObject{{u"name"_s, name}, {u"N"_s, n}, {u"r"_s, r}, {u"p"_s, p}});
        };
        const QString refused = u"Invalid file format"_s;
        QTest::newRow("scrypt N not a power of two") << scrypt(131071, 8, 1, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("scrypt N below 2^14") << scrypt(8192, 8, 1, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("scrypt needing 1 GiB") << scrypt(1 << 20, 8, 1, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("scrypt N of 2^40") << scrypt(double(1LL << 40), 1, 1, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("scrypt p of 5") << scrypt(131072, 8, 5, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("scrypt r of 0") << scrypt(131072, 0, 1, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("scrypt N as a fraction") << scrypt(131072.5, 8, 1, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("an unknown key derivation") << scrypt(131072, 8, 1, u"argon2"_s) << kPassphrase << refused;
        QTest::newRow("kdf is text") << with(u"kdf"_s, u"scrypt"_s) << kPassphrase << refused;
        QTest::newRow("keys in another order, slashes unescaped")
            << "{\"data\":\"" + parts.value(u"data"_s).toString().toLatin1()
                   + "\",\"kdf\":{\"p\":1,\"r\":8,\"name\":\"scrypt\",\"N\":131072},\"version\":\"2.0\",\"salt\":\""
                   + parts.value(u"salt"_s).toString().toLatin1() + "\"}"
            << kPassphrase << QString();
        QTest::newRow("wrong passphrase")
            << good << u"correct horse battery stapler"_s << u"Failed to decrypt backup"_s;
        QTest::newRow("passphrase with other white space")
            << good << (kPassphrase + u' ') << u"Failed to decrypt backup"_s;
        QString data = parts.value(u"data"_s).toString();
        data[40] = data[40] == u'A' ? u'B' : u'A';
        QTest::newRow("one character of the data changed")
            << with(u"data"_s, data) << kPassphrase << u"Failed to decrypt backup"_s;
        QTest::newRow("data shorter than nonce and tag")
            << with(u"data"_s, QString::fromLatin1(randomBytes(27).toBase64())) << kPassphrase
            << u"Failed to decrypt backup"_s;
        {
            // Sealed under the key of the library passphrase's label.
            const QByteArray salt = randomBytes(32);
            const auto libraryKey = SecurityService::deriveKey(kPassphrase, salt);
            const auto sealed = SecurityService::encrypt(document, libraryKey.value());
            QJsonObject o = parts;
            o.insert(u"salt"_s, QString::fromLatin1(salt.toBase64()));
            o.insert(u"data"_s, QString::fromLatin1(sealed.value().toBase64()));
            QTest::newRow("key made with the library's label")
                << envelope(o) << kPassphrase << u"Failed to decrypt backup"_s;
        }
        QTest::newRow("not JSON") << QByteArray("backup") << kPassphrase << u"Invalid file format"_s;
        QTest::newRow("truncated") << good.first(good.size() / 2) << kPassphrase << u"Invalid file format"_s;
        QTest::newRow("salt missing") << with(u"salt"_s, QJsonValue::Undefined) << kPassphrase
                                      << u"Invalid file format"_s;
        QTest::newRow("version missing") << with(u"version"_s, QJsonValue::Undefined) << kPassphrase
                                         << u"Invalid file format"_s;
        QTest::newRow("salt not Base64") << with(u"salt"_s, u"not base64"_s) << kPassphrase << u"Invalid file format"_s;
        QTest::newRow("data is a number") << with(u"data"_s, 42) << kPassphrase << u"Invalid file format"_s;
        QTest::newRow("two data members")
            << "{\"data\":\"AAAA\"," + good.sliced(1) << kPassphrase << u"Invalid file format"_s;
        QTest::newRow("an export document") << QByteArray(
            "{\"version\":\"1.0\",\"exportDate\":\"d\",\"appVersion\":\"1\",\"items\":[],\"folders\":[],\"tags\":[]}")
                                            << kPassphrase << u"Invalid file format"_s;
        QTest::newRow("passphrase that is not valid Unicode")
            << good << (u"pass"_s + QChar(0xD800)) << u"Invalid passphrase"_s;
    }

    void opening()
    {
        QFETCH(QByteArray, envelope);
        QFETCH(QString, passphrase);
        QFETCH(QString, failure);
        const auto opened = EncryptedBackup::open(envelope, passphrase);
        if (failure.isEmpty()) {
            QVERIFY(opened.ok());
            QCOMPARE(opened.value(), QByteArray("{\"export\":\"document\"}"));
        } else {
            QVERIFY(!opened.ok());
            QCOMPARE(opened.error().description(), failure);
        }
    }

    // The same envelopes read from a file piece by piece, never whole: the
    // same outcome for each, whatever the order of the keys and however the
    // text is escaped.
    void openingFromAFile_data() { opening_data(); }

    void openingFromAFile()
    {
        QFETCH(QByteArray, envelope);
        QFETCH(QString, passphrase);
        QFETCH(QString, failure);
        const QString path = m_tmp.filePath(u"opened.vkbackup"_s);
        writeFile(path, envelope);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray document;
        const auto opened = EncryptedBackup::open(file, passphrase, [&](JsonReader::Source source) {
            // Small pieces: every boundary of the text is crossed somewhere.
            char piece[7];
            for (qsizetype n; (n = source(piece, sizeof piece)) > 0;)
                document.append(piece, n);
            return Result<void, ImportError>();
        });
        if (failure.isEmpty()) {
            QVERIFY2(opened.ok(), qPrintable(opened.ok() ? QString() : opened.error().description()));
            QCOMPARE(document, QByteArray("{\"export\":\"document\"}"));
        } else {
            QVERIFY(!opened.ok());
            QCOMPARE(opened.error().description(), failure);
        }
    }

    // A streamed restore takes effect whole or not at all: whatever goes
    // wrong, and however late (the tag is only checked after the last item
    // has gone to the library), the library is left exactly as it was.
    void streamedRestoreIsAllOrNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("failure");
        QTest::newRow("wrong passphrase") << u"passphrase"_s << u"Failed to decrypt backup"_s;
        QTest::newRow("one character changed near the end") << u"late change"_s << u"Failed to decrypt backup"_s;
        QTest::newRow("the file ends early") << u"truncated"_s << u"Invalid file format"_s;
        QTest::newRow("the last item is damaged")
            << u"damaged item"_s
            << u"The export document is invalid: “title” in items[2] should be text, not a number."_s;
        QTest::newRow("the disk fills up while pictures are written") << u"disk full"_s << QString();
    }

    void streamedRestoreIsAllOrNothing()
    {
        QFETCH(QString, fault);
        QFETCH(QString, failure);
        TestSupport::TempContainer source;
        auto library = source.open();
        fill(*library);
        library->insert(std::make_unique<Item>(ItemType::webLink, u"Last"_s, QUrl(u"https://example.net/"_s)));
        QVERIFY(library->save().ok());
        const QString path = m_tmp.filePath(u"all-or-nothing.vkbackup"_s);
        if (fault == u"damaged item") {
            QByteArray document =
                ExportService::exportJSON(library->items(), library->folders(), library->tags(), true, true);
            const qsizetype last = document.lastIndexOf("\"title\": \"Last\"");
            QVERIFY(last > 0);
            document.replace(last, 15, "\"title\": 42");
            writeFile(path, EncryptedBackup::seal(document, kPassphrase).value());
        } else {
            QVERIFY(wait(ExportService::shared().backupLibrary(*library, kPassphrase, path)).ok());
        }
        QByteArray backup = readAll(path);
        if (fault == u"late change") {
            qsizetype at = backup.size() - 40;
            while (!QChar::isLetterOrNumber(uchar(backup[at])))
                --at;
            backup[at] = backup[at] == 'A' ? 'B' : 'A';
            writeFile(path, backup);
        } else if (fault == u"truncated") {
            writeFile(path, backup.first(backup.size() - 100));
        }

        TestSupport::TempContainer target;
        {
            auto before = target.open();
            before->insert(std::make_unique<Item>(ItemType::webLink, u"Mine"_s));
            QVERIFY(before->save().ok());
        }
        const QByteArray storeBefore = readAll(target.storePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        std::optional<Result<ImportResult, ImportError>> restored;
        {
            // The pictures are some 300 kB: the log cannot take them.
            std::optional<FileSizeLimit> limit;
            if (fault == u"disk full")
                limit.emplace(storeBefore.size() + 128 * 1024);
            restored =
                BackupRestore::restore(file, fault == u"passphrase" ? u"not it"_s : kPassphrase, target.storePath());
        }
        QVERIFY(!restored->ok());
        if (failure.isEmpty())
            QCOMPARE(restored->error().kind(), ImportError::Kind::saveFailed);
        else
            QCOMPARE(restored->error().description(), failure);

        auto after = target.open();
        QCOMPARE(after->items().size(), 1);
        QCOMPARE(after->items().first()->title(), u"Mine"_s);
        QVERIFY(after->folders().isEmpty());
        QVERIFY(after->tags().isEmpty());
        QCOMPARE(pictureRows(target.storePath()), 0);
    }

    // A streamed restore writes a large picture to the library as soon as
    // its text has been read, a slice at a time. Whatever the text holds,
    // and however often the key is given, the library gets what a restore
    // from memory gives, and no picture row is left without its item.
    void largePicturesWrittenAsRead_data()
    {
        QTest::addColumn<QByteArray>("members");
        QTest::addColumn<int>("pictures");
        const QByteArray big = randomBytes(300 * 1024).toBase64(); // two slices of text
        const QByteArray other = randomBytes(200 * 1024).toBase64();
        QByteArray badLate = big;
        badLate[300000] = '!';
        QByteArray paddedInside = big;
        paddedInside[256 * 1024 - 1] = '=';
        const auto picture = [](const char* key, const QByteArray& text) -> QByteArray {
            return QByteArray("\"") + key + "\":\"" + text + '"';
        };
        QTest::newRow("image and thumbnail")
            << QByteArray(picture("imageData", big) + "," + picture("thumbnailData", other)) << 2;
        QTest::newRow("not Base64 in the second slice") << picture("imageData", badLate) << 0;
        QTest::newRow("padding where the first slice ends") << picture("imageData", paddedInside) << 0;
        QTest::newRow("a length no Base64 has") << QByteArray(picture("imageData", big + "AA")) << 0;
        QTest::newRow("given again as null") << QByteArray(picture("imageData", big) + ",\"imageData\":null") << 0;
        QTest::newRow("given again, small")
            << QByteArray(picture("imageData", big) + "," + picture("imageData", "AAEC/w==")) << 1;
        QTest::newRow("given again, large")
            << QByteArray(picture("thumbnailData", big) + "," + picture("thumbnailData", other)) << 1;
        QTest::newRow("given again, not Base64")
            << QByteArray(picture("imageData", big) + "," + picture("imageData", badLate)) << 0;
        QTest::newRow("not Base64, then given again")
            << QByteArray(picture("imageData", badLate) + "," + picture("imageData", other)) << 1;
    }

    void largePicturesWrittenAsRead()
    {
        QFETCH(QByteArray, members);
        QFETCH(int, pictures);
        const QByteArray document =
            "{\"version\":\"1.0\",\"exportDate\":\"d\",\"appVersion\":\"1\",\"folders\":[],"
            "\"tags\":[],\"items\":[{\"id\":\"1\",\"type\":\"image\",\"title\":\"T\","
            "\"createdAt\":\"2024-01-01T00:00:00.000Z\",\"modifiedAt\":\"2024-01-01T00:00:00.000Z\","
            + members
            + "},{\"id\":\"2\",\"type\":\"web_link\",\"title\":\"Next\","
              "\"createdAt\":\"d\",\"modifiedAt\":\"d\"}]}";
        const QByteArray sealed = EncryptedBackup::seal(document, kPassphrase).value();

        TestSupport::TempContainer expected;
        auto fromMemory = expected.open();
        QVERIFY(ImportService::importBackup(sealed, kPassphrase, *fromMemory).ok());
        const Item* want = fromMemory->items().first();
        QCOMPARE(int(want->hasImage()) + int(want->hasThumbnail()), pictures);

        TestSupport::TempContainer target;
        QBuffer file;
        file.setData(sealed);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto result = BackupRestore::restore(file, kPassphrase, target.storePath());
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
        auto restored = target.open();
        QCOMPARE(restored->items().size(), 2);
        const Item* got =
            restored->items().first()->title() == u"T"_s ? restored->items().first() : restored->items().last();
        QCOMPARE(got->title(), u"T"_s);
        QCOMPARE(got->hasImage(), want->hasImage());
        QCOMPARE(got->imageData(), want->imageData());
        QCOMPARE(got->hasThumbnail(), want->hasThumbnail());
        QCOMPARE(got->thumbnailData(), want->thumbnailData());
        QCOMPARE(pictureRows(target.storePath()), pictures);
    }

    // A restore adds the records of the document inside, as an import does.
    void restoreAddsTheBackedUpRecords()
    {
        TestSupport::TempContainer source;
        auto library = source.open();
        fill(*library);
        const QString path = m_tmp.filePath(u"restore.vkbackup"_s);
        QVERIFY(wait(ExportService::shared().backupLibrary(*library, kPassphrase, path)).ok());
        const QByteArray backup = readAll(path);

        TestSupport::TempContainer target;
        auto restored = target.open();
        const auto wrong = ImportService::importBackup(backup, u"not it"_s, *restored);
        QVERIFY(!wrong.ok());
        QCOMPARE(wrong.error().kind(), ImportError::Kind::decryptionFailed);
        QVERIFY(restored->items().isEmpty());

        for (int round = 1; round <= 2; ++round) {
            const auto result = ImportService::importBackup(backup, kPassphrase, *restored);
            QVERIFY(result.ok());
            QCOMPARE(result.value().items, 2);
            QCOMPARE(restored->items().size(), 2 * round);
        }
        restored.reset();
        restored = target.open();
        QCOMPARE(restored->folders().size(), 2);
        const Item* photo = restored->items().first();
        QCOMPARE(photo->title(), u"Photo / beach"_s);
        QCOMPARE(photo->folder()->name(), u"Trips"_s);
        QCOMPARE(photo->tags().value(0)->name(), u"Keep"_s);
        QCOMPARE(photo->imageData(), library->items().first()->imageData());
        QCOMPARE(photo->thumbnailData(), library->items().first()->thumbnailData());
    }

    // A restore into an empty library gives back every field of every record
    // (only the ids are new): dates, sort orders, the read flag, when an item
    // was viewed, its source app and its whole metadata record. The window
    // restores from memory, the command line streams from the file.
    void restoreGivesBackEveryField_data()
    {
        QTest::addColumn<bool>("streamed");
        QTest::newRow("from memory") << false;
        QTest::newRow("streamed from the file") << true;
    }

    void restoreGivesBackEveryField()
    {
        QFETCH(bool, streamed);
        TestSupport::TempContainer source;
        auto library = source.open();
        {
            TestSupport::FixedClock clock(QDateTime::fromString(u"2024-01-02T03:04:05.678Z"_s, Qt::ISODateWithMs));
            fill(*library);
            Folder* inner = library->insert(
                std::make_unique<Folder>(u"Inner"_s, u"star"_s, QColor(Qt::green), library->folders().first()));
            inner->setSortOrder(7);
            library->tags().first()->setSortOrder(3);
            library->tags().first()->setColorHex(u"#abcdef"_s);
            Item* item = library->items().first();
            item->setRead(true);
            item->setAccessedAt(clock.now().addDays(3));
            item->setSourceApp(u"com.example.share"_s);
            ItemMetadata metadata;
            metadata.author = u"Ann"_s;
            metadata.publishDate = clock.now().addDays(-30);
            metadata.description = u"d"_s;
            metadata.duration = 61.5;
            metadata.platform = u"Web"_s;
            metadata.ogImageURL = u"https://example.com/o.png"_s;
            metadata.siteName = u"Example"_s;
            metadata.articleType = u"article"_s;
            metadata.keywords = QStringList{u"a"_s, u"b"_s};
            metadata.videoId = u"v1"_s;
            metadata.customFields = QMap<QString, QString>{{u"k"_s, u"v"_s}};
            item->setMetadata(metadata);
            item->setCreatedAt(clock.now().addDays(-1));
            item->setModifiedAt(clock.now().addDays(1));
            library->items().last()->setMetadata(ItemMetadata{.siteName = u"Only site"_s});
            inner->setModifiedAt(clock.now().addDays(2));
            QVERIFY(library->save().ok());
        }
        const QString path = m_tmp.filePath(u"faithful.vkbackup"_s);
        QVERIFY(wait(ExportService::shared().backupLibrary(*library, kPassphrase, path)).ok());

        TestSupport::TempContainer target;
        auto restored = target.open();
        if (streamed) {
            QFile backup(path);
            QVERIFY(backup.open(QIODevice::ReadOnly));
            const auto result = BackupRestore::restore(backup, kPassphrase, target.storePath());
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
            QCOMPARE(result.value().items, library->items().size());
        } else {
            QVERIFY(ImportService::importBackup(readAll(path), kPassphrase, *restored).ok());
        }
        restored.reset();
        restored = target.open(); // as saved

        auto folderPath = [](const Folder* f) { return f ? f->name() : QString(); };
        QCOMPARE(restored->tags().size(), library->tags().size());
        for (qsizetype n = 0; n < library->tags().size(); ++n) {
            const Tag* a = library->tags()[n];
            const Tag* b = restored->tags()[n];
            QCOMPARE(b->name(), a->name());
            QCOMPARE(b->colorHex(), a->colorHex());
            QCOMPARE(b->sortOrder(), a->sortOrder());
            QCOMPARE(b->createdAt(), a->createdAt());
            QCOMPARE(b->modifiedAt(), a->modifiedAt());
        }
        QCOMPARE(restored->folders().size(), library->folders().size());
        for (qsizetype n = 0; n < library->folders().size(); ++n) {
            const Folder* a = library->folders()[n];
            const Folder* b = restored->folders()[n];
            QCOMPARE(b->name(), a->name());
            QCOMPARE(b->iconName(), a->iconName());
            QCOMPARE(b->colorHex(), a->colorHex());
            QCOMPARE(b->sortOrder(), a->sortOrder());
            QCOMPARE(folderPath(b->parent()), folderPath(a->parent()));
            QCOMPARE(b->createdAt(), a->createdAt());
            QCOMPARE(b->modifiedAt(), a->modifiedAt());
        }
        QCOMPARE(restored->items().size(), library->items().size());
        for (qsizetype n = 0; n < library->items().size(); ++n) {
            const Item* a = library->items()[n];
            const Item* b = restored->items()[n];
            QCOMPARE(b->typeRawValue(), a->typeRawValue());
            QCOMPARE(b->title(), a->title());
            QCOMPARE(b->urlString(), a->urlString());
            QCOMPARE(b->note(), a->note());
            QCOMPARE(b->sourceDomain(), a->sourceDomain());
            QCOMPARE(b->sourceApp(), a->sourceApp());
            QCOMPARE(folderPath(b->folder()), folderPath(a->folder()));
            QCOMPARE(b->tags().size(), a->tags().size());
            QCOMPARE(b->isArchived(), a->isArchived());
            QCOMPARE(b->isFavorite(), a->isFavorite());
            QCOMPARE(b->isRead(), a->isRead());
            QCOMPARE(b->metadata(), a->metadata());
            QCOMPARE(b->createdAt(), a->createdAt());
            QCOMPARE(b->modifiedAt(), a->modifiedAt());
            QCOMPARE(b->accessedAt(), a->accessedAt());
            QCOMPARE(b->imageData(), a->imageData());
            QCOMPARE(b->thumbnailData(), a->thumbnailData());
        }
    }

    // The sealing device stops with the first failed write, wherever it comes.
    void failingDevice_data()
    {
        QTest::addColumn<qint64>("capacity");
        QTest::newRow("in the envelope's head") << qint64(10);
        QTest::newRow("in the sealed document") << qint64(100 * 1024);
    }

    void failingDevice()
    {
        QFETCH(qint64, capacity);
        const QByteArray document = randomBytes(300 * 1024);
        const auto sealedDocument = [&](QIODevice& sealed) -> Status {
            for (qsizetype at = 0; at < document.size(); at += 1000) {
                if (sealed.write(document.sliced(at, std::min<qsizetype>(1000, document.size() - at))) < 0)
                    return Status::failure(sealed.errorString());
            }
            return {};
        };
        FailingDevice device(capacity);
        const Status written = EncryptedBackup::write(device, kPassphrase, sealedDocument);
        QVERIFY(!written.ok());
        QCOMPARE(written.error(), u"No space left on device"_s);
        QCOMPARE(device.writesAfterFailure(), 0);
    }

    void failedFileWriteLeavesNoFile()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        fill(*context);
        QTemporaryDir out;
        const QString path = out.filePath(u"backup.vkbackup"_s);
        std::optional<ExportService::WriteResult> written;
        {
            FileSizeLimit limit(64 * 1024);
            written = wait(ExportService::shared().backupLibrary(*context, kPassphrase, path));
        }
        QVERIFY(written && !written->ok());
        QVERIFY(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // An independent implementation opens what we write…
    void pythonOpensOurBackup()
    {
        if (!havePython())
            QSKIP("needs python3 with the cryptography package (Debian: python3-cryptography)");
        TestSupport::TempContainer container;
        auto context = container.open();
        TestSupport::FixedClock clock(QDateTime::currentDateTimeUtc());
        fill(*context);
        const QString path = m_tmp.filePath(u"ours.vkbackup"_s);
        const QString passphrase = u"пароль 🔐 with spaces "_s;
        QVERIFY(wait(ExportService::shared().backupLibrary(*context, passphrase, path)).ok());

        const QString output = m_tmp.filePath(u"opened-by-python.json"_s);
        const QJsonObject answer =
            python({{u"op"_s, u"open"_s}, {u"envelope"_s, path}, {u"passphrase"_s, passphrase}, {u"output"_s, output}});
        QVERIFY2(answer.value(u"ok"_s).toBool(), qPrintable(answer.value(u"error"_s).toString()));
        QCOMPARE(answer.value(u"saltLength"_s).toInt(), 32);
        QCOMPARE(answer.value(u"version"_s).toString(), u"2.0"_s);
        QCOMPARE(answer.value(u"kdf"_s).toObject(),
                 (QJsonObject{{u"name"_s, u"scrypt"_s}, {u"N"_s, 131072}, {u"r"_s, 8}, {u"p"_s, 1}}));
        const QByteArray document = readAll(output);
        QCOMPARE(answer.value(u"sealedLength"_s).toInteger(), document.size() + 28);
        QCOMPARE(document,
                 ExportService::exportJSON(context->items(), context->folders(), context->tags(), true, true));

        const QJsonObject refused = python({{u"op"_s, u"open"_s},
                                            {u"envelope"_s, path},
                                            {u"passphrase"_s, u"something else"_s},
                                            {u"output"_s, output}});
        QVERIFY(!refused.value(u"ok"_s).toBool());
    }

    // …and we restore what it writes, whatever its envelope's key order and escaping.
    void weRestorePythonsBackup_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("keyOrder");
        QTest::addColumn<bool>("escapeSlashes");
        QTest::newRow("2.0, keys as we write them")
            << u"2.0"_s << QStringList{u"version"_s, u"kdf"_s, u"salt"_s, u"data"_s} << true;
        QTest::newRow("2.0, keys in another order, plain slashes")
            << u"2.0"_s << QStringList{u"data"_s, u"salt"_s, u"kdf"_s, u"version"_s} << false;
        QTest::newRow("1.0, keys in another order")
            << u"1.0"_s << QStringList{u"data"_s, u"salt"_s, u"version"_s} << false;
    }

    void weRestorePythonsBackup()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, keyOrder);
        QFETCH(bool, escapeSlashes);
        if (!havePython())
            QSKIP("needs python3 with the cryptography package (Debian: python3-cryptography)");
        TestSupport::TempContainer source;
        auto library = source.open();
        fill(*library);
        const QString documentPath = m_tmp.filePath(u"document.json"_s);
        writeFile(documentPath, ExportService::exportJSON(library->items(), library->folders(), library->tags(), true));
        const QString backupPath = m_tmp.filePath(u"python.vkbackup"_s);
        const QJsonObject answer = python({{u"op"_s, u"seal"_s},
                                           {u"document"_s, documentPath},
                                           {u"passphrase"_s, kPassphrase},
                                           {u"output"_s, backupPath},
                                           {u"version"_s, version},
                                           {u"keyOrder"_s, QJsonArray::fromStringList(keyOrder)},
                                           {u"escapeSlashes"_s, escapeSlashes}});
        QVERIFY(answer.value(u"ok"_s).toBool());

        TestSupport::TempContainer target;
        auto restored = target.open();
        const auto result = ImportService::importBackup(readAll(backupPath), kPassphrase, *restored);
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
        QCOMPARE(result.value().items, 2);
        QCOMPARE(result.value().folders, 1);
        QCOMPARE(result.value().tags, 1);
        QCOMPARE(restored->items().first()->imageData(), library->items().first()->imageData());
        QCOMPARE(restored->items().first()->title(), u"Photo / beach"_s);
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
