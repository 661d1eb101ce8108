#include "ServerCache.h"

#include "CallBounds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "XmlText.h"

namespace {

const QString kAppPathKey = QStringLiteral("General/ApplicationPath");

// Element names.
const QString kRoot = QStringLiteral("root");
const QString kFlow = QStringLiteral("Flow");
const QString kSubmitPoint = QStringLiteral("SubmitPoint");
const QString kMetadata = QStringLiteral("Metadata");
const QString kCheckPoint = QStringLiteral("CheckPoint");
const QString kJob = QStringLiteral("Job");
const QString kJobConnection = QStringLiteral("JobConnection");
const QString kRequiredMetadata = QStringLiteral("RequiredMetadata");
const QString kProgress = QStringLiteral("Progress");
const QString kProgressData = QStringLiteral("ProgressData");

// Attribute names.
const QString kName = QStringLiteral("name");
const QString kId = QStringLiteral("id");
const QString kKey = QStringLiteral("key");
const QString kDataFormat = QStringLiteral("DataFormat");
const QString kDataType = QStringLiteral("DataType");
const QString kDescription = QStringLiteral("Description");
const QString kLabel = QStringLiteral("Label");
const QString kRememberLastValue = QStringLiteral("RememberLastValue");
const QString kValue = QStringLiteral("Value");
const QString kValueIsRequired = QStringLiteral("ValueIsRequired");
const QString kFullUserName = QStringLiteral("fullUserName");
const QString kAllowMultipleOutputs = QStringLiteral("AllowMultipleOutputs");
const QString kFileName = QStringLiteral("FileName");
const QString kFullFileName = QStringLiteral("FullFileName");
const QString kJobName = QStringLiteral("Name");
const QString kEnableReportViewing = QStringLiteral("EnableReportViewing");
const QString kReportFileName = QStringLiteral("ReportFileName");
const QString kRequiresMetadata = QStringLiteral("RequiresMetadata");
const QString kSize = QStringLiteral("Size");
const QString kSubmitPointName = QStringLiteral("SubmitPointName");
const QString kStatus = QStringLiteral("Status");
const QString kChosenConnectionsId = QStringLiteral("ChosenConnectionsId");
const QString kSubmitTime = QStringLiteral("SubmitTime");
const QString kWaitingTime = QStringLiteral("WaitingTime");
const QString kPCheckpoint = QStringLiteral("checkpoint");
const QString kPEnteredState = QStringLiteral("enteredState");
const QString kPFlowName = QStringLiteral("flowName");
const QString kPFullUserName = QStringLiteral("fullUserName");
const QString kPJobName = QStringLiteral("jobName");
const QString kPOnHold = QStringLiteral("onHold");
const QString kPServerName = QStringLiteral("serverName");
const QString kPState = QStringLiteral("state");
const QString kPSubmitPoint = QStringLiteral("submitPoint");
const QString kPSubmittedTime = QStringLiteral("submittedTime");

const QChar kIdSeparator = QLatin1Char(';');

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

// A saved file holds what replies brought, and a reply's records are
// bounded by their memory: the same budget bounds what a file may cost
// once read (an empty job element costs some 700 bytes), so every file
// the client writes is read back. The depth is far above a saved file's
// (root, flow, checkpoint, job, field).
constexpr int kMaxDepth = 32;
constexpr qint64 kMaxFileBytes = qint64(CallBounds::kRecordBudget);
constexpr int kMaxElements = int(CallBounds::kRecordBudget / 700);

QString attributeOf(const QXmlStreamAttributes &attributes, const QString &name)
{
    // A missing attribute reads as empty, never as null.
    return attributes.hasAttribute(name) ? attributes.value(name).toString() : QString(QLatin1String(""));
}

bool flagOf(const QXmlStreamAttributes &attributes, const QString &name)
{
    // Only "1" is true: a file holding "true" reads as false.
    return attributes.value(name) == QLatin1String("1");
}

qint64 numberOf(const QXmlStreamAttributes &attributes, const QString &name)
{
    bool ok = false;
    const qint64 value = attributes.value(name).toLongLong(&ok);
    return ok ? value : 0;
}

MetadataToFill metadataToFillOf(const QXmlStreamAttributes &attributes)
{
    MetadataToFill field;
    field.dataFormat = attributeOf(attributes, kDataFormat);
    field.dataType = attributeOf(attributes, kDataType);
    field.description = attributeOf(attributes, kDescription);
    field.label = attributeOf(attributes, kLabel);
    field.rememberLastValue = flagOf(attributes, kRememberLastValue);
    field.value = attributeOf(attributes, kValue);
    field.valueIsRequired = flagOf(attributes, kValueIsRequired);
    field.key = attributeOf(attributes, kKey);
    return field;
}

ProgressData progressOf(const QXmlStreamAttributes &attributes)
{
    ProgressData record;
    record.checkpoint = attributeOf(attributes, kPCheckpoint);
    record.enteredState = attributeOf(attributes, kPEnteredState);
    record.flowName = attributeOf(attributes, kPFlowName);
    record.fullUserName = attributeOf(attributes, kPFullUserName);
    record.jobName = attributeOf(attributes, kPJobName);
    record.onHold = attributeOf(attributes, kPOnHold);
    record.serverName = attributeOf(attributes, kPServerName);
    record.state = attributeOf(attributes, kPState);
    record.submitPoint = attributeOf(attributes, kPSubmitPoint);
    record.submittedTime = attributeOf(attributes, kPSubmittedTime);
    return record;
}

// Reads the file in one pass, element by element, with the nesting depth
// bounded; elements the format does not know are passed over.
class Reader
{
public:
    explicit Reader(QIODevice *device)
        : m_xml(device)
    {
        m_xml.setNamespaceProcessing(true);
    }

    // Moves to the next child of the element open at `depth` (0: the
    // document); false at that element's end or on an error.
    bool nextChild(int depth)
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                if (++m_depth > kMaxDepth) {
                    m_xml.raiseError(QStringLiteral("nested deeper than %1 elements").arg(kMaxDepth));
                    return false;
                }
                if (++m_elements > kMaxElements) {
                    m_xml.raiseError(QStringLiteral("more than %1 elements").arg(kMaxElements));
                    return false;
                }
                if (m_depth == depth + 1)
                    return true;
                break;
            case QXmlStreamReader::EndElement:
                if (--m_depth < depth)
                    return false;
                break;
            default:
                break;
            }
        }
        return false;
    }

    // Reads what is left, so that a file damaged after the data counts as
    // damaged; the error text, or "" when the file is well-formed.
    QString finish()
    {
        while (!m_xml.atEnd() && !m_xml.hasError())
            nextChild(-1);
        if (!m_xml.hasError())
            return QString();
        return QStringLiteral("%1 (line %2, column %3)")
            .arg(m_xml.errorString())
            .arg(m_xml.lineNumber())
            .arg(m_xml.columnNumber());
    }

    QStringView name() const { return m_xml.name(); }
    QXmlStreamAttributes attributes() const { return m_xml.attributes(); }
    bool failed() const { return m_xml.hasError(); }

    ServerCache::Job job()
    {
        const QXmlStreamAttributes attributes = m_xml.attributes();
        ServerCache::Job job;
        job.id = attributeOf(attributes, kId);
        CheckPointJobData &data = job.data;
        data.fullUserName = attributeOf(attributes, kFullUserName);
        data.allowMultipleOutputs = flagOf(attributes, kAllowMultipleOutputs);
        data.fileName = attributeOf(attributes, kFileName);
        data.fullFileName = attributeOf(attributes, kFullFileName);
        data.name = attributeOf(attributes, kJobName);
        data.enableReportViewing = flagOf(attributes, kEnableReportViewing);
        data.reportFileName = attributeOf(attributes, kReportFileName);
        data.requiresMetadata = flagOf(attributes, kRequiresMetadata);
        data.size = numberOf(attributes, kSize);
        data.submitPointName = attributeOf(attributes, kSubmitPointName);
        data.status = int(numberOf(attributes, kStatus));
        const QString chosen = attributeOf(attributes, kChosenConnectionsId);
        // An empty text is no target at all, not one empty id.
        if (!chosen.isEmpty())
            job.chosenConnectionIds = chosen.split(kIdSeparator);
        data.submitTime = attributeOf(attributes, kSubmitTime);
        data.waitingTime = attributeOf(attributes, kWaitingTime);
        const int depth = m_depth;
        while (nextChild(depth)) {
            const QXmlStreamAttributes child = m_xml.attributes();
            if (name() == kJobConnection) {
                data.connections.append({ attributeOf(child, kId), attributeOf(child, kName) });
            } else if (name() == kMetadata) {
                MetadataToDisplay field;
                field.dataType = attributeOf(child, kDataType);
                field.description = attributeOf(child, kDescription);
                field.label = attributeOf(child, kLabel);
                field.value = attributeOf(child, kValue);
                data.metadata.append(field);
            } else if (name() == kRequiredMetadata) {
                data.requiredMetadata.append(metadataToFillOf(child));
            }
        }
        return job;
    }

    ServerCache::FlowEntry flow()
    {
        ServerCache::FlowEntry flow;
        flow.name = attributeOf(m_xml.attributes(), kName);
        flow.id = attributeOf(m_xml.attributes(), kId);
        const int depth = m_depth;
        while (nextChild(depth)) {
            const QXmlStreamAttributes attributes = m_xml.attributes();
            if (name() == kSubmitPoint) {
                ServerCache::Point point;
                point.id = attributeOf(attributes, kId);
                point.name = attributeOf(attributes, kName);
                while (nextChild(depth + 1)) {
                    if (name() == kMetadata)
                        point.metadata.append(metadataToFillOf(m_xml.attributes()));
                }
                flow.points.append(point);
            } else if (name() == kCheckPoint) {
                ServerCache::CheckPointEntry checkPoint;
                checkPoint.id = attributeOf(attributes, kId);
                checkPoint.name = attributeOf(attributes, kName);
                while (nextChild(depth + 1)) {
                    if (name() == kJob)
                        checkPoint.jobs.append(job());
                }
                flow.checkPoints.append(checkPoint);
            }
        }
        return flow;
    }

    int depth() const { return m_depth; }

private:
    QXmlStreamReader m_xml;
    int m_depth = 0;
    int m_elements = 0;
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

ServerCache::ReadResult ServerCache::read(const QString &path, Content *content, QString *error)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return ReadResult::Missing;
    if (file.size() > kMaxFileBytes) {
        if (error)
            *error = QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileBytes);
        return ReadResult::Malformed;
    }
    Reader reader(&file);
    Content read;
    if (reader.nextChild(0) && reader.name() != kRoot) {
        if (error)
            *error = QStringLiteral("the document element is \"%1\"").arg(reader.name());
        return ReadResult::Malformed;
    }
    while (reader.nextChild(1)) {
        if (reader.name() == kFlow) {
            read.flows.append(reader.flow());
        } else if (reader.name() == kProgress) {
            while (reader.nextChild(2)) {
                if (reader.name() == kProgressData)
                    read.progress.append(progressOf(reader.attributes()));
            }
        }
    }
    const QString problem = reader.finish();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return ReadResult::Malformed;
    }
    if (content)
        *content = read;
    return ReadResult::Read;
}

bool ServerCache::save(const Content &content, const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo target(path);
    const QString finalPath = target.absoluteFilePath();
    const QString tempPath = target.absoluteDir().filePath(tempPrefix() + target.fileName());
    const QByteArray bytes = toXml(content);
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
