#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {
// Runs SQL on the store file through a separate connection.
void execSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const QString message = error ? QString::fromUtf8(error) : QString();
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(message));
}

// The one number a query gives.
qint64 execCount(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        return -1;
    sqlite3_stmt* st = nullptr;
    qint64 n = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}
} // namespace

class TestStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void everyFieldSurvivesReopening()
    {
        TestSupport::TempContainer container;
        QUuid itemId, folderId, childId, tagA, tagB;
        const QDateTime accessed(QDate(2026, 1, 2), QTime(3, 4, 5, 678), QTimeZone::utc());
        {
            auto ctx = container.open();
            Folder* folder = ctx->insert(std::make_unique<Folder>(u"Research"_s, u"book"_s, QColor(0xFF, 0x95, 0)));
            Folder* child = ctx->insert(std::make_unique<Folder>(u"Papers"_s, u"doc"_s, QColor(1, 2, 3), folder));
            child->setSortOrder(7);
            Tag* b = ctx->insert(std::make_unique<Tag>(u"b"_s, QColor(Qt::red)));
            Tag* a = ctx->insert(std::make_unique<Tag>(u"a"_s, QColor(Qt::green)));
            auto owned = std::make_unique<Item>(ItemType::document, u"Ünïcödé title"_s,
                                                QUrl(u"https://example.com/x.pdf"_s), u"a note"_s, child);
            Item* item = ctx->insert(std::move(owned));
            item->addTag(b);
            item->addTag(a); // order of attachment is kept
            item->setMetadata(ItemMetadata{.author = u"Ada"_s});
            item->setSourceApp(u"Browser"_s);
            item->setFavorite(true);
            item->setRead(true);
            item->setAccessedAt(accessed);
            item->setThumbnailData(QByteArray(5000, 't'));
            item->setImageData(QByteArray(3, 'i'));
            QVERIFY(ctx->save().ok());
            itemId = item->id();
            folderId = folder->id();
            childId = child->id();
            tagA = a->id();
            tagB = b->id();
        }
        auto ctx = container.open();
        QCOMPARE(ctx->items().size(), 1);
        Item* item = ctx->item(itemId);
        QVERIFY(item);
        QCOMPARE(item->title(), u"Ünïcödé title"_s);
        QCOMPARE(item->type(), ItemType::document);
        QCOMPARE(item->urlString(), std::optional<QString>(u"https://example.com/x.pdf"_s));
        QCOMPARE(item->note(), std::optional<QString>(u"a note"_s));
        QCOMPARE(item->sourceDomain(), std::optional<QString>(u"example.com"_s));
        QCOMPARE(item->sourceApp(), std::optional<QString>(u"Browser"_s));
        QCOMPARE(item->metadata()->author, std::optional<QString>(u"Ada"_s));
        QVERIFY(item->isFavorite() && item->isRead() && !item->isArchived());
        QCOMPARE(item->accessedAt(), std::optional<QDateTime>(accessed));
        QCOMPARE(item->folder(), ctx->folder(childId));
        QCOMPARE(item->folder()->parent(), ctx->folder(folderId));
        QCOMPARE(item->folder()->sortOrder(), 7);
        QCOMPARE(item->folder()->colorHex(), u"#010203"_s);
        QCOMPARE(item->tags(), (QList<Tag*>{ctx->tag(tagB), ctx->tag(tagA)}));
        QCOMPARE(ctx->tag(tagA)->items(), QList<Item*>{item});
        QVERIFY(item->hasThumbnail() && item->hasImage());
        QCOMPARE(item->thumbnailData(), std::optional<QByteArray>(QByteArray(5000, 't')));
        QCOMPARE(item->imageData(), std::optional<QByteArray>(QByteArray(3, 'i')));
        // Removing a picture removes its bytes from the store.
        item->setImageData(std::nullopt);
        QVERIFY(ctx->save().ok());
        ctx.reset();
        ctx = container.open();
        QVERIFY(!ctx->item(itemId)->hasImage());
        QVERIFY(ctx->item(itemId)->hasThumbnail());
    }

    void deletingAFolderDeletesItsTreeAndKeepsItems()
    {
        TestSupport::TempContainer container;
        {
            auto ctx = container.open();
            Folder* top = ctx->insert(std::make_unique<Folder>(u"top"_s, u"folder"_s, QColor(Qt::red)));
            Folder* mid = ctx->insert(std::make_unique<Folder>(u"mid"_s, u"folder"_s, QColor(Qt::red), top));
            Folder* low = ctx->insert(std::make_unique<Folder>(u"low"_s, u"folder"_s, QColor(Qt::red), mid));
            ctx->insert(std::make_unique<Folder>(u"other"_s, u"folder"_s, QColor(Qt::red)));
            for (Folder* f : {top, mid, low})
                ctx->insert(std::make_unique<Item>(ItemType::webLink, f->name(), std::nullopt, std::nullopt, f));
            QVERIFY(ctx->save().ok());
            QSignalSpy removed(ctx.get(), &ModelContext::folderRemoved);
            ctx->remove(top);
            QCOMPARE(removed.size(), 3);
            QVERIFY(top->isDeleted() && low->isDeleted()); // still valid until saved
            QCOMPARE(ctx->folders().size(), 1);
            for (const Item* item : ctx->items())
                QCOMPARE(item->folder(), nullptr);
            QVERIFY(ctx->save().ok());
        }
        auto ctx = container.open();
        QCOMPARE(ctx->folders().size(), 1);
        QCOMPARE(ctx->folders().first()->name(), u"other"_s);
        QCOMPARE(ctx->items().size(), 3);
        for (const Item* item : ctx->items())
            QCOMPARE(item->folder(), nullptr);
    }

    void deletingATagDetachesItOnly()
    {
        TestSupport::TempContainer container;
        {
            auto ctx = container.open();
            Tag* keep = ctx->insert(std::make_unique<Tag>(u"keep"_s, QColor(Qt::red)));
            Tag* gone = ctx->insert(std::make_unique<Tag>(u"gone"_s, QColor(Qt::red)));
            for (int i = 0; i < 3; ++i) {
                Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, QString::number(i)));
                item->addTag(gone);
                item->addTag(keep);
            }
            QVERIFY(ctx->save().ok());
            ctx->remove(gone);
            for (const Item* item : ctx->items())
                QCOMPARE(item->tags(), QList<Tag*>{keep});
        }
        auto ctx = container.open();
        QCOMPARE(ctx->items().size(), 3);
        QCOMPARE(ctx->tags().size(), 1);
        for (const Item* item : ctx->items())
            QCOMPARE(item->tags().size(), 1);
    }

    void deletingAnItemKeepsFolderAndTags()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        Folder* folder = ctx->insert(std::make_unique<Folder>(u"f"_s, u"folder"_s, QColor(Qt::red)));
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
        Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"x"_s, std::nullopt, std::nullopt, folder));
        item->addTag(tag);
        item->setThumbnailData(QByteArray("png"));
        QVERIFY(ctx->save().ok());
        ctx->remove(item);
        QVERIFY(folder->items().isEmpty());
        QVERIFY(tag->items().isEmpty());
        QVERIFY(ctx->save().ok());
        ctx.reset();
        ctx = container.open();
        QCOMPARE(ctx->items().size(), 0);
        QCOMPARE(ctx->folders().size(), 1);
        QCOMPARE(ctx->tags().size(), 1);
    }

    void automaticSavingIsCoalesced()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        ctx->setAutosaveDelay(50);
        QSignalSpy saved(ctx.get(), &ModelContext::saved);
        QSignalSpy changed(ctx.get(), &ModelContext::changed);
        Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"x"_s));
        for (int i = 0; i < 100; ++i)
            item->setTitle(QString::number(i));
        QVERIFY(ctx->hasChanges());
        QVERIFY(saved.wait(2000));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(changed.size(), 1); // one notification for the whole event-loop turn
        QVERIFY(!ctx->hasChanges());
        // Another connection sees the saved title.
        auto other = container.open();
        QCOMPARE(other->items().first()->title(), u"99"_s);
    }

    void changeSignalsNameTheFields()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"x"_s));
        QSignalSpy updated(ctx.get(), &ModelContext::itemUpdated);
        item->toggleFavorite();
        QCOMPARE(updated.size(), 1);
        QCOMPARE(updated.first().at(1).toUInt(), quint32(ItemField::Favorite | ItemField::ModifiedAt));
        item->setTitle(u"x"_s); // equal value: silent
        QCOMPARE(updated.size(), 1);
    }

    void failedSaveKeepsChangesForLater()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"first"_s));
        QVERIFY(ctx->save().ok());
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"second"_s));

        // Another process holds the write lock past our busy timeout.
        sqlite3* blocker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(container.storePath()).constData(), &blocker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        ctx->setBusyTimeout(100);
        QSignalSpy failed(ctx.get(), &ModelContext::saveFailed);
        const Status status = ctx->save();
        QVERIFY(!status.ok());
        QVERIFY(status.error().contains(u"could not be saved"));
        QCOMPARE(failed.size(), 1);
        QVERIFY(ctx->hasChanges());
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);

        QVERIFY(ctx->save().ok());
        ctx.reset();
        QCOMPARE(container.open()->items().size(), 2);
    }

    void damagedRowsLoadWithoutCrashing()
    {
        TestSupport::TempContainer container;
        {
            auto ctx = container.open();
            Folder* folder = ctx->insert(std::make_unique<Folder>(u"f"_s, u"folder"_s, QColor(Qt::red)));
            Tag* tag = ctx->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
            Item* item =
                ctx->insert(std::make_unique<Item>(ItemType::webLink, u"x"_s, std::nullopt, std::nullopt, folder));
            item->addTag(tag);
            item->setMetadataJSON(QByteArray("{not json"));
            QVERIFY(ctx->save().ok());
        }
        // Edit the file behind the store's back, as a broken tool might.
        execSql(container.storePath(), "PRAGMA foreign_keys=OFF;"
                                       "UPDATE Item SET typeRawValue='hologram';"
                                       "DELETE FROM Folder; DELETE FROM Tag;"
                                       "INSERT INTO ItemTag VALUES(x'00', 5, x'01');");
        auto ctx = container.open();
        QCOMPARE(ctx->items().size(), 1);
        Item* item = ctx->items().first();
        QCOMPARE(item->type(), ItemType::webLink);
        QCOMPARE(item->metadata(), std::nullopt);
        QCOMPARE(item->folder(), nullptr);
        QVERIFY(item->tags().isEmpty());
    }

    void recordRemovedBeforeItsFirstSaveNeverReachesTheStore()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
        Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"x"_s));
        item->addTag(tag);
        item->setThumbnailData(QByteArray("bytes"));
        ctx->remove(item);
        ctx->remove(tag);
        QVERIFY(!ctx->hasChanges());
        QVERIFY(ctx->save().ok());
        ctx.reset();
        ctx = container.open();
        QCOMPARE(ctx->items().size(), 0);
        QCOMPARE(ctx->tags().size(), 0);
    }

    // The window saves on a writer thread: what changes while a save runs
    // (an edit, a new picture, a deletion, a new record) goes into the next
    // save, and nothing the running save took is lost or written twice.
    void changesMadeWhileABackgroundSaveRunsAreKept()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        ctx->setAutosaveDelay(60 * 60 * 1000);
        ctx->setBackgroundSaving(true);
        Folder* folder = ctx->insert(std::make_unique<Folder>(u"f"_s, u"folder"_s, QColor(Qt::red)));
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
        Item* edited =
            ctx->insert(std::make_unique<Item>(ItemType::webLink, u"first"_s, std::nullopt, std::nullopt, folder));
        edited->addTag(tag);
        edited->setThumbnailData(QByteArray(64, '1'));
        Item* dropped = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"dropped"_s));
        for (int i = 0; i < 2000; ++i)
            ctx->insert(std::make_unique<Item>(ItemType::webLink, u"bulk %1"_s.arg(i)));
        QSignalSpy saved(ctx.get(), &ModelContext::saved);
        QSignalSpy failed(ctx.get(), &ModelContext::saveFailed);
        int settled = 0;
        ctx->saveInBackground([&settled](const Status& s) { settled += s.ok() ? 1 : 100; });
        QVERIFY(ctx->isSaving());
        QVERIFY(!ctx->hasChanges());

        edited->setTitle(u"second"_s);
        edited->setThumbnailData(QByteArray(64, '2'));
        ctx->remove(dropped);
        ctx->remove(folder);
        ctx->remove(tag);
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"added"_s));
        QVERIFY(ctx->hasChanges());

        QTRY_COMPARE(settled, 1);
        QCOMPARE(saved.size(), 2); // the running save, then the one with the rest
        QCOMPARE(failed.size(), 0);
        QVERIFY(!ctx->isSaving() && !ctx->hasChanges());
        QCOMPARE(edited->thumbnailData(), QByteArray(64, '2'));
        const QUuid editedId = edited->id();
        ctx.reset();

        auto reopened = container.open();
        QCOMPARE(reopened->items().size(), 2002);
        QVERIFY(reopened->folders().isEmpty());
        QVERIFY(reopened->tags().isEmpty());
        Item* second = reopened->item(editedId);
        QVERIFY(second);
        QCOMPARE(second->title(), u"second"_s);
        QCOMPARE(second->folder(), nullptr);
        QVERIFY(second->tags().isEmpty());
        QCOMPARE(second->thumbnailData(), QByteArray(64, '2'));
        QCOMPARE(execCount(container.storePath(), "SELECT COUNT(*) FROM Item WHERE title = 'dropped'"), 0);
        QCOMPARE(execCount(container.storePath(), "SELECT COUNT(*) FROM Item WHERE title = 'added'"), 1);
    }

    // A large background save copies its records over several turns. One
    // linked meanwhile to a folder and a tag made after the save began is
    // written with the links it had, and the next save adds the new ones.
    void recordLinkedWhileItsSaveCopiesIsWrittenInTwoSteps()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        ctx->setAutosaveDelay(60 * 60 * 1000);
        ctx->setBackgroundSaving(true);
        Item* last = nullptr;
        for (int i = 0; i < 5000; ++i)
            last = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"bulk %1"_s.arg(i)));
        QSignalSpy failed(ctx.get(), &ModelContext::saveFailed);
        int settled = 0;
        ctx->saveInBackground([&settled](const Status& s) { settled += s.ok() ? 1 : 100; });
        Folder* later = ctx->insert(std::make_unique<Folder>(u"later"_s, u"folder"_s, QColor(Qt::red)));
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"later"_s, QColor(Qt::blue)));
        last->moveToFolder(later);
        last->addTag(tag);
        last->setTitle(u"renamed"_s);
        QTRY_COMPARE(settled, 1);
        QCOMPARE(failed.size(), 0);
        const QUuid id = last->id();
        ctx.reset();

        auto reopened = container.open();
        QCOMPARE(reopened->items().size(), 5000);
        Item* item = reopened->item(id);
        QVERIFY(item);
        QCOMPARE(item->title(), u"renamed"_s);
        QVERIFY(item->folder() && item->folder()->name() == u"later"_s);
        QCOMPARE(item->tags().size(), 1);
        QCOMPARE(item->tags().first()->name(), u"later"_s);
    }

    void failedBackgroundSaveKeepsChangesForLater()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        ctx->setAutosaveDelay(60 * 60 * 1000);
        ctx->setBackgroundSaving(true);
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"first"_s));
        sqlite3* blocker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(container.storePath()).constData(), &blocker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        ctx->setBusyTimeout(100);
        QSignalSpy failed(ctx.get(), &ModelContext::saveFailed);
        std::optional<Status> outcome;
        ctx->saveInBackground([&outcome](const Status& s) { outcome = s; });
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"second"_s));
        QTRY_VERIFY(outcome);
        QVERIFY(!outcome->ok());
        QVERIFY(outcome->error().contains(u"could not be saved"));
        QCOMPARE(failed.size(), 1);
        QVERIFY(ctx->hasChanges());
        QCOMPARE(ctx->pendingChangesDescription(), u"2 items"_s);
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);

        outcome.reset();
        ctx->saveInBackground([&outcome](const Status& s) { outcome = s; });
        QTRY_VERIFY(outcome);
        QVERIFY(outcome->ok());
        ctx.reset();
        QCOMPARE(container.open()->items().size(), 2);
    }

    void removeAllIsOneStepThatOthersSee()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        Folder* parent = ctx->insert(std::make_unique<Folder>(u"parent"_s, u"folder"_s, QColor(Qt::red)));
        Folder* child = ctx->insert(std::make_unique<Folder>(u"child"_s, u"folder"_s, QColor(Qt::red), parent));
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
        for (int i = 0; i < 50; ++i) {
            Item* item = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"item %1"_s.arg(i), std::nullopt,
                                                            std::nullopt, i % 2 ? child : parent));
            item->addTag(tag);
            item->setThumbnailData(QByteArray(64, 'x'));
        }
        QVERIFY(ctx->save().ok());
        Item* held = ctx->items().first();
        auto other = container.open();
        QCOMPARE(other->items().size(), 50);
        Item* unsaved = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"unsaved"_s));

        QSignalSpy about(ctx.get(), &ModelContext::allAboutToBeRemoved);
        QSignalSpy done(ctx.get(), &ModelContext::allRemoved);
        QSignalSpy perItem(ctx.get(), &ModelContext::itemAboutToBeRemoved);
        QSignalSpy perFolder(ctx.get(), &ModelContext::folderAboutToBeRemoved);
        connect(ctx.get(), &ModelContext::allAboutToBeRemoved, this, [&] { QCOMPARE(ctx->items().size(), 51); });
        ctx->removeAll();
        QCOMPARE(about.size(), 1);
        QCOMPARE(done.size(), 1);
        QCOMPARE(perItem.size(), 0);
        QCOMPARE(perFolder.size(), 0);
        QVERIFY(ctx->items().isEmpty() && ctx->folders().isEmpty() && ctx->tags().isEmpty());
        QVERIFY(!ctx->item(held->id()));
        // Still allocated, cut from the rest, until the save.
        QVERIFY(held->isDeleted());
        QVERIFY(unsaved->isDeleted());
        QCOMPARE(held->folder(), nullptr);
        QVERIFY(held->tags().isEmpty());
        QVERIFY(ctx->hasChanges());
        // What is added after the deletion survives it.
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"after"_s));
        QVERIFY(ctx->save().ok());

        // The other process follows, through the deletion log.
        QSignalSpy otherRemoved(other.get(), &ModelContext::itemRemoved);
        QVERIFY(other->refreshFromStore());
        QCOMPARE(otherRemoved.size(), 50);
        QCOMPARE(other->items().size(), 1);
        QCOMPARE(other->items().first()->title(), u"after"_s);
        QVERIFY(other->folders().isEmpty());
        QVERIFY(other->tags().isEmpty());
        ctx.reset();
        auto reopened = container.open();
        QCOMPARE(reopened->items().size(), 1);
        QCOMPARE(execCount(container.storePath(), "SELECT COUNT(*) FROM ItemBlob"), 0);
        QCOMPARE(execCount(container.storePath(), "SELECT COUNT(*) FROM ItemTag"), 0);
    }

    void failedRemoveAllStaysPending()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        ctx->insert(std::make_unique<Item>(ItemType::webLink, u"kept until saved"_s));
        QVERIFY(ctx->save().ok());
        sqlite3* blocker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(container.storePath()).constData(), &blocker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        ctx->setBusyTimeout(100);
        ctx->removeAll();
        QVERIFY(!ctx->save().ok());
        QVERIFY(ctx->pendingChangesDescription().contains(u"all items"_s));
        QCOMPARE(container.open()->items().size(), 1);
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);
        QVERIFY(ctx->save().ok());
        QCOMPARE(container.open()->items().size(), 0);
    }

    void fetchSortsStably()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        TestSupport::FixedClock clock(QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()));
        QList<Item*> inserted;
        for (int i = 0; i < 5; ++i) {
            inserted.append(ctx->insert(std::make_unique<Item>(ItemType::webLink, QString::number(i % 2))));
            clock.advance(1000);
        }
        const auto byTitle = ctx->fetchItems([](const Item* a, const Item* b) { return a->title() < b->title(); });
        QCOMPARE(byTitle, (QList<Item*>{inserted[0], inserted[2], inserted[4], inserted[1], inserted[3]}));
    }

    void newRecordsComeBackInInsertionOrder_data()
    {
        QTest::addColumn<int>("count");
        // A few records took another path through the save than many.
        QTest::newRow("few") << 3;
        QTest::newRow("many") << 300;
    }

    void newRecordsComeBackInInsertionOrder()
    {
        QFETCH(int, count);
        TestSupport::TempContainer container;
        QList<QUuid> folderIds, tagIds;
        {
            auto ctx = container.open();
            // Equal sort orders and names: only the order of insertion tells them apart.
            for (int i = 0; i < count; ++i) {
                folderIds.append(ctx->insert(std::make_unique<Folder>(u"Same"_s, u"folder"_s, QColor(Qt::red)))->id());
                tagIds.append(ctx->insert(std::make_unique<Tag>(u"same"_s, QColor(Qt::red)))->id());
            }
            QVERIFY(ctx->save().ok());
        }
        auto ctx = container.open();
        auto bySortOrder = [](const auto* a, const auto* b) { return a->sortOrder() < b->sortOrder(); };
        QList<QUuid> folders, tags;
        for (const Folder* folder : ctx->fetchFolders(bySortOrder))
            folders.append(folder->id());
        for (const Tag* tag : ctx->fetchTags(bySortOrder))
            tags.append(tag->id());
        QCOMPARE(folders, folderIds);
        QCOMPARE(tags, tagIds);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
