#pragma once

#include <QString>
#include <QStringList>

namespace testserver {

// Announces a running server as one installed on this machine, the way a
// real installation does: system-wide settings ("Marvolt Software" /
// "TORVALE Server", key "SettingsFolder") naming a folder whose
// "settingsNew.xml" holds the web service port. The settings go into
// `configDir`, a folder that XDG_CONFIG_DIRS of the clients to find it
// must start with; nothing is written anywhere else.
class LocalRegistration
{
public:
    LocalRegistration() = default;
    ~LocalRegistration(); // withdraws
    LocalRegistration(const LocalRegistration &) = delete;
    LocalRegistration &operator=(const LocalRegistration &) = delete;

    bool announce(const QString &configDir, quint16 port);
    // Removes the files announce() wrote.
    void withdraw();
    QString errorString() const { return m_error; }
    QString settingsFile() const;
    QString preferencesFile() const;

private:
    QString m_configDir;
    QStringList m_written;
    QString m_error;
};

} // namespace testserver
