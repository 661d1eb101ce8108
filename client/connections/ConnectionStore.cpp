#include "ConnectionStore.h"

#include "ConnectionNames.h"
#include "ConnectionTableModel.h"
#include "FileHandler.h"
#include "ServerProxy.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace Client {

namespace {

// The file holds the scrambled passwords: nobody but its owner may read
// it. Settings files are replaced on every write with the permissions of
// the file they replace, so this sticks once it is done.
void restrictToOwner(const QSettings &settings)
{
    Tamsor::FileHandler::makePrivateFile(settings.fileName());
}

} // namespace

QByteArray ConnectionStore::scramble(const QString &password)
{
    QByteArray bytes = password.toUtf8();
    for (char &byte : bytes)
        byte = char(byte ^ ConnectionNames::kPasswordKey);
    return bytes;
}

QString ConnectionStore::unscramble(const QByteArray &stored)
{
    QByteArray bytes = stored;
    for (char &byte : bytes)
        byte = char(byte ^ ConnectionNames::kPasswordKey);
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromUtf8(bytes);
}

QStringList ConnectionStore::orderedGroups(const QStringList &groups)
{
    QList<QPair<uint, QString>> numbered;
    QStringList others;
    for (const QString &name : groups) {
        bool ok = false;
        const uint number = name.toUInt(&ok, 10);
        if (ok)
            numbered.append({ number, name });
        else
            others.append(name);
    }
    std::stable_sort(numbered.begin(), numbered.end(),
        [](const QPair<uint, QString> &a, const QPair<uint, QString> &b) { return a.first < b.first; });
    std::sort(others.begin(), others.end());
    QStringList ordered;
    for (const auto &entry : std::as_const(numbered))
        ordered.append(entry.second);
    return ordered + others;
}

void ConnectionStore::save(const ServerProxy &proxy)
{
    QSettings settings;
    restrictToOwner(settings);
    settings.remove(ConnectionNames::group());
    settings.beginGroup(ConnectionNames::group());
    const int count = proxy.getConnectionCount();
    for (int i = 0; i < count; ++i) {
        const ServerConnection *connection = proxy.getConnection(i);
        if (!connection)
            continue;
        const ServerConnection::ConnectionSettings edited = connection->settings();
        const QString reported = connection->serverName();
        settings.beginGroup(QString::number(i));
        settings.setValue(ConnectionNames::serverKey(), reported.isEmpty() ? edited.host : reported);
        settings.setValue(ConnectionNames::hostKey(), edited.host);
        settings.setValue(ConnectionNames::portKey(), edited.port);
        settings.setValue(ConnectionNames::userKey(), edited.user);
        settings.setValue(ConnectionNames::uptimeKey(), double(edited.uptime));
        settings.setValue(ConnectionNames::passKey(), scramble(edited.password));
        settings.setValue(ConnectionNames::enabledKey(), edited.enabled);
        settings.setValue(ConnectionNames::secureKey(), connection->isSecure());
        settings.endGroup();
    }
    settings.endGroup();
    settings.sync();
    restrictToOwner(settings);
}

QStringList ConnectionStore::load(ConnectionTableModel &model)
{
    QStringList endpoints;
    QSettings settings;
    settings.beginGroup(ConnectionNames::group());
    const QStringList groups = orderedGroups(settings.childGroups());
    // A file an earlier version left readable by others is put right now,
    // not only at the next save.
    if (!groups.isEmpty())
        restrictToOwner(settings);
    for (const QString &name : groups) {
        ServerConnection *connection = model.addConnection();
        if (!connection)
            continue;
        settings.beginGroup(name);
        const QString host = settings.value(ConnectionNames::hostKey()).toString();
        int port = settings.value(ConnectionNames::portKey(), 0).toInt();
        // A port no server can listen on makes the connection unusable
        // rather than pointing it somewhere else.
        if (port < 1 || port > 65535)
            port = 0;
        connection->setDisplayName(settings.value(ConnectionNames::serverKey()).toString());
        connection->setHost(host);
        endpoints.append(host + QLatin1Char(':') + QString::number(port));
        connection->setPort(port);
        connection->setUser(settings.value(ConnectionNames::userKey()).toString());
        connection->setUptime(settings.value(ConnectionNames::uptimeKey(), 0.0).toFloat());
        connection->setPassword(unscramble(settings.value(ConnectionNames::passKey()).toByteArray()));
        connection->setEnabled(settings.value(ConnectionNames::enabledKey(), false).toBool());
        connection->setSSLUsed(settings.value(ConnectionNames::secureKey(), false).toBool());
        settings.endGroup();
        connection->applySettings();
    }
    settings.endGroup();
    return endpoints;
}

} // namespace Client
