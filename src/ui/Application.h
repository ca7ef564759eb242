#pragma once

#include <QObject>
#include <QPointer>

#include "MainWindow.h"
#include "settings/SettingsWindow.h"

class AppState;
class MainWindow;
class NewItemsSignal;
class ModelContext;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class SettingsWindow;

// The desktop application around the library: its two windows, the tray
// icon, and the timed steps that run after launch.
class Application final : public QObject {
    Q_OBJECT

public:
    static constexpr int kFirstFrontDelayMs = 200;
    static constexpr int kSecondFrontDelayMs = 600;
    static constexpr int kAdoptAgainDelayMs = 1500;
    static constexpr int kDeferredStartupDelayMs = 300;
    // How often the window looks for other processes' changes to the library.
    static constexpr int kWatchIntervalMs = 250;

    Application(ModelContext* context, AppState* state, QObject* parent = nullptr);
    ~Application() override;

    // Shows the windows and the tray icon and schedules the launch steps.
    void start();

    // Opens the window of that scene, creating it when it is closed.
    MainWindow* showMainWindow(bool activate = true);
    SettingsWindow* showSettingsWindow(bool activate = true);
    MainWindow* mainWindow() const { return m_mainWindow; }
    SettingsWindow* settingsWindow() const { return m_settingsWindow; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    QMenu* trayMenu() const { return m_trayMenu; }

    // Raises the first non-panel window titled "Folionest" or whose object
    // name contains "main".
    static void bringMainWindowToFront();
    // Makes the application the close handler of every non-panel window.
    void adoptWindows();
    static bool isPanel(const QWidget* window);
    bool isAdopted(const QWidget* window) const;

    // Another start of the application on this library asked for the window,
    // with the files and addresses it was given.
    void activate(const QStringList& arguments);
    // Hands files and addresses (absolute paths or URLs) to the share intake.
    void share(const QStringList& arguments);
    // Opens the main window when it is closed, then adds what the clipboard holds.
    void pasteFromClipboard();

Q_SIGNALS:
    // 0.3 s after start: the place for the security launch check and the
    // cross-process observer.
    void deferredStartup();
    void mainWindowCreated(MainWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createTray();
    void startSharedItemIntake();
    void reportSaveFailure(const QString& error);

    ModelContext* m_context;
    AppState* m_state;
    QPointer<MainWindow> m_mainWindow;
    QPointer<SettingsWindow> m_settingsWindow;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    NewItemsSignal* m_newItems = nullptr;
    // A failing save is reported once, until a save succeeds again.
    bool m_saveFailureReported = false;
    bool m_restoredSidebarRow = false;
};
