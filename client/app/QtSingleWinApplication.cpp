#include "QtSingleWinApplication.h"

#include "MainWindow.h"

QString QtSingleWinApplication::preferencesCommandText()
{
    return QStringLiteral("Preferences");
}

bool QtSingleWinApplication::isPreferencesCommand(unsigned message, quintptr wParam)
{
    return message == kSysCommandMessage && wParam == kPreferencesCommand;
}

void QtSingleWinApplication::setMainWindow(MainWindow *window)
{
    m_mainWindow = window;
    setActivationWindow(window);
}

MainWindow *QtSingleWinApplication::mainWindow() const
{
    return m_mainWindow;
}

bool QtSingleWinApplication::systemCommand(unsigned message, quintptr wParam)
{
    if (isPreferencesCommand(message, wParam) && m_mainWindow)
        m_mainWindow->editPreferences();
    return false;
}
