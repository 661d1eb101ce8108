#include "ClientNames.h"
#include "InstanceLock.h"
#include "LanguageSupport.h"
#include "MainWindow.h"
#include "QtSingleWinApplication.h"
#include "SplashScreen.h"
#include "StaleFiles.h"

#include <QSettings>
#include <QStringList>

#include <csignal>

int main(int argc, char *argv[])
{
    // A server that closes its end mid-transfer must fail that call, not end
    // the program.
    std::signal(SIGPIPE, SIG_IGN);

    QtSingleWinApplication app(ClientNames::instanceId(), argc, argv);
    // The lock decides, whatever folder the channel lives in for this start;
    // the channel only wakes the running client.
    InstanceLock lock(InstanceLock::defaultPath());
    const InstanceLock::State held = lock.take();
    if (held == InstanceLock::State::HeldElsewhere) {
        app.sendMessage(ClientNames::wakeUpMessage(), ClientNames::kWakeUpTimeoutMs);
        return 0;
    }
    if (app.sendMessage(ClientNames::wakeUpMessage(), ClientNames::kWakeUpTimeoutMs))
        return 0;
    const bool onlyInstance = app.initialize(true);
    if (!onlyInstance) {
        // Another instance took the channel since the message above.
        if (app.sendMessage(ClientNames::wakeUpMessage(), ClientNames::kWakeUpTimeoutMs))
            return 0;
    }

    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setOrganizationDomain(ClientNames::organizationDomain());
    QCoreApplication::setApplicationName(ClientNames::applicationName());
    // The only instance of the user's: nothing left in the folders is in
    // use any more. Without the lock the channel alone cannot tell a client
    // whose channel lives elsewhere, so nothing is cleaned then.
    if (held == InstanceLock::State::Taken)
        StaleFiles::startCleaning();

    const QString language
        = QSettings().value(ClientNames::languageKey(), ClientNames::defaultLanguage()).toString();
    Client::setupLanguage(ClientNames::applicationName(), language,
        { QStringLiteral("Common*.qm"), QStringLiteral("GuiCommon*.qm"), QStringLiteral("Client*.qm") });

    auto *splash = new SplashScreen;
    splash->show();

    auto *window = new MainWindow;
    app.setMainWindow(window);
    QObject::connect(&app, &QApplication::lastWindowClosed, window, &MainWindow::OnLastWindowClosed);
    window->show();

    splash->finish(window);
    delete splash;

    app.exec();
    delete window;
    StaleFiles::wait();
    return 0;
}
