#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ModelContext;

namespace TestSupport {

// Test mode for standard paths, settings in a temporary file, C locale.
void initTestEnvironment();

// A container folder of its own for one test.
class TempContainer {
public:
    TempContainer();
    QString path() const { return m_dir.path(); }
    QString storePath() const;
    // Opens (or reopens) the store of this container; fails the test on error.
    std::unique_ptr<ModelContext> open() const;

private:
    QTemporaryDir m_dir;
};

// Pins Clock::now() for the life of the object.
class FixedClock {
public:
    explicit FixedClock(const QDateTime& now);
    ~FixedClock();
    void set(const QDateTime& now);
    void advance(qint64 ms);
    QDateTime now() const { return m_now; }

private:
    QDateTime m_now;
};

struct ProcessResult {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
};

// Runs the event loop until the future has finished, then gives its result.
// A future that has not finished with a result within a minute ends the run.
void awaitFinished(const QFuture<void>& future);
inline void await(const QFuture<void>& future)
{
    awaitFinished(future);
}
template <typename T>
T await(const QFuture<T>& future)
{
    awaitFinished(QFuture<void>(future));
    if (future.resultCount() == 0)
        qFatal("await: the future was cancelled");
    return future.result();
}

// Runs a program to completion with extra environment entries.
ProcessResult run(const QString& program, const QStringList& args, const QStringList& env = {},
                  const QByteArray& stdinData = {}, int timeoutMs = 60000);
// Runs folionest-cli on a container.
ProcessResult cli(const QString& container, const QStringList& args, const QByteArray& stdinData = {});

QString cliPath();
// Debian's own Python, where the setup installs python3-cryptography; any
// python3 on the PATH when that one is missing.
QString pythonPath();
QString appPath();
QString testDataPath(const QString& name);
// A whole file's bytes (empty when it cannot be read); writing replaces it.
QByteArray readFile(const QString& path);
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace TestSupport
