// folionest-cli security: status, enable, unlock and disable through the real
// executable, with a real keyring, without any keychain, on a terminal, and
// with passphrases that are hard to get right.

#include "support/TestKeyring.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kGeneralUnavailableText =
    "Keychain access is not available. On a real Mac, ensure the app is properly "
    "signed (e.g. build with your Developer ID or run from Xcode). On Simulator, "
    "use a real device for Touch ID and encryption.";

// One user of the tool: settings and library of their own.
class CliUser {
public:
    // Extra environment entries, e.g. a session bus address.
    explicit CliUser(QStringList env = {}) : m_env(std::move(env))
    {
        m_env << u"XDG_CONFIG_HOME="_s + m_config.path() << u"FOLIONEST_CONTAINER="_s + m_container.path();
    }

    TestSupport::ProcessResult run(const QStringList& args, const QByteArray& stdinData = {}) const
    {
        return TestSupport::run(TestSupport::cliPath(), args, m_env, stdinData);
    }
    TestSupport::ProcessResult security(const QString& command, const QByteArray& passphrase) const
    {
        return run({u"security"_s, command, u"--passphrase-stdin"_s}, passphrase);
    }
    const QStringList& env() const { return m_env; }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_container;
    QStringList m_env;
};

QStringList noBus(const QTemporaryDir& dir)
{
    return {u"DBUS_SESSION_BUS_ADDRESS=unix:path="_s + dir.filePath(u"no-bus"_s)};
}

QByteArray statusLine(const QByteArray& out, const QByteArray& label)
{
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith(QByteArray(label + ':')))
            return line.mid(label.size() + 1).trimmed();
    }
    return "<no line " + label + ">";
}

} // namespace

class TestCliSecurity : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void passphraseNeverFromTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("as an argument") << QStringList{u"security"_s, u"unlock"_s, u"hunter2secret"_s};
        QTest::newRow("as --passphrase VALUE")
            << QStringList{u"security"_s, u"unlock"_s, u"--passphrase"_s, u"hunter2secret"_s};
        QTest::newRow("as --passphrase=VALUE")
            << QStringList{u"security"_s, u"enable"_s, u"--passphrase=hunter2secret"_s};
        QTest::newRow("as a short option") << QStringList{u"security"_s, u"enable"_s, u"-phunter2secret"_s};
        QTest::newRow("to a command that takes none") << QStringList{u"security"_s, u"disable"_s, u"hunter2secret"_s};
        QTest::newRow("after --passphrase-stdin")
            << QStringList{u"security"_s, u"unlock"_s, u"--passphrase-stdin"_s, u"hunter2secret"_s};
    }

    // Refused as a usage error, without repeating what was typed.
    void passphraseNeverFromTheCommandLine()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const CliUser user(noBus(dir));
        const auto result = user.run(args, "hunter2secret\n");
        QCOMPARE(result.exitCode, 1);
        QVERIFY(!result.err.contains("hunter2secret"));
        QVERIFY(!result.out.contains("hunter2secret"));
    }

    void noTerminalNoPassphrase()
    {
        QTemporaryDir dir;
        const CliUser user(noBus(dir));
        const auto result = user.run({u"security"_s, u"unlock"_s}, "piped but not announced\n");
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("--passphrase-stdin"), result.err.constData());
    }

    void helpTellsHowPassphrasesAreRead()
    {
        const auto result = TestSupport::run(TestSupport::cliPath(), {u"--help"_s});
        QCOMPARE(result.exitCode, 0);
        for (const char* expected :
             {"security status", "security enable [--passphrase-stdin]", "security unlock [--passphrase-stdin]",
              "security disable", "exactly one trailing newline", "never from the command line"})
            QVERIFY2(result.out.contains(expected), expected);
    }

    // No session bus at all: every command fails with the texts of the
    // security errors, and the library itself keeps working.
    void withoutAnyKeychain()
    {
        QTemporaryDir dir;
        const CliUser user(noBus(dir));
        const auto status = user.run({u"security"_s, u"status"_s});
        QCOMPARE(status.exitCode, 5);
        QCOMPARE(statusLine(status.out, "encryption"), QByteArray("off"));
        QCOMPARE(statusLine(status.out, "salt item"), QByteArray("unknown"));
        QCOMPARE(status.err.trimmed(), QByteArray("folionest-cli: Keychain error: Load failed: -25291"));

        const auto enable = user.security(u"enable"_s, "long enough passphrase\n");
        QCOMPARE(enable.exitCode, 5);
        QCOMPARE(enable.err.trimmed(), "folionest-cli: " + kGeneralUnavailableText);

        const auto unlock = user.security(u"unlock"_s, "long enough passphrase\n");
        QCOMPARE(unlock.exitCode, 5);
        QCOMPARE(unlock.err.trimmed(), QByteArray("folionest-cli: Encryption key not found"));

        const auto disable = user.run({u"security"_s, u"disable"_s});
        QCOMPARE(disable.exitCode, 5);
        QCOMPARE(disable.err.trimmed(), QByteArray("folionest-cli: Keychain error: Delete failed: -25291"));

        QCOMPARE(user.run({u"add"_s, u"https://example.com/a"_s}).exitCode, 0);
        QCOMPARE(user.run({u"list"_s}).exitCode, 0);
    }

    // A bus without any secret store (no keyring running or activatable).
    void busWithoutSecretStore()
    {
        const QString dbusRunSession = QStandardPaths::findExecutable(u"dbus-run-session"_s);
        if (dbusRunSession.isEmpty())
            QSKIP("needs dbus-run-session (Debian: dbus)");
        QTemporaryDir dir;
        QFile config(dir.filePath(u"bare-session.conf"_s));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
            "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        const CliUser user;
        const auto result = TestSupport::run(dbusRunSession,
                                             {u"--config-file="_s + config.fileName(), u"--"_s, TestSupport::cliPath(),
                                              u"security"_s, u"enable"_s, u"--passphrase-stdin"_s},
                                             user.env(), "long enough passphrase\n");
        QCOMPARE(result.exitCode, 5);
        QVERIFY2(result.err.contains(kGeneralUnavailableText), result.err.constData());
    }

    // A keyring that is locked (and cannot prompt) refuses the write.
    void lockedKeyring()
    {
        for (const QString& program : {u"dbus-run-session"_s, u"gnome-keyring-daemon"_s, u"dbus-send"_s}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                QSKIP(qPrintable(program + u" is needed (Debian: dbus, gnome-keyring)"_s));
        }
        QTemporaryDir home;
        const CliUser user;
        const QString script =
            u"printf 'folionest-test\\n' | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || exit "
            u"90\n"
            "dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets "
            "org.freedesktop.Secret.Service.Lock array:objpath:/org/freedesktop/secrets/collection/login >/dev/null || "
            "exit 91\n"
            "printf 'long enough passphrase\\n' | \"$0\" security enable --passphrase-stdin\n"_s;
        const auto result = TestSupport::run(
            u"dbus-run-session"_s, {u"--"_s, u"sh"_s, u"-c"_s, script, TestSupport::cliPath()},
            user.env()
                + QStringList{u"HOME="_s + home.path(), u"XDG_RUNTIME_DIR="_s + home.path(),
                              u"XDG_DATA_HOME="_s + home.filePath(u"data"_s), u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s});
        QCOMPARE(result.exitCode, 5);
        QVERIFY2(result.err.contains("folionest-cli: Keychain error: Authentication failed. Check device passcode."),
                 result.err.constData());
    }

    void tooShortPassphraseIsRefused_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("just a newline") << QByteArray("\n");
        QTest::newRow("seven characters") << QByteArray("1234567\n");
        // Seven user-perceived characters, many more bytes and code points.
        QTest::newRow("seven flags and accents") << QByteArray("🇩🇪🇫🇷e\xcc\x81\xe5\xaf\x86\xe7\xa0\x81ok\n");
    }

    void tooShortPassphraseIsRefused()
    {
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        const CliUser user(noBus(dir));
        const auto result = user.security(u"enable"_s, input);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("at least 8 characters"), result.err.constData());
    }

    void notUtf8IsAnInvalidPassphrase()
    {
        QTemporaryDir dir;
        const CliUser user(noBus(dir));
        const auto result = user.security(u"enable"_s, "pass\xff\xfeword-long\n");
        QCOMPARE(result.exitCode, 5);
        QCOMPARE(result.err.trimmed(), QByteArray("folionest-cli: Invalid passphrase"));
    }

    void realKeyringRoundTrip()
    {
        REQUIRE_TEST_KEYRING();
        const CliUser user;
        QCOMPARE(user.run({u"security"_s, u"disable"_s}).exitCode, 0); // a clean start

        auto status = user.run({u"security"_s, u"status"_s});
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(statusLine(status.out, "encryption"), QByteArray("off"));
        QCOMPARE(statusLine(status.out, "salt item"), QByteArray("missing"));
        QCOMPARE(statusLine(status.out, "verification item"), QByteArray("missing"));
        QCOMPARE(statusLine(status.out, "biometric unlock"), QByteArray("off (not available on this system)"));

        const QByteArray passphrase = " пароль with spaces ";
        const auto enable = user.security(u"enable"_s, passphrase + '\n');
        QCOMPARE(enable.exitCode, 0);
        QVERIFY(!enable.out.contains(passphrase) && !enable.err.contains(passphrase));

        status = user.run({u"security"_s, u"status"_s});
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(statusLine(status.out, "encryption"), QByteArray("on"));
        QCOMPARE(statusLine(status.out, "salt item"), QByteArray("present"));
        QCOMPARE(statusLine(status.out, "verification item"), QByteArray("present"));

        const auto again = user.security(u"enable"_s, passphrase + '\n');
        QCOMPARE(again.exitCode, 5);
        QVERIFY(again.err.contains("already on"));
    }

    void realKeyringUnlock_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("with the one trailing newline") << QByteArray("  two spaces each side  \n") << 0 << QByteArray();
        QTest::newRow("without a trailing newline") << QByteArray("  two spaces each side  ") << 0 << QByteArray();
        QTest::newRow("two newlines: one is part of it")
            << QByteArray("  two spaces each side  \n\n") << 5 << QByteArray("Invalid passphrase");
        QTest::newRow("CRLF: the CR is part of it")
            << QByteArray("  two spaces each side  \r\n") << 5 << QByteArray("Invalid passphrase");
        QTest::newRow("trimmed") << QByteArray("two spaces each side\n") << 5 << QByteArray("Invalid passphrase");
        QTest::newRow("empty") << QByteArray() << 5 << QByteArray("Invalid passphrase");
        QTest::newRow("not UTF-8") << QByteArray("  two spaces each side \xff\n") << 5
                                   << QByteArray("Invalid passphrase");
    }

    void realKeyringUnlock()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, err);
        REQUIRE_TEST_KEYRING();
        const CliUser user;
        QCOMPARE(user.run({u"security"_s, u"disable"_s}).exitCode, 0);
        QCOMPARE(user.security(u"enable"_s, "  two spaces each side  \n").exitCode, 0);
        const auto unlock = user.security(u"unlock"_s, input);
        QCOMPARE(unlock.exitCode, exitCode);
        if (exitCode == 0)
            QCOMPARE(unlock.out.trimmed(), QByteArray("Passphrase accepted."));
        else
            QCOMPARE(unlock.err.trimmed(), "folionest-cli: " + err);

        QCOMPARE(user.run({u"security"_s, u"disable"_s}).exitCode, 0);
        const auto status = user.run({u"security"_s, u"status"_s});
        QCOMPARE(statusLine(status.out, "encryption"), QByteArray("off"));
        QCOMPARE(statusLine(status.out, "salt item"), QByteArray("missing"));
        const auto afterDisable = user.security(u"unlock"_s, "  two spaces each side  \n");
        QCOMPARE(afterDisable.exitCode, 5);
        QCOMPARE(afterDisable.err.trimmed(), QByteArray("folionest-cli: Encryption key not found"));
    }

    // On a terminal: prompts, no echo, and the echo is back afterwards.
    void terminalPrompts()
    {
        const auto probe = TestSupport::run(TestSupport::pythonPath(), {u"-c"_s, u"import pty"_s});
        if (probe.exitCode != 0)
            QSKIP("needs python3 to drive a pseudo-terminal");
        QTemporaryDir dir;
        const CliUser user(noBus(dir));
        const auto session = [&](const QStringList& args, const QList<std::pair<QString, QString>>& answers) {
            QJsonObject env;
            for (const QString& entry : user.env())
                env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
            QJsonArray pairs;
            for (const auto& [prompt, line] : answers)
                pairs.append(QJsonArray{prompt, line});
            const QJsonObject request{
                {u"argv"_s, QJsonArray::fromStringList(QStringList{TestSupport::cliPath()} + args)},
                {u"env"_s, env},
                {u"answers"_s, pairs}};
            const auto result = TestSupport::run(
                TestSupport::pythonPath(),
                {QDir(QStringLiteral(FOLIONEST_SOURCE_DIR)).filePath(u"tests/helpers/pty_session.py"_s)}, {},
                QJsonDocument(request).toJson());
            return QJsonDocument::fromJson(result.out).object();
        };

        const auto mismatch = session({u"security"_s, u"enable"_s}, {{u"Passphrase: "_s, u"first-secret-1"_s},
                                                                     {u"Confirm: "_s, u"second-secret-2"_s}});
        const QString screen = mismatch[u"screen"_s].toString();
        QCOMPARE(mismatch[u"exit"_s].toInt(), 1);
        QVERIFY2(screen.contains(u"the passphrases do not match"_s), qPrintable(screen));
        QVERIFY2(!screen.contains(u"first-secret"_s) && !screen.contains(u"second-secret"_s), qPrintable(screen));
        QVERIFY(mismatch[u"echo_after"_s].toBool());

        // Reaches the keychain (none here) only after both prompts.
        const auto match = session({u"security"_s, u"enable"_s},
                                   {{u"Passphrase: "_s, u"same-secret-123"_s}, {u"Confirm: "_s, u"same-secret-123"_s}});
        QCOMPARE(match[u"exit"_s].toInt(), 5);
        QVERIFY(!match[u"screen"_s].toString().contains(u"same-secret"_s));
        QVERIFY(match[u"screen"_s].toString().contains(QString::fromUtf8(kGeneralUnavailableText)));
        QVERIFY(match[u"echo_after"_s].toBool());
    }
};

QTEST_GUILESS_MAIN(TestCliSecurity)
#include "tst_cli_security.moc"
