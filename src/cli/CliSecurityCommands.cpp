// Commands that switch passphrase protection on and off.
//
// Passphrases are read from the terminal without echo, or from standard input
// with --passphrase-stdin; never from the command line, where other users and
// the shell history would see them.

#include "Cli.h"

#include "platform/Settings.h"
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
constexpr int kMinimumPassphraseLength = 8;

// The terminal state to restore, also from a signal handler.
struct termios s_savedTerminal;
volatile sig_atomic_t s_echoOff = 0;
constexpr int kRestoreSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void restoreTerminalAndRaise(int signo)
{
    if (s_echoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &s_savedTerminal);
    std::signal(signo, SIG_DFL);
    std::raise(signo);
}

// Turns echo off for its lifetime; Ctrl-C and friends restore it too.
class NoEcho {
public:
    NoEcho()
    {
        if (tcgetattr(STDIN_FILENO, &s_savedTerminal) != 0)
            throw Failed{Failure, u"cannot read the terminal settings"_s};
        struct sigaction action = {};
        action.sa_handler = restoreTerminalAndRaise;
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
    ~NoEcho() { restore(); }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

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

// Reads up to a newline (not kept) or, when untilEof, to the end of input.
// Returns false at end of input before anything was read (terminal only).
bool readFromStdin(QByteArray& bytes, bool untilEof)
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
            return sawAnything || untilEof;
        sawAnything = true;
        if (c == '\n' && !untilEof)
            return true;
        if (bytes.size() >= kMaxPassphraseBytes) {
            SecurityService::wipe(bytes);
            throw Failed{UsageError, u"the passphrase is longer than %1 bytes"_s.arg(kMaxPassphraseBytes)};
        }
        bytes.append(c);
    }
}

QString decodePassphrase(QByteArray& bytes)
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

QString promptPassphrase(const char* prompt)
{
    QByteArray bytes;
    bool gotLine = false;
    {
        // Echo goes off before the prompt shows, so nothing typed after it is echoed.
        NoEcho noEcho;
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        gotLine = readFromStdin(bytes, false);
    }
    if (!gotLine)
        throw Failed{UsageError, u"no passphrase given"_s};
    return decodePassphrase(bytes);
}

enum class Confirm { no, yes };

// The passphrase, from the terminal or (with --passphrase-stdin) from all of
// standard input less one trailing newline.
QString readPassphrase(bool fromStdin, Confirm confirm)
{
    if (fromStdin) {
        QByteArray bytes;
        (void)readFromStdin(bytes, true);
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        return decodePassphrase(bytes);
    }
    if (!isatty(STDIN_FILENO))
        throw Failed{UsageError, u"standard input is not a terminal; pass the passphrase on standard input with "
                                 "--passphrase-stdin"_s};
    QString passphrase = promptPassphrase("Passphrase: ");
    if (confirm == Confirm::yes) {
        QString again = promptPassphrase("Confirm: ");
        const bool same = again == passphrase;
        SecurityService::wipe(again);
        if (!same) {
            SecurityService::wipe(passphrase);
            throw Failed{UsageError, u"the passphrases do not match"_s};
        }
    }
    return passphrase;
}

// Security commands take one flag at most. Anything else is refused without
// repeating it, since it may well be a passphrase typed on the command line.
bool parsePassphraseFlag(const QStringList& argv, bool acceptsPassphrase, const QString& command)
{
    bool fromStdin = false;
    for (const QString& arg : argv) {
        if (acceptsPassphrase && arg == u"--passphrase-stdin") {
            fromStdin = true;
            continue;
        }
        throw Failed{UsageError, acceptsPassphrase
                                     ? u"security %1 takes only --passphrase-stdin; passphrases are never read from "
                                       "the command line"_s.arg(command)
                                     : u"security %1 takes no arguments"_s.arg(command)};
    }
    return fromStdin;
}

qsizetype characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

[[noreturn]] void fail(const SecurityError& error)
{
    throw Failed{Failure, error.description()};
}

const char* presence(const Result<bool, SecurityError>& found)
{
    if (!found)
        return "unknown";
    return found.value() ? "present" : "missing";
}

int securityStatus(Session& s, const QStringList& argv)
{
    (void)parsePassphraseFlag(argv, false, u"status"_s);
    SecurityService& security = SecurityService::shared();
    const auto salt = security.keychain().containsItem(KeychainService::saltAccount);
    const auto verification = security.keychain().containsItem(KeychainService::verifyAccount);
    s.out() << "encryption:        " << (security.isEncryptionEnabled() ? "on" : "off") << '\n'
            << "salt item:         " << presence(salt) << '\n'
            << "verification item: " << presence(verification) << '\n'
            << "biometric unlock:  " << (Settings::boolValue(SettingsKey::biometricUnlockEnabled, false) ? "on" : "off")
            << (security.isBiometricAvailable() ? "" : " (not available on this system)") << '\n';
    if (!salt)
        fail(salt.error());
    if (!verification)
        fail(verification.error());
    return Success;
}

int securityEnable(Session& s, const QStringList& argv)
{
    const bool fromStdin = parsePassphraseFlag(argv, true, u"enable"_s);
    SecurityService& security = SecurityService::shared();
    if (security.isEncryptionEnabled())
        throw Failed{Failure, u"encryption is already on; switch it off with “security disable” first"_s};
    QString passphrase = readPassphrase(fromStdin, Confirm::yes);
    if (characterCount(passphrase) < kMinimumPassphraseLength) {
        SecurityService::wipe(passphrase);
        throw Failed{UsageError, u"the passphrase needs at least %1 characters"_s.arg(kMinimumPassphraseLength)};
    }
    const SecurityStatus enabled = security.enableEncryption(passphrase);
    SecurityService::wipe(passphrase);
    security.clearKey();
    if (!enabled)
        fail(enabled.error());
    s.out() << "Encryption is on.\n";
    return Success;
}

int securityUnlock(Session& s, const QStringList& argv)
{
    const bool fromStdin = parsePassphraseFlag(argv, true, u"unlock"_s);
    SecurityService& security = SecurityService::shared();
    QString passphrase = readPassphrase(fromStdin, Confirm::no);
    const SecurityStatus unlocked = security.unlock(passphrase);
    SecurityService::wipe(passphrase);
    security.clearKey();
    if (!unlocked)
        fail(unlocked.error());
    s.out() << "Passphrase accepted.\n";
    return Success;
}

int securityDisable(Session& s, const QStringList& argv)
{
    (void)parsePassphraseFlag(argv, false, u"disable"_s);
    if (const SecurityStatus disabled = SecurityService::shared().disableEncryption(); !disabled)
        fail(disabled.error());
    s.out() << "Encryption is off.\n";
    return Success;
}

} // namespace

void registerSecurityCommands()
{
    registerCommand(u"security status"_s, u"security status"_s, securityStatus);
    registerCommand(u"security enable"_s, u"security enable [--passphrase-stdin]"_s, securityEnable);
    registerCommand(u"security unlock"_s, u"security unlock [--passphrase-stdin]"_s, securityUnlock);
    registerCommand(
        u"security disable"_s,
        u"security disable\n"
        "      Passphrases are read from the terminal without echo, or with --passphrase-stdin from all of\n"
        "      standard input less exactly one trailing newline; never from the command line."_s,
        securityDisable);
}

} // namespace Cli
