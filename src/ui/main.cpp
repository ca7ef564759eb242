#include "Application.h"
#include "MainWindow.h"

#include "app/AppState.h"
#include "model/AppConstants.h"
#include "platform/ContainerPaths.h"
#include "platform/SingleInstance.h"
#include "services/security/SecurityService.h"
#include "store/ModelContext.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"vellumkeep"_s);
    QApplication::setApplicationName(u"Folionest"_s);
    QApplication::setApplicationDisplayName(u"Folionest"_s);
    QApplication::setApplicationVersion(AppConstants::appVersion());
    QApplication::setDesktopFileName(u"com.vellumkeep.Folionest"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Folionest, a privacy-first reference library."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption selfTest(u"self-test"_s, u"Start, show the main window, and quit."_s);
    parser.addOption(selfTest);
    parser.addPositionalArgument(u"files"_s, u"Files or web addresses to add to the library."_s, u"[FILE|URL...]"_s);
    parser.process(app);
    // "Open with Folionest" and a terminal hand over files and links; the
    // process that takes them may run in another folder.
    QStringList shared;
    for (const QString& argument : parser.positionalArguments()) {
        const QUrl url = QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
        shared << (url.isLocalFile() ? url.toLocalFile() : argument);
    }

    // An empty FOLIONEST_CONTAINER is refused, never taken as the personal library.
    const auto found = ContainerPaths::containerDirectory();
    if (!found) {
        std::fprintf(stderr, "Failed to initialize model container: %s\n", found.error().toLocal8Bit().constData());
        return 1;
    }
    const QString container = found.value();
    // One process per library: a second start hands over to the first.
    SingleInstance instance(container);
    switch (instance.claim()) {
    case SingleInstance::Claim::owner: break;
    case SingleInstance::Claim::noBus:
        std::fprintf(stderr, "Folionest: no session bus; not checking for another window on this library\n");
        break;
    case SingleInstance::Claim::alreadyRunning: {
        QString error;
        if (!instance.activateOwner(shared, &error)) {
            std::fprintf(stderr, "Folionest is already running on this library but does not answer: %s\n",
                         error.toLocal8Bit().constData());
            return 1;
        }
        std::printf("Folionest is already running on this library; its window was brought forward.\n");
        return 0;
    }
    }

    auto opened = ModelContext::open(ContainerPaths::storePath(container));
    if (!opened) {
        const QString message = u"Failed to initialize model container: "_s + opened.error();
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        const QString platform = QApplication::platformName();
        if (platform != u"offscreen" && platform != u"minimal" && !parser.isSet(selfTest))
            QMessageBox::critical(nullptr, u"Folionest"_s, message);
        return 1;
    }
    std::unique_ptr<ModelContext> context = std::move(opened).value();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, context.get(), [&context] {
        if (Status s = context->save(); !s)
            std::fprintf(stderr, "Failed to save the library: %s\n", s.error().toLocal8Bit().constData());
    });

    AppState state;
    state.observe(context.get());
    Application application(context.get(), &state);
    QObject::connect(&instance, &SingleInstance::activationRequested, &application, &Application::activate);
    QObject::connect(&application, &Application::deferredStartup, &application,
                     [] { (void)SecurityService::shared().prepareAtLaunch(); });
    application.start();
    application.share(shared);

    if (parser.isSet(selfTest)) {
        // Let the launch steps run, then check what a user would see.
        QTimer::singleShot(Application::kAdoptAgainDelayMs + 100, &app, [&] {
            MainWindow* window = application.mainWindow();
            const bool ok = window && window->isVisible() && window->windowTitle() == u"Folionest"
                            && window->objectName() == u"main";
            std::printf("self-test %s\n", ok ? "passed" : "failed");
            QApplication::exit(ok ? 0 : 2);
        });
    }
    return QApplication::exec();
}
