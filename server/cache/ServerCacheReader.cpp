// ServerCache's reading of a file, bounded by what it costs once read.
#include "ServerCache.h"

#include "CacheFormat.h"
#include "CallBounds.h"
#include "RecordCost.h"

#include <QBuffer>
#include <QFile>
#include <QXmlStreamReader>

namespace {

using namespace CacheFormat;

// A file holds what replies brought, each kind of data from a reply of its
// own: the checkpoints' jobs and the progress records each within the
// record budget, as their replies were, and the flows and points (with
// checkpoint names and push targets) within it as well. The same cost
// model bounds the file's markup before it is parsed, so no attribute or
// text is taken in whole when it could not fit. Every byte of the file came
// in those replies; the depth is far above a saved file's (root, flow,
// checkpoint, job, field).
constexpr int kMaxDepth = 32;
constexpr qint64 kMaxFileBytes = qint64(2 * CallBounds::kRecordReplyBytes + 2 * CallBounds::kEnvelopeBytes);
constexpr qint64 kPieceBytes = 64 * 1024;
// One start tag with its attributes, or one text: a job's dozen texts each
// came in a reply within the value limit. Longer markup is refused as it
// comes, before the parser, which takes it in whole, holds it.
constexpr qint64 kMarkupBytes = qint64(4 * CallBounds::kValueBytes);

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

// Reads the file in one pass, element by element, in pieces; elements the
// format does not know are passed over.
class Reader
{
public:
    explicit Reader(QIODevice *device)
        : m_device(device)
        , m_points(CallBounds::recordBudget())
        , m_jobs(CallBounds::recordBudget())
        , m_progress(CallBounds::recordBudget())
    {
        m_xml.setNamespaceProcessing(true);
    }

    // Moves to the next child of the element open at `depth` (0: the
    // document); false at that element's end or on an error.
    bool nextChild(int depth)
    {
        for (;;) {
            switch (step()) {
            case QXmlStreamReader::StartElement:
                if (++m_depth > kMaxDepth) {
                    fail(QStringLiteral("nested deeper than %1 elements").arg(kMaxDepth));
                    return false;
                }
                if (m_depth == depth + 1)
                    return true;
                break;
            case QXmlStreamReader::EndElement:
                if (--m_depth == 0)
                    m_complete = true;
                if (m_depth < depth)
                    return false;
                break;
            case QXmlStreamReader::Invalid:
            case QXmlStreamReader::EndDocument:
                return false;
            default:
                break;
            }
        }
    }

    // Reads what is left, so that a file damaged after the data counts as
    // damaged; the error text, or "" when the file is well-formed.
    QString finish()
    {
        while (!failed() && nextChild(-1)) { }
        if (!failed())
            return QString();
        return QStringLiteral("%1 (line %2, column %3)")
            .arg(m_xml.errorString())
            .arg(m_xml.lineNumber())
            .arg(m_xml.columnNumber());
    }

    QStringView name() const { return m_xml.name(); }
    QXmlStreamAttributes attributes() const { return m_xml.attributes(); }
    // A document that ended with its root element is whole, whatever the
    // parser, which waits for more input after it, says.
    bool failed() const
    {
        if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            return m_ended && !m_complete;
        return m_xml.hasError();
    }

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
        // The job's fields cost what they cost in the reply that brought
        // the job; its push targets are the user's and count apart.
        if (!take(m_jobs, RecordCost::ofJob(job.id, data))
            || !take(m_points, costOf(job.chosenConnectionIds)))
            return job;
        const int depth = m_depth;
        while (nextChild(depth)) {
            const QXmlStreamAttributes child = m_xml.attributes();
            if (name() == kJobConnection) {
                data.connections.append({ attributeOf(child, kId), attributeOf(child, kName) });
                const JobConnection &connection = data.connections.constLast();
                if (!take(m_jobs, sizeof(connection) + RecordCost::of(connection.id, connection.name)))
                    break;
            } else if (name() == kMetadata) {
                MetadataToDisplay field;
                field.dataType = attributeOf(child, kDataType);
                field.description = attributeOf(child, kDescription);
                field.label = attributeOf(child, kLabel);
                field.value = attributeOf(child, kValue);
                data.metadata.append(field);
                if (!take(m_jobs,
                        sizeof(field)
                            + RecordCost::of(field.label, field.description, field.dataType, field.value)))
                    break;
            } else if (name() == kRequiredMetadata) {
                data.requiredMetadata.append(metadataToFillOf(child));
                if (!take(m_jobs, RecordCost::of(data.requiredMetadata.constLast())))
                    break;
            }
        }
        return job;
    }

    ServerCache::FlowEntry flow()
    {
        ServerCache::FlowEntry flow;
        flow.name = attributeOf(m_xml.attributes(), kName);
        flow.id = attributeOf(m_xml.attributes(), kId);
        if (!take(m_points, sizeof(flow) + RecordCost::of(flow.name, flow.id)))
            return flow;
        const int depth = m_depth;
        while (nextChild(depth)) {
            const QXmlStreamAttributes attributes = m_xml.attributes();
            if (name() == kSubmitPoint) {
                ServerCache::Point point;
                point.id = attributeOf(attributes, kId);
                point.name = attributeOf(attributes, kName);
                if (!take(m_points, sizeof(point) + RecordCost::of(point.id, point.name)))
                    break;
                while (nextChild(depth + 1)) {
                    if (name() != kMetadata)
                        continue;
                    point.metadata.append(metadataToFillOf(m_xml.attributes()));
                    if (!take(m_points, RecordCost::of(point.metadata.constLast())))
                        break;
                }
                flow.points.append(point);
            } else if (name() == kCheckPoint) {
                ServerCache::CheckPointEntry checkPoint;
                checkPoint.id = attributeOf(attributes, kId);
                checkPoint.name = attributeOf(attributes, kName);
                if (!take(m_points, sizeof(checkPoint) + RecordCost::of(checkPoint.id, checkPoint.name)))
                    break;
                m_budget = &m_jobs;
                while (nextChild(depth + 1)) {
                    if (name() == kJob)
                        checkPoint.jobs.append(job());
                }
                m_budget = &m_points;
                flow.checkPoints.append(checkPoint);
            }
        }
        return flow;
    }

    void progress(ProgressList *records)
    {
        m_budget = &m_progress;
        while (nextChild(2)) {
            if (name() != kProgressData)
                continue;
            records->append(progressOf(m_xml.attributes()));
            if (!take(m_progress, RecordCost::of(records->constLast())))
                break;
        }
        m_budget = &m_points;
    }

private:
    static quint64 costOf(const QStringList &texts)
    {
        quint64 cost = 0;
        for (const QString &text : texts)
            cost += RecordCost::of(text);
        return cost;
    }

    void fail(const QString &why)
    {
        if (!m_xml.hasError() || m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            m_xml.raiseError(why);
    }

    bool take(RecordCost::Budget &budget, quint64 cost)
    {
        if (budget.take(cost))
            return true;
        fail(QStringLiteral("its data cost more than %1 bytes once read").arg(CallBounds::recordBudget()));
        return false;
    }

    // The next token, the file given to the parser piece by piece.
    QXmlStreamReader::TokenType step()
    {
        for (;;) {
            if (m_ended
                || (m_xml.hasError() && m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError))
                return QXmlStreamReader::Invalid;
            const QXmlStreamReader::TokenType type = m_xml.readNext();
            if (m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                m_givenAtToken = m_given;
                return type;
            }
            if (!feed()) {
                m_ended = true;
                return QXmlStreamReader::Invalid;
            }
        }
    }

    bool feed()
    {
        // What was given since the last whole token is one piece of
        // markup still open: it may not cost more than is left.
        const qint64 open = m_given - m_givenAtToken;
        if (open > kMarkupBytes) {
            fail(QStringLiteral("markup at byte %1 is longer than %2 bytes")
                     .arg(m_givenAtToken)
                     .arg(kMarkupBytes));
            return false;
        }
        if (RecordCost::ofUnparsed(quint64(open)) > m_budget->left()) {
            fail(QStringLiteral("markup at byte %1 costs more than is left of %2 bytes")
                     .arg(m_givenAtToken)
                     .arg(CallBounds::recordBudget()));
            return false;
        }
        const QByteArray piece = m_device->read(kPieceBytes);
        if (piece.isEmpty())
            return false;
        m_given += piece.size();
        if (m_given > kMaxFileBytes) {
            fail(QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileBytes));
            return false;
        }
        m_xml.addData(piece);
        return true;
    }

    QIODevice *m_device;
    QXmlStreamReader m_xml;
    RecordCost::Budget m_points;
    RecordCost::Budget m_jobs;
    RecordCost::Budget m_progress;
    RecordCost::Budget *m_budget = &m_points;
    qint64 m_given = 0;
    qint64 m_givenAtToken = 0;
    int m_depth = 0;
    bool m_complete = false;
    bool m_ended = false;
};

// The most markup an element of these texts can take: every character
// escaped ("&quot;"), with the attribute's name and quotes.
qint64 markupOf(const QStringList &values)
{
    qint64 bytes = 64;
    for (const QString &value : values)
        bytes += 32 + 6 * qint64(value.size());
    return bytes;
}

quint64 costOfIds(const QStringList &ids)
{
    quint64 cost = 0;
    // As the reader splits them again.
    if (!ids.isEmpty()) {
        for (const QString &id : ids.join(kIdSeparator).split(kIdSeparator))
            cost += RecordCost::of(id);
    }
    return cost;
}

} // namespace

ServerCache::ReadResult ServerCache::read(const QString &path, Content *content, QString *error)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return ReadResult::Missing;
    return readFrom(&file, content, error);
}

bool ServerCache::withinReadBounds(const Content &content)
{
    // What the reader charges, kind by kind, in the same model.
    RecordCost::Budget points(CallBounds::recordBudget());
    RecordCost::Budget jobs(CallBounds::recordBudget());
    RecordCost::Budget progress(CallBounds::recordBudget());
    bool within = true;
    const auto markup
        = [&](const QStringList &values) { within = within && markupOf(values) <= kMarkupBytes; };
    for (const FlowEntry &flow : content.flows) {
        within = within && points.take(sizeof(flow) + RecordCost::of(flow.name, flow.id));
        markup({ flow.name, flow.id });
        for (const Point &point : flow.points) {
            within = within && points.take(sizeof(point) + RecordCost::of(point.id, point.name));
            markup({ point.id, point.name });
            for (const MetadataToFill &field : point.metadata) {
                within = within && points.take(RecordCost::of(field));
                markup({ field.label, field.description, field.dataType, field.dataFormat, field.value,
                    field.key });
            }
        }
        for (const CheckPointEntry &checkPoint : flow.checkPoints) {
            within
                = within && points.take(sizeof(checkPoint) + RecordCost::of(checkPoint.id, checkPoint.name));
            markup({ checkPoint.id, checkPoint.name });
            for (const Job &job : checkPoint.jobs) {
                const CheckPointJobData &data = job.data;
                within = within && jobs.take(RecordCost::ofJob(job.id, data))
                    && points.take(costOfIds(job.chosenConnectionIds));
                markup({ job.id, data.fullUserName, data.fileName, data.fullFileName, data.name,
                    data.reportFileName, data.submitPointName, job.chosenConnectionIds.join(kIdSeparator),
                    data.submitTime, data.waitingTime });
                for (const JobConnection &connection : data.connections)
                    markup({ connection.id, connection.name });
                for (const MetadataToDisplay &field : data.metadata)
                    markup({ field.dataType, field.description, field.label, field.value });
                for (const MetadataToFill &field : data.requiredMetadata)
                    markup({ field.label, field.description, field.dataType, field.dataFormat, field.value,
                        field.key });
            }
        }
    }
    for (const ProgressData &record : content.progress) {
        within = within && progress.take(RecordCost::of(record));
        markup({ record.checkpoint, record.enteredState, record.flowName, record.fullUserName, record.jobName,
            record.onHold, record.serverName, record.state, record.submitPoint, record.submittedTime });
    }
    return within;
}

qint64 ServerCache::maxFileBytes()
{
    return kMaxFileBytes;
}

ServerCache::ReadResult ServerCache::fromXml(const QByteArray &bytes, Content *content, QString *error)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readFrom(&buffer, content, error);
}

ServerCache::ReadResult ServerCache::readFrom(QIODevice *device, Content *content, QString *error)
{
    if (device->size() > kMaxFileBytes) {
        if (error)
            *error = QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileBytes);
        return ReadResult::Malformed;
    }
    Reader reader(device);
    Content read;
    if (reader.nextChild(0) && reader.name() != kRoot) {
        if (error)
            *error = QStringLiteral("the document element is \"%1\"").arg(reader.name());
        return ReadResult::Malformed;
    }
    while (reader.nextChild(1)) {
        if (reader.name() == kFlow)
            read.flows.append(reader.flow());
        else if (reader.name() == kProgress)
            reader.progress(&read.progress);
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
