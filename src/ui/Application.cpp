#include "Application.h"

#include "Dialogs.h"
#include "MainWindow.h"

#include "app/AppNotifications.h"
#include "app/AppState.h"
#include "settings/SettingsWindow.h"

#include "platform/NewItemsSignal.h"
#include "platform/Symbols.h"
#include "services/intake/PendingShare.h"
#include "store/ModelContext.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtConcurrent>

#include <cstdio>

using namespace Qt::StringLiterals;

Application::Application(ModelContext* context, AppState* state, QObject* parent)
    : QObject(parent), m_context(context), m_state(state)
{
    // An error recorded in the shared state is shown in the frontmost window.
    connect(state, &AppState::showErrorAlertChanged, this, [this] {
        if (!m_state->showErrorAlert() || !m_state->currentError())
            return;
        QTimer::singleShot(0, this, [this] {
            if (!m_state->showErrorAlert() || !m_state->currentError())
                return;
            const AppError error = *m_state->currentError();
            QWidget* front = QApplication::activeWindow() ? QApplication::activeWindow()
                                                          : static_cast<QWidget*>(m_mainWindow.data());
            Dialogs::current().showError(front, error.description(), error.recoverySuggestion());
            m_state->setShowErrorAlert(false);
        });
    });
    connect(context, &ModelContext::saveFailed, this, &Application::reportSaveFailure);
    connect(context, &ModelContext::saved, this, [this] { m_saveFailureReported = false; });
    // Coming back to the window is when a user expects to see what the
    // command line did meanwhile.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState applicationState) {
        if (applicationState == Qt::ApplicationActive)
            m_context->refreshFromStore();
    });
}

void Application::reportSaveFailure(const QString& error)
{
    if (m_saveFailureReported)
        return;
    m_saveFailureReported = true;
    // Outside the save that failed: the alert runs its own event loop.
    QTimer::singleShot(0, this, [this, error] {
        // The operation that saved reports its own failure (an import, "Delete
        // All Data"): one alert, not two.
        if (m_state->showErrorAlert())
            return;
        const QString pending = m_context->pendingChangesDescription();
        const QString text = pending.isEmpty()
                                 ? error
                                 : u"Your changes to %1 were not saved. They are kept and saved again with your next "
                                   u"change, or when Folionest quits.\n\n%2"_s.arg(pending, error);
        QWidget* front =
            QApplication::activeWindow() ? QApplication::activeWindow() : static_cast<QWidget*>(m_mainWindow.data());
        Dialogs::current().showError(front, u"The library could not be saved"_s, text);
    });
}

void Application::pasteFromClipboard()
{
    // The item goes to the main window, which must be open to take it.
    showMainWindow(true);
    m_state->pasteFromClipboard();
}

void Application::activate(const QStringList& arguments)
{
    std::fprintf(stderr, "Folionest: another start on this library brought the window forward\n");
    m_context->refreshFromStore();
    share(arguments);
    showMainWindow(true);
}

// ---- Share intake ----

void Application::share(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return;
    // Copying files can take a while; the window stays responsive, and the
    // intake runs once everything is in the queue.
    const QString container = QFileInfo(m_context->storePath()).absolutePath();
    QtConcurrent::run([container, arguments] {
        QStringList failures;
        for (const QString& argument : arguments) {
            Result<PendingShare::Source> source = PendingShare::sourceFor(argument, QDir::rootPath());
            Result<QString> written =
                source ? PendingShare::write(container, source.value()) : Result<QString>::failure(source.error());
            if (!written)
                failures << written.error();
        }
        return failures;
    }).then(this, [this](const QStringList& failures) {
        Q_EMIT AppNotifications::instance().processPendingItems();
        if (!failures.isEmpty())
            Dialogs::current().showError(m_mainWindow, u"Some things could not be added"_s, failures.join(u'\n'));
    });
}

void Application::startSharedItemIntake()
{
    // Other programs announce what they shared with a session-bus signal;
    // the main window takes it in. What was shared while Folionest was not
    // running is taken in now.
    m_newItems = new NewItemsSignal(this);
    connect(m_newItems, &NewItemsSignal::received, this,
            [] { Q_EMIT AppNotifications::instance().processPendingItems(); });
    if (!m_newItems->subscribe())
        std::fprintf(stderr, "Folionest: no session bus; shared items are taken in when the window comes forward\n");
    Q_EMIT AppNotifications::instance().processPendingItems();
}

Application::~Application()
{
    // Quitting with the window open keeps how it was left.
    if (m_mainWindow && m_mainWindow->isVisible())
        m_mainWindow->saveWindowState();
    delete m_mainWindow;
    delete m_settingsWindow;
    delete m_trayMenu;
}

void Application::start()
{
    createTray();
    // Without a tray nothing could bring a closed window back, so closing the
    // last window quits.
    QApplication::setQuitOnLastWindowClosed(m_tray == nullptr);

    showMainWindow(true);
    // Saves run on a writer thread, so a large one never freezes the window.
    m_context->setBackgroundSaving(true);
    m_context->watchStore(kWatchIntervalMs);
    if (m_context->isReadOnly()) {
        QTimer::singleShot(0, this, [this] {
            Dialogs::current().showError(
                m_mainWindow, u"Read-Only Library"_s,
                u"The library “%1” can only be read: its file or folder cannot be written by you. You can browse and "
                u"search it, but changes are not saved."_s.arg(m_context->storePath()));
        });
    }

    QTimer::singleShot(kFirstFrontDelayMs, this, &Application::bringMainWindowToFront);
    QTimer::singleShot(kSecondFrontDelayMs, this, &Application::bringMainWindowToFront);
    adoptWindows();
    QTimer::singleShot(kAdoptAgainDelayMs, this, &Application::adoptWindows);
    QTimer::singleShot(kDeferredStartupDelayMs, this, &Application::deferredStartup);
    // After the other start-up work connected before start().
    connect(this, &Application::deferredStartup, this, &Application::startSharedItemIntake);
}

void Application::createTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayMenu = new QMenu;
    m_trayMenu->setObjectName(u"trayMenu"_s);
    QAction* paste = m_trayMenu->addAction(u"Paste from Clipboard"_s, this, &Application::pasteFromClipboard);
    paste->setShortcut(QKeySequence(u"Ctrl+Shift+V"_s));
    QAction* show = m_trayMenu->addAction(u"Show Folionest"_s, this, [this] { showMainWindow(true); });
    show->setShortcut(QKeySequence(u"Ctrl+1"_s));
    QAction* settings = m_trayMenu->addAction(u"Settings..."_s, this, [this] { showSettingsWindow(true); });
    settings->setShortcut(QKeySequence(u"Ctrl+,"_s));
    m_trayMenu->addSeparator();
    QAction* quit = m_trayMenu->addAction(u"Quit Folionest"_s, qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence(u"Ctrl+Q"_s));

    m_tray = new QSystemTrayIcon(Symbols::icon(u"bookmark.fill"_s), this);
    m_tray->setToolTip(u"Folionest"_s);
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            showMainWindow(true);
    });
    m_tray->show();
}

MainWindow* Application::showMainWindow(bool activate)
{
    if (!m_mainWindow) {
        m_mainWindow = new MainWindow(m_context, m_state);
        m_mainWindow->setAttribute(Qt::WA_DeleteOnClose);
        // The window comes back as it was left; the sidebar's row only at
        // the start of a run (a window opened again starts at All Items).
        m_mainWindow->restoreWindowState(!m_restoredSidebarRow);
        m_restoredSidebarRow = true;
        connect(m_mainWindow, &MainWindow::settingsRequested, this, [this] { showSettingsWindow(true); });
        connect(m_mainWindow, &MainWindow::aboutRequested, this, [this] {
            QMessageBox::about(m_mainWindow, u"About Folionest"_s,
                               u"Folionest %1\n\nA privacy-first reference library: everything stays on this "
                               u"computer."_s.arg(QApplication::applicationVersion()));
        });
        Q_EMIT mainWindowCreated(m_mainWindow);
    }
    m_mainWindow->show();
    if (activate) {
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
    return m_mainWindow;
}

SettingsWindow* Application::showSettingsWindow(bool activate)
{
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(m_context, m_state);
        m_settingsWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_settingsWindow->show();
    if (activate) {
        m_settingsWindow->raise();
        m_settingsWindow->activateWindow();
    }
    return m_settingsWindow;
}

bool Application::isPanel(const QWidget* window)
{
    if (qobject_cast<const QDialog*>(window))
        return true;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Dialog || type == Qt::Sheet || type == Qt::Popup || type == Qt::Tool || type == Qt::ToolTip;
}

void Application::bringMainWindowToFront()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (isPanel(window) || !window->isVisible())
            continue;
        if (window->windowTitle() == u"Folionest" || window->objectName().contains(u"main")) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
}

void Application::adoptWindows()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (isPanel(window) || isAdopted(window))
            continue;
        window->setProperty("folionestAdopted", true);
        window->installEventFilter(this);
    }
}

bool Application::isAdopted(const QWidget* window) const
{
    return window->property("folionestAdopted").toBool();
}

bool Application::eventFilter(QObject* watched, QEvent* event)
{
    // Every adopted window may close; the process lives on while the tray
    // icon exists.
    if (event->type() == QEvent::Close)
        return false;
    return QObject::eventFilter(watched, event);
}
