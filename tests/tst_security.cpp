// Passphrase protection end to end: enabling, unlocking, disabling, the launch
// check and biometric unlock, against a keychain double (for outcomes a real
// keychain cannot be made to produce) and against a real Secret Service.

#include "platform/Settings.h"
#include "services/security/SecurityService.h"
#include "support/FakeKeychain.h"
#include "support/TestKeyring.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Op = FakeKeychain::Op;
using TestSupport::await;

const QString kSalt = u"encryptionKey_salt"_s;
const QString kVerify = u"encryptionKey_verify"_s;
const QString kBiometric = u"biometricEncryptionKey"_s;
const QString kLaunchLine = u"SecurityService initialized. Encryption: "_s;

std::pair<QString, QString> id(const QString& account)
{
    return {u"com.vellumkeep.keychain"_s, account};
}

bool encryptionFlag()
{
    return Settings::boolValue(SettingsKey::encryptionEnabled, false);
}

bool biometricFlag()
{
    return Settings::boolValue(SettingsKey::biometricUnlockEnabled, false);
}

// A service over the keychain double, created after the settings are set up
// (it reads "encryptionEnabled" when it is created, like a launch).
struct Fake {
    std::shared_ptr<FakeKeychain::State> state = std::make_shared<FakeKeychain::State>();
    std::unique_ptr<SecurityService> service = std::make_unique<SecurityService>(std::make_unique<FakeKeychain>(state));

    void relaunch() { service = std::make_unique<SecurityService>(std::make_unique<FakeKeychain>(state)); }
    bool has(const QString& account) const { return state->items.contains(id(account)); }
    QByteArray stored(const QString& account) const { return state->items.value(id(account)).data; }
};

} // namespace

class TestSecurity : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void init()
    {
        Settings::remove(SettingsKey::encryptionEnabled);
        Settings::remove(SettingsKey::biometricUnlockEnabled);
    }

    void errorDescriptions_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("description");
        using K = SecurityError::Kind;
        const QString general = u"Keychain access is not available. On a real Mac, ensure the app is properly signed "
                                "(e.g. build with your Developer ID or run from Xcode). On Simulator, use a real "
                                "device for Touch ID and encryption."_s;
        QTest::newRow("encryptionFailed") << int(K::encryptionFailed) << QString() << u"Failed to encrypt data"_s;
        QTest::newRow("decryptionFailed") << int(K::decryptionFailed) << QString() << u"Failed to decrypt data"_s;
        QTest::newRow("keyNotFound") << int(K::keyNotFound) << QString() << u"Encryption key not found"_s;
        QTest::newRow("keyNotAvailable") << int(K::keyNotAvailable) << QString() << u"Encryption key not available"_s;
        QTest::newRow("invalidPassphrase") << int(K::invalidPassphrase) << QString() << u"Invalid passphrase"_s;
        QTest::newRow("invalidData") << int(K::invalidData) << QString() << u"Invalid data format"_s;
        QTest::newRow("biometricNotAvailable")
            << int(K::biometricNotAvailable) << QString() << u"Biometric authentication not available"_s;
        QTest::newRow("biometricFailed") << int(K::biometricFailed) << QString()
                                         << u"Biometric authentication failed"_s;
        QTest::newRow("keychain: plain message")
            << int(K::keychainError) << u"Load failed: -25300"_s << u"Keychain error: Load failed: -25300"_s;
        QTest::newRow("keychain: empty message") << int(K::keychainError) << QString() << u"Keychain error: "_s;
        for (const QString& marker : {u"Simulator"_s, u"real device"_s, u"not available"_s, u"Gerçek"_s, u"34018"_s})
            QTest::addRow("keychain: contains \"%s\"", qPrintable(marker))
                << int(K::keychainError) << u"x "_s + marker + u" y"_s << general;
        QTest::newRow("keychain: markers are case-sensitive")
            << int(K::keychainError) << u"Not Available on a Real Device"_s
            << u"Keychain error: Not Available on a Real Device"_s;
    }

    void errorDescriptions()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(QString, description);
        const auto make = [&]() -> SecurityError {
            switch (SecurityError::Kind(kind)) {
            case SecurityError::Kind::keychainError: return SecurityError::keychainError(message);
            case SecurityError::Kind::encryptionFailed: return SecurityError::encryptionFailed();
            case SecurityError::Kind::decryptionFailed: return SecurityError::decryptionFailed();
            case SecurityError::Kind::keyNotFound: return SecurityError::keyNotFound();
            case SecurityError::Kind::keyNotAvailable: return SecurityError::keyNotAvailable();
            case SecurityError::Kind::invalidPassphrase: return SecurityError::invalidPassphrase();
            case SecurityError::Kind::invalidData: return SecurityError::invalidData();
            case SecurityError::Kind::biometricNotAvailable: return SecurityError::biometricNotAvailable();
            case SecurityError::Kind::biometricFailed: return SecurityError::biometricFailed();
            }
            return SecurityError::invalidData();
        };
        QCOMPARE(make().description(), description);
    }

    void enableStoresSaltAndVerificationValue()
    {
        Fake fake;
        QVERIFY(!fake.service->isEncryptionEnabled());
        QVERIFY(await(fake.service->enableEncryption(u"correct horse"_s)));
        QVERIFY(fake.service->isEncryptionEnabled());
        QVERIFY(encryptionFlag());
        QVERIFY(fake.service->encryptionKey());

        const QByteArray salt = fake.stored(kSalt);
        const QByteArray sealed = fake.stored(kVerify);
        QCOMPARE(salt.size(), 32);
        QCOMPARE(sealed.size(), 23 + 28);
        // The verification value is the fixed text sealed under HKDF(passphrase, salt).
        const SymmetricKey key = SecurityService::deriveKey(u"correct horse"_s, salt).value();
        QVERIFY(key == *fake.service->encryptionKey());
        QCOMPARE(SecurityService::decrypt(sealed, key).value(), QByteArray("Vellumkeep_Confirmation"));

        // Enabling again gives a new salt, key and verification value.
        QVERIFY(await(fake.service->enableEncryption(u"correct horse"_s)));
        QVERIFY(fake.stored(kSalt) != salt);
        QVERIFY(fake.stored(kVerify) != sealed);
        QVERIFY(!(*fake.service->encryptionKey() == key));
    }

    void unlockComparesPassphrasesByteExactly_data()
    {
        QTest::addColumn<QString>("attempt");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the passphrase") << u" Ünïcødé пароль 🔑"_s << true;
        QTest::newRow("trailing space added") << u" Ünïcødé пароль 🔑 "_s << false;
        QTest::newRow("leading space removed") << u"Ünïcødé пароль 🔑"_s << false;
        QTest::newRow("decomposed Ü") << u" U\u0308nïcødé пароль 🔑"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("different case") << u" üNÏCØDÉ ПАРОЛЬ 🔑"_s << false;
    }

    void unlockComparesPassphrasesByteExactly()
    {
        QFETCH(QString, attempt);
        QFETCH(bool, accepted);
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(u" Ünïcødé пароль 🔑"_s)));
        fake.relaunch();
        QVERIFY(!fake.service->encryptionKey());
        const SecurityStatus unlocked = await(fake.service->unlock(attempt));
        QCOMPARE(bool(unlocked), accepted);
        QCOMPARE(bool(fake.service->encryptionKey()), accepted);
        if (!accepted)
            QCOMPARE(unlocked.error(), SecurityError::invalidPassphrase());
    }

    void emptyPassphraseWorksLikeAnyOther()
    {
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(QString())));
        QVERIFY(await(fake.service->unlock(QString())));
        QCOMPARE(await(fake.service->unlock(u" "_s)).error(), SecurityError::invalidPassphrase());
    }

    void unlockNeedsBothItems_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("loadStatus");
        QTest::newRow("never enabled") << QString() << 0;
        QTest::newRow("salt missing") << kSalt << 0;
        QTest::newRow("verification missing") << kVerify << 0;
        QTest::newRow("keychain unreachable") << QString() << -25291;
        QTest::newRow("access denied") << QString() << -25293;
    }

    void unlockNeedsBothItems()
    {
        QFETCH(QString, missing);
        QFETCH(int, loadStatus);
        Fake fake;
        if (!missing.isEmpty() || loadStatus != 0) {
            QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
            fake.state->items.remove(id(missing));
        } else {
            fake.state->items.clear();
        }
        if (loadStatus != 0)
            fake.state->forced.insert({Op::load, QString()}, loadStatus);
        fake.service->clearKey();
        const SecurityStatus unlocked = await(fake.service->unlock(u"passphrase"_s));
        QVERIFY(!unlocked);
        QCOMPARE(unlocked.error(), SecurityError::keyNotFound());
        QVERIFY(!fake.service->encryptionKey());
    }

    // A sealed value that opens to anything but the verification text is a wrong passphrase.
    void unlockRejectsAForeignVerificationValue()
    {
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        const SymmetricKey key = SecurityService::deriveKey(u"passphrase"_s, fake.stored(kSalt)).value();
        fake.state->items[id(kVerify)].data = SecurityService::encrypt("Vellumkeep_Confirmation ", key).value();
        QCOMPARE(await(fake.service->unlock(u"passphrase"_s)).error(), SecurityError::invalidPassphrase());
        fake.state->items[id(kVerify)].data = "short";
        QCOMPARE(await(fake.service->unlock(u"passphrase"_s)).error(), SecurityError::invalidPassphrase());
    }

    // A failure ends enabling at that step; what was written stays.
    void enableFailuresStopAtTheirStep_data()
    {
        QTest::addColumn<QString>("failingAccount");
        QTest::addColumn<bool>("saltWritten");
        QTest::newRow("salt cannot be saved") << kSalt << false;
        QTest::newRow("verification value cannot be saved") << kVerify << true;
    }

    void enableFailuresStopAtTheirStep()
    {
        QFETCH(QString, failingAccount);
        QFETCH(bool, saltWritten);
        Fake fake;
        fake.state->forced.insert({Op::add, failingAccount}, -25293);
        const SecurityStatus enabled = await(fake.service->enableEncryption(u"passphrase"_s));
        QVERIFY(!enabled);
        QCOMPARE(enabled.error().description(), u"Keychain error: Authentication failed. Check device passcode."_s);
        QCOMPARE(fake.has(kSalt), saltWritten);
        QVERIFY(!fake.has(kVerify));
        QVERIFY(!fake.service->isEncryptionEnabled());
        QVERIFY(!encryptionFlag());
        QVERIFY(!fake.service->encryptionKey());
    }

    // Without random bytes there is no salt worth having: nothing is written.
    void enableWithoutRandomBytesWritesNothing()
    {
        Fake fake;
        SecurityService::setRandomSource([](unsigned char*, std::size_t) { return false; });
        const SecurityStatus enabled = await(fake.service->enableEncryption(u"passphrase"_s));
        SecurityService::setRandomSource({});
        QVERIFY(!enabled);
        QCOMPARE(enabled.error(), SecurityError::encryptionFailed());
        QVERIFY(fake.state->items.isEmpty());
        QVERIFY(!encryptionFlag());
    }

    // A flow asked for while another waits for the keychain starts only once
    // that one has finished, so it never sees items half removed or written.
    void flowsRunOneAtATime()
    {
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        fake.service->clearKey();
        fake.state->calls.clear();
        fake.state->answers = FakeKeychain::Answers::never;

        const QFuture<SecurityStatus> disabled = fake.service->disableEncryption();
        const QFuture<SecurityStatus> unlocked = fake.service->unlock(u"passphrase"_s);
        QCOMPARE(fake.state->calls, (QList<std::pair<Op, QString>>{{Op::remove, kSalt}}));

        fake.state->answers = FakeKeychain::Answers::later;
        for (const auto& answer : std::exchange(fake.state->heldAnswers, {}))
            answer();
        QVERIFY(await(disabled));
        QCOMPARE(await(unlocked).error(), SecurityError::keyNotFound());
        QCOMPARE(fake.state->calls,
                 (QList<std::pair<Op, QString>>{
                     {Op::remove, kSalt}, {Op::remove, kVerify}, {Op::remove, kBiometric}, {Op::load, kSalt}}));
        QVERIFY(!fake.service->encryptionKey());
    }

    void disableRemovesEverything()
    {
        Fake fake;
        fake.state->userPresence = true;
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        QVERIFY(await(fake.service->enableBiometricUnlock(u"passphrase"_s)));
        QVERIFY(biometricFlag());
        QVERIFY(await(fake.service->disableEncryption()));
        QVERIFY(fake.state->items.isEmpty());
        QVERIFY(!fake.service->isEncryptionEnabled());
        QVERIFY(!fake.service->encryptionKey());
        QVERIFY(!encryptionFlag());
        QVERIFY(!biometricFlag());
        QCOMPARE(await(fake.service->unlock(u"passphrase"_s)).error(), SecurityError::keyNotFound());
        // Nothing left to remove: still fine.
        QVERIFY(await(fake.service->disableEncryption()));
    }

    void disableFailures_data()
    {
        QTest::addColumn<QString>("failingAccount");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<bool>("saltLeft");
        QTest::newRow("salt cannot be removed") << kSalt << false << true;
        QTest::newRow("verification value cannot be removed") << kVerify << false << false;
        QTest::newRow("biometric item cannot be removed") << kBiometric << true << false;
    }

    void disableFailures()
    {
        QFETCH(QString, failingAccount);
        QFETCH(bool, succeeds);
        QFETCH(bool, saltLeft);
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        Settings::setValue(SettingsKey::biometricUnlockEnabled, true);
        fake.state->forced.insert({Op::remove, failingAccount}, -25293);
        const SecurityStatus disabled = await(fake.service->disableEncryption());
        QCOMPARE(bool(disabled), succeeds);
        QCOMPARE(fake.has(kSalt), saltLeft);
        QCOMPARE(fake.service->isEncryptionEnabled(), !succeeds);
        QCOMPARE(encryptionFlag(), !succeeds);
        QCOMPARE(biometricFlag(), !succeeds);
        QCOMPARE(bool(fake.service->encryptionKey()), !succeeds);
        if (!succeeds)
            QCOMPARE(disabled.error().description(), u"Keychain error: Delete failed: -25293"_s);
    }

    void launchCheck_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("loadStatus");
        QTest::addColumn<bool>("enabledAfter");
        QTest::addColumn<QString>("failureLine");
        QTest::newRow("protection off") << false << QString() << 0 << false << QString();
        QTest::newRow("both items present") << true << QString() << 0 << true << QString();
        QTest::newRow("salt missing") << true << kSalt << 0 << false
                                      << u"Keychain integrity check failed: keychainError(\"Load failed: -25300\")"_s;
        QTest::newRow("verification value missing")
            << true << kVerify << 0 << false
            << u"Keychain integrity check failed: keychainError(\"Load failed: -25300\")"_s;
        QTest::newRow("items unreadable")
            << true << QString() << -25293 << false
            << u"Keychain integrity check failed: keychainError(\"Load failed: -25293\")"_s;
        // Not being able to ask the keychain says nothing about the items.
        QTest::newRow("no keychain reachable") << true << QString() << -25291 << true << QString();
        QTest::newRow("keychain gave no answer in time") << true << QString() << -26002 << true << QString();
    }

    void launchCheck()
    {
        QFETCH(bool, enabled);
        QFETCH(QString, missing);
        QFETCH(int, loadStatus);
        QFETCH(bool, enabledAfter);
        QFETCH(QString, failureLine);
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        fake.state->items.remove(id(missing));
        if (loadStatus != 0)
            fake.state->forced.insert({Op::load, QString()}, loadStatus);
        Settings::setValue(SettingsKey::encryptionEnabled, enabled);
        Settings::setValue(SettingsKey::biometricUnlockEnabled, true);
        fake.relaunch();
        fake.state->calls.clear();

        if (!failureLine.isEmpty())
            QTest::ignoreMessage(QtInfoMsg, qPrintable(failureLine));
        QTest::ignoreMessage(QtInfoMsg, qPrintable(kLaunchLine + (enabledAfter ? u"true"_s : u"false"_s)));
        await(fake.service->prepareAtLaunch());

        QCOMPARE(fake.service->isEncryptionEnabled(), enabledAfter);
        QCOMPARE(encryptionFlag(), enabledAfter);
        QVERIFY(!fake.service->encryptionKey());
        QVERIFY(biometricFlag()); // never touched by the check
        if (!enabled)
            QVERIFY(fake.state->calls.isEmpty());
        // The check never removes anything.
        QCOMPARE(fake.has(kSalt), missing != kSalt);
        QCOMPARE(fake.has(kVerify), missing != kVerify);
    }

    void launchForgetsTheKey()
    {
        Fake fake;
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        QVERIFY(fake.service->encryptionKey());
        QTest::ignoreMessage(QtInfoMsg, qPrintable(kLaunchLine + u"true"_s));
        await(fake.service->prepareAtLaunch());
        QVERIFY(!fake.service->encryptionKey());
        QCOMPARE(fake.service->encrypt("x").error(), SecurityError::keyNotAvailable());
    }

    // Where the keychain can guard an item by user presence.
    void biometricUnlockWithUserPresence()
    {
        Fake fake;
        fake.state->userPresence = true;
        QVERIFY(fake.service->isBiometricAvailable());
        QVERIFY(await(fake.service->enableEncryption(u"passphrase"_s)));
        fake.service->clearKey();

        const SecurityStatus wrong = await(fake.service->enableBiometricUnlock(u"passphrase "_s));
        QCOMPARE(wrong.error(), SecurityError::invalidPassphrase());
        QVERIFY(!fake.has(kBiometric));
        QVERIFY(!biometricFlag());

        QVERIFY(await(fake.service->enableBiometricUnlock(u"passphrase"_s)));
        QVERIFY(biometricFlag());
        QCOMPARE(fake.stored(kBiometric), fake.service->encryptionKey()->rawBytes());
        QCOMPARE(fake.state->items.value(id(kBiometric)).protection, KeychainProtection::userPresence);

        // Enabling again replaces the item (after a new enabling, with the new key).
        QVERIFY(await(fake.service->enableEncryption(u"other passphrase"_s)));
        QVERIFY(await(fake.service->enableBiometricUnlock(u"other passphrase"_s)));
        QCOMPARE(fake.stored(kBiometric), fake.service->encryptionKey()->rawBytes());

        await(fake.service->disableBiometricUnlock());
        QVERIFY(!fake.has(kBiometric));
        QVERIFY(!biometricFlag());
        await(fake.service->disableBiometricUnlock()); // nothing there: still writes false
        QVERIFY(!biometricFlag());
    }

    void biometricUnlockBeforeProtection()
    {
        Fake fake;
        fake.state->userPresence = true;
        QCOMPARE(await(fake.service->enableBiometricUnlock(u"passphrase"_s)).error(), SecurityError::keyNotFound());
        QVERIFY(fake.state->items.isEmpty());
        QVERIFY(!biometricFlag());
    }

    void biometricUnlockOnLinux()
    {
        SecurityService service; // the desktop keychain; nothing is called here
        QVERIFY(!service.isBiometricAvailable());
        QCOMPARE(SecurityService::biometricTypeName(), u"Biometric"_s);
    }

    void biometricNames_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("none") << 0 << u"Biometric"_s;
        QTest::newRow("touch") << 1 << u"Touch ID"_s;
        QTest::newRow("face") << 2 << u"Face ID"_s;
        QTest::newRow("3 is no type") << 3 << u"Biometric"_s;
        QTest::newRow("optic") << 4 << u"Optic ID"_s;
    }

    void biometricNames()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QCOMPARE(SecurityService::biometricName(type), name);
    }

    // ---- Against the real Secret Service ----

    void realKeyringEndToEnd()
    {
        REQUIRE_TEST_KEYRING();
        {
            SecurityService cleanup;
            QVERIFY(await(cleanup.disableEncryption()));
        }
        auto service = std::make_unique<SecurityService>();
        QVERIFY(!service->isEncryptionEnabled());
        QCOMPARE(await(service->unlock(u"correct horse battery staple"_s)).error(), SecurityError::keyNotFound());

        QVERIFY(await(service->enableEncryption(u"correct horse battery staple"_s)));
        QVERIFY(encryptionFlag());
        QCOMPARE(await(service->keychain().loadItem(kSalt)).value().size(), 32);
        QCOMPARE(await(service->keychain().loadItem(kVerify)).value().size(), 51);

        // The next launch: protection stays on, the key is forgotten until unlocked.
        service = std::make_unique<SecurityService>();
        QVERIFY(service->isEncryptionEnabled());
        QTest::ignoreMessage(QtInfoMsg, qPrintable(kLaunchLine + u"true"_s));
        await(service->prepareAtLaunch());
        QVERIFY(service->isEncryptionEnabled());
        QVERIFY(!service->encryptionKey());
        QCOMPARE(await(service->unlock(u"correct horse battery staple "_s)).error(),
                 SecurityError::invalidPassphrase());
        QVERIFY(!service->encryptionKey());
        QVERIFY(await(service->unlock(u"correct horse battery staple"_s)));
        QVERIFY(service->encryptionKey());
        const QByteArray sealed = service->encrypt("library backup").value();
        QCOMPARE(service->decrypt(sealed).value(), QByteArray("library backup"));

        // No user-presence check on this desktop: the key is not stored, the flag stays off.
        const SecurityStatus biometric = await(service->enableBiometricUnlock(u"correct horse battery staple"_s));
        QVERIFY(!biometric);
        QCOMPARE(biometric.error(), SecurityError::keychainError(KeychainService::statusMessage(-25291)));
        QVERIFY(biometric.error().description().startsWith(u"Keychain access is not available."_s));
        QVERIFY(!biometricFlag());
        QCOMPARE(await(service->keychain().containsItem(kBiometric)).value(), false);

        QVERIFY(await(service->disableEncryption()));
        QVERIFY(!encryptionFlag());
        QCOMPARE(await(service->keychain().containsItem(kSalt)).value(), false);
        QCOMPARE(await(service->keychain().containsItem(kVerify)).value(), false);
        QCOMPARE(await(service->unlock(u"correct horse battery staple"_s)).error(), SecurityError::keyNotFound());
        QTest::ignoreMessage(QtInfoMsg, qPrintable(kLaunchLine + u"false"_s));
        await(SecurityService().prepareAtLaunch());
    }

    void realKeyringLaunchWithTheSaltRemoved()
    {
        REQUIRE_TEST_KEYRING();
        SecurityService service;
        QVERIFY(await(service.enableEncryption(u"passphrase"_s)));
        QVERIFY(await(service.keychain().deleteItem(kSalt)));

        SecurityService relaunched;
        QVERIFY(relaunched.isEncryptionEnabled());
        QTest::ignoreMessage(QtInfoMsg, "Keychain integrity check failed: keychainError(\"Load failed: -25300\")");
        QTest::ignoreMessage(QtInfoMsg, qPrintable(kLaunchLine + u"false"_s));
        await(relaunched.prepareAtLaunch());
        QVERIFY(!relaunched.isEncryptionEnabled());
        QVERIFY(!encryptionFlag());
        QCOMPARE(await(relaunched.keychain().containsItem(kVerify)).value(), true); // left as it was
        QVERIFY(await(relaunched.disableEncryption()));
    }

    // The application with protection on and no session bus at all: it starts,
    // keeps protection on and says so.
    void applicationWithoutAnyKeychain()
    {
        QTemporaryDir config;
        QTemporaryDir container;
        {
            QSettings settings(config.filePath(u"vellumkeep/Folionest.conf"_s), QSettings::IniFormat);
            settings.setValue(u"encryptionEnabled"_s, true);
        }
        const auto result =
            TestSupport::run(TestSupport::appPath(), {u"--self-test"_s},
                             {u"XDG_CONFIG_HOME="_s + config.path(), u"FOLIONEST_CONTAINER="_s + container.path(),
                              u"DBUS_SESSION_BUS_ADDRESS=unix:path="_s + config.filePath(u"no-bus"_s)});
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QVERIFY2(result.out.contains("self-test passed"), result.out.constData());
        QVERIFY2(result.err.contains("SecurityService initialized. Encryption: true"), result.err.constData());
        QVERIFY(!result.err.contains("integrity check failed"));
        QSettings after(config.filePath(u"vellumkeep/Folionest.conf"_s), QSettings::IniFormat);
        QCOMPARE(after.value(u"encryptionEnabled"_s).toBool(), true);
    }
};

QTEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
