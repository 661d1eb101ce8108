#pragma once

#include "QtSingleApplication.h"

#include <QPointer>

class MainWindow;

// The program's application object. Besides being the single instance it
// carries the window command that opens the preferences.
class QtSingleWinApplication : public QtSingleApplication
{
    Q_OBJECT

public:
    using QtSingleApplication::QtSingleApplication;

    static constexpr unsigned kSysCommandMessage = 0x112;
    static constexpr quintptr kPreferencesCommand = 0xE001;

    // The command's label, the same in every language.
    static QString preferencesCommandText();

    // Exactly the preferences command: no masking of the low bits.
    static bool isPreferencesCommand(unsigned message, quintptr wParam);

    void setMainWindow(MainWindow *window);
    MainWindow *mainWindow() const;

    // Opens the preferences for the preferences command once the main window
    // exists. Returns false: the command is never swallowed.
    bool systemCommand(unsigned message, quintptr wParam);

private:
    QPointer<MainWindow> m_mainWindow;
};
