// The settings window, its pages and sheets, driven through their widgets on
// a real library file, with the real keyring where the flow needs one.

#include "app/AppState.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Settings.h"
#include "services/export/ExportService.h"
#include "services/security/SecurityService.h"
#include "store/ModelContext.h"
#include "support/TestKeyring.h"
#include "support/TestSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/components/SecureFieldWithToggle.h"
#include "ui/main/ItemListModel.h"
#include "ui/main/MiddleColumn.h"
#include "ui/main/SidebarModel.h"
#include "ui/main/SidebarView.h"
#include "ui/settings/BookmarkImportSheet.h"
#include "ui/settings/DataActions.h"
#include "ui/settings/ExportSheet.h"
#include "ui/settings/ItemEditorSheet.h"
#include "ui/settings/JobProgress.h"
#include "ui/settings/PassphrasePrompt.h"
#include "ui/settings/PrivacyPage.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/sheets/TagManagementView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// Answers the window's questions as the test says.
class ScriptedDialogs final : public Dialogs {
public:
    bool answer = true;
    QStringList questions;
    QString file;
    QString saveTo;
    QStringList errors;
    QString openFile(QWidget*, const QString&, const QStringList&) override { return file; }
    QString saveFile(QWidget*, const QString&, const QString&, const QStringList&) override { return saveTo; }
    bool confirm(QWidget*, const QString& title, const QString&, const QString&) override
    {
        questions.append(title);
        return answer;
    }
    void showError(QWidget*, const QString& title, const QString& text) override
    {
        errors.append(title + u": "_s + text);
    }
};

template <typename T>
T* find(const QObject* parent, const QString& name)
{
    T* child = parent->findChild<T*>(name);
    if (!child)
        qWarning().noquote() << u"no child named "_s + name;
    return child;
}

QString text(const QObject* parent, const QString& name)
{
    const QLabel* label = find<QLabel>(parent, name);
    return label ? label->text() : QString();
}

void type(SecureFieldWithToggle* field, const QString& value)
{
    QLineEdit* edit = field->lineEdit();
    edit->clear();
    // Key events that carry their text: QTest has no key code for most
    // characters beyond ASCII (a combining accent, say).
    for (const QChar ch : value)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// A library of two items (one with a picture), a folder and a tag, saved.
void fill(ModelContext& context)
{
    Folder* folder = context.insert(std::make_unique<Folder>(u"Research"_s, u"book"_s, QColor(255, 149, 0)));
    Tag* tag = context.insert(std::make_unique<Tag>(u"Important"_s, QColor(255, 59, 48)));
    auto first = std::make_unique<Item>(ItemType::webLink, u"Rust guide"_s, QUrl(u"https://rust.example/guide"_s));
    first->setImageData(QByteArray(300, 'p'));
    Item* item = context.insert(std::move(first));
    item->moveToFolder(folder);
    item->addTag(tag);
    context.insert(std::make_unique<Item>(ItemType::video, u"A talk"_s, QUrl(u"https://video.example/talk"_s)));
    QVERIFY(context.save());
}

QStringList titles(const ModelContext& context)
{
    QStringList out;
    for (const Item* item : context.items())
        out.append(item->title());
    out.sort();
    return out;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::TempContainer> m_container;
    std::unique_ptr<ModelContext> m_context;
    std::unique_ptr<AppState> m_state;
    ScriptedDialogs* m_dialogs = nullptr;

    SettingsWindow* window(SecurityService* security = nullptr)
    {
        auto* w = new SettingsWindow(m_context.get(), m_state.get(), nullptr, security);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        return w;
    }

    // Runs a data job and waits for its end.
    static bool runJob(DataActions* actions, const std::function<void()>& start)
    {
        QSignalSpy finished(actions, &DataActions::jobFinished);
        start();
        if (finished.isEmpty() && !finished.wait(30000))
            return false;
        return finished.first().first().toBool();
    }

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void init()
    {
        for (SettingsKey key : {SettingsKey::preferredViewMode, SettingsKey::showItemCounts,
                                SettingsKey::confirmBeforeDelete, SettingsKey::encryptionEnabled})
            Settings::remove(key);
        m_container = std::make_unique<TestSupport::TempContainer>();
        m_context = m_container->open();
        // As the application saves: on the writer thread.
        m_context->setBackgroundSaving(true);
        m_state = std::make_unique<AppState>();
        m_state->observe(m_context.get());
        auto dialogs = std::make_unique<ScriptedDialogs>();
        m_dialogs = dialogs.get();
        Dialogs::setCurrent(std::move(dialogs));
    }

    void cleanup()
    {
        // Deleting a window deletes its sheets, which are top-level too.
        QList<QPointer<QWidget>> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            windows.append(w);
        for (const QPointer<QWidget>& w : std::as_const(windows))
            delete w.data();
        Dialogs::setCurrent(nullptr);
        m_state.reset();
        m_context.reset();
        m_container.reset();
    }

    void countsFollowTheLibrary()
    {
        SettingsWindow* w = window();
        QCOMPARE(text(w, u"itemsCount"_s), u"0"_s);
        QCOMPARE(text(w, u"foldersCount"_s), u"0"_s);
        QCOMPARE(text(w, u"tagsCount"_s), u"0"_s);
        fill(*m_context);
        QTRY_COMPARE(text(w, u"itemsCount"_s), u"2"_s);
        QCOMPARE(text(w, u"foldersCount"_s), u"1"_s);
        QCOMPARE(text(w, u"tagsCount"_s), u"1"_s);
        QCOMPARE(text(w, u"encryptionState"_s), u"Off"_s);
        // Protection switched on elsewhere shows without reopening.
        Settings::setValue(SettingsKey::encryptionEnabled, true);
        QCOMPARE(text(w, u"encryptionState"_s), u"On"_s);
        // "Manage Tags" leads to tag management, and back.
        find<QPushButton>(w, u"manageTagsEntry"_s)->click();
        QVERIFY(w->findChild<TagManagementView*>()->isVisible());
        find<QToolButton>(w, u"backButton"_s)->click();
        QVERIFY(find<QWidget>(w, u"settingsPage"_s)->isVisible());
        // The build names no addresses: no row sends the user anywhere.
        QVERIFY(!w->findChild<QPushButton*>(u"websiteLink"_s));
        QVERIFY(!w->findChild<QPushButton*>(u"supportLink"_s));
    }

    void preferencesAreWrittenAtOnceAndRead()
    {
        fill(*m_context);
        SettingsWindow* w = window();
        auto* main = new MainWindow(m_context.get(), m_state.get());
        main->setAttribute(Qt::WA_DeleteOnClose);
        QAbstractItemModelTester tester(main->sidebar()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QModelIndex library = main->sidebar()->model()->index(0, 0);
        const QModelIndex inbox = main->sidebar()->model()->index(0, 0, library);
        const QString shown = inbox.data(SidebarModel::CountRole).toString();
        QVERIFY(!shown.isEmpty());

        // "Show Item Counts" off: the sidebar hides its counts at once.
        find<QCheckBox>(w, u"showItemCountsSwitch"_s)->click();
        QCOMPARE(Settings::value(SettingsKey::showItemCounts).toBool(), false);
        QTRY_COMPARE(inbox.data(SidebarModel::CountRole).toString(), QString());
        find<QCheckBox>(w, u"showItemCountsSwitch"_s)->click();
        QTRY_COMPARE(inbox.data(SidebarModel::CountRole).toString(), shown);

        // "Default View": written at once, taken by the next window.
        auto* picker = find<QComboBox>(w, u"defaultViewPicker"_s);
        QCOMPARE(picker->currentText(), u"Grid"_s);
        picker->setFocus();
        QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(Settings::value(SettingsKey::preferredViewMode).toString(), u"list"_s);
        QCOMPARE(m_state->viewMode(), ViewMode::grid);
        delete main;
        MainWindow next(m_context.get(), m_state.get());
        QCOMPARE(m_state->viewMode(), ViewMode::list);

        // "Confirm Before Delete": read where deleting asks.
        find<QCheckBox>(w, u"confirmBeforeDeleteSwitch"_s)->click();
        QCOMPARE(Settings::value(SettingsKey::confirmBeforeDelete).toBool(), false);
        next.selectItem(m_context->items().first());
        next.deleteSelection();
        QVERIFY(m_dialogs->questions.isEmpty());
        QCOMPARE(m_context->items().size(), 1);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a navigation entry") << u"privacyEntry"_s << u"Privacy & Security"_s;
        QTest::newRow("the destructive entry") << u"deleteAllButton"_s << u"Delete All Data"_s;
        QTest::newRow("the restore entry") << u"restoreBackupButton"_s << u"Restore Backup…"_s;
    }
    void texts()
    {
        // "&" is a character, not a mnemonic; every control has a name.
        QFETCH(QString, name);
        QFETCH(QString, shown);
        SettingsWindow* w = window();
        auto* button = find<QPushButton>(w, name);
        QCOMPARE(button->accessibleName(), shown);
        QCOMPARE(button->text().replace(u"&&"_s, u"&"_s), shown);
        QVERIFY(QKeySequence::mnemonic(button->text()).isEmpty());
        const QList<QWidget*> controls = w->findChildren<QWidget*>();
        for (const QWidget* control : controls) {
            if (qobject_cast<const QAbstractButton*>(control) || qobject_cast<const QComboBox*>(control))
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }
    }

    void privacyPageEnablesUnlocksAndDisables()
    {
        REQUIRE_TEST_KEYRING();
        SecurityService security;
        SettingsWindow* w = window(&security);
        find<QPushButton>(w, u"privacyEntry"_s)->click();
        PrivacyPage* page = w->privacyPage();
        QVERIFY(page->isVisible());
        QVERIFY(!page->findChild<QCheckBox*>(u"biometricSwitch"_s));

        // Switched on: the setup sheet; cancelling turns the switch back off.
        page->encryptionSwitch()->click();
        auto* sheet = find<PassphraseSetupSheet>(page, u"passphraseSetupSheet"_s);
        QVERIFY(sheet);
        find<QPushButton>(sheet, u"cancelButton"_s)->click();
        QTRY_VERIFY(!page->findChild<PassphraseSetupSheet*>(u"passphraseSetupSheet"_s));
        QVERIFY(!page->encryptionSwitch()->isChecked());
        QVERIFY(!security.isEncryptionEnabled());

        page->encryptionSwitch()->click();
        QTRY_VERIFY((sheet = page->findChild<PassphraseSetupSheet*>(u"passphraseSetupSheet"_s)));
        auto* enable = find<QPushButton>(sheet, u"enableButton"_s);
        auto* passphrase = find<SecureFieldWithToggle>(sheet, u"passphraseField"_s);
        auto* confirm = find<SecureFieldWithToggle>(sheet, u"confirmField"_s);
        QVERIFY(passphrase->isSecure());
        // Seven user-perceived characters (fourteen code units) are too few.
        const QString seven = QString(u"e\u0301"_s).repeated(7);
        type(passphrase, seven);
        type(confirm, seven);
        QVERIFY(!enable->isEnabled());
        type(passphrase, u"correct horse"_s);
        QVERIFY(!enable->isEnabled());
        type(confirm, u"correct horse"_s);
        QVERIFY(enable->isEnabled());
        enable->click();
        QTRY_VERIFY(!page->findChild<PassphraseSetupSheet*>(u"passphraseSetupSheet"_s));
        QVERIFY2(m_dialogs->errors.isEmpty(), qPrintable(m_dialogs->errors.join(u'\n')));
        QVERIFY(security.isEncryptionEnabled());
        QVERIFY(page->encryptionSwitch()->isChecked());
        QCOMPARE(text(w, u"encryptionState"_s), u"On"_s);

        // After a launch the key is forgotten: unlock, wrong then right.
        security.clearKey();
        Settings::setValue(SettingsKey::encryptionEnabled, true); // refreshes the page
        auto* unlock = find<QPushButton>(page, u"unlockButton"_s);
        QVERIFY(unlock->isVisibleTo(page));
        unlock->click();
        auto* prompt = find<PassphrasePrompt>(page, u"unlockSheet"_s);
        type(prompt->field(), u"wrong horse"_s);
        prompt->confirmButton()->click();
        QTRY_COMPARE(text(prompt, u"problemLabel"_s), u"Invalid passphrase"_s);
        QVERIFY(!security.encryptionKey());
        type(prompt->field(), u"correct horse"_s);
        prompt->confirmButton()->click();
        QTRY_VERIFY(security.encryptionKey());
        QTRY_VERIFY(!page->findChild<PassphrasePrompt*>(u"unlockSheet"_s));
        QVERIFY(!unlock->isVisibleTo(page));

        // Switched off: asked first; "Cancel" keeps protection on.
        m_dialogs->answer = false;
        page->encryptionSwitch()->click();
        QCOMPARE(m_dialogs->questions, QStringList{u"Disable Encryption?"_s});
        QVERIFY(page->encryptionSwitch()->isChecked());
        QVERIFY(security.isEncryptionEnabled());
        m_dialogs->answer = true;
        page->encryptionSwitch()->click();
        QVERIFY(!page->encryptionSwitch()->isEnabled()); // waits for the keychain
        QTRY_VERIFY(page->encryptionSwitch()->isEnabled());
        QVERIFY(!security.isEncryptionEnabled());
        QVERIFY(!page->encryptionSwitch()->isChecked());
        QVERIFY(!TestSupport::await(security.keychain().containsItem(KeychainService::saltAccount)).value());
        QCOMPARE(text(w, u"encryptionState"_s), u"Off"_s);
    }

    // The page waits for the keychain outside the click: a timer due
    // meanwhile (a model's queued signal alike) fires only after the click
    // has returned, the controls wait for the answer, and a window closed
    // before the answer comes is simply gone.
    void privacyPageWaitsForTheKeychainOutsideTheClick()
    {
        REQUIRE_TEST_KEYRING();
        SecurityService security;
        QVERIFY(TestSupport::await(security.disableEncryption()));
        QPointer<SettingsWindow> w = window(&security);
        find<QPushButton>(w, u"privacyEntry"_s)->click();
        PrivacyPage* page = w->privacyPage();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, &ticker, [&ticks] { ++ticks; });
        ticker.start(0);

        page->encryptionSwitch()->click();
        auto* sheet = find<PassphraseSetupSheet>(page, u"passphraseSetupSheet"_s);
        QVERIFY(sheet);
        type(find<SecureFieldWithToggle>(sheet, u"passphraseField"_s), u"correct horse"_s);
        type(find<SecureFieldWithToggle>(sheet, u"confirmField"_s), u"correct horse"_s);
        auto* enable = find<QPushButton>(sheet, u"enableButton"_s);
        ticks = 0;
        enable->click();
        QCOMPARE(ticks, 0);
        QVERIFY(!enable->isEnabled());
        QTRY_VERIFY(!page->findChild<PassphraseSetupSheet*>(u"passphraseSetupSheet"_s));
        QVERIFY(ticks > 0);
        QVERIFY(security.isEncryptionEnabled());

        security.clearKey();
        Settings::setValue(SettingsKey::encryptionEnabled, true); // refreshes the page
        find<QPushButton>(page, u"unlockButton"_s)->click();
        auto* prompt = find<PassphrasePrompt>(page, u"unlockSheet"_s);
        type(prompt->field(), u"correct horse"_s);
        ticks = 0;
        prompt->confirmButton()->click();
        QCOMPARE(ticks, 0);
        QVERIFY(!prompt->confirmButton()->isEnabled());
        delete w.data();
        QTRY_VERIFY(security.encryptionKey());
        QVERIFY(TestSupport::await(security.disableEncryption()));
    }

    void exportSheetWritesPlainAndEncrypted()
    {
        fill(*m_context);
        auto* sheet = new ExportSheet(m_context.get());
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->show();
        QCOMPARE(text(sheet, u"itemsCount"_s), u"2"_s);
        auto* exportButton = find<QPushButton>(sheet, u"exportButton"_s);
        auto* done = find<QWidget>(sheet, u"doneSection"_s);
        QVERIFY(exportButton->isEnabled());
        QVERIFY(!done->isVisible());

        QSignalSpy finished(sheet, &ExportSheet::exportFinished);
        exportButton->click();
        QVERIFY(find<QWidget>(sheet, u"exportingView"_s)->isVisible());
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.takeFirst().first().toBool(), true);
        const QString plain = sheet->exportResult();
        QVERIFY(plain.endsWith(u".json"_s));
        QVERIFY(done->isVisible());
        QCOMPARE(QFileInfo(plain).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const QByteArray document = TestSupport::readFile(plain);
        QVERIFY(document.contains("Rust guide"));
        QVERIFY(!document.contains("imageData"));

        // Encrypted: "Export" waits for eight user-perceived characters.
        find<QCheckBox>(sheet, u"encryptBackupSwitch"_s)->click();
        auto* passphrase = find<SecureFieldWithToggle>(sheet, u"passphraseField"_s);
        QVERIFY(passphrase->isVisible());
        type(passphrase, QString(u"a\u0308"_s).repeated(7));
        QVERIFY(!exportButton->isEnabled());
        type(passphrase, u"eight ch"_s);
        QVERIFY(exportButton->isEnabled());
        exportButton->click();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.takeFirst().first().toBool(), true);
        QVERIFY(sheet->exportResult().endsWith(u".vkbackup"_s));
        QVERIFY(sheet->exportResult() != plain);

        // "Save As…" copies the written file where the user says.
        QTemporaryDir elsewhere;
        m_dialogs->saveTo = elsewhere.filePath(u"copy.vkbackup"_s);
        find<QPushButton>(sheet, u"saveAsButton"_s)->click();
        QCOMPARE(TestSupport::readFile(m_dialogs->saveTo), TestSupport::readFile(sheet->exportResult()));
        // A place that cannot be written: one alert, the offered file stays.
        m_dialogs->saveTo = elsewhere.filePath(u"missing/folder/copy.json"_s);
        find<QPushButton>(sheet, u"saveAsButton"_s)->click();
        QCOMPARE(m_dialogs->errors.size(), 1);
        QVERIFY(m_dialogs->errors.first().startsWith(u"Export Error: "_s));
        QVERIFY(done->isVisible());
        QFile::remove(plain);
        QFile::remove(sheet->exportResult());
    }

    void importGoodAndBrokenDocuments()
    {
        // A document exported from another library.
        TestSupport::TempContainer source;
        auto other = source.open();
        fill(*other);
        QTemporaryDir dir;
        const QString good = dir.filePath(u"good.json"_s);
        QVERIFY(TestSupport::writeFile(
            good, ExportService::exportJSON(other->items(), other->folders(), other->tags(), true)));
        const QString broken = TestSupport::testDataPath(u"import/truncated.json"_s);

        m_context->insert(std::make_unique<Item>(ItemType::webLink, u"Mine"_s));
        SettingsWindow* w = window();
        DataActions* actions = w->dataActions();
        m_dialogs->file = broken;
        QVERIFY(!runJob(actions, [&] { find<QPushButton>(w, u"importDataButton"_s)->click(); }));
        QCOMPARE(titles(*m_context), QStringList{u"Mine"_s});
        QVERIFY(m_state->currentError());
        QVERIFY(m_state->currentError()->description().startsWith(u"Import Error: "_s));

        // A save that fails (another program holds the library) takes the
        // records out again: one alert, nothing changed.
        m_dialogs->file = good;
        m_state->setCurrentError(std::nullopt);
        sqlite3* blocker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(m_container->storePath()).constData(), &blocker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        m_context->setBusyTimeout(100);
        QVERIFY(!runJob(actions, [&] { find<QPushButton>(w, u"importDataButton"_s)->click(); }));
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);
        QCOMPARE(titles(*m_context), QStringList{u"Mine"_s});
        QVERIFY(m_state->currentError());
        QVERIFY(m_state->currentError()->description().contains(u"could not be saved"_s));

        QVERIFY(runJob(actions, [&] { find<QPushButton>(w, u"importDataButton"_s)->click(); }));
        QCOMPARE(titles(*m_context), (QStringList{u"A talk"_s, u"Mine"_s, u"Rust guide"_s}));
        QTRY_COMPARE(text(w, u"foldersCount"_s), u"1"_s);
        // On disk too, in one save.
        QVERIFY(!m_context->hasChanges());

        // Called off before the records are made: nothing changes.
        QVERIFY(!runJob(actions, [&] {
            actions->importFile(good);
            w->findChildren<JobProgress*>().last()->cancel();
        }));
        QCOMPARE(m_context->items().size(), 3);
    }

    void restoreWithWrongAndRightPassphrase()
    {
        TestSupport::TempContainer source;
        auto other = source.open();
        fill(*other);
        QTemporaryDir dir;
        const QString backup = dir.filePath(u"library.vkbackup"_s);
        auto written = ExportService::shared().backupLibrary(*other, u"backup passphrase"_s, backup);
        written.waitForFinished();
        QVERIFY(written.result());

        SettingsWindow* w = window();
        m_dialogs->file = backup;
        find<QPushButton>(w, u"restoreBackupButton"_s)->click();
        auto* prompt = find<PassphrasePrompt>(w, u"restoreSheet"_s);
        QVERIFY(!prompt->confirmButton()->isEnabled());
        type(prompt->field(), u"not the passphrase"_s);
        QVERIFY(!runJob(w->dataActions(), [&] { prompt->confirmButton()->click(); }));
        QVERIFY(m_context->items().isEmpty());
        QVERIFY(m_state->currentError());
        QVERIFY(m_state->currentError()->description().contains(u"Failed to decrypt backup"_s));

        QVERIFY(runJob(w->dataActions(), [&] { w->dataActions()->restoreFile(backup, u"backup passphrase"_s); }));
        QCOMPARE(titles(*m_context), (QStringList{u"A talk"_s, u"Rust guide"_s}));
        // A restore gives the pictures back.
        for (const Item* item : m_context->items()) {
            if (item->title() == u"Rust guide")
                QCOMPARE(item->imageData(), std::optional<QByteArray>(QByteArray(300, 'p')));
        }
    }

    void deleteAllDataCancelledAndConfirmed()
    {
        fill(*m_context);
        Settings::setValue(SettingsKey::showItemCounts, false);
        SettingsWindow* w = window();
        auto* main = new MainWindow(m_context.get(), m_state.get());
        main->setAttribute(Qt::WA_DeleteOnClose);
        QAbstractItemModelTester tester(main->middle()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        main->selectItem(m_context->items().first());
        m_state->setEditingItem(m_context->items().first());

        m_dialogs->answer = false;
        find<QPushButton>(w, u"deleteAllButton"_s)->click();
        QCOMPARE(m_dialogs->questions, QStringList{u"Delete All Data?"_s});
        QCOMPARE(m_context->items().size(), 2);

        m_dialogs->answer = true;
        QSignalSpy resets(main->middle()->model(), &QAbstractItemModel::modelReset);
        QSignalSpy removals(main->middle()->model(), &QAbstractItemModel::rowsRemoved);
        QVERIFY(runJob(w->dataActions(), [&] { find<QPushButton>(w, u"deleteAllButton"_s)->click(); }));
        QTRY_COMPARE(text(w, u"itemsCount"_s), u"0"_s);
        QCOMPARE(text(w, u"foldersCount"_s), u"0"_s);
        QCOMPARE(text(w, u"tagsCount"_s), u"0"_s);
        // The views reset once instead of removing row by row.
        QCOMPARE(resets.size(), 1);
        QCOMPARE(removals.size(), 0);
        QVERIFY(!main->selectedItem());
        QVERIFY(!m_state->editingItem());
        // On disk, and the preferences stay.
        QVERIFY(!m_context->hasChanges());
        QCOMPARE(Settings::value(SettingsKey::showItemCounts).toBool(), false);
        auto other = m_container->open();
        QVERIFY(other->items().isEmpty());
        QVERIFY(other->folders().isEmpty());
        QVERIFY(other->tags().isEmpty());
    }

    void itemEditor_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expectedUrl");
        QTest::addColumn<QString>("expectedDomain");
        QTest::newRow("another host") << u"https://other.example/page"_s << u"https://other.example/page"_s
                                      << u"other.example"_s;
        QTest::newRow("text that is no URL") << u"not a url"_s << u"https://rust.example/guide"_s << u"rust.example"_s;
        QTest::newRow("emptied") << QString() << u"https://rust.example/guide"_s << u"rust.example"_s;
    }
    void itemEditor()
    {
        QFETCH(QString, url);
        QFETCH(QString, expectedUrl);
        QFETCH(QString, expectedDomain);
        fill(*m_context);
        Item* item = nullptr;
        for (Item* candidate : m_context->items()) {
            if (candidate->title() == u"Rust guide")
                item = candidate;
        }
        item->setNote(u"old note"_s);
        const QDateTime before = item->modifiedAt();
        MainWindow main(m_context.get(), m_state.get());
        main.show();
        main.selectItem(item);
        main.action(u"editItemAction"_s)->trigger();
        QCOMPARE(m_state->editingItem(), item);
        auto* sheet = main.findChild<ItemEditorSheet*>(u"itemEditorSheet"_s);
        QVERIFY(sheet);
        auto* title = find<QLineEdit>(sheet, u"titleField"_s);
        auto* save = find<QPushButton>(sheet, u"saveButton"_s);
        QCOMPARE(title->text(), u"Rust guide"_s);
        title->clear();
        QVERIFY(!save->isEnabled());
        QTest::keyClicks(title, u"Rust, the guide"_s);
        auto* urlField = find<QLineEdit>(sheet, u"urlField"_s);
        urlField->setText(url);
        find<QPlainTextEdit>(sheet, u"noteField"_s)->clear();
        QTest::keyClick(title, Qt::Key_Return);
        QTRY_VERIFY(!main.findChild<ItemEditorSheet*>(u"itemEditorSheet"_s));
        QVERIFY(!m_state->editingItem());
        QCOMPARE(item->title(), u"Rust, the guide"_s);
        QCOMPARE(item->note(), std::nullopt);
        QCOMPARE(item->urlString(), std::optional<QString>(expectedUrl));
        QCOMPARE(item->sourceDomain(), std::optional<QString>(expectedDomain));
        QVERIFY(item->modifiedAt() >= before);
    }

    void itemEditorCancelAndItemsWithoutUrl()
    {
        Item* item = m_context->insert(std::make_unique<Item>(ItemType::screenshot, u"Shot"_s));
        ItemEditorSheet sheet(item);
        // No URL section: a URL cannot be added here.
        QVERIFY(!sheet.findChild<QLineEdit*>(u"urlField"_s));
        QTest::keyClicks(find<QLineEdit>(&sheet, u"titleField"_s), u" edited"_s);
        find<QPushButton>(&sheet, u"cancelButton"_s)->click();
        QCOMPARE(item->title(), u"Shot"_s);
        // Deleted while the editor is open: the editor closes.
        MainWindow main(m_context.get(), m_state.get());
        m_state->setEditingItem(item);
        QVERIFY(main.findChild<ItemEditorSheet*>(u"itemEditorSheet"_s));
        // Another item asked for: its editor takes the first one's place.
        Item* other = m_context->insert(std::make_unique<Item>(ItemType::webLink, u"Other"_s));
        m_state->setEditingItem(other);
        QCOMPARE(m_state->editingItem(), other);
        QTRY_COMPARE(main.findChildren<ItemEditorSheet*>(u"itemEditorSheet"_s).size(), 1);
        QCOMPARE(find<QLineEdit>(main.findChild<ItemEditorSheet*>(u"itemEditorSheet"_s), u"titleField"_s)->text(),
                 u"Other"_s);
        m_context->remove(other);
        QVERIFY(!m_state->editingItem());
        QTRY_VERIFY(!main.findChild<ItemEditorSheet*>(u"itemEditorSheet"_s));
    }

    void bookmarksInAndOut()
    {
        SettingsWindow* w = window();
        DataActions* actions = w->dataActions();
        // Through the sheet: "Choose File…" in place of a browser profile.
        m_dialogs->file = TestSupport::testDataPath(u"bookmarks/firefox.html"_s);
        find<QPushButton>(w, u"importBookmarksButton"_s)->click();
        auto* sheet = find<BookmarkImportSheet>(w, u"bookmarkImportSheet"_s);
        QVERIFY(sheet);
        QVERIFY(runJob(actions, [&] { find<QPushButton>(sheet, u"chooseFileButton"_s)->click(); }));
        const qsizetype imported = m_context->items().size();
        QVERIFY(imported > 0);
        QTemporaryDir dir;
        m_dialogs->saveTo = dir.filePath(u"bookmarks.html"_s);
        QVERIFY(runJob(actions, [&] { find<QPushButton>(w, u"exportBookmarksButton"_s)->click(); }));
        QVERIFY(TestSupport::readFile(m_dialogs->saveTo).startsWith("<!DOCTYPE NETSCAPE-Bookmark-file-1>"));
        // The same entries in the main window's File menu.
        MainWindow main(m_context.get(), m_state.get());
        m_dialogs->saveTo = dir.filePath(u"from-menu.html"_s);
        QVERIFY(runJob(main.dataActions(), [&] { main.action(u"exportBookmarksAction"_s)->trigger(); }));
        QVERIFY(TestSupport::readFile(m_dialogs->saveTo).contains("<DL><p>"));
        QVERIFY(main.action(u"importBookmarksAction"_s));
        // A file that is no bookmark file: one error, nothing added.
        QVERIFY(!runJob(actions, [&] {
            actions->importBookmarkFile(TestSupport::testDataPath(u"bookmarks/not-bookmarks.html"_s));
        }));
        QCOMPARE(m_context->items().size(), imported);
        QVERIFY(m_state->currentError());
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
