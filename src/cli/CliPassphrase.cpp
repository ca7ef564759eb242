#include "CliPassphrase.h"

#include "Cli.h"

#include "services/security/SecurityError.h"
#include "services/security/SecurityService.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

constexpr qsizetype kMaxPassphraseBytes = 64 * 1024;

// The terminal state to restore, also from a signal handler.
struct termios s_savedTerminal;
volatile sig_atomic_t s_echoOff = 0;
constexpr int kRestoreSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void restoreEchoAndRaise(int signo)
{
    if (s_echoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &s_savedTerminal);
    std::signal(signo, SIG_DFL);
    std::raise(signo);
}

// Echo off for its lifetime; an interrupting signal restores it too.
class EchoOff {
public:
    EchoOff()
    {
        if (tcgetattr(STDIN_FILENO, &s_savedTerminal) != 0)
            throw Failed{Failure, u"cannot read the terminal settings"_s};
        struct sigaction action = {};
        action.sa_handler = restoreEchoAndRaise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kRestoreSignals); ++i)
            sigaction(kRestoreSignals[i], &action, &m_previous[i]);
        struct termios quiet = s_savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        s_echoOff = 1;
        if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) {
            restore();
            throw Failed{Failure, u"cannot turn off the terminal echo"_s};
        }
    }
    ~EchoOff() { restore(); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    void restore()
    {
        if (s_echoOff)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &s_savedTerminal);
        s_echoOff = 0;
        for (std::size_t i = 0; i < std::size(kRestoreSignals); ++i)
            sigaction(kRestoreSignals[i], &m_previous[i], nullptr);
    }

    struct sigaction m_previous[std::size(kRestoreSignals)] = {};
};

// Reads up to a newline (not kept) or, with untilEnd, to the end of input.
// False at the end of input before anything was read (line mode only).
bool readInput(QByteArray& bytes, bool untilEnd)
{
    char c = 0;
    bool sawAnything = false;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SecurityService::wipe(bytes);
            throw Failed{Failure, u"cannot read the passphrase from standard input"_s};
        }
        if (n == 0)
            return sawAnything || untilEnd;
        sawAnything = true;
        if (c == '\n' && !untilEnd)
            return true;
        if (bytes.size() >= kMaxPassphraseBytes) {
            SecurityService::wipe(bytes);
            throw Failed{UsageError, u"the passphrase is longer than %1 bytes"_s.arg(kMaxPassphraseBytes)};
        }
        bytes.append(c);
    }
}

QString decode(QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    SecurityService::wipe(bytes);
    if (decoder.hasError()) {
        SecurityService::wipe(text);
        throw Failed{Failure, SecurityError::invalidPassphrase().description()};
    }
    return text;
}

QString prompt(const char* text)
{
    QByteArray bytes;
    bool gotLine = false;
    {
        // Echo goes off before the prompt shows, so nothing typed after it is echoed.
        EchoOff echoOff;
        std::fputs(text, stderr);
        std::fflush(stderr);
        gotLine = readInput(bytes, false);
    }
    if (!gotLine)
        throw Failed{UsageError, u"no passphrase given"_s};
    return decode(bytes);
}

} // namespace

QString readPassphrase(PassphraseSource source, bool confirm)
{
    if (source == PassphraseSource::standardInput) {
        QByteArray bytes;
        (void)readInput(bytes, true);
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        return decode(bytes);
    }
    if (!isatty(STDIN_FILENO))
        throw Failed{UsageError, u"standard input is not a terminal; pass the passphrase on standard input with "
                                 "--passphrase-stdin"_s};
    QString passphrase = prompt("Passphrase: ");
    if (confirm) {
        QString again = prompt("Confirm: ");
        const bool same = again == passphrase;
        SecurityService::wipe(again);
        if (!same) {
            SecurityService::wipe(passphrase);
            throw Failed{UsageError, u"the passphrases do not match"_s};
        }
    }
    return passphrase;
}

qsizetype passphraseLength(const QString& passphrase)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, passphrase);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace Cli
