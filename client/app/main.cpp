#include "ClientNames.h"
#include "DataFolder.h"
#include "InstanceLock.h"
#include "LanguageSupport.h"
#include "MainWindow.h"
#include "QtSingleWinApplication.h"
#include "ShellSupport.h"
#include "SplashScreen.h"
#include "StaleFiles.h"
#include "StartWait.h"

#include <QDir>
#include <QSettings>
#include <QStringList>

#include <csignal>

namespace {

void installLanguage()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    const QString language
        = QSettings().value(ClientNames::languageKey(), ClientNames::defaultLanguage()).toString();
    Client::setupLanguage(ClientNames::applicationName(), language,
        { QStringLiteral("Common*.qm"), QStringLiteral("GuiCommon*.qm"), QStringLiteral("Client*.qm") });
}

} // namespace

int main(int argc, char *argv[])
{
    // A server that closes its end mid-transfer must fail that call, not end
    // the program.
    std::signal(SIGPIPE, SIG_IGN);

    QtSingleWinApplication app(ClientNames::instanceId(), argc, argv);
    // Names only: a start that ends here writes nothing.
    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setOrganizationDomain(ClientNames::organizationDomain());
    QCoreApplication::setApplicationName(ClientNames::applicationName());

    // The locks decide, whatever folder the channel lives in for this start;
    // the channel only wakes the running client.
    InstanceLock lock(InstanceLock::defaultPaths());
    InstanceLock::State held = lock.take();
    while (held == InstanceLock::State::HeldElsewhere) {
        installLanguage();
        switch (StartWait(app, lock).run()) {
        case StartWait::Outcome::Woken:
        case StartWait::Outcome::Cancelled:
            return 0;
        case StartWait::Outcome::TimedOut:
            return 1;
        case StartWait::Outcome::Free:
            // Another start that waited alongside may have been quicker.
            held = lock.take();
            break;
        }
    }
    if (app.sendMessage(ClientNames::wakeUpMessage(), ClientNames::kWakeUpTimeoutMs))
        return 0;
    const bool onlyInstance = app.initialize(true);
    if (!onlyInstance) {
        // Another instance took the channel since the message above.
        if (app.sendMessage(ClientNames::wakeUpMessage(), ClientNames::kWakeUpTimeoutMs))
            return 0;
    }
    lock.publishChannel(app.serverName());
    // Stopped first when the window closes: a start during the shutdown then
    // waits for this process to end instead of waking a closing window.
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QtSingleApplication::stopListening);

    // What the held locks guard is no longer in use. Without a lock no one
    // can tell a client whose channel lives elsewhere, so nothing is cleaned
    // there.
    StaleFiles::startCleaning(lock.holds(InstanceLock::dataFolderLockPath())
            ? Client::DataFolder::location(Client::appDataFolder())
            : QString(),
        lock.holds(InstanceLock::tempFolderLockPath()) ? QDir::tempPath() : QString());

    installLanguage();

    auto *splash = new SplashScreen;
    splash->show();

    auto *window = new MainWindow;
    app.setMainWindow(window);
    QObject::connect(&app, &QApplication::lastWindowClosed, window, &MainWindow::OnLastWindowClosed);
    window->show();

    splash->finish(window);
    delete splash;

    app.exec();
    app.stopListening();
    delete window;
    StaleFiles::wait();
    return 0;
}
