// folionest-cli export, backup, import and restore, run as a user runs them.

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// Two items (one with a picture), a folder and a tag, saved.
void fill(const TestSupport::TempContainer& container, int extraItems = 0)
{
    auto context = container.open();
    Folder* folder = context->insert(std::make_unique<Folder>(u"Work"_s, u"folder"_s, QColor(0xFF, 0x95, 0x00)));
    Tag* tag = context->insert(std::make_unique<Tag>(u"Urgent"_s, QColor(0xFF, 0x3B, 0x30)));
    Item* item = context->insert(
        std::make_unique<Item>(ItemType::webLink, u"Report"_s, QUrl(u"https://example.com/r"_s), std::nullopt, folder));
    item->addTag(tag);
    item->setImageData(QByteArray("picture bytes"));
    context->insert(std::make_unique<Item>(ItemType::document, u"Notes"_s));
    for (int i = 0; i < extraItems; ++i)
        context->insert(std::make_unique<Item>(ItemType::webLink, u"extra %1"_s.arg(i)));
    QVERIFY(context->save().ok());
}

QStringList lines(const QByteArray& out)
{
    return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
}

QStringList titles(const QString& container)
{
    const auto listed = TestSupport::cli(container, {u"list"_s});
    QStringList result;
    for (const QString& line : lines(listed.out))
        result.append(line.section(u"  "_s, -1).trimmed());
    result.sort();
    return result;
}

} // namespace

class TestCliExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;

    QJsonObject onTerminal(const QString& container, const QStringList& args, const QJsonArray& answers)
    {
        const QJsonObject request{
            {u"argv"_s,
             QJsonArray::fromStringList(QStringList{TestSupport::cliPath(), u"--container"_s, container} + args)},
            {u"env"_s, QJsonObject{{u"TMPDIR"_s, m_tmp.path()}}},
            {u"answers"_s, answers}};
        const auto result =
            TestSupport::run(TestSupport::pythonPath(),
                             {QDir(QStringLiteral(FOLIONEST_SOURCE_DIR)).filePath(u"tests/helpers/pty_session.py"_s)},
                             {}, QJsonDocument(request).toJson());
        if (result.exitCode != 0 || result.out.isEmpty())
            qWarning() << "pty session failed:" << result.exitCode << result.err.left(2000);
        return QJsonDocument::fromJson(result.out).object();
    }

    // Runs a command that must fail on a library of two items: the status, one
    // line on stderr that starts with `message`, and the library as it was.
    void expectRefusal(const QStringList& args, int status, const QString& message)
    {
        TestSupport::TempContainer container;
        fill(container);
        const QByteArray storeBefore = readAll(container.storePath());
        const auto result = TestSupport::cli(container.path(), args, "a long passphrase\n");
        QCOMPARE(result.exitCode, status);
        const QStringList errors = lines(result.err);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(message), qPrintable(errors.first()));
        QCOMPARE(titles(container.path()), (QStringList{u"Notes"_s, u"Report"_s}));
        QCOMPARE(readAll(container.storePath()), storeBefore);
    }

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void exportThenImport()
    {
        TestSupport::TempContainer source;
        fill(source);
        const QString path = m_tmp.filePath(u"library.json"_s);
        const auto exported = TestSupport::cli(source.path(), {u"export"_s, u"-o"_s, path});
        QCOMPARE(exported.exitCode, 0);
        QCOMPARE(lines(exported.out), (QStringList{path, u"Exported 2 items, 1 folder, 1 tag."_s}));
        QVERIFY2(exported.err.isEmpty(), exported.err.constData());
        const QJsonObject document = QJsonDocument::fromJson(readAll(path)).object();
        QCOMPARE(document.value(u"items"_s).toArray().size(), 2);
        QVERIFY(!document.value(u"items"_s).toArray().at(0).toObject().contains(u"imageData"_s));

        const auto withImages = TestSupport::cli(source.path(), {u"export"_s, u"--images"_s, u"-o"_s, path});
        QCOMPARE(withImages.exitCode, 0);
        const QJsonObject first =
            QJsonDocument::fromJson(readAll(path)).object().value(u"items"_s).toArray().at(0).toObject();
        QCOMPARE(first.value(u"imageData"_s).toString(), QString::fromLatin1(QByteArray("picture bytes").toBase64()));

        TestSupport::TempContainer target;
        const auto imported = TestSupport::cli(target.path(), {u"import"_s, path});
        QCOMPARE(imported.exitCode, 0);
        QCOMPARE(lines(imported.out), QStringList{u"Imported 2 items, 1 folder, 1 tag."_s});
        QCOMPARE(titles(target.path()), (QStringList{u"Notes"_s, u"Report"_s}));
        QVERIFY(TestSupport::cli(target.path(), {u"import"_s, path}).exitCode == 0);
        QCOMPARE(titles(target.path()).size(), 4);
    }

    // Without -o the file goes to the temporary folder under its dated name.
    void exportNamesItsFile()
    {
        TestSupport::TempContainer source;
        fill(source);
        QTemporaryDir tmp;
        const auto exported = TestSupport::run(TestSupport::cliPath(), {u"--container"_s, source.path(), u"export"_s},
                                               {u"TMPDIR="_s + tmp.path()});
        QCOMPARE(exported.exitCode, 0);
        const QString path = lines(exported.out).value(0);
        QCOMPARE(QFileInfo(path).dir().canonicalPath(), QDir(tmp.path()).canonicalPath());
        QVERIFY(QFileInfo(path).fileName().startsWith(u"vellumkeep_export_"_s));
        QVERIFY(path.endsWith(u".json"_s));
        QVERIFY(QFile::exists(path));
    }

    // One line on stderr, the right status, and the library as it was.
    void failuresChangeNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("not JSON") << QStringList{u"import"_s, u"@FILE@"_s} << QByteArray("hello") << 5
                                  << u"folionest-cli: The file is not valid JSON: illegal value (at byte 0)."_s;
        QTest::newRow("required key missing")
            << QStringList{u"import"_s, u"@FILE@"_s}
            << QByteArray("{\"version\":\"1.0\",\"exportDate\":\"d\",\"appVersion\":\"1\",\"folders\":[],\"tags\":[]}")
            << 5 << u"folionest-cli: The export document is incomplete: “items” is missing in the document."_s;
        QTest::newRow("file that does not exist") << QStringList{u"import"_s, u"/nonexistent/export.json"_s}
                                                  << QByteArray() << 5 << u"folionest-cli: cannot read"_s;
        QTest::newRow("no file named") << QStringList{u"import"_s} << QByteArray() << 1 << u"folionest-cli: missing"_s;
        QTest::newRow("backup given to restore, not a backup")
            << QStringList{u"restore"_s, u"@FILE@"_s, u"--passphrase-stdin"_s} << QByteArray("{}") << 5
            << u"folionest-cli: Invalid file format"_s;
        QTest::newRow("export into a folder")
            << QStringList{u"export"_s, u"-o"_s, u"/"_s} << QByteArray() << 1 << u"folionest-cli: “/” is a folder"_s;
        QTest::newRow("export into a folder that does not exist")
            << QStringList{u"export"_s, u"-o"_s, u"/nonexistent/dir/out.json"_s} << QByteArray() << 5
            << u"folionest-cli: Cannot write"_s;
    }

    void failuresChangeNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString file = m_tmp.filePath(u"input.json"_s);
        writeFile(file, content);
        args.replaceInStrings(u"@FILE@"_s, file);
        expectRefusal(args, status, message);
    }

    // A file is judged by what can be seen first: its first bytes and its
    // size. Nothing is read whole before that, so a huge or endless input is
    // refused at once, in one line, and the library stays as it was.
    void hugeOrEndlessInputIsRefusedAtOnce_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<qint64>("sparseSize"); // a file of this size, all zeros but its first bytes
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString notJson = u"folionest-cli: The file is not valid JSON"_s;
        QTest::newRow("import of /dev/zero")
            << QStringList{u"import"_s, u"/dev/zero"_s} << qint64(0) << QByteArray() << 5 << notJson;
        QTest::newRow("restore of /dev/zero")
            << QStringList{u"restore"_s, u"/dev/zero"_s, u"--passphrase-stdin"_s} << qint64(0) << QByteArray() << 5
            << u"folionest-cli: Invalid file format"_s;
        QTest::newRow("import of 3 GB of zeros")
            << QStringList{u"import"_s, u"@FILE@"_s} << qint64(3) << QByteArray() << 5 << notJson;
        QTest::newRow("import of 5 GB that starts like a document")
            << QStringList{u"import"_s, u"@FILE@"_s} << qint64(5) << QByteArray("{\"items\":") << 5
            << u"folionest-cli: @FILE@ is larger than 4 GiB"_s;
        QTest::newRow("thumbnail of /dev/zero")
            << QStringList{u"thumbnail"_s, u"/dev/zero"_s, u"@FILE@.jpg"_s} << qint64(0) << QByteArray() << 4
            << u"folionest-cli: /dev/zero is larger than 64 MiB"_s;
        QTest::newRow("add-image of 3 GB") << QStringList{u"add-image"_s, u"@FILE@"_s} << qint64(3) << QByteArray() << 4
                                           << u"folionest-cli: @FILE@ is larger than 64 MiB"_s;
    }

    void hugeOrEndlessInputIsRefusedAtOnce()
    {
        QFETCH(QStringList, args);
        QFETCH(qint64, sparseSize);
        QFETCH(QByteArray, start);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString file = m_tmp.filePath(u"huge.json"_s);
        if (sparseSize > 0) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(start);
            QVERIFY(f.resize(sparseSize * 1024 * 1024 * 1024)); // holes: no disk space is used
        }
        args.replaceInStrings(u"@FILE@"_s, file);
        expectRefusal(args, status, QString(message).replace(u"@FILE@"_s, file));
        QFile::remove(file);
    }

    void backupThenRestore()
    {
        TestSupport::TempContainer source;
        fill(source);
        const QString path = m_tmp.filePath(u"library.vkbackup"_s);
        const auto backedUp = TestSupport::cli(source.path(), {u"backup"_s, u"--passphrase-stdin"_s, u"-o"_s, path},
                                               "a long passphrase\n");
        QCOMPARE(backedUp.exitCode, 0);
        QCOMPARE(lines(backedUp.out), (QStringList{path, u"Backed up 2 items, 1 folder, 1 tag."_s}));
        QVERIFY(readAll(path).startsWith("{\"version\":\"2.0\",\"kdf\":{\"name\":\"scrypt\""));

        TestSupport::TempContainer target;
        const auto wrong =
            TestSupport::cli(target.path(), {u"restore"_s, path, u"--passphrase-stdin"_s}, "another passphrase\n");
        QCOMPARE(wrong.exitCode, 5);
        QCOMPARE(lines(wrong.err), QStringList{u"folionest-cli: Failed to decrypt backup"_s});
        QVERIFY(titles(target.path()).isEmpty());

        const auto restored =
            TestSupport::cli(target.path(), {u"restore"_s, path, u"--passphrase-stdin"_s}, "a long passphrase\n");
        QCOMPARE(restored.exitCode, 0);
        QCOMPARE(lines(restored.out), QStringList{u"Imported 2 items, 1 folder, 1 tag."_s});
        QCOMPARE(titles(target.path()), (QStringList{u"Notes"_s, u"Report"_s}));
    }

    // A passphrase typed on the command line is refused without being shown.
    void passphraseArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("backup with a passphrase argument")
            << QStringList{u"backup"_s, u"hunter2hunter2"_s} << u"backup takes [-o FILE] [--passphrase-stdin]"_s;
        QTest::newRow("backup with an unknown option")
            << QStringList{u"backup"_s, u"--passphrase=hunter2hunter2"_s} << u"backup takes"_s;
        QTest::newRow("restore with a passphrase argument")
            << QStringList{u"restore"_s, u"file.vkbackup"_s, u"hunter2hunter2"_s} << u"restore takes FILE"_s;
        QTest::newRow("backup with a short passphrase")
            << QStringList{u"backup"_s, u"--passphrase-stdin"_s} << u"the passphrase needs at least 8 characters"_s;
    }

    void passphraseArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        TestSupport::TempContainer container;
        fill(container);
        QTemporaryDir tmp;
        const auto result =
            TestSupport::run(TestSupport::cliPath(), QStringList{u"--container"_s, container.path()} + args,
                             {u"TMPDIR="_s + tmp.path()}, "hunter2\n");
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
        QVERIFY(!result.err.contains("hunter2"));
        QVERIFY(QDir(tmp.path()).isEmpty());
    }

    // On a terminal: the passphrase asked twice without echo, and a progress bar.
    void onATerminal()
    {
        TestSupport::TempContainer container;
        fill(container, 3000);
        const QString path = m_tmp.filePath(u"terminal.vkbackup"_s);
        const QJsonObject backup = onTerminal(
            container.path(), {u"backup"_s, u"-o"_s, path},
            {QJsonArray{u"Passphrase: "_s, u"typed secret 1"_s}, QJsonArray{u"Confirm: "_s, u"typed secret 1"_s}});
        QCOMPARE(backup.value(u"exit"_s).toInt(), 0);
        const QString screen = backup.value(u"screen"_s).toString();
        QVERIFY2(!screen.contains(u"typed secret"_s), qPrintable(screen));
        QVERIFY2(screen.contains(u"Backing up ["_s) && screen.contains(u"100%"_s), qPrintable(screen));
        QVERIFY(backup.value(u"echo_after"_s).toBool());

        TestSupport::TempContainer target;
        QJsonArray answer;
        answer.append(QJsonArray{u"Passphrase: "_s, u"typed secret 1"_s});
        const QJsonObject restore = onTerminal(target.path(), {u"restore"_s, path}, answer);
        QCOMPARE(restore.value(u"exit"_s).toInt(), 0);
        QVERIFY2(restore.value(u"screen"_s).toString().contains(u"Imported 3002 items, 1 folder, 1 tag."_s),
                 qPrintable(restore.value(u"screen"_s).toString()));
    }
};

QTEST_GUILESS_MAIN(TestCliExport)
#include "tst_cli_export.moc"
