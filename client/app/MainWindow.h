#pragma once

#include "ServerProxy.h"

#include <QMainWindow>

class QAction;

namespace Client {
class ListPageSelection;
class MessagePage;
class StatusLine;
} // namespace Client

// The client's one top-level window: the page list with its pages, the
// per-user data folder, and the window's own position and size.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    Client::ListPageSelection *pageList() const { return m_pageList; }
    QAction *aboutAction() const { return m_aboutAction; }
    QAction *helpIndexAction() const { return m_helpIndexAction; }
    QAction *preferencesAction() const { return m_preferencesAction; }
    ServerProxyPtr serverProxy() const { return m_serverProxy; }
    Client::StatusLine *statusLine() const { return m_statusLine; }
    Client::MessagePage *messagePage() const { return m_messagePage; }

public slots:
    void editPreferences();
    void OnLastWindowClosed();

private slots:
    void helpAboutClick();
    void helpIndexClick();

private:
    void prepareDataFolder();
    void buildWindow();
    void restoreWindowGeometry();

    ServerProxyPtr m_serverProxy;
    QAction *m_aboutAction = nullptr;
    QAction *m_helpIndexAction = nullptr;
    QAction *m_preferencesAction = nullptr;
    Client::ListPageSelection *m_pageList = nullptr;
    Client::StatusLine *m_statusLine = nullptr;
    Client::MessagePage *m_messagePage = nullptr;
};
