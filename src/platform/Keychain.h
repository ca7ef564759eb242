#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>

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

// A store of binary secrets identified by service + account. Every call
// returns at once; its outcome, a KeychainStatus code, finishes the returned
// future on the caller's thread (at once when the call fails before it
// starts). Backends give no time limit: KeychainService sets one.
class KeychainBackend {
public:
    virtual ~KeychainBackend();

    // Adds an item. A backend that cannot protect an item the way asked
    // answers notAvailable and writes nothing.
    virtual QFuture<int> add(const QString& service, const QString& account, const QByteArray& data,
                             KeychainProtection protection) = 0;
    // itemNotFound when there is no such item.
    virtual QFuture<KeychainLoadResult> load(const QString& service, const QString& account) = 0;
    // itemNotFound (or success) when there was no such item.
    virtual QFuture<int> remove(const QString& service, const QString& account) = 0;
    // Whether add() can honour KeychainProtection::userPresence.
    virtual bool supportsUserPresence() const = 0;
};

// The desktop's keychain through QtKeychain: the Secret Service (GNOME Keyring,
// KeePassXC, ...) or KWallet on Linux. Never falls back to plain text.
//
// Each call starts one QtKeychain job and returns; the job's finished signal
// finishes the future. Nothing waits here, so call it on the main thread of
// a running Q(Core)Application and let its event loop deliver the answer.
class QtKeychainBackend final : public KeychainBackend {
public:
    QtKeychainBackend() = default;

    QFuture<int> add(const QString& service, const QString& account, const QByteArray& data,
                     KeychainProtection protection) override;
    QFuture<KeychainLoadResult> load(const QString& service, const QString& account) override;
    QFuture<int> remove(const QString& service, const QString& account) override;
    // The Secret Service and KWallet have no per-item user-presence check.
    bool supportsUserPresence() const override { return false; }

    // Whether a session bus is reachable and offers a secret store (running or
    // activatable). Without one every call answers notAvailable at once.
    static bool isServiceReachable();
};
