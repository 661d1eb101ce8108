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

// Group names as the store keeps them: no empty parts between slashes.
QString normalized(const QString &group)
{
    return group.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

// A part of a group name that splits back: the characters that cut group
// names or their pairs are percent-encoded, '%' first.
QString encoded(const QString &part)
{
    QString text = part;
    text.replace(QLatin1Char('%'), QLatin1String("%25"));
    text.replace(QLatin1Char(':'), QLatin1String("%3A"));
    text.replace(QLatin1Char('/'), QLatin1String("%2F"));
    text.replace(QLatin1Char('\\'), QLatin1String("%5C"));
    return text;
}

QString pairName(const QString &first, const QString &second)
{
    return first + QLatin1Char(':') + second;
}

// The names a server's group may have: the current one, and those of
// earlier runs (the host as typed, a scheme too, nothing encoded).
QStringList connectionNames(const QString &host, int port)
{
    const QString number = QString::number(port);
    QStringList names { pairName(encoded(host), number) };
    for (const QString &form :
        { host, QStringLiteral("http://") + host, QStringLiteral("https://") + host }) {
        const QString name = normalized(pairName(form, number));
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

QStringList pointNames(const QString &flowId, const QString &pointId)
{
    QStringList names { pairName(encoded(flowId), encoded(pointId)) };
    const QString old = normalized(pairName(flowId, pointId));
    if (!names.contains(old))
        names.append(old);
    return names;
}

bool isEmptyGroup(QSettings &settings, const QString &group)
{
    settings.beginGroup(group);
    const bool empty = settings.childGroups().isEmpty() && settings.childKeys().isEmpty();
    settings.endGroup();
    return empty;
}

SavedSubmissions::SavedJob readJob(QSettings &settings)
{
    SavedSubmissions::SavedJob job;
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
    return job;
}

// Earlier runs split a name with '/' (a scheme, an id) into more levels: the
// jobs are found at any depth below the server and point levels.
constexpr int kMaxDepth = 8;

void collectJobs(
    QSettings &settings, const QString &group, int depth, QList<SavedSubmissions::SavedJob> &jobs)
{
    const QStringList children = settings.childGroups();
    QList<int> numbers;
    QStringList deeper;
    for (const QString &child : children) {
        bool ok = false;
        const int number = child.toInt(&ok, 10);
        if (ok && number >= 0 && depth >= 2 && settings.contains(child + QLatin1Char('/') + pathKey))
            numbers.append(number);
        else
            deeper.append(child);
    }
    std::sort(numbers.begin(), numbers.end());
    for (const int number : std::as_const(numbers)) {
        settings.beginGroup(QString::number(number));
        SavedSubmissions::SavedJob job = readJob(settings);
        settings.endGroup();
        job.group = group;
        job.number = number;
        if (!job.jobName.isEmpty() && !job.path.isEmpty())
            jobs.append(job);
    }
    if (depth >= kMaxDepth)
        return;
    for (const QString &child : std::as_const(deeper)) {
        settings.beginGroup(child);
        collectJobs(settings, group + QLatin1Char('/') + child, depth + 1, jobs);
        settings.endGroup();
    }
}

} // namespace

namespace SavedSubmissions {

bool SavedJob::belongsTo(const QString &host, int port, const QString &connectionUser, const QString &flowId,
    const QString &pointId) const
{
    if (!user.isEmpty() && user != connectionUser)
        return false;
    const QString mine = normalized(group);
    for (const QString &server : connectionNames(host, port)) {
        for (const QString &point : pointNames(flowId, pointId)) {
            if (normalized(rootGroup + QLatin1Char('/') + server + QLatin1Char('/') + point) == mine)
                return true;
        }
    }
    return false;
}

QString pointGroup(const QString &host, int port, const QString &flowId, const QString &pointId)
{
    return rootGroup + QLatin1Char('/') + connectionNames(host, port).first() + QLatin1Char('/')
        + pointNames(flowId, pointId).first();
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
    QString group = normalized(pointGroup);
    settings.beginGroup(group);
    settings.remove(QString::number(number));
    settings.endGroup();
    // Leave no empty point or server groups behind, however deep.
    while (group.startsWith(rootGroup + QLatin1Char('/')) && isEmptyGroup(settings, group)) {
        settings.remove(group);
        group.truncate(group.lastIndexOf(QLatin1Char('/')));
    }
}

void removeConnection(const QString &host, int port, const QString &user)
{
    QStringList prefixes;
    for (const QString &server : connectionNames(host, port))
        prefixes.append(normalized(rootGroup + QLatin1Char('/') + server) + QLatin1Char('/'));
    const QList<SavedJob> jobs = readAll();
    for (const SavedJob &job : jobs) {
        if (!job.user.isEmpty() && job.user != user)
            continue;
        const QString group = normalized(job.group) + QLatin1Char('/');
        for (const QString &prefix : std::as_const(prefixes)) {
            if (group.startsWith(prefix)) {
                removeJob(job.group, job.number);
                break;
            }
        }
    }
}

QList<SavedJob> readAll()
{
    QList<SavedJob> jobs;
    QSettings settings = store();
    settings.beginGroup(rootGroup);
    collectJobs(settings, rootGroup, 0, jobs);
    settings.endGroup();
    return jobs;
}

} // namespace SavedSubmissions
