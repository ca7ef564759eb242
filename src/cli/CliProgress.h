#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include <cstdio>
#include <unistd.h>

namespace Cli {

// Progress on standard error: a bar that redraws itself on a terminal;
// elsewhere (a log, a pipe) a line every tenth, and only once a run has
// lasted a second, so quick runs stay quiet.
class ProgressReport {
public:
    explicit ProgressReport(QString verb, QString unit = QStringLiteral("items"))
        : m_verb(std::move(verb)), m_unit(std::move(unit)), m_terminal(isatty(STDERR_FILENO) == 1)
    {
        m_clock.start();
    }
    ~ProgressReport() { end(); }

    // Called from the worker thread.
    void update(qsizetype done, qsizetype total)
    {
        QMutexLocker lock(&m_mutex);
        const int percent = total > 0 ? int(done * 100 / total) : 100;
        if (m_terminal) {
            if (percent == m_lastPercent && done != total && m_lastDraw.isValid() && m_lastDraw.elapsed() < 100)
                return;
            m_lastDraw.start();
            constexpr int kWidth = 30;
            const int filled = percent * kWidth / 100;
            const QByteArray bar = QByteArray(filled, '#') + QByteArray(kWidth - filled, '-');
            std::fprintf(stderr, "\r%s [%s] %3d%%", qPrintable(m_verb), bar.constData(), percent);
            if (!m_unit.isEmpty())
                std::fprintf(stderr, "  %lld/%lld %s", static_cast<long long>(done), static_cast<long long>(total),
                             qPrintable(m_unit));
            std::fflush(stderr);
            m_drawn = true;
        } else if (percent / 10 != m_lastPercent / 10 && m_clock.elapsed() >= 1000) {
            if (m_unit.isEmpty())
                std::fprintf(stderr, "%s: %d%%\n", qPrintable(m_verb), percent);
            else
                std::fprintf(stderr, "%s: %d%% (%lld/%lld %s)\n", qPrintable(m_verb), percent,
                             static_cast<long long>(done), static_cast<long long>(total), qPrintable(m_unit));
        }
        m_lastPercent = percent;
    }

    void phase(const QString& text)
    {
        QMutexLocker lock(&m_mutex);
        if (m_terminal) {
            std::fprintf(stderr, "\r\033[K%s: %s", qPrintable(m_verb), qPrintable(text));
            std::fflush(stderr);
            m_drawn = true;
        } else if (m_clock.elapsed() >= 1000) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(m_verb), qPrintable(text));
        }
    }

    // Leaves the terminal line clean for what follows.
    void end()
    {
        QMutexLocker lock(&m_mutex);
        if (m_drawn) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            m_drawn = false;
        }
    }

private:
    QMutex m_mutex;
    QString m_verb;
    QString m_unit;
    bool m_terminal;
    bool m_drawn = false;
    int m_lastPercent = -1;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastDraw;
};

} // namespace Cli
