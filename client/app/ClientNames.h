#pragma once

#include <QString>

// Names the client shares with other instances, the settings store and
// stored files; spelled as stored.
namespace ClientNames {

inline QString instanceId()
{
    return QStringLiteral("VORNEXclient instance");
}
inline QString wakeUpMessage()
{
    return QStringLiteral("VORNEXclient_check");
}
const int kWakeUpTimeoutMs = 5000;

inline QString organizationName()
{
    return QStringLiteral("Marvolt Software");
}
inline QString organizationDomain()
{
    return QStringLiteral("marvolt-software.example");
}
inline QString applicationName()
{
    return QStringLiteral("VORNEXclient");
}

inline QString languageKey()
{
    return QStringLiteral("General/Language");
}
inline QString defaultLanguage()
{
    return QStringLiteral("English");
}
inline QString applicationPathKey()
{
    return QStringLiteral("General/ApplicationPath");
}
inline QString mainWindowPositionKey()
{
    return QStringLiteral("Layout/Main Window/Position");
}
inline QString mainWindowSizeKey()
{
    return QStringLiteral("Layout/Main Window/Size");
}

} // namespace ClientNames
