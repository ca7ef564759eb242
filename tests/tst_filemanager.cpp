#include "platform/FileManager.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"org.freedesktop.FileManager1"_s;
const QString kPath = u"/org/freedesktop/FileManager1"_s;

// A file manager on the session bus that records what it is asked to show.
// It lives on a thread of its own: reveal() blocks the main thread until the
// answer comes.
class FakeFileManager final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    enum class Answer { show, refuse, never };
    explicit FakeFileManager(Answer answer) : m_answer(answer) {}

    QList<QStringList> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    QStringList startupIds() const
    {
        QMutexLocker lock(&m_mutex);
        return m_startupIds;
    }

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        {
            QMutexLocker lock(&m_mutex);
            m_calls.append(uris);
            m_startupIds.append(startupId);
        }
        if (m_answer == Answer::refuse)
            sendErrorReply(QDBusError::Failed, u"cannot show"_s);
        else if (m_answer == Answer::never)
            setDelayedReply(true); // and never answer
    }

private:
    Answer m_answer;
    mutable QMutex m_mutex;
    QList<QStringList> m_calls;
    QStringList m_startupIds;
};

// Owns the fake's own bus connection and thread for the life of a test.
class FakeFileManagerHost {
public:
    explicit FakeFileManagerHost(FakeFileManager::Answer answer)
        : m_fake(new FakeFileManager(answer)),
          m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName))
    {
        m_fake->moveToThread(&m_thread);
        m_thread.start();
        m_registered = m_connection.isConnected()
                       && m_connection.registerObject(kPath, m_fake, QDBusConnection::ExportAllSlots)
                       && m_connection.registerService(kService);
    }
    ~FakeFileManagerHost()
    {
        m_connection.unregisterService(kService);
        m_connection.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(kConnectionName);
        m_thread.quit();
        m_thread.wait();
        delete m_fake;
    }
    bool registered() const { return m_registered; }
    FakeFileManager* fake() const { return m_fake; }

private:
    static inline const QString kConnectionName = u"fake-file-manager"_s;
    QThread m_thread;
    FakeFileManager* m_fake;
    QDBusConnection m_connection;
    bool m_registered = false;
};

// Stands in for the desktop's handler of file URLs, so no folder really opens.
class FileUrlHandler final : public QObject {
    Q_OBJECT

public:
    FileUrlHandler() { QDesktopServices::setUrlHandler(u"file"_s, this, "open"); }
    ~FileUrlHandler() override { QDesktopServices::unsetUrlHandler(u"file"_s); }
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

bool fileManagerOnBus(const QDBusConnection& bus)
{
    QDBusConnectionInterface* iface = bus.interface();
    return iface->isServiceRegistered(kService).value() || iface->activatableServiceNames().value().contains(kService);
}

} // namespace

class TestFileManager : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void revealAsksTheFileManager_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("uri");
        QTest::newRow("plain") << u"/tmp/notes.pdf"_s << u"file:///tmp/notes.pdf"_s;
        QTest::newRow("space and non-ASCII are percent-encoded")
            << u"/tmp/my papers/été.pdf"_s << u"file:///tmp/my%20papers/%C3%A9t%C3%A9.pdf"_s;
        QTest::newRow("percent and hash stay part of the name")
            << u"/tmp/100%/#1.txt"_s << u"file:///tmp/100%25/%231.txt"_s;
    }

    void revealAsksTheFileManager()
    {
        QFETCH(QString, path);
        QFETCH(QString, uri);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        FakeFileManagerHost host(FakeFileManager::Answer::show);
        QVERIFY(host.registered());
        FileUrlHandler handler;
        QCOMPARE(FileManager::reveal(QUrl::fromLocalFile(path)), FileManager::RevealOutcome::shownInFileManager);
        QCOMPARE(host.fake()->calls(), QList<QStringList>{QStringList{uri}});
        QCOMPARE(host.fake()->startupIds(), QStringList{QString()});
        QVERIFY(handler.opened.isEmpty());
    }

    void aRefusingOrSilentFileManagerFallsBackToTheFolder_data()
    {
        QTest::addColumn<FakeFileManager::Answer>("answer");
        QTest::newRow("refuses") << FakeFileManager::Answer::refuse;
        QTest::newRow("never answers (waits for the timeout)") << FakeFileManager::Answer::never;
    }

    void aRefusingOrSilentFileManagerFallsBackToTheFolder()
    {
        QFETCH(FakeFileManager::Answer, answer);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        FakeFileManagerHost host(answer);
        QVERIFY(host.registered());
        FileUrlHandler handler;
        QCOMPARE(FileManager::reveal(QUrl::fromLocalFile(u"/tmp/my papers/a.pdf"_s)),
                 FileManager::RevealOutcome::openedFolder);
        QCOMPARE(host.fake()->calls().size(), 1);
        QCOMPARE(handler.opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/my papers"_s)});
    }

    void withoutAFileManagerTheFolderOpens()
    {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus");
        if (fileManagerOnBus(bus))
            QSKIP("a real file manager is on this session bus");
        FileUrlHandler handler;
        QCOMPARE(FileManager::reveal(QUrl::fromLocalFile(u"/tmp/a/b.txt"_s)), FileManager::RevealOutcome::openedFolder);
        QCOMPARE(handler.opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/a"_s)});
    }

    void withoutABusTheFolderOpens()
    {
        const QDBusConnection nowhere =
            QDBusConnection::connectToBus(u"unix:path=/nonexistent/folionest-test-bus"_s, u"nowhere"_s);
        QVERIFY(!nowhere.isConnected());
        FileUrlHandler handler;
        QCOMPARE(FileManager::reveal(QUrl::fromLocalFile(u"/tmp/a/b.txt"_s), nowhere),
                 FileManager::RevealOutcome::openedFolder);
        QCOMPARE(handler.opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/a"_s)});
        QDBusConnection::disconnectFromBus(u"nowhere"_s);
    }

    void onlyLocalFilesAreRevealed_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("web page") << QUrl(u"https://example.com/file.pdf"_s);
        QTest::newRow("empty") << QUrl();
        QTest::newRow("file URL without a path") << QUrl(u"file:"_s);
    }

    void onlyLocalFilesAreRevealed()
    {
        QFETCH(QUrl, url);
        FileUrlHandler handler;
        QCOMPARE(FileManager::reveal(url), FileManager::RevealOutcome::failed);
        QVERIFY(handler.opened.isEmpty());
    }
};

QTEST_MAIN(TestFileManager)
#include "tst_filemanager.moc"
