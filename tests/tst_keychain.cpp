// The keychain store: its status contract against a double that can answer any
// status, and its semantics against a real Secret Service (GNOME Keyring in a
// private D-Bus session).

#include "services/security/KeychainService.h"
#include "support/FakeKeychain.h"
#include "support/TestKeyring.h"
#include "support/TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString kGeneralUnavailableText =
    u"Keychain access is not available. On a real Mac, ensure the app is properly signed (e.g. build with your "
    "Developer ID or run from Xcode). On Simulator, use a real device for Touch ID and encryption."_s;

using Op = FakeKeychain::Op;
using TestSupport::await;

struct FakeService {
    std::shared_ptr<FakeKeychain::State> state = std::make_shared<FakeKeychain::State>();
    KeychainService service{std::make_unique<FakeKeychain>(state)};

    QByteArray stored(const QString& account) const
    {
        return state->items.value({u"com.vellumkeep.keychain"_s, account}).data;
    }
};

// What the Secret Service holds for the account, read with libsecret's own
// tool; QtKeychain keeps binary values base64-encoded.
std::optional<QByteArray> secretToolLookup(const QString& account)
{
    const auto result = TestSupport::run(u"secret-tool"_s,
                                         {u"lookup"_s, u"server"_s, u"com.vellumkeep.keychain"_s, u"user"_s, account});
    if (result.exitCode != 0)
        return std::nullopt;
    return QByteArray::fromBase64(result.out.trimmed());
}

int secretToolCount(const QString& account)
{
    const auto result = TestSupport::run(
        u"secret-tool"_s, {u"search"_s, u"--all"_s, u"server"_s, u"com.vellumkeep.keychain"_s, u"user"_s, account});
    // One "[/path]" header per item on stdout.
    int count = 0;
    for (const QByteArray& line : result.out.split('\n'))
        count += line.startsWith("[/") ? 1 : 0;
    return count;
}

} // namespace

class TestKeychain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void statusMessages_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("description");
        QTest::newRow("missing entitlement")
            << -34018
            << u"Keychain access failed (missing entitlement or unsigned app). On Mac, build with your Developer ID or "
               "run from Xcode. On Simulator, use a real device."_s
            << kGeneralUnavailableText;
        QTest::newRow("duplicate item") << -25299 << u"Item already exists"_s
                                        << u"Keychain error: Item already exists"_s;
        QTest::newRow("access denied") << -25293 << u"Authentication failed. Check device passcode."_s
                                       << u"Keychain error: Authentication failed. Check device passcode."_s;
        QTest::newRow("no keychain")
            << -25291
            << u"Keychain is not available. On Mac, ensure the app is properly signed. On Simulator, use a real device."_s
            << kGeneralUnavailableText;
        QTest::newRow("unlisted status -50")
            << -50 << u"Keychain error (-50). Ensure the app is properly signed; on Simulator, use a real device."_s
            << kGeneralUnavailableText;
        QTest::newRow("backend error of our own")
            << -26000
            << u"Keychain error (-26000). Ensure the app is properly signed; on Simulator, use a real device."_s
            << kGeneralUnavailableText;
    }

    // An add that fails carries statusMessage(status); the user sees the
    // general text where the message says the keychain is unusable.
    void statusMessages()
    {
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QString, description);
        QCOMPARE(KeychainService::statusMessage(status), message);

        FakeService fake;
        fake.state->forced.insert({Op::add, QString()}, status);
        const SecurityStatus saved = await(fake.service.saveItem("v", u"encryptionKey_salt"_s));
        QVERIFY(!saved);
        QCOMPARE(saved.error(), SecurityError::keychainError(message));
        QCOMPARE(saved.error().description(), description);
    }

    // Load and delete failures carry the bare status, not statusMessage.
    void loadAndDeleteFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("not found") << -25300;
        QTest::newRow("access denied") << -25293;
        QTest::newRow("no keychain") << -25291;
        QTest::newRow("backend error") << -26000;
    }

    void loadAndDeleteFailures()
    {
        QFETCH(int, status);
        FakeService fake;
        fake.state->forced.insert({Op::load, QString()}, status);
        fake.state->forced.insert({Op::remove, QString()}, status);
        const auto loaded = await(fake.service.loadItem(u"k"_s));
        QVERIFY(!loaded);
        QCOMPARE(loaded.error().message(), u"Load failed: "_s + QString::number(status));

        const SecurityStatus removed = await(fake.service.deleteItem(u"k"_s));
        if (status == -25300) {
            QVERIFY(removed); // deleting what is not there is no error
        } else {
            QVERIFY(!removed);
            QCOMPARE(removed.error().message(), u"Delete failed: "_s + QString::number(status));
        }
    }

    void saveReplacesByDeletingThenAdding()
    {
        FakeService fake;
        QVERIFY(await(fake.service.saveItem("first", u"k"_s)));
        QVERIFY(await(fake.service.saveItem("second", u"k"_s)));
        QCOMPARE(fake.state->items.size(), 1);
        QCOMPARE(fake.stored(u"k"_s), QByteArray("second"));
        QCOMPARE(fake.state->calls.mid(2), (QList<std::pair<Op, QString>>{{Op::remove, u"k"_s}, {Op::add, u"k"_s}}));
        QCOMPARE(await(fake.service.loadItem(u"k"_s)).value(), QByteArray("second"));
        QCOMPARE(fake.state->items.firstKey().first, u"com.vellumkeep.keychain"_s);
    }

    // "Item already exists" only when someone else adds between our delete and our add.
    void duplicateOnlyThroughARace()
    {
        FakeService fake;
        fake.state->betweenRemoveAndAdd = [&fake] {
            fake.state->items.insert({u"com.vellumkeep.keychain"_s, u"k"_s},
                                     {"theirs", KeychainProtection::afterFirstUnlock});
        };
        const SecurityStatus saved = await(fake.service.saveItem("ours", u"k"_s));
        QVERIFY(!saved);
        QCOMPARE(saved.error().message(), u"Item already exists"_s);
        QCOMPARE(fake.stored(u"k"_s), QByteArray("theirs"));
    }

    void failingDeleteBeforeAddIsIgnored()
    {
        FakeService fake;
        fake.state->forced.insert({Op::remove, QString()}, -25293);
        QVERIFY(await(fake.service.saveItem("v", u"k"_s)));
        QCOMPARE(fake.stored(u"k"_s), QByteArray("v"));
    }

    // Ordinary items are readable after unlock; only the biometric one asks for the user.
    void protectionOfEachItem()
    {
        FakeService fake;
        fake.state->userPresence = true;
        QVERIFY(await(fake.service.saveItem("salt", u"encryptionKey_salt"_s)));
        QVERIFY(await(fake.service.saveBiometricItem(QByteArray(32, 'k'), u"biometricEncryptionKey"_s)));
        const auto& items = fake.state->items;
        QCOMPARE(items.value({u"com.vellumkeep.keychain"_s, u"encryptionKey_salt"_s}).protection,
                 KeychainProtection::afterFirstUnlock);
        QCOMPARE(items.value({u"com.vellumkeep.keychain"_s, u"biometricEncryptionKey"_s}).protection,
                 KeychainProtection::userPresence);
    }

    void biometricItemWithoutUserPresenceCheck()
    {
        FakeService fake; // like Linux: no user-presence protection
        const SecurityStatus saved =
            await(fake.service.saveBiometricItem(QByteArray(32, 'k'), u"biometricEncryptionKey"_s));
        QVERIFY(!saved);
        QCOMPARE(saved.error(), SecurityError::keychainError(KeychainService::statusMessage(-25291)));
        QVERIFY(fake.state->items.isEmpty());
    }

    void containsItemTellsMissingFromUnreadable()
    {
        FakeService fake;
        QCOMPARE(await(fake.service.containsItem(u"k"_s)).value(), false);
        QVERIFY(await(fake.service.saveItem("v", u"k"_s)));
        QCOMPARE(await(fake.service.containsItem(u"k"_s)).value(), true);
        fake.state->forced.insert({Op::load, QString()}, -25291);
        const auto unknown = await(fake.service.containsItem(u"k"_s));
        QVERIFY(!unknown);
        QCOMPARE(unknown.error().message(), u"Load failed: -25291"_s);
    }

    // A keychain that never answers (a prompt left open): every call ends
    // with "no answer in time" once the time-out has passed, and an answer
    // that comes after that changes nothing.
    void noAnswerInTime_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("message");
        QTest::newRow("load") << 0 << u"Load failed: -26002"_s;
        QTest::newRow("contains") << 1 << u"Load failed: -26002"_s;
        QTest::newRow("delete") << 2 << u"Delete failed: -26002"_s;
        // The delete before the add times out first and is ignored, as any
        // failed delete is; then the add times out.
        QTest::newRow("save") << 3 << KeychainService::statusMessage(-26002);
    }

    void noAnswerInTime()
    {
        QFETCH(int, operation);
        QFETCH(QString, message);
        FakeService fake;
        fake.state->answers = FakeKeychain::Answers::never;
        fake.service.setTimeout(std::chrono::milliseconds(20));
        QTest::ignoreMessage(QtWarningMsg, "Keychain: no answer in time");
        if (operation == 3)
            QTest::ignoreMessage(QtWarningMsg, "Keychain: no answer in time");
        const auto failure = [&]() -> std::optional<SecurityError> {
            switch (operation) {
            case 0: {
                const auto loaded = await(fake.service.loadItem(u"k"_s));
                return loaded ? std::nullopt : std::optional(loaded.error());
            }
            case 1: {
                const auto found = await(fake.service.containsItem(u"k"_s));
                return found ? std::nullopt : std::optional(found.error());
            }
            case 2: {
                const SecurityStatus removed = await(fake.service.deleteItem(u"k"_s));
                return removed ? std::nullopt : std::optional(removed.error());
            }
            default: {
                const SecurityStatus saved = await(fake.service.saveItem("v", u"k"_s));
                return saved ? std::nullopt : std::optional(saved.error());
            }
            }
        }();
        QVERIFY(failure);
        QCOMPARE(*failure, SecurityError::keychainError(message));

        // The keychain wakes up: its late answers find every call settled.
        const auto late = std::exchange(fake.state->heldAnswers, {});
        QVERIFY(!late.isEmpty());
        for (const auto& answer : late)
            answer();
        QCoreApplication::processEvents();
        fake.state->answers = FakeKeychain::Answers::later;
        QVERIFY(await(fake.service.saveItem("v", u"k"_s)));
        QCOMPARE(await(fake.service.loadItem(u"k"_s)).value(), QByteArray("v"));
    }

    // The Linux keychain has no user-presence check.
    void desktopKeychainOffersNoUserPresence()
    {
        KeychainService service;
        QVERIFY(!service.supportsUserPresence());
    }

    void realSecretServiceRoundTrip()
    {
        REQUIRE_TEST_KEYRING();
        KeychainService keychain;
        const QString account = u"encryptionKey_salt"_s;
        QVERIFY(await(keychain.deleteItem(account)));
        QByteArray everyByte;
        for (int i = 0; i < 256; ++i)
            everyByte.append(char(i));

        QVERIFY(await(keychain.saveItem(everyByte, account)));
        QCOMPARE(await(keychain.loadItem(account)).value(), everyByte);
        QCOMPARE(secretToolLookup(account).value_or("<none>"), everyByte);

        const QByteArray second = everyByte.right(32) + QByteArray(1, '\0');
        QVERIFY(await(keychain.saveItem(second, account)));
        QCOMPARE(await(keychain.loadItem(account)).value(), second);
        QCOMPARE(secretToolCount(account), 1);

        QVERIFY(await(keychain.deleteItem(account)));
        const auto gone = await(keychain.loadItem(account));
        QVERIFY(!gone);
        QCOMPARE(gone.error().message(), u"Load failed: -25300"_s);
        QVERIFY(!secretToolLookup(account));
        QVERIFY(await(keychain.deleteItem(account))); // again: nothing there, no error
    }

    // A call returns before the keychain answers, and nothing else waiting
    // on the event loop (a timer here; a model's queued signal alike) runs
    // inside it: the caller continues when the answer comes.
    void realSecretServiceAnswersOutsideTheCall()
    {
        REQUIRE_TEST_KEYRING();
        KeychainService keychain;
        const QString account = u"encryptionKey_verify"_s;
        QObject context;
        int turns = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &context, [&turns] { ++turns; });
        ticker.start(0);

        QFuture<SecurityStatus> saved = keychain.saveItem("value", account);
        QCOMPARE(turns, 0);
        QVERIFY(!saved.isFinished());
        QVERIFY(await(saved));
        QVERIFY(turns > 0);

        turns = 0;
        QFuture<Result<QByteArray, SecurityError>> loaded = keychain.loadItem(account);
        QCOMPARE(turns, 0);
        QVERIFY(!loaded.isFinished());
        QCOMPARE(await(loaded).value(), QByteArray("value"));
        QVERIFY(turns > 0);
        QVERIFY(await(keychain.deleteItem(account)));
    }

    void realSecretServiceEmptyValue()
    {
        REQUIRE_TEST_KEYRING();
        KeychainService keychain;
        QVERIFY(await(keychain.saveItem(QByteArray(), u"encryptionKey_verify"_s)));
        const auto loaded = await(keychain.loadItem(u"encryptionKey_verify"_s));
        QVERIFY(loaded);
        QCOMPARE(loaded.value(), QByteArray());
        QVERIFY(await(keychain.deleteItem(u"encryptionKey_verify"_s)));
    }

    void realSecretServiceMissingItem()
    {
        REQUIRE_TEST_KEYRING();
        KeychainService keychain;
        const auto loaded = await(keychain.loadItem(u"never-written"_s));
        QVERIFY(!loaded);
        QCOMPARE(loaded.error().description(), u"Keychain error: Load failed: -25300"_s);
        QCOMPARE(await(keychain.containsItem(u"never-written"_s)).value(), false);
    }

    // The raw key is never written where no user-presence check guards it.
    void realSecretServiceRefusesTheBiometricItem()
    {
        REQUIRE_TEST_KEYRING();
        KeychainService keychain;
        const SecurityStatus saved =
            await(keychain.saveBiometricItem(QByteArray(32, 'k'), u"biometricEncryptionKey"_s));
        QVERIFY(!saved);
        QCOMPARE(saved.error().message(), KeychainService::statusMessage(-25291));
        QCOMPARE(await(keychain.containsItem(u"biometricEncryptionKey"_s)).value(), false);
        QVERIFY(!secretToolLookup(u"biometricEncryptionKey"_s));
    }
};

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"
