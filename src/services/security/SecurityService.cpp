#include "SecurityService.h"

#include "platform/Settings.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <QDebug>
#include <QPromise>
#include <QStringEncoder>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

SecurityService::RandomSource& randomSourceOverride()
{
    static SecurityService::RandomSource s_source;
    return s_source;
}

bool randomBytes(unsigned char* out, std::size_t size)
{
    if (const auto& source = randomSourceOverride())
        return source(out, size);
    return size <= INT_MAX && RAND_bytes(out, static_cast<int>(size)) == 1;
}

// OpenSSL wants non-null pointers even for empty inputs.
const unsigned char* bytesOf(QByteArrayView view)
{
    static const unsigned char s_empty = 0;
    return view.isEmpty() ? &s_empty : reinterpret_cast<const unsigned char*>(view.data());
}

// Runs one of OpenSSL's key derivation functions by name.
bool derive(const char* name, OSSL_PARAM* params, unsigned char* out, std::size_t length)
{
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, name, nullptr);
    if (!kdf)
        return false;
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    EVP_KDF_free(kdf);
    if (!ctx)
        return false;
    const bool ok = EVP_KDF_derive(ctx, out, length, params) == 1;
    EVP_KDF_CTX_free(ctx);
    return ok;
}

OSSL_PARAM octets(const char* key, QByteArrayView bytes)
{
    return OSSL_PARAM_construct_octet_string(key, const_cast<unsigned char*>(bytesOf(bytes)),
                                             static_cast<std::size_t>(bytes.size()));
}

bool hkdf(QByteArrayView ikm, QByteArrayView salt, QByteArrayView info, unsigned char* out, std::size_t length)
{
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        octets(OSSL_KDF_PARAM_KEY, ikm),
        octets(OSSL_KDF_PARAM_SALT, salt),
        octets(OSSL_KDF_PARAM_INFO, info),
        OSSL_PARAM_construct_end(),
    };
    return derive("HKDF", params, out, length);
}

bool scrypt(QByteArrayView password, QByteArrayView salt, const SecurityService::KeyDerivation& d, unsigned char* out,
            std::size_t length)
{
    uint64_t n = d.n;
    uint32_t r = uint32_t(d.r);
    uint32_t p = uint32_t(d.p);
    // OpenSSL refuses more than 32 MiB by default; the bounds are ours.
    uint64_t maxMemory = SecurityService::KeyDerivation::kMaxScryptMemory + 1024 * 1024;
    OSSL_PARAM params[] = {
        octets(OSSL_KDF_PARAM_PASSWORD, password),
        octets(OSSL_KDF_PARAM_SALT, salt),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxMemory),
        OSSL_PARAM_construct_end(),
    };
    return derive("SCRYPT", params, out, length);
}

struct CipherContext {
    CipherContext() : ctx(EVP_CIPHER_CTX_new()) {}
    ~CipherContext() { EVP_CIPHER_CTX_free(ctx); }
    CipherContext(const CipherContext&) = delete;
    CipherContext& operator=(const CipherContext&) = delete;
    EVP_CIPHER_CTX* ctx;
};

// EVP takes int lengths; large buffers go through in pieces.
constexpr qsizetype kMaxChunk = 1 << 30;

bool cipherUpdate(EVP_CIPHER_CTX* ctx, bool encrypting, const unsigned char* in, qsizetype size, unsigned char* out)
{
    qsizetype done = 0;
    while (done < size) {
        const int chunk = static_cast<int>(std::min(size - done, kMaxChunk));
        int written = 0;
        const int ok = encrypting ? EVP_EncryptUpdate(ctx, out + done, &written, in + done, chunk)
                                  : EVP_DecryptUpdate(ctx, out + done, &written, in + done, chunk);
        if (ok != 1 || written != chunk)
            return false;
        done += chunk;
    }
    return true;
}

using SealResult = Result<QByteArray, SecurityError>;

} // namespace

SecurityService& SecurityService::shared()
{
    static SecurityService s_shared;
    return s_shared;
}

SecurityService::SecurityService(std::unique_ptr<KeychainBackend> backend)
    : m_encryptionEnabled(Settings::boolValue(SettingsKey::encryptionEnabled, false)), m_keychain(std::move(backend)),
      m_lastFlow(QtFuture::makeReadyFuture())
{}

SecurityService::~SecurityService() = default;

void SecurityService::setRandomSource(RandomSource source)
{
    randomSourceOverride() = std::move(source);
}

void SecurityService::wipe(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        OPENSSL_cleanse(bytes.data(), static_cast<std::size_t>(bytes.size()));
    bytes.clear();
}

void SecurityService::wipe(QString& text)
{
    if (!text.isEmpty() && text.isDetached())
        OPENSSL_cleanse(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

std::optional<QByteArray> SecurityService::hkdfSha256(QByteArrayView inputKeyMaterial, QByteArrayView salt,
                                                      QByteArrayView info, qsizetype length)
{
    if (length <= 0)
        return std::nullopt;
    QByteArray out(length, '\0');
    if (!hkdf(inputKeyMaterial, salt, info, reinterpret_cast<unsigned char*>(out.data()),
              static_cast<std::size_t>(length)))
        return std::nullopt;
    return out;
}

Result<SymmetricKey, SecurityError> SecurityService::keyFromPassphrase(const QString& passphrase, QByteArrayView salt,
                                                                       const KeyDerivation& derivation)
{
    using R = Result<SymmetricKey, SecurityError>;
    if (!derivation.withinBounds())
        return R::failure(SecurityError::invalidPassphrase());
    QStringEncoder toUtf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    QByteArray utf8 = toUtf8(passphrase);
    if (toUtf8.hasError()) {
        wipe(utf8);
        return R::failure(SecurityError::invalidPassphrase());
    }
    SymmetricKey key;
    const bool ok = derivation.function == KeyDerivation::Function::scrypt
                        ? scrypt(utf8, salt, derivation, key.mutableData(), SymmetricKey::kSize)
                        : hkdf(utf8, salt, derivation.info, key.mutableData(), SymmetricKey::kSize);
    wipe(utf8);
    // The derivation only fails when OpenSSL itself cannot run it; the
    // passphrase cannot be used then.
    if (!ok)
        return R::failure(SecurityError::invalidPassphrase());
    return key;
}

Result<SymmetricKey, SecurityError> SecurityService::deriveKey(const QString& passphrase, QByteArrayView salt)
{
    return keyFromPassphrase(passphrase, salt, KeyDerivation::hkdf(kKeyInfo));
}

Result<QByteArray, SecurityError> SecurityService::encrypt(QByteArrayView data) const
{
    if (!m_encryptionKey)
        return SealResult::failure(SecurityError::keyNotAvailable());
    return encrypt(data, *m_encryptionKey);
}

Result<QByteArray, SecurityError> SecurityService::decrypt(QByteArrayView data) const
{
    if (!m_encryptionKey)
        return SealResult::failure(SecurityError::keyNotAvailable());
    return decrypt(data, *m_encryptionKey);
}

Result<QByteArray, SecurityError> SecurityService::encrypt(QByteArrayView data, const SymmetricKey& key)
{
    const auto failed = [] { return SealResult::failure(SecurityError::encryptionFailed()); };
    QByteArray sealed(data.size() + kSealOverhead, '\0');
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    if (!randomBytes(out, kNonceSize))
        return failed();

    CipherContext c;
    int finalLength = 0;
    if (!c.ctx || EVP_EncryptInit_ex(c.ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1
        || EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1
        || EVP_EncryptInit_ex(c.ctx, nullptr, nullptr, key.data(), out) != 1
        || !cipherUpdate(c.ctx, true, bytesOf(data), data.size(), out + kNonceSize)
        || EVP_EncryptFinal_ex(c.ctx, out + kNonceSize + data.size(), &finalLength) != 1 || finalLength != 0
        || EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, out + kNonceSize + data.size()) != 1)
        return failed();
    return sealed;
}

Result<QByteArray, SecurityError> SecurityService::decrypt(QByteArrayView data, const SymmetricKey& key)
{
    const auto failed = [] { return SealResult::failure(SecurityError::decryptionFailed()); };
    if (data.size() < kSealOverhead)
        return failed();
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    const qsizetype textSize = data.size() - kSealOverhead;
    // The tag is only read by OpenSSL, but the call takes a non-const pointer.
    unsigned char tag[kTagSize];
    std::memcpy(tag, in + kNonceSize + textSize, kTagSize);

    QByteArray plain(textSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    CipherContext c;
    int finalLength = 0;
    const bool ok = c.ctx && EVP_DecryptInit_ex(c.ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
                    && EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1
                    && EVP_DecryptInit_ex(c.ctx, nullptr, nullptr, key.data(), in) == 1
                    && cipherUpdate(c.ctx, false, in + kNonceSize, textSize, out)
                    && EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, tag) == 1
                    && EVP_DecryptFinal_ex(c.ctx, out + textSize, &finalLength) == 1 && finalLength == 0;
    if (!ok) {
        // Never hand out (or leave behind) unauthenticated plaintext.
        wipe(plain);
        return failed();
    }
    return plain;
}

// A passphrase kept while a flow waits for the keychain: a copy of its own,
// so the caller can wipe theirs, wiped here once the flow is done with it.
struct SecurityService::HeldPassphrase {
    explicit HeldPassphrase(const QString& passphrase) : text(passphrase.constData(), passphrase.size()) {}
    ~HeldPassphrase() { wipe(text); }
    HeldPassphrase(const HeldPassphrase&) = delete;
    HeldPassphrase& operator=(const HeldPassphrase&) = delete;
    QString text;
};

template <typename T>
QFuture<T> SecurityService::inTurn(std::function<QFuture<T>()> flow)
{
    QFuture<T> step = m_lastFlow.then(&m_context, std::move(flow)).unwrap();
    // A future takes one continuation and the caller's goes on the one
    // returned, so the next flow waits on a future of its own. It starts on
    // the next turn of the event loop, after the caller has seen this outcome.
    auto finished = std::make_shared<QPromise<void>>();
    finished->start();
    m_lastFlow = finished->future();
    const auto startNext = [this, finished] {
        QMetaObject::invokeMethod(
            &m_context, [finished] { finished->finish(); }, Qt::QueuedConnection);
    };
    if constexpr (std::is_void_v<T>) {
        return step.then(&m_context, startNext);
    } else {
        return step.then(&m_context, [startNext](T outcome) {
            startNext();
            return outcome;
        });
    }
}

QFuture<SecurityStatus> SecurityService::andThen(QFuture<SecurityStatus> step,
                                                 std::function<QFuture<SecurityStatus>()> next)
{
    return step
        .then(&m_context,
              [next = std::move(next)](SecurityStatus status) {
                  return status ? next() : QtFuture::makeReadyFuture(std::move(status));
              })
        .unwrap();
}

QFuture<Result<SecurityService::KeyItems, SecurityError>> SecurityService::loadKeyItems()
{
    using R = Result<KeyItems, SecurityError>;
    return m_keychain.loadItem(KeychainService::saltAccount)
        .then(&m_context,
              [this](Result<QByteArray, SecurityError> salt) -> QFuture<R> {
                  if (!salt)
                      return QtFuture::makeReadyFuture(R::failure(salt.error()));
                  return m_keychain.loadItem(KeychainService::verifyAccount)
                      .then(&m_context,
                            [salt = std::move(salt).value()](Result<QByteArray, SecurityError> verification) -> R {
                                if (!verification)
                                    return R::failure(verification.error());
                                return KeyItems{salt, std::move(verification).value()};
                            });
              })
        .unwrap();
}

QFuture<SecurityStatus> SecurityService::enableEncryption(const QString& passphrase)
{
    const auto failed = [](SecurityError error) { return QtFuture::makeReadyFuture(SecurityStatus::failure(error)); };
    QByteArray salt(kSaltSize, '\0');
    // A salt that is not random would weaken every key derived with it.
    if (!randomBytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltSize))
        return failed(SecurityError::encryptionFailed());
    auto key = deriveKey(passphrase, salt);
    if (!key)
        return failed(key.error());
    auto sealed = encrypt(kVerificationText, key.value());
    if (!sealed)
        return failed(sealed.error());

    return inTurn<SecurityStatus>([this, salt, sealed = std::move(sealed).value(), key = std::move(key).value()] {
        return andThen(m_keychain.saveItem(salt, KeychainService::saltAccount), [this, sealed, key] {
            return m_keychain.saveItem(sealed, KeychainService::verifyAccount)
                .then(&m_context, [this, key](SecurityStatus saved) {
                    if (saved) {
                        m_encryptionKey = key;
                        m_encryptionEnabled = true;
                        Settings::setValue(SettingsKey::encryptionEnabled, true);
                    }
                    return saved;
                });
        });
    });
}

QFuture<SecurityStatus> SecurityService::unlockWith(std::shared_ptr<HeldPassphrase> passphrase)
{
    return loadKeyItems().then(&m_context, [this, passphrase](Result<KeyItems, SecurityError> items) {
        if (!items)
            return SecurityStatus::failure(SecurityError::keyNotFound());
        auto key = deriveKey(passphrase->text, items->salt);
        wipe(passphrase->text);
        if (!key)
            return SecurityStatus::failure(key.error());
        auto plain = decrypt(items->verification, key.value());
        if (!plain || plain.value() != kVerificationText)
            return SecurityStatus::failure(SecurityError::invalidPassphrase());
        m_encryptionKey = std::move(key).value();
        return SecurityStatus();
    });
}

QFuture<SecurityStatus> SecurityService::unlock(const QString& passphrase)
{
    return inTurn<SecurityStatus>(
        [this, held = std::make_shared<HeldPassphrase>(passphrase)] { return unlockWith(held); });
}

QFuture<SecurityStatus> SecurityService::disableEncryption()
{
    return inTurn<SecurityStatus>([this] {
        QFuture<SecurityStatus> removed = andThen(m_keychain.deleteItem(KeychainService::saltAccount), [this] {
            return m_keychain.deleteItem(KeychainService::verifyAccount);
        });
        return andThen(removed, [this] {
            return m_keychain.deleteItem(KeychainService::biometricAccount).then(&m_context, [this](SecurityStatus) {
                clearKey();
                m_encryptionEnabled = false;
                Settings::setValue(SettingsKey::encryptionEnabled, false);
                Settings::setValue(SettingsKey::biometricUnlockEnabled, false);
                return SecurityStatus();
            });
        });
    });
}

void SecurityService::clearKey()
{
    m_encryptionKey.reset();
}

void SecurityService::judgeIntegrity(const std::optional<SecurityError>& failure)
{
    if (!failure)
        return;
    if (failure->kind() == SecurityError::Kind::keychainError) {
        const QString& message = failure->message();
        static const QStringList s_unavailable = {u"not available"_s, u"real device"_s, u"Simulator"_s, u"Gerçek"_s};
        for (const QString& marker : s_unavailable) {
            if (message.contains(marker))
                return;
        }
        // A keychain that could not be asked at all (no secret store on the
        // session bus, or no answer in time) says nothing about the items:
        // protection stays on until a launch that can actually look.
        static const QStringList s_unreachable = {u"Load failed: "_s + QString::number(KeychainStatus::notAvailable),
                                                  u"Load failed: "_s + QString::number(KeychainStatus::timedOut)};
        if (s_unreachable.contains(message))
            return;
    }
    qInfo().noquote() << u"Keychain integrity check failed: "_s + failure->debugText();
    m_encryptionEnabled = false;
    Settings::setValue(SettingsKey::encryptionEnabled, false);
}

QFuture<void> SecurityService::prepareAtLaunch()
{
    return inTurn<void>([this] {
        using Failure = std::optional<SecurityError>;
        QFuture<Failure> check = QtFuture::makeReadyFuture(Failure());
        if (m_encryptionEnabled) {
            check = loadKeyItems().then(&m_context, [](Result<KeyItems, SecurityError> items) {
                return items ? Failure() : Failure(items.error());
            });
        }
        return check.then(&m_context, [this](Failure failure) {
            judgeIntegrity(failure);
            clearKey();
            qInfo().noquote() << u"SecurityService initialized. Encryption: "_s
                                     + (m_encryptionEnabled ? u"true"_s : u"false"_s);
        });
    });
}

bool SecurityService::isBiometricAvailable() const
{
    return m_keychain.supportsUserPresence();
}

QString SecurityService::biometricName(int biometryType)
{
    switch (biometryType) {
    case 1: return u"Touch ID"_s;
    case 2: return u"Face ID"_s;
    case 4: return u"Optic ID"_s;
    default: return u"Biometric"_s;
    }
}

QString SecurityService::biometricTypeName()
{
    // Linux desktops offer no biometry type to ask about.
    constexpr int kNoBiometry = 0;
    return biometricName(kNoBiometry);
}

QFuture<SecurityStatus> SecurityService::enableBiometricUnlock(const QString& passphrase)
{
    return inTurn<SecurityStatus>([this, held = std::make_shared<HeldPassphrase>(passphrase)] {
        return andThen(unlockWith(held), [this] {
            if (!m_encryptionKey)
                return QtFuture::makeReadyFuture(SecurityStatus::failure(SecurityError::keyNotAvailable()));
            QByteArray bytes = m_encryptionKey->rawBytes();
            QFuture<SecurityStatus> saving = m_keychain.saveBiometricItem(bytes, KeychainService::biometricAccount);
            wipe(bytes);
            return saving.then(&m_context, [](SecurityStatus saved) {
                if (saved)
                    Settings::setValue(SettingsKey::biometricUnlockEnabled, true);
                return saved;
            });
        });
    });
}

QFuture<void> SecurityService::disableBiometricUnlock()
{
    return inTurn<void>([this] {
        return m_keychain.deleteItem(KeychainService::biometricAccount).then(&m_context, [](SecurityStatus) {
            Settings::setValue(SettingsKey::biometricUnlockEnabled, false);
        });
    });
}
