#include "TestSupport.h"

#include "model/Clock.h"
#include "platform/Settings.h"
#include "store/ModelContext.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace TestSupport {

void initTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir s_settingsDir;
    Settings::useFile(s_settingsDir.filePath(u"settings.ini"_s));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void awaitFinished(const QFuture<void>& future)
{
    if (future.isFinished())
        return;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    if (!future.isFinished())
        qFatal("await: the future did not finish within a minute");
}

TempContainer::TempContainer() = default;

QString TempContainer::storePath() const
{
    return m_dir.filePath(u"default.store"_s);
}

std::unique_ptr<ModelContext> TempContainer::open() const
{
    auto opened = ModelContext::open(storePath());
    if (!opened) {
        QTest::qFail(qPrintable(u"cannot open store: "_s + opened.error()), __FILE__, __LINE__);
        return nullptr;
    }
    return std::move(opened).value();
}

FixedClock::FixedClock(const QDateTime& now) : m_now(now)
{
    Clock::setOverride([this] { return m_now; });
}

FixedClock::~FixedClock()
{
    Clock::setOverride({});
}

void FixedClock::set(const QDateTime& now)
{
    m_now = now;
}

void FixedClock::advance(qint64 ms)
{
    m_now = m_now.addMSecs(ms);
}

ProcessResult run(const QString& program, const QStringList& args, const QStringList& env, const QByteArray& stdinData,
                  int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    for (const QString& entry : env) {
        const qsizetype eq = entry.indexOf(u'=');
        environment.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process.setProcessEnvironment(environment);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForStarted(timeoutMs))
        return result;
    if (!stdinData.isEmpty())
        process.write(stdinData);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitCode();
    result.exitStatus = process.exitStatus();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ProcessResult cli(const QString& container, const QStringList& args, const QByteArray& stdinData)
{
    return run(cliPath(), QStringList{u"--container"_s, container} + args, {}, stdinData);
}

QString pythonPath()
{
    const QString system = u"/usr/bin/python3"_s;
    return QFileInfo::exists(system) ? system : u"python3"_s;
}

QString cliPath()
{
    return QStringLiteral(FOLIONEST_CLI_PATH);
}

QString appPath()
{
    return QStringLiteral(FOLIONEST_APP_PATH);
}

QString testDataPath(const QString& name)
{
    return QDir(QStringLiteral(FOLIONEST_TEST_DATA)).filePath(name);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace TestSupport
