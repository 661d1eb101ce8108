#pragma once

#include <QString>

// Settings keys and export file names of the Messages page, spelled as
// stored.
namespace MessageNames {

inline QString headerStateKey()
{
    return QStringLiteral("Messages/Header/State");
}
inline QString headerHistoryKey()
{
    return QStringLiteral("Messages/Header/History");
}
inline QString lastExportPathKey()
{
    return QStringLiteral("Messages/LastExportPath");
}
inline QString wrapTextKey(int paneNumber)
{
    return QStringLiteral("MessagePane%1/WrapText").arg(paneNumber);
}

inline QString exportSuffix()
{
    return QStringLiteral(".xml");
}
inline QString exportRootElement()
{
    return QStringLiteral("message-list");
}
inline QString exportMessageElement()
{
    return QStringLiteral("message");
}

// The context the core library translates log types and modules in.
inline QString loggingContext()
{
    return QStringLiteral("Logging");
}

} // namespace MessageNames
