#include "MainWindow.h"

#include "CheckPointPage.h"
#include "ClientNames.h"
#include "ConnectionPage.h"
#include "DataFolder.h"
#include "FileHandler.h"
#include "LanguageSupport.h"
#include "ListPageSelection.h"
#include "MessagePage.h"
#include "MessageView.h"
#include "PreferencesDialog.h"
#include "ProgressPage.h"
#include "QtSingleWinApplication.h"
#include "ShellSupport.h"
#include "SplashScreen.h"
#include "StatusLine.h"
#include "SubmitPage.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLayout>
#include <QScreen>
#include <QSettings>

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    prepareDataFolder();
    buildWindow();
    restoreWindowGeometry();
}

MainWindow::~MainWindow() = default;

void MainWindow::prepareDataFolder()
{
    // The settings hold the scrambled passwords: private before the first
    // value is written.
    if (!Tamsor::FileHandler::makePrivateFile(QSettings().fileName()))
        qWarning("The settings file could not be made private to this user.");
    const QString folder
        = Client::DataFolder::prepare(Client::appDataFolder(), Client::commonAppDataFolder());
    if (folder.isEmpty())
        qWarning("The client's data folder could not be made; server data will not be cached.");
    QSettings().setValue(ClientNames::applicationPathKey(), folder);
}

void MainWindow::buildWindow()
{
    m_serverProxy = ServerProxyPtr(new ServerProxy);

    m_aboutAction = new QAction(tr("&About VORNEXclient"), this);
    m_helpIndexAction = new QAction(tr("Help &Index"), this);
    // No window menu carries it here: it sits in the page list's context
    // menu and answers the desktop's Preferences shortcut. Its label is the
    // same in every language.
    m_preferencesAction = new QAction(QtSingleWinApplication::preferencesCommandText(), this);
    QList<QKeySequence> shortcuts = QKeySequence::keyBindings(QKeySequence::Preferences);
    if (shortcuts.isEmpty())
        shortcuts.append(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_preferencesAction->setShortcuts(shortcuts);
    addAction(m_preferencesAction);

    m_pageList = new Client::ListPageSelection(this);
    // Made before the Progress page, listed after it.
    m_messagePage = new Client::MessagePage(m_serverProxy);
    m_pageList->addPage(new Client::ConnectionPage(m_serverProxy), nullptr, tr("Connections"),
        QIcon(QStringLiteral(":/Dovelin/Images/img_Connections_32.png")));
    m_pageList->addPage(new Client::SubmitPage(m_serverProxy), nullptr, tr("Submit Points"),
        QIcon(QStringLiteral(":/Dovelin/Images/img_SubmitPoints_32.png")));
    m_pageList->addPage(new Client::CheckPointPage(m_serverProxy), nullptr, tr("Checkpoints"),
        QIcon(QStringLiteral(":/Dovelin/Images/img_Checkpoints_32.png")));
    m_pageList->addPage(new Client::ProgressPage(m_serverProxy), nullptr, tr("Progress"),
        QIcon(QStringLiteral(":/Dovelin/Images/img_Progress_32.png")));
    m_pageList->addPage(
        m_messagePage, nullptr, tr("Messages"), QIcon(QStringLiteral(":/Dovelin/Images/img_Logs_32.png")));
    m_pageList->addPage(
        nullptr, m_helpIndexAction, tr("Help"), QIcon(QStringLiteral(":/Dovelin/Images/img_Help_32.png")));
    m_pageList->addPage(
        nullptr, m_aboutAction, tr("About"), QIcon(QStringLiteral(":/Dovelin/Images/img_About_32.png")));
    m_pageList->addContextAction(m_preferencesAction);
    // Under the whole row of page list and page.
    if (QLayout *layout = m_pageList->layout()) {
        m_statusLine = new Client::StatusLine(m_serverProxy, m_pageList);
        layout->addWidget(m_statusLine);
    }

    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::helpAboutClick);
    connect(m_helpIndexAction, &QAction::triggered, this, &MainWindow::helpIndexClick);
    connect(m_preferencesAction, &QAction::triggered, this, &MainWindow::editPreferences);

    setCentralWidget(m_pageList);
    m_pageList->selectFirstPage();
    setWindowTitle(tr("VORNEXclient"));
}

void MainWindow::restoreWindowGeometry()
{
    const QSettings settings;
    const QVariant position = settings.value(ClientNames::mainWindowPositionKey());
    const QSize size = settings.value(ClientNames::mainWindowSizeKey()).toSize();
    const QScreen *screen = QGuiApplication::primaryScreen();
    // A position off the primary screen (a monitor since removed), or one
    // without a usable size, would open the window where it cannot be seen
    // or used.
    if (screen && position.isValid() && screen->geometry().contains(position.toPoint(), true)
        && size.isValid() && !size.isEmpty()) {
        // A size from a larger monitor would put the form and its buttons
        // off this one: fitted to what the screen has room for.
        const QRect room = screen->availableGeometry();
        QRect fitted(position.toPoint(), size.boundedTo(room.size()));
        fitted.moveRight(qMin(fitted.right(), room.right()));
        fitted.moveBottom(qMin(fitted.bottom(), room.bottom()));
        fitted.moveLeft(qMax(fitted.left(), room.left()));
        fitted.moveTop(qMax(fitted.top(), room.top()));
        move(fitted.topLeft());
        resize(fitted.size());
    } else {
        // The normal geometry is what un-maximising returns to, and all a
        // desktop without a window manager shows.
        if (screen)
            setGeometry(screen->availableGeometry());
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void MainWindow::editPreferences()
{
    PreferencesDialog dialog(this);
    dialog.exec();
}

void MainWindow::helpAboutClick()
{
    SplashScreen about(this);
    about.exec();
}

void MainWindow::helpIndexClick()
{
    const QString name = tr("vornex_help.htm");
    const QFileInfo help = Client::findDocument(name);
    if (!help.exists()) {
        // Without any language pack there is not even a folder to name.
        const QString shown = help.filePath().isEmpty() ? name : QDir::toNativeSeparators(help.filePath());
        Client::showWarning(this, tr("The help file %1 is missing.").arg(shown));
        return;
    }
    Client::openWithShell(this, help);
}

void MainWindow::OnLastWindowClosed()
{
    if (m_messagePage)
        m_messagePage->view()->storeSettings();
    m_serverProxy->closeAllConnections();
    QSettings settings;
    settings.setValue(ClientNames::mainWindowPositionKey(), pos());
    settings.setValue(ClientNames::mainWindowSizeKey(), size());
}
