#include "model/Item.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

class TestCrashSafety : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    // A writer killed with SIGKILL at random moments loses nothing that an
    // automatic save had reported, and the file opens cleanly every time.
    void killedWriterLosesOnlyUnsavedChanges()
    {
        TestSupport::TempContainer container;
        QRandomGenerator random(7);
        int confirmed = 0;
        for (int round = 0; round < 6; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(CRASH_WRITER_PATH), {container.storePath()});
            QVERIFY(writer.waitForStarted());
            // Wait for a couple of saves, then kill at a random moment.
            int lastSaved = -1;
            int saves = 0;
            const int wantedSaves = 1 + int(random.bounded(3));
            QDeadlineTimer deadline(20000);
            while (saves < wantedSaves && !deadline.hasExpired()) {
                if (!writer.canReadLine() && !writer.waitForReadyRead(1000))
                    continue;
                while (writer.canReadLine()) {
                    const QByteArray line = writer.readLine().trimmed();
                    if (line.startsWith("saved ")) {
                        lastSaved = line.mid(6).toInt();
                        ++saves;
                    }
                }
            }
            QVERIFY2(saves >= wantedSaves, writer.readAllStandardError().constData());
            QTest::qSleep(int(random.bounded(250)));
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished());
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
            // Lines written just before the kill still count as confirmed.
            for (const QByteArray& line : writer.readAllStandardOutput().split('\n')) {
                if (line.startsWith("saved "))
                    lastSaved = line.mid(6).toInt();
            }
            QVERIFY(lastSaved >= confirmed);
            confirmed = lastSaved;

            // The file is intact and holds every confirmed item.
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(container.storePath()).constData(), &db), SQLITE_OK);
            sqlite3_stmt* st = nullptr;
            QCOMPARE(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
            QCOMPARE(sqlite3_step(st), SQLITE_ROW);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))), QByteArray("ok"));
            sqlite3_finalize(st);
            sqlite3_close(db);

            auto ctx = container.open();
            QVERIFY(ctx);
            QVERIFY2(ctx->items().size() >= confirmed,
                     qPrintable(u"%1 items, %2 confirmed"_s.arg(ctx->items().size()).arg(confirmed)));
            QSet<QString> titles;
            for (const Item* item : ctx->items()) {
                titles.insert(item->title());
                QVERIFY(item->hasThumbnail());
            }
            for (int i = 0; i < confirmed; ++i)
                QVERIFY2(titles.contains(u"item-%1"_s.arg(i)), qPrintable(QString::number(i)));
            QCOMPARE(ctx->items().first()->thumbnailData()->size(), 2048);
        }
        QVERIFY(confirmed > 0);
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
