#include "LocalRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace testserver {

namespace {

const char kOrganization[] = "Marvolt Software";
const char kApplication[] = "TORVALE Server";

} // namespace

LocalRegistration::~LocalRegistration()
{
    withdraw();
}

QString LocalRegistration::settingsFile() const
{
    return QDir(m_configDir)
        .filePath(QLatin1String(kOrganization) + QLatin1Char('/') + QLatin1String(kApplication)
            + QLatin1String(".conf"));
}

QString LocalRegistration::preferencesFile() const
{
    return QDir(m_configDir).filePath(QLatin1String(kApplication) + QLatin1String("/settingsNew.xml"));
}

bool LocalRegistration::announce(const QString &configDir, quint16 port)
{
    withdraw();
    const QString absolute = QFileInfo(configDir).absoluteFilePath();
    // The machine's own system-wide settings are not ours to change.
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    for (const QString &path : { absolute, canonical }) {
        if (path == QLatin1String("/etc") || path.startsWith(QLatin1String("/etc/"))) {
            m_error = QStringLiteral("refusing to write under /etc: %1").arg(configDir);
            return false;
        }
    }
    m_configDir = absolute;
    const QString folder = QFileInfo(preferencesFile()).absolutePath();
    if (!QDir().mkpath(folder) || !QDir().mkpath(QFileInfo(settingsFile()).absolutePath())) {
        m_error = QStringLiteral("cannot make folders under %1").arg(m_configDir);
        return false;
    }

    QSaveFile preferences(preferencesFile());
    if (!preferences.open(QIODevice::WriteOnly | QIODevice::Text)) {
        m_error = preferences.errorString();
        return false;
    }
    preferences.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<UserPreferences>\n"
                                     "  <Group>\n"
                                     "    <UserPreference QSettingsKey=\"OmbrelPort\">%1</UserPreference>\n"
                                     "  </Group>\n"
                                     "</UserPreferences>\n")
                          .arg(port)
                          .toUtf8());
    if (!preferences.commit()) {
        m_error = preferences.errorString();
        return false;
    }
    m_written.append(preferencesFile());

    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SettingsFolder"), folder);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            m_error = QStringLiteral("cannot write %1").arg(settingsFile());
            withdraw();
            return false;
        }
    }
    m_written.append(settingsFile());
    return true;
}

void LocalRegistration::withdraw()
{
    for (const QString &path : std::as_const(m_written))
        QFile::remove(path);
    m_written.clear();
}

} // namespace testserver
