#include "LocalServerLookup.h"

#include "ConnectionNames.h"
#include "XMLValues.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace Client {

QString LocalServerLookup::preferencesFile()
{
    const QSettings system(QSettings::SystemScope, ConnectionNames::localServerOrganization(),
        ConnectionNames::localServerApplication());
    const QString folder = system.value(ConnectionNames::localServerFolderKey()).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QString();
    const QString path = QDir(folder).filePath(ConnectionNames::localServerFileName());
    return QFileInfo(path).isFile() ? path : QString();
}

QStringList LocalServerLookup::portValues(const QString &path)
{
    QStringList values;
    if (path.isEmpty())
        return values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QDomDocument document;
    if (!document.setContent(&file, true))
        return values;
    const QDomElement root = document.documentElement();
    if (root.tagName() != Tamsor::XMLKey::UP_USERPREFERENCES)
        return values;
    for (QDomElement group = root.firstChildElement(Tamsor::XMLKey::UP_GROUP); !group.isNull();
         group = group.nextSiblingElement(Tamsor::XMLKey::UP_GROUP)) {
        for (QDomElement preference = group.firstChildElement(Tamsor::XMLKey::UP_USERPREFERENCE);
             !preference.isNull();
             preference = preference.nextSiblingElement(Tamsor::XMLKey::UP_USERPREFERENCE)) {
            if (preference.attribute(Tamsor::XMLKey::UP_QSETTINGSKEY) == Tamsor::XMLValues::UP_IC_OMBRELPORT)
                values.append(preference.firstChild().nodeValue());
        }
    }
    return values;
}

int LocalServerLookup::parsePort(const QString &value)
{
    bool ok = false;
    const uint port = value.trimmed().toUInt(&ok, 10);
    return ok && port >= 1 && port <= 65535 ? int(port) : 0;
}

} // namespace Client
