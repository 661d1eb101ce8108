#pragma once

#include <QString>

// Settings keys and names of the Connections page, spelled as stored.
namespace ConnectionNames {

inline QString group()
{
    return QStringLiteral("Connections");
}
inline QString serverKey()
{
    return QStringLiteral("server");
}
inline QString hostKey()
{
    return QStringLiteral("host");
}
inline QString portKey()
{
    return QStringLiteral("port");
}
inline QString userKey()
{
    return QStringLiteral("user");
}
inline QString passKey()
{
    return QStringLiteral("pass");
}
inline QString uptimeKey()
{
    return QStringLiteral("uptime");
}
inline QString enabledKey()
{
    return QStringLiteral("enabled");
}
inline QString secureKey()
{
    return QStringLiteral("isSSLUsed");
}
inline QString headersKey()
{
    return QStringLiteral("Layout/Connections/Headers");
}
inline QString splitterKey()
{
    return QStringLiteral("Layout/Connections/Splitter");
}

// The one-byte key the stored password bytes are XORed with.
const char kPasswordKey = 0x3c;
const int kDefaultPort = 51008;

// A workflow server installed on this machine: its system-wide settings
// name the folder of its preferences file.
inline QString localServerOrganization()
{
    return QStringLiteral("Marvolt Software");
}
inline QString localServerApplication()
{
    return QStringLiteral("TORVALE") + QStringLiteral(" Server");
}
inline QString localServerFolderKey()
{
    return QStringLiteral("SettingsFolder");
}
inline QString localServerFileName()
{
    return QStringLiteral("settingsNew.xml");
}
inline QString localServerHost()
{
    return QStringLiteral("localhost");
}
inline QString localServerUser()
{
    return QStringLiteral("user");
}

} // namespace ConnectionNames
