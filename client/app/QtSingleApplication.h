#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>

class LocalPeer;
class QWidget;

// An application of which one instance runs per user: a later start can
// hand the running one a message (and so wake it) instead of starting.
class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    QtSingleApplication(const QString &id, int &argc, char **argv);
    ~QtSingleApplication() override;

    QString id() const;

    // True when another instance with this id answers.
    bool isRunning() const;

    // Makes this process the running instance. With activate, every message
    // that arrives brings the activation window forward. False when another
    // instance already runs (or no private place for the channel exists).
    bool initialize(bool activate = true);

    bool sendMessage(const QString &message, int timeoutMs = 5000) const;
    // To an instance whose channel lives elsewhere.
    static bool sendMessageTo(const QString &serverName, const QString &message, int timeoutMs);
    // Where this instance listens (or would).
    QString serverName() const;

    // The window that a message brings forward; by default the first
    // top-level main window.
    void setActivationWindow(QWidget *window);
    QWidget *activationWindow() const;

public slots:
    // Restores the window when minimised, raises and activates it.
    void activateMainWidget();
    // A closing instance is no longer found: a start meanwhile waits for it
    // to end instead of waking it.
    void stopListening();

signals:
    void messageReceived(const QString &message);

private:
    LocalPeer *m_peer;
    QPointer<QWidget> m_window;
    bool m_activateOnMessage = false;
};
