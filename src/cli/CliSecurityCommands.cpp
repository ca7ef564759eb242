// Commands that switch passphrase protection on and off.
//
// Passphrases are read from the terminal without echo, or from standard input
// with --passphrase-stdin; never from the command line, where other users and
// the shell history would see them.

#include "Cli.h"
#include "CliPassphrase.h"

#include "platform/Settings.h"
#include "services/security/SecurityService.h"

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

constexpr int kMinimumPassphraseLength = 8;

enum class Confirm { no, yes };

QString readPassphrase(bool fromStdin, Confirm confirm)
{
    return Cli::readPassphrase(fromStdin ? PassphraseSource::standardInput : PassphraseSource::terminal,
                               confirm == Confirm::yes);
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
    const auto salt = waitForResult(security.keychain().containsItem(KeychainService::saltAccount));
    const auto verification = waitForResult(security.keychain().containsItem(KeychainService::verifyAccount));
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
    if (passphraseLength(passphrase) < kMinimumPassphraseLength) {
        SecurityService::wipe(passphrase);
        throw Failed{UsageError, u"the passphrase needs at least %1 characters"_s.arg(kMinimumPassphraseLength)};
    }
    const auto enabling = security.enableEncryption(passphrase);
    SecurityService::wipe(passphrase);
    const SecurityStatus enabled = waitForResult(enabling);
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
    const auto unlocking = security.unlock(passphrase);
    SecurityService::wipe(passphrase);
    const SecurityStatus unlocked = waitForResult(unlocking);
    security.clearKey();
    if (!unlocked)
        fail(unlocked.error());
    s.out() << "Passphrase accepted.\n";
    return Success;
}

int securityDisable(Session& s, const QStringList& argv)
{
    (void)parsePassphraseFlag(argv, false, u"disable"_s);
    if (const SecurityStatus disabled = waitForResult(SecurityService::shared().disableEncryption()); !disabled)
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
