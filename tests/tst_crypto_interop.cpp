// Our key derivation and sealing against an independent implementation
// (Python's cryptography package): keys agree, and each side opens what the
// other sealed.

#include "services/security/SecurityService.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString scriptPath()
{
    return QDir(QStringLiteral(FOLIONEST_SOURCE_DIR)).filePath(u"tests/interop/aesgcm_interop.py"_s);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

class TestCryptoInterop : public QObject {
    Q_OBJECT

    // Runs the operations through the Python implementation.
    QJsonArray python(const QJsonArray& operations)
    {
        const auto result = TestSupport::run(TestSupport::pythonPath(), {scriptPath()}, {},
                                             QJsonDocument(operations).toJson(QJsonDocument::Compact));
        if (result.exitCode != 0) {
            QTest::qFail(qPrintable(u"interop script failed: "_s + QString::fromUtf8(result.err)), __FILE__, __LINE__);
            return {};
        }
        return QJsonDocument::fromJson(result.out).array();
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::initTestEnvironment();
        const auto probe = TestSupport::run(TestSupport::pythonPath(), {u"-c"_s, u"import cryptography"_s});
        if (probe.exitCode != 0)
            QSKIP("needs python3 with the cryptography package (Debian: python3-cryptography)");
    }

    void keysAgree()
    {
        const QStringList passphrases = {
            u"correct horse battery staple"_s,
            u"  spaces at both ends  "_s,
            u"пароль на русском"_s,
            u"密码短语"_s,
            u"🔐🗝️ emoji"_s,
            u"cafe\u0301 decomposed"_s,
            u"tab\tand\nnewline"_s,
            QString(),
        };
        QJsonArray operations;
        QList<QByteArray> salts;
        for (const QString& passphrase : passphrases) {
            salts.append(randomBytes(32));
            operations.append(
                QJsonObject{{u"op"_s, u"derive"_s}, {u"passphrase"_s, passphrase}, {u"salt"_s, hexText(salts.last())}});
        }
        const QJsonArray answers = python(operations);
        QCOMPARE(answers.size(), passphrases.size());
        for (qsizetype i = 0; i < passphrases.size(); ++i) {
            const auto ours = SecurityService::deriveKey(passphrases[i], salts[i]);
            QVERIFY(ours);
            QCOMPARE(QString::fromLatin1(ours.value().rawBytes().toHex()), answers[i][u"hex"_s].toString());
        }
    }

    void eachSideOpensWhatTheOtherSealed()
    {
        const SymmetricKey key = *SymmetricKey::fromBytes(randomBytes(32));
        const QList<QByteArray> plaintexts = {QByteArray(),      QByteArray(1, 'a'),
                                              randomBytes(16),   QByteArray("Vellumkeep_Confirmation"),
                                              randomBytes(1000), randomBytes(70000)};
        QJsonArray operations;
        QList<QByteArray> ourSeals;
        for (const QByteArray& plaintext : plaintexts) {
            ourSeals.append(SecurityService::encrypt(plaintext, key).value());
            QByteArray tampered = ourSeals.last();
            tampered[tampered.size() / 2] = char(tampered[tampered.size() / 2] ^ 0x10);
            operations.append(QJsonObject{
                {u"op"_s, u"open"_s}, {u"key"_s, hexText(key.rawBytes())}, {u"sealed"_s, hexText(ourSeals.last())}});
            operations.append(QJsonObject{
                {u"op"_s, u"open"_s}, {u"key"_s, hexText(key.rawBytes())}, {u"sealed"_s, hexText(tampered)}});
            operations.append(QJsonObject{
                {u"op"_s, u"seal"_s}, {u"key"_s, hexText(key.rawBytes())}, {u"plaintext"_s, hexText(plaintext)}});
        }
        const QJsonArray answers = python(operations);
        QCOMPARE(answers.size(), plaintexts.size() * 3);
        for (qsizetype i = 0; i < plaintexts.size(); ++i) {
            const QString row = u"plaintext of %1 bytes"_s.arg(plaintexts[i].size());
            const QJsonValue opened = answers[3 * i];
            QVERIFY2(opened[u"ok"_s].toBool(), qPrintable(row));
            QCOMPARE(QByteArray::fromHex(opened[u"hex"_s].toString().toLatin1()), plaintexts[i]);
            QVERIFY2(!answers[3 * i + 1][u"ok"_s].toBool(), qPrintable(row + u": tampered seal opened"_s));

            const QByteArray theirs = QByteArray::fromHex(answers[3 * i + 2][u"hex"_s].toString().toLatin1());
            QCOMPARE(theirs.size(), plaintexts[i].size() + 28);
            QCOMPARE(SecurityService::decrypt(theirs, key).value(), plaintexts[i]);
            QByteArray tampered = theirs;
            tampered[0] = char(tampered[0] ^ 1); // the nonce
            QVERIFY2(!SecurityService::decrypt(tampered, key), qPrintable(row));
        }
    }
};

QTEST_GUILESS_MAIN(TestCryptoInterop)
#include "tst_crypto_interop.moc"
