// Key derivation and sealing against published known answers, and the ways a
// sealed value must fail to open.

#include "services/security/SecurityService.h"
#include "support/FakeKeychain.h"
#include "support/TestSupport.h"

#include <QTest>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

SymmetricKey keyFromHex(const char* text)
{
    const auto key = SymmetricKey::fromBytes(hex(text));
    Q_ASSERT(key);
    return *key;
}

const SymmetricKey& testKey()
{
    static const SymmetricKey s_key = keyFromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    return s_key;
}

// Makes the next random bytes the given ones (a nonce of a test vector).
class FixedRandom {
public:
    explicit FixedRandom(QByteArray bytes) : m_bytes(std::move(bytes))
    {
        SecurityService::setRandomSource([this](unsigned char* out, std::size_t size) {
            ++m_calls;
            if (static_cast<qsizetype>(size) > m_bytes.size())
                return false;
            std::memcpy(out, m_bytes.constData(), size);
            return true;
        });
    }
    ~FixedRandom() { SecurityService::setRandomSource({}); }
    int calls() const { return m_calls; }

private:
    QByteArray m_bytes;
    int m_calls = 0;
};

} // namespace

class TestCrypto : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    // RFC 5869, appendix A, the SHA-256 cases.
    void hkdfKnownAnswers_data()
    {
        QTest::addColumn<QByteArray>("ikm");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QByteArray>("okm");
        QTest::newRow("A.1 basic")
            << QByteArray(22, 0x0b) << hex("000102030405060708090a0b0c") << hex("f0f1f2f3f4f5f6f7f8f9")
            << hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b8871858"
                   "65");
        QByteArray ikm, salt, info;
        for (int i = 0; i < 80; ++i) {
            ikm.append(char(i));
            salt.append(char(0x60 + i));
            info.append(char(0xb0 + i));
        }
        QTest::newRow("A.2 long inputs")
            << ikm << salt << info
            << hex("b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99"
                   "cac7827271cb41c65e590e09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87"
                   "c14c01d5c1f3434f1d87");
        QTest::newRow("A.3 empty salt and info")
            << QByteArray(22, 0x0b) << QByteArray() << QByteArray()
            << hex("8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8");
    }

    void hkdfKnownAnswers()
    {
        QFETCH(QByteArray, ikm);
        QFETCH(QByteArray, salt);
        QFETCH(QByteArray, info);
        QFETCH(QByteArray, okm);
        const auto derived = SecurityService::hkdfSha256(ikm, salt, info, okm.size());
        QVERIFY(derived);
        QCOMPARE(derived.value().toHex(), okm.toHex());
    }

    // Stored salts and verification values (and backups) depend on exactly
    // this derivation; the answers come from an independent HKDF.
    void deriveKeyKnownAnswers_data()
    {
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("ascii") << u"correct horse battery staple"_s
                               << hex("b426cc1e3a0a9ada5c8b1e5054a3d124e8e11d2f3f4e6d5814c222d1b5e83791");
        QTest::newRow("spaces at both ends, Cyrillic, emoji")
            << u" пароль 🔑 "_s << hex("472c969aefc400505f771d7a4c60c48b69ec706b252ad4ecd5ab6b823b3885ac");
        QTest::newRow("empty") << QString() << hex("419ac9270665ffc7c42140df5a670d2362354ec575daefe1d4013d6146c02f41");
    }

    void deriveKeyKnownAnswers()
    {
        QFETCH(QString, passphrase);
        QFETCH(QByteArray, key);
        QByteArray salt;
        for (int i = 0; i < 32; ++i)
            salt.append(char(i));
        const auto derived = SecurityService::deriveKey(passphrase, salt);
        QVERIFY(derived);
        QCOMPARE(derived.value().rawBytes().toHex(), key.toHex());
    }

    // Passphrases are bytes: nothing is trimmed or normalised.
    void deriveKeyTakesThePassphraseByteExactly_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("trailing space") << u"passphrase"_s << u"passphrase "_s;
        QTest::newRow("leading space") << u"passphrase"_s << u" passphrase"_s;
        QTest::newRow("composed vs decomposed é") << u"caf\u00e9"_s << u"cafe\u0301"_s;
        QTest::newRow("case") << u"Passphrase"_s << u"passphrase"_s;
        QTest::newRow("empty vs one space") << QString() << u" "_s;
    }

    void deriveKeyTakesThePassphraseByteExactly()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        const QByteArray salt(32, 'x');
        const auto keyA = SecurityService::deriveKey(a, salt);
        const auto keyB = SecurityService::deriveKey(b, salt);
        QVERIFY(keyA && keyB);
        QVERIFY(!(keyA.value() == keyB.value()));
        QVERIFY(SecurityService::deriveKey(a, salt).value() == keyA.value());
        QVERIFY(!(SecurityService::deriveKey(a, QByteArray(32, 'y')).value() == keyA.value()));
    }

    void deriveKeyRefusesTextThatIsNotUnicode_data()
    {
        QTest::addColumn<QString>("passphrase");
        const auto text = [](std::initializer_list<char16_t> units) {
            QString s;
            for (char16_t u : units)
                s.append(QChar(u));
            return s;
        };
        QTest::newRow("high surrogate in the middle") << text({u'a', 0xD800, u'b'});
        QTest::newRow("high surrogate at the end") << text({u'a', u'b', 0xDBFF});
        QTest::newRow("low surrogate alone") << text({0xDC00, u'a'});
        QTest::newRow("surrogates in the wrong order") << text({0xDE00, 0xD83D});
    }

    void deriveKeyRefusesTextThatIsNotUnicode()
    {
        QFETCH(QString, passphrase);
        const auto derived = SecurityService::deriveKey(passphrase, QByteArray(32, 's'));
        QVERIFY(!derived);
        QCOMPARE(derived.error(), SecurityError::invalidPassphrase());
    }

    // NIST's GCM test set, AES-256, 96-bit nonce, no associated data. The
    // nonce comes through the random seam; the sealed form is nonce | ciphertext | tag.
    void gcmKnownAnswers_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("nonce");
        QTest::addColumn<QByteArray>("plaintext");
        QTest::addColumn<QByteArray>("ciphertext");
        QTest::addColumn<QByteArray>("tag");
        const QByteArray zeroKey(32, '\0');
        const QByteArray zeroNonce(12, '\0');
        QTest::newRow("test case 13: empty")
            << zeroKey << zeroNonce << QByteArray() << QByteArray() << hex("530f8afbc74536b9a963b4f1c4cb738b");
        QTest::newRow("test case 14: one zero block")
            << zeroKey << zeroNonce << QByteArray(16, '\0') << hex("cea7403d4d606b6e074ec5d3baf39d18")
            << hex("d0d1c8a799996bf0265b98b5d48ab919");
        QTest::newRow("test case 15: four blocks")
            << hex("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308")
            << hex("cafebabefacedbaddecaf888")
            << hex("d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16"
                   "aedf5"
                   "aa0de657ba637b391aafd255")
            << hex("522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f"
                   "61e"
                   "6393ba7a0abcc9f662898015ad")
            << hex("b094dac5d93471bdec1a502270e3cc6c");
        QTest::newRow("CAVS encrypt, 0-bit text")
            << hex("b52c505a37d78eda5dd34f20c22540ea1b58963cf8e5bf8ffa85f9f2492505b4")
            << hex("516c33929df5a3284ff463d7") << QByteArray() << QByteArray()
            << hex("bdc1ac884d332457a1d2664f168c76f0");
        QTest::newRow("CAVS encrypt, 128-bit text")
            << hex("31bdadd96698c204aa9ce1448ea94ae1fb4a9a0b3c9d773b51bb1822666b8f22")
            << hex("0d18e06c7c725ac9e362e1ce") << hex("2db5168e932556f8089a0622981d017d")
            << hex("fa4362189661d163fcd6a56d8bf0405a") << hex("d636ac1bbedd5cc3ee727dc2ab4a9489");
    }

    void gcmKnownAnswers()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, nonce);
        QFETCH(QByteArray, plaintext);
        QFETCH(QByteArray, ciphertext);
        QFETCH(QByteArray, tag);
        const SymmetricKey k = *SymmetricKey::fromBytes(key);
        const QByteArray expected = nonce + ciphertext + tag;
        {
            FixedRandom random(nonce);
            const auto sealed = SecurityService::encrypt(plaintext, k);
            QVERIFY(sealed);
            QCOMPARE(sealed.value().toHex(), expected.toHex());
        }
        const auto opened = SecurityService::decrypt(expected, k);
        QVERIFY(opened);
        QCOMPARE(opened.value().toHex(), plaintext.toHex());
    }

    void changedByteAnywhereFailsToOpen()
    {
        const QByteArray plaintext = "Vellumkeep_Confirmation and a little more";
        const QByteArray sealed = SecurityService::encrypt(plaintext, testKey()).value();
        QCOMPARE(SecurityService::decrypt(sealed, testKey()).value(), plaintext);
        for (qsizetype i = 0; i < sealed.size(); ++i) {
            for (const unsigned char flip : {0x01, 0x80, 0xff}) {
                QByteArray tampered = sealed;
                tampered[i] = char(static_cast<unsigned char>(tampered[i]) ^ flip);
                const auto opened = SecurityService::decrypt(tampered, testKey());
                if (opened || !(opened.error() == SecurityError::decryptionFailed()))
                    QFAIL(qPrintable(u"byte %1 xor %2 still opened or failed wrongly"_s.arg(i).arg(flip)));
            }
        }
    }

    void sealedLengths_data()
    {
        QTest::addColumn<int>("plaintextSize");
        for (int size : {0, 1, 15, 16, 17, 1000})
            QTest::addRow("%d bytes", size) << size;
    }

    void sealedLengths()
    {
        QFETCH(int, plaintextSize);
        const QByteArray plaintext(plaintextSize, 'p');
        const auto sealed = SecurityService::encrypt(plaintext, testKey());
        QVERIFY(sealed);
        QCOMPARE(sealed.value().size(), plaintextSize + 28);
        QCOMPARE(SecurityService::decrypt(sealed.value(), testKey()).value(), plaintext);
    }

    void malformedSealedValuesFail_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray sealed = SecurityService::encrypt("some text", testKey()).value();
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("27 zero bytes") << QByteArray(27, '\0');
        QTest::newRow("27 bytes of a real seal of nothing") << SecurityService::encrypt({}, testKey())->left(27);
        QTest::newRow("last byte cut off") << sealed.left(sealed.size() - 1);
        QTest::newRow("a byte appended") << sealed + 'x';
        QTest::newRow("28 zero bytes") << QByteArray(28, '\0');
    }

    void malformedSealedValuesFail()
    {
        QFETCH(QByteArray, data);
        const auto opened = SecurityService::decrypt(data, testKey());
        QVERIFY(!opened);
        QCOMPARE(opened.error(), SecurityError::decryptionFailed());
    }

    void wrongKeyFails()
    {
        const QByteArray sealed = SecurityService::encrypt("secret", testKey()).value();
        QByteArray other = testKey().rawBytes();
        other[31] = char(other[31] ^ 1);
        const auto opened = SecurityService::decrypt(sealed, *SymmetricKey::fromBytes(other));
        QVERIFY(!opened);
        QCOMPARE(opened.error(), SecurityError::decryptionFailed());
    }

    void everySealHasAFreshNonce()
    {
        const QByteArray a = SecurityService::encrypt("same", testKey()).value();
        const QByteArray b = SecurityService::encrypt("same", testKey()).value();
        QVERIFY(a.left(12) != b.left(12));
        QVERIFY(a != b);
    }

    void noRandomBytesNoSeal()
    {
        FixedRandom random{QByteArray()}; // too short for any request: the source fails
        const auto sealed = SecurityService::encrypt("text", testKey());
        QVERIFY(!sealed);
        QCOMPARE(sealed.error(), SecurityError::encryptionFailed());
    }

    // Without a key given or held, nothing is attempted.
    void heldKeyIsRequired()
    {
        auto state = std::make_shared<FakeKeychain::State>();
        SecurityService service(std::make_unique<FakeKeychain>(state));
        FixedRandom random(QByteArray(64, 'r'));
        const auto sealed = service.encrypt("text");
        QVERIFY(!sealed);
        QCOMPARE(sealed.error(), SecurityError::keyNotAvailable());
        const auto opened = service.decrypt(QByteArray(40, 'x'));
        QVERIFY(!opened);
        QCOMPARE(opened.error(), SecurityError::keyNotAvailable());
        QCOMPARE(random.calls(), 0);
    }

    void keyBytesOnlyFromExactly32Bytes()
    {
        QVERIFY(!SymmetricKey::fromBytes(QByteArray(31, 'k')));
        QVERIFY(!SymmetricKey::fromBytes(QByteArray(33, 'k')));
        QVERIFY(!SymmetricKey::fromBytes({}));
        QCOMPARE(SymmetricKey::fromBytes(QByteArray(32, 'k'))->rawBytes(), QByteArray(32, 'k'));
    }
};

QTEST_GUILESS_MAIN(TestCrypto)
#include "tst_crypto.moc"
