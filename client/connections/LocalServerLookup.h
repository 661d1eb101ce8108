#pragma once

#include <QString>
#include <QStringList>

namespace Client {

// Finds what a workflow server installed on this machine announces: its
// system-wide settings name a folder whose preferences file holds the port
// of its web service. Nothing found is no error.
class LocalServerLookup
{
public:
    // The preferences file named by the system-wide settings; empty when
    // there is none.
    static QString preferencesFile();

    // The values of the file's web service port preferences, in file
    // order, as written; empty for a missing, unreadable or malformed file
    // or one with another root element.
    static QStringList portValues(const QString &path);

    // The port a value names, 0 unless it is a decimal number from 1 to 65535.
    static int parsePort(const QString &value);
};

} // namespace Client
