#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// Outcomes of keychain calls. Callers rely on the classic keychain status
// numbers, so every backend reports its results in them; what a backend cannot
// express that way gets a negative code of our own.
namespace KeychainStatus {
inline constexpr int success = 0;
inline constexpr int itemNotFound = -25300;
inline constexpr int notAvailable = -25291;
inline constexpr int authFailed = -25293;
inline constexpr int duplicateItem = -25299;
inline constexpr int missingEntitlement = -34018;
// Our own codes.
inline constexpr int backendError = -26000; // the backend failed for a reason it did not classify
inline constexpr int deleteFailed = -26001; // the backend could not remove an existing item
inline constexpr int timedOut = -26002;     // the backend gave no answer in time
inline constexpr int wrongThread = -26003;  // called off the main thread (or without an application)
} // namespace KeychainStatus

// How an added item is protected.
enum class KeychainProtection {
    // Readable whenever the user's keychain is unlocked.
    afterFirstUnlock,
    // Released only after a user-presence check (biometrics or the device passcode).
    userPresence,
};

struct KeychainLoadResult {
    int status = KeychainStatus::backendError;
    QByteArray data;
};

// A store of binary secrets identified by service + account. Calls are
// synchronous; outcomes are KeychainStatus codes.
class KeychainBackend {
public:
    virtual ~KeychainBackend();

    // Adds an item. A backend that cannot protect an item the way asked
    // answers notAvailable and writes nothing.
    virtual int add(const QString& service, const QString& account, const QByteArray& data,
                    KeychainProtection protection) = 0;
    // itemNotFound when there is no such item.
    virtual KeychainLoadResult load(const QString& service, const QString& account) = 0;
    // itemNotFound (or success) when there was no such item.
    virtual int remove(const QString& service, const QString& account) = 0;
    // Whether add() can honour KeychainProtection::userPresence.
    virtual bool supportsUserPresence() const = 0;
};

// The desktop's keychain through QtKeychain: the Secret Service (GNOME Keyring,
// KeePassXC, ...) or KWallet on Linux. Never falls back to plain text.
//
// QtKeychain is asynchronous; each call here starts one job and waits for it
// in a local event loop (user input excluded), so it must be called on the
// main thread of a running Q(Core)Application. Timers and socket notifiers of
// the caller's thread do run during the wait.
class QtKeychainBackend final : public KeychainBackend {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{120'000};

    QtKeychainBackend() = default;

    int add(const QString& service, const QString& account, const QByteArray& data,
            KeychainProtection protection) override;
    KeychainLoadResult load(const QString& service, const QString& account) override;
    int remove(const QString& service, const QString& account) override;
    // The Secret Service and KWallet have no per-item user-presence check.
    bool supportsUserPresence() const override { return false; }

    // How long one call waits for the keychain (an unlock prompt counts).
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // Whether a session bus is reachable and offers a secret store (running or
    // activatable). Without one every call answers notAvailable at once.
    static bool isServiceReachable();

private:
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
};
