#include "SavedSubmissions.h"

#include "SubmitStatus.h"
#include "SubmittedFile.h"

#include <QSettings>

#include <algorithm>

namespace {

const QString organization = QStringLiteral("Marvolt Software");
const QString application = QStringLiteral("VORNEXclient");
const QString rootGroup = QStringLiteral("Submittions");

const QString jobNameKey = QStringLiteral("job name");
const QString isFileKey = QStringLiteral("isFile");
const QString pathKey = QStringLiteral("path");
const QString statusKey = QStringLiteral("job status");
const QString userKey = QStringLiteral("user");
const QString metadataGroup = QStringLiteral("Metadata");
const QString dataFormatKey = QStringLiteral("DataFormat");
const QString dataTypeKey = QStringLiteral("DataType");
const QString descriptionKey = QStringLiteral("Description");
const QString labelKey = QStringLiteral("Label");
const QString rememberKey = QStringLiteral("RememberLastValue");
const QString valueKey = QStringLiteral("Value");
const QString requiredKey = QStringLiteral("ValueIsRequired");
const QString keyKey = QStringLiteral("_key");

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, organization, application);
}

// Child groups that are job numbers, in numeric order.
QList<int> jobNumbers(QSettings &settings)
{
    QList<int> numbers;
    const QStringList groups = settings.childGroups();
    for (const QString &group : groups) {
        bool ok = false;
        const int number = group.toInt(&ok, 10);
        if (ok && number >= 0)
            numbers.append(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// "a:b" into its two parts; false unless there are exactly two, both set.
bool splitPair(const QString &text, QString &first, QString &second)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty())
        return false;
    first = parts[0];
    second = parts[1];
    return true;
}

// "host:port" read from the right: an IPv6 host holds ':' itself.
bool splitConnection(const QString &text, QString &host, int &port)
{
    const int cut = text.lastIndexOf(QLatin1Char(':'));
    if (cut <= 0)
        return false;
    bool ok = false;
    port = text.mid(cut + 1).toInt(&ok, 10);
    host = text.left(cut);
    return ok;
}

QString connectionGroup(const QString &host, int port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace

namespace SavedSubmissions {

bool SavedJob::belongsTo(
    const QString &connectionHost, int connectionPort, const QString &connectionUser) const
{
    return host == connectionHost && port == connectionPort && (user.isEmpty() || user == connectionUser);
}

QString pointGroup(const QString &host, int port, const QString &flowId, const QString &pointId)
{
    return rootGroup + QLatin1Char('/') + connectionGroup(host, port) + QLatin1Char('/') + flowId
        + QLatin1Char(':') + pointId;
}

int nextJobNumber(const QString &pointGroup)
{
    QSettings settings = store();
    settings.beginGroup(pointGroup);
    const QList<int> numbers = jobNumbers(settings);
    return numbers.isEmpty() ? 0 : numbers.last() + 1;
}

void writeJob(const QString &pointGroup, int number, const SubmittedFile &job, const QString &user)
{
    QSettings settings = store();
    settings.beginGroup(pointGroup);
    const QString group = QString::number(number);
    // A rewrite replaces the whole entry, metadata included.
    settings.remove(group);
    settings.beginGroup(group);
    settings.setValue(jobNameKey, job.getJobName());
    settings.setValue(isFileKey, job.isFile());
    settings.setValue(pathKey, job.getPath());
    settings.setValue(statusKey, job.getStatus());
    settings.setValue(userKey, user);
    settings.beginGroup(metadataGroup);
    const QList<MetadataToFill> metadata = job.getMetadata();
    for (int i = 0; i < metadata.size(); ++i) {
        const MetadataToFill &field = metadata.at(i);
        settings.beginGroup(QString::number(i));
        settings.setValue(dataFormatKey, field.dataFormat);
        settings.setValue(dataTypeKey, field.dataType);
        settings.setValue(descriptionKey, field.description);
        settings.setValue(labelKey, field.label);
        settings.setValue(rememberKey, field.rememberLastValue);
        settings.setValue(valueKey, field.value);
        settings.setValue(requiredKey, field.valueIsRequired);
        settings.setValue(keyKey, field.key);
        settings.endGroup();
    }
    settings.endGroup();
    settings.endGroup();
    settings.endGroup();
}

void writeStatus(const QString &pointGroup, int number, int status)
{
    QSettings settings = store();
    settings.beginGroup(pointGroup);
    settings.setValue(QString::number(number) + QLatin1Char('/') + statusKey, status);
}

void removeJob(const QString &pointGroup, int number)
{
    QSettings settings = store();
    settings.beginGroup(pointGroup);
    settings.remove(QString::number(number));
    settings.endGroup();
    // Leave no empty point or connection groups behind.
    const int cut = pointGroup.lastIndexOf(QLatin1Char('/'));
    settings.beginGroup(pointGroup);
    const bool pointEmpty = settings.childGroups().isEmpty() && settings.childKeys().isEmpty();
    settings.endGroup();
    if (pointEmpty)
        settings.remove(pointGroup);
    if (cut > 0) {
        const QString connectionGroup = pointGroup.left(cut);
        settings.beginGroup(connectionGroup);
        const bool connectionEmpty = settings.childGroups().isEmpty() && settings.childKeys().isEmpty();
        settings.endGroup();
        if (connectionEmpty)
            settings.remove(connectionGroup);
    }
}

void removeConnection(const QString &host, int port, const QString &user)
{
    QSettings settings = store();
    settings.beginGroup(rootGroup);
    const QString connection = connectionGroup(host, port);
    settings.beginGroup(connection);
    const QStringList points = settings.childGroups();
    for (const QString &point : points) {
        settings.beginGroup(point);
        const QList<int> numbers = jobNumbers(settings);
        for (const int number : numbers) {
            const QString job = QString::number(number);
            const QString owner = settings.value(job + QLatin1Char('/') + userKey).toString();
            if (owner.isEmpty() || owner == user)
                settings.remove(job);
        }
        const bool empty = settings.childGroups().isEmpty() && settings.childKeys().isEmpty();
        settings.endGroup();
        if (empty)
            settings.remove(point);
    }
    const bool empty = settings.childGroups().isEmpty() && settings.childKeys().isEmpty();
    settings.endGroup();
    if (empty)
        settings.remove(connection);
}

QList<SavedJob> readAll()
{
    QList<SavedJob> jobs;
    QSettings settings = store();
    settings.beginGroup(rootGroup);
    const QStringList connections = settings.childGroups();
    for (const QString &connection : connections) {
        QString host;
        int port = 0;
        if (!splitConnection(connection, host, port))
            continue;
        settings.beginGroup(connection);
        const QStringList points = settings.childGroups();
        for (const QString &point : points) {
            QString flowId, pointId;
            if (!splitPair(point, flowId, pointId))
                continue;
            settings.beginGroup(point);
            const QList<int> numbers = jobNumbers(settings);
            for (const int number : numbers) {
                settings.beginGroup(QString::number(number));
                SavedJob job;
                job.host = host;
                job.port = port;
                job.flowId = flowId;
                job.pointId = pointId;
                job.number = number;
                job.user = settings.value(userKey).toString();
                job.jobName = settings.value(jobNameKey).toString();
                job.isFile = settings.value(isFileKey).toBool();
                job.path = settings.value(pathKey).toString();
                job.status = settings.value(statusKey, SubmitStatus::Waiting).toInt();
                if (job.status == SubmitStatus::PreparingData)
                    job.status = SubmitStatus::WaitingConnection;
                settings.beginGroup(metadataGroup);
                const QStringList fields = settings.childGroups();
                QList<int> order;
                for (const QString &field : fields)
                    order.append(field.toInt());
                std::sort(order.begin(), order.end());
                for (const int index : std::as_const(order)) {
                    settings.beginGroup(QString::number(index));
                    MetadataToFill field;
                    field.label = settings.value(labelKey).toString();
                    field.description = settings.value(descriptionKey).toString();
                    field.dataType = settings.value(dataTypeKey).toString();
                    field.dataFormat = settings.value(dataFormatKey).toString();
                    field.rememberLastValue = settings.value(rememberKey).toBool();
                    field.value = settings.value(valueKey).toString();
                    field.valueIsRequired = settings.value(requiredKey).toBool();
                    field.key = settings.value(keyKey).toString();
                    job.metadata.append(field);
                    settings.endGroup();
                }
                settings.endGroup();
                settings.endGroup();
                if (!job.jobName.isEmpty() && !job.path.isEmpty())
                    jobs.append(job);
            }
            settings.endGroup();
        }
        settings.endGroup();
    }
    return jobs;
}

} // namespace SavedSubmissions
