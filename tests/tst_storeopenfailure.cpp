#include "model/Item.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void execSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// A real library with a few records, checkpointed into one file.
void makeLibrary(const QString& storePath)
{
    {
        auto ctx = ModelContext::open(storePath);
        QVERIFY(ctx.ok());
        for (int i = 0; i < 50; ++i)
            ctx.value()->insert(std::make_unique<Item>(ItemType::webLink, u"item %1"_s.arg(i)));
        QVERIFY(ctx.value()->save().ok());
    }
    execSql(storePath, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE;");
}
} // namespace

class TestStoreOpenFailure : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void badStoreStopsTheProcess_data()
    {
        QTest::addColumn<QString>("defect");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("viaCli");
        for (bool cli : {false, true}) {
            const char* who = cli ? "cli: " : "app: ";
            QTest::newRow(qPrintable(QString::fromLatin1(who) + u"text file"_s))
                << u"text"_s << u"is damaged or is not a library"_s << cli;
            QTest::newRow(qPrintable(QString::fromLatin1(who) + u"damaged pages"_s))
                << u"garbage"_s << u"damaged"_s << cli;
            QTest::newRow(qPrintable(QString::fromLatin1(who) + u"another program's database"_s))
                << u"foreign"_s << u"is not a Folionest library"_s << cli;
            QTest::newRow(qPrintable(QString::fromLatin1(who) + u"schema from a newer version"_s))
                << u"newer"_s << u"newer version of Folionest (schema 2.0.0"_s << cli;
            QTest::newRow(qPrintable(QString::fromLatin1(who) + u"container is a file"_s))
                << u"containerIsFile"_s << u"cannot be created"_s << cli;
        }
    }
    void badStoreStopsTheProcess()
    {
        QFETCH(QString, defect);
        QFETCH(QString, reason);
        QFETCH(bool, viaCli);
        QTemporaryDir dir;
        QString container = dir.filePath(u"container"_s);
        QVERIFY(QDir().mkpath(container));
        const QString store = container + u"/default.store"_s;

        if (defect == u"text") {
            writeFile(store, QByteArray("These are my notes, not a library.\n").repeated(100));
        } else if (defect == u"garbage") {
            makeLibrary(store);
            QFile f(store);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray rest(int(f.size()) - 100, '\xA5');
            f.seek(100);
            f.write(rest);
        } else if (defect == u"foreign") {
            execSql(store, "CREATE TABLE songs(title TEXT); INSERT INTO songs VALUES('a');");
        } else if (defect == u"newer") {
            makeLibrary(store);
            execSql(store, "PRAGMA user_version=20000;");
        } else if (defect == u"containerIsFile") {
            container = dir.filePath(u"notadir"_s);
            writeFile(container, "x");
        }
        const QByteArray before = digest(defect == u"containerIsFile" ? container : store);
        const QStringList filesBefore = QDir(container).entryList(QDir::Files);

        const TestSupport::ProcessResult result =
            viaCli ? TestSupport::cli(container, {u"list"_s})
                   : TestSupport::run(TestSupport::appPath(), {}, {u"FOLIONEST_CONTAINER="_s + container});
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, viaCli ? 3 : 1);
        const QString err = QString::fromUtf8(result.err);
        const QString prefix = viaCli ? u"folionest-cli: Failed to initialize model container: "_s
                                      : u"Failed to initialize model container: "_s;
        // Qt may print its own warnings first; the reason is a line of its own.
        const QStringList lines = err.split(u'\n');
        QVERIFY2(std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(prefix); }),
                 qPrintable(err));
        QVERIFY2(err.contains(reason), qPrintable(err));
        // The file is never deleted, moved or rewritten.
        QCOMPARE(digest(defect == u"containerIsFile" ? container : store), before);
        if (defect != u"containerIsFile")
            QCOMPARE(QDir(container).entryList(QDir::Files), filesBefore);
    }

    // Permissions mean nothing to root, so these run the tool as "nobody".
    void readOnlyLibrariesOpenForReading_data()
    {
        QTest::addColumn<QString>("defect");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("store file read-only") << u"file"_s << true;
        QTest::newRow("folder read-only") << u"folder"_s << true;
        QTest::newRow("log files left read-only by an earlier session") << u"logs"_s << false;
    }
    void readOnlyLibrariesOpenForReading()
    {
        QFETCH(QString, defect);
        QFETCH(bool, readOnly);
        if (::geteuid() != 0 || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
            QSKIP("needs root and setpriv to act as another user");
        QTemporaryDir dir;
        const QString container = dir.filePath(u"container"_s);
        QVERIFY(QDir().mkpath(container));
        const QString store = container + u"/default.store"_s;
        makeLibrary(store);
        const auto asNobody = [&](const QStringList& args) {
            return TestSupport::run(
                u"setpriv"_s,
                QStringList{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, TestSupport::cliPath()} + args,
                {u"FOLIONEST_CONTAINER="_s + container, u"HOME=/tmp"_s});
        };
        const auto chown = [](const QString& path) { QCOMPARE(::chown(QFile::encodeName(path), 65534, 65534), 0); };
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                              | QFile::ExeOther);
        chown(container);
        chown(store);
        if (asNobody({u"--help"_s}).exitCode != 0)
            QSKIP("the tool cannot run as another user here");

        constexpr auto rw = QFile::ReadOwner | QFile::WriteOwner;
        constexpr auto folder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        if (defect == u"file") {
            QFile::setPermissions(store, QFile::ReadOwner);
        } else if (defect == u"folder") {
            QFile::setPermissions(container, QFile::ReadOwner | QFile::ExeOwner);
        } else {
            for (const char* log : {"-wal", "-shm"}) {
                writeFile(store + QLatin1StringView(log), {});
                chown(store + QLatin1StringView(log));
                QFile::setPermissions(store + QLatin1StringView(log), QFile::ReadOwner);
            }
        }
        const QStringList filesBefore = QDir(container).entryList(QDir::Files);

        const auto listed = asNobody({u"counts"_s});
        QVERIFY2(listed.exitCode == 0, listed.err.constData());
        QVERIFY(listed.out.startsWith("inbox 50\n"));
        const auto added = asNobody({u"tag"_s, u"add"_s, u"new"_s});
        if (readOnly) {
            QCOMPARE(added.exitCode, 5);
            QVERIFY2(added.err.contains("is open read-only"), added.err.constData());
            // Nothing left behind that would keep the library unwritable later.
            QCOMPARE(QDir(container).entryList(QDir::Files), filesBefore);
            QFile::setPermissions(store, rw);
            QFile::setPermissions(container, folder);
        }
        const auto addedLater = asNobody({u"tag"_s, u"add"_s, u"new"_s});
        QVERIFY2(addedLater.exitCode == 0, addedLater.err.constData());
    }

    void emptyFileBecomesANewLibrary()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(u"default.store"_s), {});
        const auto result = TestSupport::cli(dir.path(), {u"counts"_s});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.startsWith("inbox 0\n"));
    }
};

QTEST_GUILESS_MAIN(TestStoreOpenFailure)
#include "tst_storeopenfailure.moc"
