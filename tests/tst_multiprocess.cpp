// Several processes on one library: two contexts on one file stand for two
// processes (each has its own SQLite connection), and real command-line
// processes race each other and the window.

#include "support/TestSupport.h"

#include "app/AppState.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "platform/SingleInstance.h"
#include "services/export/ImportService.h"
#include "store/ModelContext.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/main/DetailPane.h"
#include "ui/main/ItemListModel.h"
#include "ui/main/MiddleColumn.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// One side of a two-process scenario: a context of its own on the file.
struct Side {
    std::unique_ptr<ModelContext> context;
    Item* x() const
    {
        for (Item* item : context->items()) {
            if (item->id() == xId)
                return item;
        }
        return nullptr;
    }
    Folder* folderNamed(const QString& name) const
    {
        for (Folder* folder : context->folders()) {
            if (folder->name() == name)
                return folder;
        }
        return nullptr;
    }
    Tag* tagNamed(const QString& name) const
    {
        for (Tag* tag : context->tags()) {
            if (tag->name() == name)
                return tag;
        }
        return nullptr;
    }
    QUuid xId;
};

// What the item "x" looks like in a context: "-" when it is not there.
QString describe(const Side& side)
{
    const Item* x = side.x();
    if (!x)
        return u"-"_s;
    QStringList tags;
    for (const Tag* tag : x->tags())
        tags.append(tag->name());
    return u"%1|%2|%3|%4|%5"_s.arg(x->title(), x->note().value_or(QString()), x->isFavorite() ? u"fav"_s : u"plain"_s,
                                   x->folder() ? x->folder()->name() : u"unfiled"_s, tags.join(u","_s));
}

QByteArray importDocument()
{
    QFile file(TestSupport::testDataPath(u"export/small-library.json"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().replace("@APP_VERSION@", "1.0");
}

class RecordingDialogs final : public Dialogs {
public:
    QString openFile(QWidget*, const QString&, const QStringList&) override { return {}; }
    bool confirm(QWidget*, const QString&, const QString&, const QString&) override { return true; }
    void showError(QWidget*, const QString& title, const QString& text) override
    {
        errors.append(title + u": "_s + text);
    }
    QStringList errors;
};

} // namespace

class TestMultiProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void twoProcessesOnOneFile_data()
    {
        // Steps run in order, each "A …" or "B …" on one side. The item "x"
        // starts as title "x", note "n", in folder "Work", tagged "red";
        // there are also a folder "Later", a tag "blue" and an item "y".
        QTest::addColumn<QStringList>("steps");
        // x as the store holds it afterwards (and as both sides show it).
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("items");

        QTest::newRow("deleted here, then edited there")
            << QStringList{u"A delete"_s, u"A save"_s, u"B title=edited"_s, u"B save"_s} << u"-"_s << 1;
        QTest::newRow("edited there, then deleted here")
            << QStringList{u"B title=edited"_s, u"B save"_s, u"A delete"_s, u"A save"_s} << u"-"_s << 1;
        QTest::newRow("deleted here while edited there, edit saved first")
            << QStringList{u"A delete"_s, u"B title=edited"_s, u"B save"_s, u"A save"_s} << u"-"_s << 1;
        QTest::newRow("deleted here, then viewed there")
            << QStringList{u"A delete"_s, u"A save"_s, u"B view"_s, u"B save"_s} << u"-"_s << 1;
        QTest::newRow("edited here, then viewed there")
            << QStringList{u"A title=t"_s, u"A note=m"_s, u"A favorite"_s, u"A save"_s, u"B view"_s, u"B save"_s}
            << u"t|m|fav|Work|red"_s << 2;
        QTest::newRow("same field in both: the later save wins")
            << QStringList{u"A title=from A"_s, u"B title=from B"_s, u"A save"_s, u"B save"_s}
            << u"from B|n|plain|Work|red"_s << 2;
        QTest::newRow("same field in both, saved the other way round")
            << QStringList{u"A title=from A"_s, u"B title=from B"_s, u"B save"_s, u"A save"_s}
            << u"from A|n|plain|Work|red"_s << 2;
        QTest::newRow("different fields of one record both stay")
            << QStringList{u"A title=from A"_s, u"B note=from B"_s, u"B favorite"_s, u"A save"_s, u"B save"_s}
            << u"from A|from B|fav|Work|red"_s << 2;
        QTest::newRow("folder deleted here, member edited there")
            << QStringList{u"A deleteFolder=Work"_s, u"A save"_s, u"B title=edited"_s, u"B save"_s}
            << u"edited|n|plain|unfiled|red"_s << 2;
        QTest::newRow("folder deleted here, member moved into it there")
            << QStringList{u"B move=Later"_s, u"A deleteFolder=Later"_s, u"A save"_s, u"B save"_s}
            << u"x|n|plain|unfiled|red"_s << 2;
        QTest::newRow("tag deleted here, member edited there")
            << QStringList{u"A deleteTag=red"_s, u"A save"_s, u"B note=edited"_s, u"B save"_s}
            << u"x|edited|plain|Work|"_s << 2;
        QTest::newRow("tag deleted here, attached there")
            << QStringList{u"B tag=blue"_s, u"A deleteTag=blue"_s, u"A save"_s, u"B save"_s} << u"x|n|plain|Work|red"_s
            << 2;
        QTest::newRow("import here, delete there")
            << QStringList{u"A import"_s, u"B delete"_s, u"B save"_s, u"A refresh"_s} << u"-"_s << 4;
        QTest::newRow("delete there, then import here")
            << QStringList{u"B delete"_s, u"B save"_s, u"A import"_s} << u"-"_s << 4;
        QTest::newRow("everything deleted here, then edited there")
            << QStringList{u"A deleteAll"_s, u"A save"_s, u"B title=edited"_s, u"B save"_s} << u"-"_s << 0;
        QTest::newRow("edited there, then everything deleted here")
            << QStringList{u"B title=edited"_s, u"B save"_s, u"A deleteAll"_s, u"A save"_s} << u"-"_s << 0;
        QTest::newRow("everything deleted here, new item there")
            << QStringList{u"B new"_s, u"A deleteAll"_s, u"A save"_s, u"B save"_s} << u"-"_s << 1;
    }

    // The same scenarios with every save on the writer thread, as the window
    // saves: the change set is copied, written while the sides go on, and
    // what the other side did is taken in when the write ends.
    void twoProcessesOnOneFileSavingInBackground_data() { twoProcessesOnOneFile_data(); }
    void twoProcessesOnOneFileSavingInBackground() { twoProcessesOnOneFile(); }

    void twoProcessesOnOneFile()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        QFETCH(int, items);

        TestSupport::TempContainer container;
        QUuid xId;
        {
            auto seed = container.open();
            Folder* work = seed->insert(std::make_unique<Folder>(u"Work"_s, u"folder"_s, QColor(Qt::red)));
            seed->insert(std::make_unique<Folder>(u"Later"_s, u"folder"_s, QColor(Qt::blue)));
            Tag* red = seed->insert(std::make_unique<Tag>(u"red"_s, QColor(Qt::red)));
            seed->insert(std::make_unique<Tag>(u"blue"_s, QColor(Qt::blue)));
            Item* x = seed->insert(
                std::make_unique<Item>(ItemType::webLink, u"x"_s, QUrl(u"https://example.com/x"_s), u"n"_s, work));
            x->addTag(red);
            seed->insert(std::make_unique<Item>(ItemType::webLink, u"y"_s));
            xId = x->id();
            QVERIFY(seed->save().ok());
        }
        Side a{container.open(), xId};
        Side b{container.open(), xId};
        const bool background = QByteArray(QTest::currentTestFunction()).contains("Background");
        for (Side* side : {&a, &b}) {
            side->context->setAutosaveDelay(60 * 60 * 1000);
            side->context->setBackgroundSaving(background);
        }

        for (const QString& step : std::as_const(steps)) {
            Side& side = step.startsWith(u'A') ? a : b;
            const QString op = step.mid(2).section(u'=', 0, 0);
            const QString value = step.section(u'=', 1);
            Item* x = side.x();
            if (op == u"save") {
                std::optional<Status> saved;
                side.context->saveInBackground([&saved](const Status& s) { saved = s; });
                QTRY_VERIFY(saved);
                QVERIFY2(saved->ok(), qPrintable(step + u": "_s + (saved->ok() ? QString() : saved->error())));
            } else if (op == u"refresh") {
                side.context->refreshFromStore();
            } else if (op == u"import") {
                const auto imported = ImportService::importJSON(importDocument(), *side.context);
                QVERIFY2(imported.ok(), qPrintable(imported.ok() ? QString() : imported.error().description()));
            } else if (op == u"deleteFolder") {
                side.context->remove(side.folderNamed(value));
            } else if (op == u"deleteTag") {
                side.context->remove(side.tagNamed(value));
            } else if (op == u"deleteAll") {
                side.context->removeAll();
            } else if (op == u"new") {
                side.context->insert(std::make_unique<Item>(ItemType::webLink, u"new"_s));
            } else {
                QVERIFY2(x, qPrintable(step));
                if (op == u"delete")
                    side.context->remove(x);
                else if (op == u"title")
                    x->setTitle(value);
                else if (op == u"note")
                    x->setNote(value);
                else if (op == u"favorite")
                    x->toggleFavorite();
                else if (op == u"view")
                    x->setAccessedAt(QDateTime::currentDateTimeUtc()); // what selecting it in the window does
                else if (op == u"move")
                    x->moveToFolder(side.folderNamed(value));
                else if (op == u"tag")
                    x->addTag(side.tagNamed(value));
                else
                    QFAIL(qPrintable(u"unknown step "_s + step));
            }
        }

        // Whatever either side still holds reaches the file, and each side
        // takes in what the other did.
        for (Side* side : {&a, &b})
            QVERIFY(side->context->save().ok());
        for (Side* side : {&a, &b})
            side->context->refreshFromStore();

        Side fresh{container.open(), xId};
        QCOMPARE(describe(fresh), expected);
        QCOMPARE(fresh.context->items().size(), items);
        QCOMPARE(describe(a), expected);
        QCOMPARE(describe(b), expected);
        QCOMPARE(a.context->items().size(), items);
        QCOMPARE(b.context->items().size(), items);
        // Nothing a side holds points at a record the file lacks, so later
        // saves keep working.
        for (Side* side : {&a, &b}) {
            if (!side->context->items().isEmpty())
                side->context->items().first()->setTitle(u"still saves"_s);
            side->context->insert(std::make_unique<Tag>(u"later"_s, QColor(Qt::green)));
            QVERIFY(side->context->save().ok());
        }
    }

    void newRowsFromAnotherProcessArriveWithTheirLinks()
    {
        TestSupport::TempContainer container;
        auto here = container.open();
        auto there = container.open();
        QSignalSpy inserted(here.get(), &ModelContext::itemInserted);

        Folder* parent = there->insert(std::make_unique<Folder>(u"Parent"_s, u"folder"_s, QColor(Qt::red)));
        Folder* child = there->insert(std::make_unique<Folder>(u"Child"_s, u"book"_s, QColor(Qt::green), parent));
        Tag* tag = there->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
        Item* item = there->insert(std::make_unique<Item>(ItemType::image, u"picture"_s));
        item->moveToFolder(child);
        item->addTag(tag);
        item->setThumbnailData(QByteArray("thumb"));
        QVERIFY(there->save().ok());

        QVERIFY(here->refreshFromStore());
        QCOMPARE(inserted.size(), 1);
        Item* seen = here->item(item->id());
        QVERIFY(seen);
        QCOMPARE(seen->folder()->name(), u"Child"_s);
        QCOMPARE(seen->folder()->parent()->name(), u"Parent"_s);
        QCOMPARE(seen->tags().size(), 1);
        QCOMPARE(seen->thumbnailData(), QByteArray("thumb"));
        // Taking in is not a change of this side's own.
        QVERIFY(!here->hasChanges());
        // Nothing new: nothing to do.
        QVERIFY(!here->refreshFromStore());

        // A replaced picture is read again.
        item->setThumbnailData(QByteArray("other"));
        QVERIFY(there->save().ok());
        QSignalSpy updated(here.get(), &ModelContext::itemUpdated);
        QVERIFY(here->refreshFromStore());
        QCOMPARE(seen->thumbnailData(), QByteArray("other"));
        QVERIFY(!updated.isEmpty());
    }

    void olderLibraryGainsTheChangeLog()
    {
        TestSupport::TempContainer container;
        // The first schema, as the first release wrote it.
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(container.storePath()).constData(), &db), SQLITE_OK);
        const char* sql =
            "PRAGMA journal_mode=WAL;"
            "CREATE TABLE StoreInfo(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            "CREATE TABLE Folder(id BLOB PRIMARY KEY NOT NULL, name TEXT NOT NULL, iconName TEXT NOT NULL, colorHex "
            "TEXT NOT NULL, sortOrder INTEGER NOT NULL, createdAt INTEGER NOT NULL, modifiedAt INTEGER NOT NULL, "
            "parentId BLOB REFERENCES Folder(id) ON DELETE CASCADE);"
            "CREATE TABLE Tag(id BLOB PRIMARY KEY NOT NULL, name TEXT NOT NULL, colorHex TEXT NOT NULL, sortOrder "
            "INTEGER NOT NULL, createdAt INTEGER NOT NULL, modifiedAt INTEGER NOT NULL);"
            "CREATE TABLE Item(id BLOB PRIMARY KEY NOT NULL, typeRawValue TEXT NOT NULL, urlString TEXT, title TEXT "
            "NOT NULL, note TEXT, metadataJSON BLOB, sourceDomain TEXT, sourceApp TEXT, folderId BLOB REFERENCES "
            "Folder(id) ON DELETE SET NULL, isArchived INTEGER NOT NULL, isFavorite INTEGER NOT NULL, isRead INTEGER "
            "NOT NULL, createdAt INTEGER NOT NULL, modifiedAt INTEGER NOT NULL, accessedAt INTEGER);"
            "CREATE TABLE ItemTag(itemId BLOB NOT NULL REFERENCES Item(id) ON DELETE CASCADE, position INTEGER NOT "
            "NULL, tagId BLOB NOT NULL REFERENCES Tag(id) ON DELETE CASCADE, PRIMARY KEY(itemId, position)) WITHOUT "
            "ROWID;"
            "CREATE TABLE ItemBlob(itemId BLOB NOT NULL REFERENCES Item(id) ON DELETE CASCADE, kind INTEGER NOT NULL, "
            "data BLOB NOT NULL, PRIMARY KEY(itemId, kind));"
            "INSERT INTO StoreInfo VALUES('application','Folionest'),('schema','Item,Folder,Tag'),"
            "('schemaVersion','1.0.0');"
            "INSERT INTO Item VALUES(x'00112233445566778899aabbccddeeff','note',NULL,'kept',NULL,NULL,NULL,NULL,NULL,"
            "0,0,0,1000,1000,NULL);"
            "PRAGMA user_version=10000;";
        QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        auto here = container.open();
        QVERIFY(here);
        QCOMPARE(here->items().size(), 1);
        QCOMPARE(here->items().first()->title(), u"kept"_s);
        auto there = container.open();
        there->remove(there->items().first());
        QVERIFY(there->save().ok());
        QVERIFY(here->refreshFromStore());
        QVERIFY(here->items().isEmpty());
    }

    void commandLineRacingDeleteNeverBringsAnItemBack()
    {
        TestSupport::TempContainer container;
        QStringList ids;
        {
            auto seed = container.open();
            Tag* tag = seed->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
            for (int i = 0; i < 20; ++i) {
                Item* item = seed->insert(std::make_unique<Item>(ItemType::webLink, u"item %1"_s.arg(i)));
                item->addTag(tag);
                item->setThumbnailData(QByteArray("thumb"));
                ids.append(UuidText::toString(item->id()));
            }
            QVERIFY(seed->save().ok());
        }
        const QStringList env{u"FOLIONEST_CONTAINER="_s + container.path()};
        for (const QString& id : std::as_const(ids)) {
            QProcess edit;
            QProcess remove;
            for (QProcess* p : {&edit, &remove}) {
                QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
                e.insert(u"FOLIONEST_CONTAINER"_s, container.path());
                p->setProcessEnvironment(e);
            }
            edit.start(TestSupport::cliPath(), {u"edit"_s, id, u"--title"_s, u"renamed"_s, u"--favorite"_s, u"on"_s});
            remove.start(TestSupport::cliPath(), {u"delete"_s, id});
            QVERIFY(edit.waitForFinished(30000));
            QVERIFY(remove.waitForFinished(30000));
            QCOMPARE(remove.exitCode(), 0);
            // The edit either came first (and was then deleted) or found the
            // item gone: never a failure of the library.
            QVERIFY2(edit.exitCode() == 0 || edit.exitCode() == 2, edit.readAllStandardError().constData());
        }
        auto after = container.open();
        QCOMPARE(after->items().size(), 0);
        const TestSupport::ProcessResult integrity = TestSupport::run(TestSupport::cliPath(), {u"counts"_s}, env);
        QCOMPARE(integrity.exitCode, 0);
    }

    void processesCreatingOneLibraryAllSucceed()
    {
        for (int trial = 0; trial < 10; ++trial) {
            TestSupport::TempContainer container;
            QList<QProcess*> processes;
            for (int i = 0; i < 6; ++i) {
                auto* p = new QProcess(this);
                QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
                e.insert(u"FOLIONEST_CONTAINER"_s, container.path());
                p->setProcessEnvironment(e);
                processes.append(p);
            }
            for (QProcess* p : std::as_const(processes))
                p->start(TestSupport::cliPath(), {u"tag"_s, u"add"_s, u"made"_s});
            for (QProcess* p : std::as_const(processes)) {
                QVERIFY(p->waitForFinished(30000));
                QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
                delete p;
            }
            QCOMPARE(container.open()->tags().size(), 6);
        }
    }

    void windowShowsAnotherProcessesChangesInPlace()
    {
        TestSupport::TempContainer container;
        QStringList ids;
        {
            auto seed = container.open();
            const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-1);
            for (int i = 0; i < 60; ++i) {
                Item* item =
                    seed->insert(std::make_unique<Item>(ItemType::webLink, u"item %1"_s.arg(i, 2, 10, QChar(u'0'))));
                item->setCreatedAt(start.addSecs(i));
                ids.prepend(UuidText::toString(item->id()));
            }
            QVERIFY(seed->save().ok());
        }
        auto context = container.open();
        AppState state;
        state.observe(context.get());
        state.setViewMode(ViewMode::list);
        Application application(context.get(), &state);
        application.start();
        MainWindow* window = application.mainWindow();
        window->resize(1200, 800);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* middle = window->findChild<MiddleColumn*>();
        ItemListModel* model = middle->model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QListView* list = middle->listView();
        QCOMPARE(model->rowCount(), 60);

        // Select a row further down and scroll there.
        Item* selected = context->item(UuidText::fromString(ids[40]).value());
        window->selectItem(selected);
        list->scrollTo(model->index(40), QAbstractItemView::PositionAtTop);
        const int scroll = list->verticalScrollBar()->value();
        QVERIFY(scroll > 0);

        const QStringList env{u"FOLIONEST_CONTAINER="_s + container.path()};
        QCOMPARE(TestSupport::run(TestSupport::cliPath(), {u"edit"_s, ids[40], u"--title"_s, u"Renamed there"_s}, env)
                     .exitCode,
                 0);
        QCOMPARE(TestSupport::run(TestSupport::cliPath(), {u"delete"_s, ids[50]}, env).exitCode, 0);
        QTRY_COMPARE(model->rowCount(), 59);
        QTRY_COMPARE(selected->title(), u"Renamed there"_s);
        auto* detailTitle = window->findChild<DetailPane*>()->findChild<QLabel*>(u"detailTitle"_s);
        QVERIFY(detailTitle);
        QTRY_COMPARE(detailTitle->text(), u"Renamed there"_s);
        QCOMPARE(state.selectedItem(), selected);
        QCOMPARE(list->currentIndex().row(), model->rowOf(selected));
        QCOMPARE(list->verticalScrollBar()->value(), scroll);
        // The window's own later saves still work.
        selected->setNote(u"from the window"_s);
        QVERIFY(context->save().ok());
        QCOMPARE(TestSupport::run(TestSupport::cliPath(), {u"show"_s, ids[40]}, env).out.contains("from the window"),
                 true);
    }

    void secondStartHandsOverToTheFirst()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (scripts/setup.sh test runs one)");
        TestSupport::TempContainer container;
        QTemporaryDir config;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"FOLIONEST_CONTAINER"_s, container.path());
        env.insert(u"XDG_CONFIG_HOME"_s, config.path());
        QProcess first;
        first.setProcessEnvironment(env);
        QByteArray firstErr;
        connect(&first, &QProcess::readyReadStandardError, this, [&] { firstErr += first.readAllStandardError(); });
        first.start(TestSupport::appPath());
        QVERIFY(first.waitForStarted());
        const QString service = SingleInstance::serviceName(container.path());
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(service), 30000);

        // The same library reached through another spelling of its path.
        const TestSupport::ProcessResult second =
            TestSupport::run(TestSupport::appPath(), {},
                             {u"QT_QPA_PLATFORM=offscreen"_s, u"FOLIONEST_CONTAINER="_s + container.path() + u"/./"_s,
                              u"XDG_CONFIG_HOME="_s + config.path()},
                             {}, 30000);
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.out.contains("already running"), second.out.constData());
        QTRY_VERIFY_WITH_TIMEOUT(firstErr.contains("brought the window forward"), 10000);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(30000));
    }

    void activationReopensAClosedWindow()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        AppState state;
        state.observe(context.get());
        Application application(context.get(), &state);
        application.start();
        QPointer<MainWindow> window = application.mainWindow();
        window->close();
        QTRY_VERIFY(!window);
        application.activate({});
        QVERIFY(application.mainWindow());
        QVERIFY(application.mainWindow()->isVisible());
    }

    void failedSaveIsReportedOnceAndKeepsTheChanges()
    {
        auto dialogs = std::make_unique<RecordingDialogs>();
        RecordingDialogs* recorded = dialogs.get();
        Dialogs::setCurrent(std::move(dialogs));
        TestSupport::TempContainer container;
        auto context = container.open();
        AppState state;
        state.observe(context.get());
        Application application(context.get(), &state);
        context->setAutosaveDelay(10);
        context->setBusyTimeout(50);

        // Another program holds the write lock.
        sqlite3* blocker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(container.storePath()).constData(), &blocker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        QSignalSpy failed(context.get(), &ModelContext::saveFailed);
        context->insert(std::make_unique<Item>(ItemType::webLink, u"first"_s));
        QVERIFY(failed.wait());
        context->insert(std::make_unique<Item>(ItemType::webLink, u"second"_s));
        QVERIFY(failed.wait());
        QTRY_COMPARE(recorded->errors.size(), 1);
        QVERIFY(recorded->errors.first().contains(u"2 items"_s) || recorded->errors.first().contains(u"1 item"_s));
        // No retry on its own: the failure waits for the next change.
        QTest::qWait(300);
        QCOMPARE(failed.size(), 2);

        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);
        context->insert(std::make_unique<Item>(ItemType::webLink, u"third"_s));
        QSignalSpy saved(context.get(), &ModelContext::saved);
        QVERIFY(saved.wait());
        QCOMPARE(container.open()->items().size(), 3);
        QCOMPARE(recorded->errors.size(), 1);
        Dialogs::setCurrent(nullptr);
    }
};

QTEST_MAIN(TestMultiProcess)
#include "tst_multiprocess.moc"
