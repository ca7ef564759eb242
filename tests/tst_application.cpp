#include "app/AppState.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/settings/SettingsWindow.h"

#include <QApplication>
#include <QDialog>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestApplication : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void startShowsTheMainWindowAndRunsTheDeferredStep()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        AppState state;
        Application app(ctx.get(), &state);
        QSignalSpy deferred(&app, &Application::deferredStartup);
        app.start();
        MainWindow* main = app.mainWindow();
        QVERIFY(main && main->isVisible());
        QCOMPARE(main->windowTitle(), u"Folionest"_s);
        QCOMPARE(main->objectName(), u"main"_s);
        QCOMPARE(main->size(), QSize(1200, 800));
        QVERIFY(app.isAdopted(main));
        // The offscreen platform has no tray: closing the last window quits.
        QCOMPARE(app.trayIcon(), nullptr);
        QVERIFY(QApplication::quitOnLastWindowClosed());
        QVERIFY(deferred.wait(2000));
        QCOMPARE(deferred.size(), 1);

        SettingsWindow* settings = app.showSettingsWindow();
        QCOMPARE(settings->windowTitle(), u"Settings"_s);
        QCOMPARE(settings->size(), QSize(560, 480));

        // Closing and reopening gives a fresh main window.
        QVERIFY(main->close());
        QTRY_VERIFY(app.mainWindow() == nullptr);
        QVERIFY(app.showMainWindow()->isVisible());
    }

    void recordedErrorsAreShown()
    {
        struct Recording final : Dialogs {
            QStringList shown;
            QString openFile(QWidget*, const QString&, const QStringList&) override { return {}; }
            bool confirm(QWidget*, const QString&, const QString&, const QString&) override { return false; }
            void showError(QWidget*, const QString& title, const QString& text) override { shown << title << text; }
        };
        auto recording = std::make_unique<Recording>();
        Recording* dialogs = recording.get();
        Dialogs::setCurrent(std::move(recording));
        TestSupport::TempContainer container;
        auto ctx = container.open();
        AppState state;
        Application app(ctx.get(), &state);
        state.showError(AppError::importError(u"bad file"_s));
        QTRY_COMPARE(dialogs->shown,
                     (QStringList{u"Import Error: bad file"_s, u"Ensure the file format is correct."_s}));
        QVERIFY(!state.showErrorAlert());
        Dialogs::setCurrent(nullptr);
    }

    void launchSequenceFindsTheMainWindowAndSkipsPanels()
    {
        QWidget other;
        other.setWindowTitle(u"Other"_s);
        other.show();
        QDialog panel;
        panel.setWindowTitle(u"Folionest"_s);
        panel.show();
        QWidget byName;
        byName.setObjectName(u"scene-main-1"_s); // the identifier contains "main"
        byName.setWindowTitle(u"Library"_s);
        byName.show();
        QApplication::setActiveWindow(&other);
        Application::bringMainWindowToFront();
        QTRY_COMPARE(QApplication::activeWindow(), &byName);

        TestSupport::TempContainer container;
        auto ctx = container.open();
        AppState state;
        Application app(ctx.get(), &state);
        app.adoptWindows();
        QVERIFY(app.isAdopted(&other));
        QVERIFY(app.isAdopted(&byName));
        QVERIFY(!app.isAdopted(&panel));
        QVERIFY(Application::isPanel(&panel));
    }
};

QTEST_MAIN(TestApplication)
#include "tst_application.moc"
