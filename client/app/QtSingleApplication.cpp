#include "QtSingleApplication.h"

#include "LocalPeer.h"

#include <QMainWindow>
#include <QWidget>

QtSingleApplication::QtSingleApplication(const QString &id, int &argc, char **argv)
    : QApplication(argc, argv)
    , m_peer(new LocalPeer(id, this))
{
    connect(m_peer, &LocalPeer::messageReceived, this, &QtSingleApplication::messageReceived);
}

QtSingleApplication::~QtSingleApplication() = default;

QString QtSingleApplication::id() const
{
    return m_peer->id();
}

bool QtSingleApplication::isRunning() const
{
    return m_peer->isClient();
}

bool QtSingleApplication::initialize(bool activate)
{
    if (activate && !m_activateOnMessage) {
        m_activateOnMessage = true;
        connect(this, &QtSingleApplication::messageReceived, this, &QtSingleApplication::activateMainWidget);
    }
    return m_peer->listen();
}

bool QtSingleApplication::sendMessage(const QString &message, int timeoutMs) const
{
    return m_peer->sendMessage(message, timeoutMs);
}

bool QtSingleApplication::sendMessageTo(const QString &serverName, const QString &message, int timeoutMs)
{
    return LocalPeer::deliver(serverName, message, timeoutMs);
}

QString QtSingleApplication::serverName() const
{
    return m_peer->serverName();
}

void QtSingleApplication::stopListening()
{
    m_peer->close();
}

void QtSingleApplication::setActivationWindow(QWidget *window)
{
    m_window = window;
}

QWidget *QtSingleApplication::activationWindow() const
{
    if (m_window)
        return m_window;
    const QWidgetList windows = topLevelWidgets();
    for (QWidget *window : windows) {
        if (qobject_cast<QMainWindow *>(window))
            return window;
    }
    return nullptr;
}

void QtSingleApplication::activateMainWidget()
{
    QWidget *window = activationWindow();
    // A window not shown yet is still being built; showing it here would
    // show it half made.
    if (!window || window->isHidden())
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}
