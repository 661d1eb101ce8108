#include "ServerCache.h"

#include "CacheFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QXmlStreamWriter>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "XmlText.h"

namespace {

using namespace CacheFormat;

const QString kAppPathKey = QStringLiteral("General/ApplicationPath");

class Writer
{
public:
    explicit Writer(QByteArray *out)
        : m_xml(out)
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
    }

    QXmlStreamWriter &xml() { return m_xml; }
    void text(const QString &name, const QString &value)
    {
        m_xml.writeAttribute(name, Tamsor::xmlSafeText(value));
    }
    void flag(const QString &name, bool value)
    {
        m_xml.writeAttribute(name, value ? QStringLiteral("1") : QStringLiteral("0"));
    }
    void number(const QString &name, qint64 value) { m_xml.writeAttribute(name, QString::number(value)); }

    void metadataToFill(const QString &element, const MetadataToFill &field, bool keyFirst)
    {
        m_xml.writeStartElement(element);
        if (keyFirst)
            text(kKey, field.key);
        text(kDataFormat, field.dataFormat);
        text(kDataType, field.dataType);
        text(kDescription, field.description);
        text(kLabel, field.label);
        flag(kRememberLastValue, field.rememberLastValue);
        text(kValue, field.value);
        flag(kValueIsRequired, field.valueIsRequired);
        if (!keyFirst)
            text(kKey, field.key);
        m_xml.writeEndElement();
    }

    void job(const ServerCache::Job &job)
    {
        const CheckPointJobData &data = job.data;
        m_xml.writeStartElement(kJob);
        text(kId, job.id);
        text(kFullUserName, data.fullUserName);
        flag(kAllowMultipleOutputs, data.allowMultipleOutputs);
        text(kFileName, data.fileName);
        text(kFullFileName, data.fullFileName);
        text(kJobName, data.name);
        flag(kEnableReportViewing, data.enableReportViewing);
        text(kReportFileName, data.reportFileName);
        flag(kRequiresMetadata, data.requiresMetadata);
        number(kSize, data.size);
        text(kSubmitPointName, data.submitPointName);
        number(kStatus, data.status);
        text(kChosenConnectionsId, job.chosenConnectionIds.join(kIdSeparator));
        text(kSubmitTime, data.submitTime);
        text(kWaitingTime, data.waitingTime);
        for (const JobConnection &connection : data.connections) {
            m_xml.writeStartElement(kJobConnection);
            text(kId, connection.id);
            text(kName, connection.name);
            m_xml.writeEndElement();
        }
        for (const MetadataToDisplay &field : data.metadata) {
            m_xml.writeStartElement(kMetadata);
            text(kDataType, field.dataType);
            text(kDescription, field.description);
            text(kLabel, field.label);
            text(kValue, field.value);
            m_xml.writeEndElement();
        }
        for (const MetadataToFill &field : data.requiredMetadata)
            metadataToFill(kRequiredMetadata, field, true);
        m_xml.writeEndElement();
    }

    void progress(const ProgressData &record)
    {
        m_xml.writeStartElement(kProgressData);
        text(kPCheckpoint, record.checkpoint);
        text(kPEnteredState, record.enteredState);
        text(kPFlowName, record.flowName);
        text(kPFullUserName, record.fullUserName);
        text(kPJobName, record.jobName);
        text(kPOnHold, record.onHold);
        text(kPServerName, record.serverName);
        text(kPState, record.state);
        text(kPSubmitPoint, record.submitPoint);
        text(kPSubmittedTime, record.submittedTime);
        m_xml.writeEndElement();
    }

private:
    QXmlStreamWriter m_xml;
};

ServerCache::Job *findJob(ServerCache::Content &content, const QString &flowId, const QString &checkPointId,
    const QString &jobId, QList<ServerCache::Job> **list = nullptr)
{
    for (ServerCache::FlowEntry &flow : content.flows) {
        if (flow.id != flowId)
            continue;
        for (ServerCache::CheckPointEntry &checkPoint : flow.checkPoints) {
            if (checkPoint.id != checkPointId)
                continue;
            for (ServerCache::Job &job : checkPoint.jobs) {
                if (job.id == jobId) {
                    if (list)
                        *list = &checkPoint.jobs;
                    return &job;
                }
            }
        }
    }
    return nullptr;
}

bool writeAll(QFile &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return file.flush() && ::fsync(file.handle()) == 0;
}

bool syncFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

QString ServerCache::folder()
{
    const QString path = QSettings().value(kAppPathKey).toString();
    if (path.isEmpty() || QDir::isRelativePath(path))
        return QString();
    return QDir::cleanPath(path);
}

namespace {

// Letters, digits, '.', '-' and '_' stand as they are; everything else (a
// '/', a leading '~', '#', control characters) is percent-encoded, so the
// name stays one entry of the folder and never a temporary file's.
QString nameSafe(const QString &text)
{
    QByteArray encoded;
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        const auto byte = static_cast<unsigned char>(ch);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
            || (byte >= '0' && byte <= '9') || byte == '.' || byte == '-' || byte == '_' || byte >= 0x80;
        if (keep) {
            encoded.append(ch);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            encoded.append(hex, 3);
        }
    }
    return QString::fromUtf8(encoded);
}

} // namespace

QString ServerCache::fileName(const QString &host, int port, const QString &user)
{
    QString plain = host;
    // The host as the connection uses it.
    plain.remove(QStringLiteral("https://"));
    plain.remove(QStringLiteral("http://"));
    QString name = nameSafe(plain) + QStringLiteral("#%1").arg(port);
    if (!user.isEmpty())
        name += QLatin1Char('#') + nameSafe(user);
    return name + QStringLiteral(".xml");
}

QString ServerCache::filePath(const QString &folder, const QString &host, int port, const QString &user)
{
    if (folder.isEmpty())
        return QString();
    return folder + QLatin1Char('/') + fileName(host, port, user);
}

QByteArray ServerCache::toXml(const Content &content)
{
    QByteArray out;
    Writer writer(&out);
    QXmlStreamWriter &xml = writer.xml();
    xml.writeStartDocument();
    xml.writeStartElement(kRoot);
    for (const FlowEntry &flow : content.flows) {
        xml.writeStartElement(kFlow);
        writer.text(kName, flow.name);
        writer.text(kId, flow.id);
        for (const Point &point : flow.points) {
            xml.writeStartElement(kSubmitPoint);
            writer.text(kName, point.name);
            writer.text(kId, point.id);
            for (const MetadataToFill &field : point.metadata)
                writer.metadataToFill(kMetadata, field, false);
            xml.writeEndElement();
        }
        for (const CheckPointEntry &checkPoint : flow.checkPoints) {
            xml.writeStartElement(kCheckPoint);
            writer.text(kName, checkPoint.name);
            writer.text(kId, checkPoint.id);
            for (const Job &job : checkPoint.jobs)
                writer.job(job);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeStartElement(kProgress);
    for (const ProgressData &record : content.progress)
        writer.progress(record);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

bool ServerCache::save(const Content &content, const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo target(path);
    const QString finalPath = target.absoluteFilePath();
    const QString tempPath = target.absoluteDir().filePath(tempPrefix() + target.fileName());
    const QByteArray bytes = toXml(content);
    // Only a file that reads back replaces the old one: the reader's
    // bounds are the writer's. Parsed only when the cheap reckoning cannot
    // tell, as parsing a large file costs seconds.
    QString problem;
    if (bytes.size() > maxFileBytes()
        || (!withinReadBounds(content) && fromXml(bytes, nullptr, &problem) != ReadResult::Read)) {
        qWarning("Cache file %s not written: %s", qPrintable(path), qPrintable(problem));
        return false;
    }
    // Job names, users' names and paths: readable by this user only, made
    // so from the start rather than tightened after writing. A temporary
    // file left by a crash is replaced, not reused with its mode.
    QFile::remove(tempPath);
    const int fd = ::open(
        QFile::encodeName(tempPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    QFile temp;
    if (fd < 0 || !temp.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        QFile::remove(tempPath);
        return false;
    }
    const bool written = writeAll(temp, bytes);
    temp.close();
    // Only a complete temporary file replaces the old one, and in one step:
    // a reader sees the old file or the new one, never a part of either.
    if (!written || temp.error() != QFileDevice::NoError || QFileInfo(tempPath).size() != bytes.size()
        || ::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(finalPath).constData()) != 0) {
        QFile::remove(tempPath);
        return false;
    }
    // The rename is durable only once the folder's entry is on disk.
    return syncFolder(target.absolutePath());
}

void ServerCache::markWaitingPush(Job &job, const QStringList &chosenIds, const QList<MetadataToFill> &values)
{
    job.data.status = CheckPointJobData::kPushWaiting;
    job.chosenConnectionIds = chosenIds;
    QList<MetadataToFill> &fields = job.data.requiredMetadata;
    for (qsizetype i = 0; i < fields.size() && i < values.size(); ++i)
        fields[i] = values.at(i);
}

bool ServerCache::patchWaitingPush(const QString &path, const QString &flowId, const QString &checkPointId,
    const QString &jobId, const QStringList &chosenIds, const QList<MetadataToFill> &values)
{
    Content content;
    if (read(path, &content) != ReadResult::Read)
        return false;
    Job *job = findJob(content, flowId, checkPointId, jobId);
    if (!job)
        return false;
    markWaitingPush(*job, chosenIds, values);
    return save(content, path);
}

bool ServerCache::patchPushDone(
    const QString &path, const QString &flowId, const QString &checkPointId, const QString &jobId, bool taken)
{
    Content content;
    if (read(path, &content) != ReadResult::Read)
        return false;
    QList<Job> *jobs = nullptr;
    Job *job = findJob(content, flowId, checkPointId, jobId, &jobs);
    if (!job)
        return false;
    if (taken) {
        jobs->removeAt(job - jobs->data());
    } else {
        job->data.status = 0;
        job->chosenConnectionIds.clear();
    }
    return save(content, path);
}
