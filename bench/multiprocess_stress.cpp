// The window and two command-line loops editing one library at once.
//
// The window (this process, offscreen is fine) writes notes and favourites,
// adds, deletes and views items; loop 1 (folionest-cli) renames items and adds
// some; loop 2 archives and unarchives, adds and deletes. Each writer owns its
// fields, so at the end every surviving item must hold exactly the last value
// its owner set, every deleted item must be gone, every added one must be
// there, and no save may have failed. Also reports how long the window takes
// to show a change another process committed.
//
// Usage: multiprocess_stress LIBRARY_DIR [SECONDS=300] [CLI=folionest-cli beside this program]
// Make the library first: make_library DIR 20000

#include "app/AppState.h"
#include "model/Item.h"
#include "model/TagDragItem.h"
#include "store/ModelContext.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct Expected {
    std::optional<QString> title; // loop 1
    std::optional<QString> note;  // window
    std::optional<bool> favorite; // window
    std::optional<bool> archived; // loop 2
};

struct Counts {
    int ops = 0;
    int adds = 0;
    int deletes = 0;
    int goneMeanwhile = 0; // exit 2: the item was deleted by another writer first
    int failures = 0;
};

// One command-line writer: runs one command at a time, picks the next when
// the last has finished, and records what succeeded.
class CliLoop : public QObject {
public:
    CliLoop(int number, QString cli, QString container, QStringList ids, QHash<QUuid, Expected>* expected,
            QSet<QUuid>* deleted, QSet<QUuid>* added)
        : m_number(number), m_cli(std::move(cli)), m_ids(std::move(ids)), m_expected(expected), m_deleted(deleted),
          m_added(added)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"FOLIONEST_CONTAINER"_s, container);
        m_process.setProcessEnvironment(env);
        m_process.setProgram(m_cli);
        connect(&m_process, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) { finished(code, status); });
    }
    void start() { next(); }
    void stop() { m_stopping = true; }
    bool idle() const { return m_process.state() == QProcess::NotRunning; }
    const Counts& counts() const { return m_counts; }

private:
    void next()
    {
        if (m_stopping)
            return;
        auto* random = QRandomGenerator::global();
        const QString id = m_ids[random->bounded(m_ids.size())];
        const int dice = random->bounded(100);
        ++m_serial;
        if (dice < 8) {
            m_pending = {u"add"_s, {}, {}};
            m_process.setArguments({u"add"_s, u"https://example.invalid/cli%1/%2"_s.arg(m_number).arg(m_serial),
                                    u"--no-fetch"_s, u"--title"_s, u"added by loop %1"_s.arg(m_number)});
        } else if (m_number == 2 && dice < 16) {
            m_pending = {u"delete"_s, id, {}};
            m_process.setArguments({u"delete"_s, id});
        } else if (m_number == 1) {
            const QString title = u"loop1 %1"_s.arg(m_serial);
            m_pending = {u"title"_s, id, title};
            m_process.setArguments({u"edit"_s, id, u"--title"_s, title});
        } else {
            const bool archived = random->bounded(2) == 1;
            m_pending = {u"archived"_s, id, archived ? u"on"_s : u"off"_s};
            m_process.setArguments({u"edit"_s, id, u"--archived"_s, m_pending.value});
        }
        m_process.start();
    }
    void finished(int code, QProcess::ExitStatus status)
    {
        ++m_counts.ops;
        const QByteArray out = m_process.readAllStandardOutput();
        const QByteArray err = m_process.readAllStandardError();
        if (status != QProcess::NormalExit || (code != 0 && code != 2)) {
            ++m_counts.failures;
            std::fprintf(stderr, "loop %d: %s failed (%d): %s\n", m_number, qPrintable(m_pending.op), code,
                         err.constData());
        } else if (code == 2) {
            ++m_counts.goneMeanwhile;
        } else if (const auto id = UuidText::fromString(m_pending.id.isEmpty() ? QString() : m_pending.id);
                   m_pending.op == u"add") {
            // "id:           <UUID>" on the first line.
            const auto added =
                UuidText::fromString(QString::fromUtf8(out.mid(out.indexOf(':') + 1, 50)).trimmed().left(36));
            if (added) {
                m_added->insert(*added);
                m_ids.append(UuidText::toString(*added));
                ++m_counts.adds;
            }
        } else if (id && m_pending.op == u"delete") {
            m_deleted->insert(*id);
            ++m_counts.deletes;
        } else if (id && m_pending.op == u"title") {
            (*m_expected)[*id].title = m_pending.value;
        } else if (id && m_pending.op == u"archived") {
            (*m_expected)[*id].archived = m_pending.value == u"on";
        }
        next();
    }

    struct Pending {
        QString op;
        QString id;
        QString value;
    };
    int m_number;
    QString m_cli;
    QStringList m_ids;
    QHash<QUuid, Expected>* m_expected;
    QSet<QUuid>* m_deleted;
    QSet<QUuid>* m_added;
    QProcess m_process;
    Pending m_pending;
    Counts m_counts;
    int m_serial = 0;
    bool m_stopping = false;
};

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min<qsizetype>(values.size() - 1, qsizetype(p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: multiprocess_stress LIBRARY_DIR [SECONDS] [CLI]\n");
        return 1;
    }
    const QString container = QFileInfo(args[1]).absoluteFilePath();
    const int seconds = args.size() > 2 ? args[2].toInt() : 300;
    const QString cli =
        args.size() > 3 ? args[3] : QDir(QCoreApplication::applicationDirPath()).filePath(u"../src/folionest-cli"_s);

    auto opened = ModelContext::open(container + u"/default.store"_s);
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    std::unique_ptr<ModelContext> context = std::move(opened).value();
    AppState state;
    state.observe(context.get());
    Application application(context.get(), &state);
    application.start();
    int saveFailures = 0;
    QObject::connect(context.get(), &ModelContext::saveFailed, &app, [&](const QString& error) {
        ++saveFailures;
        std::fprintf(stderr, "window: save failed: %s\n", qPrintable(error));
    });

    QStringList ids;
    for (const Item* item : context->items())
        ids.append(UuidText::toString(item->id()));
    // The probe item is renamed by short-lived commands to time how soon the
    // window shows another process's commit; nobody else writes its title.
    const QString probeId = ids.takeLast();
    Item* probe = context->item(*UuidText::fromString(probeId));

    QHash<QUuid, Expected> expected;
    QSet<QUuid> deleted;
    QSet<QUuid> added;
    CliLoop loop1(1, cli, container, ids, &expected, &deleted, &added);
    CliLoop loop2(2, cli, container, ids, &expected, &deleted, &added);

    Counts window;
    int windowSerial = 0;
    QTimer windowTimer;
    QObject::connect(&windowTimer, &QTimer::timeout, &app, [&] {
        auto* random = QRandomGenerator::global();
        const QList<Item*>& items = context->items();
        if (items.size() < 2)
            return;
        Item* item = items[random->bounded(items.size())];
        if (item == probe)
            return;
        const int dice = random->bounded(100);
        ++window.ops;
        ++windowSerial;
        if (dice < 5) {
            Item* created =
                context->insert(std::make_unique<Item>(ItemType::webLink, u"added by the window"_s,
                                                       QUrl(u"https://example.invalid/w/%1"_s.arg(windowSerial))));
            added.insert(created->id());
            ++window.adds;
        } else if (dice < 10) {
            deleted.insert(item->id());
            context->remove(item);
            ++window.deletes;
        } else if (dice < 40) {
            const QString note = u"window %1"_s.arg(windowSerial);
            item->setNote(note);
            item->setModifiedAt(QDateTime::currentDateTimeUtc());
            expected[item->id()].note = note;
        } else if (dice < 55) {
            item->toggleFavorite();
            expected[item->id()].favorite = item->isFavorite();
        } else {
            // What selecting an item does.
            item->setAccessedAt(QDateTime::currentDateTimeUtc());
            state.setSelectedItem(item);
        }
    });

    QList<double> latencies; // ms from the command's exit to the window showing it
    QElapsedTimer probeClock;
    QString probeTitle;
    int probeSerial = 0;
    QProcess prober;
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"FOLIONEST_CONTAINER"_s, container);
        prober.setProcessEnvironment(env);
    }
    QObject::connect(context.get(), &ModelContext::itemUpdated, &app, [&](Item* item, quint32 fields) {
        if (item == probe && (fields & ItemField::Title) && item->title() == probeTitle && probeClock.isValid()) {
            latencies.append(double(probeClock.nsecsElapsed()) / 1e6);
            probeClock.invalidate();
        }
    });
    QObject::connect(&prober, &QProcess::finished, &app, [&](int code) {
        if (code == 0 && probe->title() != probeTitle)
            probeClock.start();
    });
    QTimer probeTimer;
    QObject::connect(&probeTimer, &QTimer::timeout, &app, [&] {
        if (prober.state() != QProcess::NotRunning)
            return;
        probeTitle = u"probe %1"_s.arg(++probeSerial);
        prober.start(cli, {u"edit"_s, probeId, u"--title"_s, probeTitle});
    });

    std::printf("library %s: %lld items; running %d s\n", qPrintable(container), qlonglong(context->items().size()),
                seconds);
    loop1.start();
    loop2.start();
    windowTimer.start(20);
    probeTimer.start(2000);

    QTimer::singleShot(seconds * 1000, &app, [&] {
        windowTimer.stop();
        probeTimer.stop();
        loop1.stop();
        loop2.stop();
        auto* waiter = new QTimer(&app);
        QObject::connect(waiter, &QTimer::timeout, &app, [&] {
            if (loop1.idle() && loop2.idle() && prober.state() == QProcess::NotRunning)
                QCoreApplication::quit();
        });
        waiter->start(50);
    });
    QApplication::exec();

    if (Status s = context->save(); !s) {
        ++saveFailures;
        std::fprintf(stderr, "window: final save failed: %s\n", qPrintable(s.error()));
    }
    context->refreshFromStore();

    // Check the file against the log.
    auto reopened = ModelContext::open(container + u"/default.store"_s);
    if (!reopened) {
        std::fprintf(stderr, "cannot reopen: %s\n", qPrintable(reopened.error()));
        return 1;
    }
    ModelContext& file = *reopened.value();
    int mismatches = 0;
    auto mismatch = [&](const QUuid& id, const char* what, const QString& want, const QString& got) {
        if (++mismatches <= 20)
            std::fprintf(stderr, "mismatch %s %s: want \"%s\", file has \"%s\"\n", qPrintable(UuidText::toString(id)),
                         what, qPrintable(want), qPrintable(got));
    };
    for (const QUuid& id : std::as_const(deleted)) {
        if (file.item(id))
            mismatch(id, "deleted item", u"absent"_s, u"present"_s);
    }
    for (const QUuid& id : std::as_const(added)) {
        if (!deleted.contains(id) && !file.item(id))
            mismatch(id, "added item", u"present"_s, u"absent"_s);
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (deleted.contains(it.key()))
            continue;
        const Item* item = file.item(it.key());
        if (!item) {
            mismatch(it.key(), "edited item", u"present"_s, u"absent"_s);
            continue;
        }
        const Expected& e = it.value();
        if (e.title && item->title() != *e.title)
            mismatch(it.key(), "title", *e.title, item->title());
        if (e.note && item->note() != e.note)
            mismatch(it.key(), "note", *e.note, item->note().value_or(u"(none)"_s));
        if (e.favorite && item->isFavorite() != *e.favorite)
            mismatch(it.key(), "favorite", QString::number(*e.favorite), QString::number(item->isFavorite()));
        if (e.archived && item->isArchived() != *e.archived)
            mismatch(it.key(), "archived", QString::number(*e.archived), QString::number(item->isArchived()));
        // The window must show what the file holds.
        const Item* shown = context->item(it.key());
        if (!shown || shown->title() != item->title() || shown->note() != item->note()
            || shown->isArchived() != item->isArchived())
            mismatch(it.key(), "window", u"as the file"_s, u"differs"_s);
    }
    if (context->items().size() != file.items().size())
        mismatch({}, "window item count", QString::number(file.items().size()),
                 QString::number(context->items().size()));

    QString integrity = u"(not run)"_s;
    {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(container + u"/default.store"_s).constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr)
            == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK
                && sqlite3_step(st) == SQLITE_ROW)
                integrity = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
    }

    auto print = [](const char* who, const Counts& c) {
        std::printf("%-7s %6d operations: %5d adds, %5d deletes, %5d found their item deleted first, %d failures\n",
                    who, c.ops, c.adds, c.deletes, c.goneMeanwhile, c.failures);
    };
    print("window", window);
    print("loop 1", loop1.counts());
    print("loop 2", loop2.counts());
    std::printf("items checked: %lld edited, %lld deleted, %lld added; %lld items in the file\n",
                qlonglong(expected.size()), qlonglong(deleted.size()), qlonglong(added.size()),
                qlonglong(file.items().size()));
    std::printf("window save failures: %d\n", saveFailures);
    std::printf("integrity_check: %s\n", qPrintable(integrity));
    std::printf("mismatches with the log: %d\n", mismatches);
    std::printf("time for the window to show another process's commit (after the command exits), %lld samples: "
                "median %.0f ms, 90th percentile %.0f ms, max %.0f ms\n",
                qlonglong(latencies.size()), percentile(latencies, 0.5), percentile(latencies, 0.9),
                percentile(latencies, 1.0));
    const bool ok = mismatches == 0 && saveFailures == 0 && integrity == u"ok" && loop1.counts().failures == 0
                    && loop2.counts().failures == 0;
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
