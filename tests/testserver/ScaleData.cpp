#include "ScaleData.h"

#include "DemoData.h"
#include "Server.h"
#include "ServerClock.h"

namespace testserver {

namespace {

MetadataField requiredField(const QString &label, const QString &type, const QString &value)
{
    MetadataField field;
    field.label = label;
    field.description = label + QStringLiteral(" of the job");
    field.dataType = type;
    field.valueIsRequired = true;
    field.rememberLastValue = true;
    field.value = value;
    return field;
}

} // namespace

bool ScaleData::parseSize(const QString &text, Size *size)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 5)
        return false;
    int numbers[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || numbers[i] < (i < 2 ? 1 : 0))
            return false;
    }
    *size = { numbers[0], numbers[1], numbers[2], numbers[3], numbers[4] };
    return true;
}

ScaleData ScaleData::make(const Size &size, const QString &serverName)
{
    ScaleData data;
    data.serverName = serverName;
    const QDateTime now = ServerClock::now();
    const QStringList users = { QStringLiteral("Ann Example"), QStringLiteral("Bo Sample"),
        QStringLiteral("Cy Tester"), QStringLiteral("Di Operator") };
    const QList<OutgoingConnection> connections = { { QStringLiteral("conn-ok"), QStringLiteral("Approved") },
        { QStringLiteral("conn-redo"), QStringLiteral("Needs changes") },
        { QStringLiteral("conn-archive"), QStringLiteral("Archive") } };
    const QString typeString = QStringLiteral("string");

    const int checkPointsPerFlow = (size.checkPoints + size.flows - 1) / size.flows;
    int checkPointNumber = 0;
    int jobNumber = 0;
    for (int f = 0; f < size.flows; ++f) {
        Flow flow;
        flow.id = QStringLiteral("flow-%1").arg(f + 1);
        flow.name = QStringLiteral("Production line %1").arg(f + 1);
        SubmitPoint point;
        point.id = QStringLiteral("sp-%1").arg(f + 1);
        point.name = QStringLiteral("Orders %1").arg(f + 1);
        point.metadata = { requiredField(QStringLiteral("Customer"), typeString, QString()) };
        flow.submitPoints = { point };
        for (int c = 0; c < checkPointsPerFlow && checkPointNumber < size.checkPoints;
             ++c, ++checkPointNumber) {
            CheckPoint checkPoint;
            checkPoint.id = QStringLiteral("cp-%1").arg(checkPointNumber + 1);
            checkPoint.name = QStringLiteral("Approval step %1").arg(checkPointNumber + 1);
            // The first checkpoints take the remainder.
            const int jobs = size.jobs / size.checkPoints + (checkPointNumber < size.jobs % size.checkPoints);
            checkPoint.jobs.reserve(jobs);
            for (int j = 0; j < jobs; ++j, ++jobNumber) {
                Job job;
                job.id = QStringLiteral("job-%1").arg(jobNumber + 1);
                job.name = QStringLiteral("Order %1 brochure.pdf").arg(jobNumber + 1);
                job.fullUserName = users.at(jobNumber % users.size());
                job.size = 100000 + qint64(jobNumber % 997) * 4096;
                const int minutes = 1 + jobNumber % 600;
                job.submitTime = ServerClock::format(now.addSecs(-60LL * minutes));
                job.waitingTime = QStringLiteral("%1 min").arg(minutes);
                job.allowMultipleOutputs = true;
                job.allowReplacing = true;
                job.enableReportViewing = jobNumber % 2 == 0;
                if (job.enableReportViewing)
                    job.reportName = job.name + QStringLiteral(" report.txt");
                job.connections = connections;
                job.metadata = { { QStringLiteral("Customer"), QStringLiteral("Name of the customer"),
                                     typeString, QStringLiteral("Customer %1").arg(jobNumber % 300) },
                    { QStringLiteral("Pages"), QStringLiteral("Page count"), typeString,
                        QString::number(4 + jobNumber % 60) } };
                job.requiresMetadata = true;
                job.requiredMetadata = { requiredField(QStringLiteral("Approved by"), typeString, QString()),
                    requiredField(
                        QStringLiteral("Proof OK"), QStringLiteral("bool"), QStringLiteral("true")) };
                checkPoint.jobs.append(job);
            }
            flow.checkPoints.append(checkPoint);
        }
        data.flows.append(flow);
    }

    // Messages as a server words them, a few dozen kinds.
    const QStringList types = { QStringLiteral("info"), QStringLiteral("info"), QStringLiteral("debug"),
        QStringLiteral("warning"), QStringLiteral("error") };
    const QStringList modules
        = { QStringLiteral("Control"), QStringLiteral("Submit"), QStringLiteral("Checkpoint"),
              QStringLiteral("Archive"), QStringLiteral("Network"), QStringLiteral("Preflight") };
    const QStringList texts
        = { QStringLiteral("Job \"%1\" arrived in %2"), QStringLiteral("Job \"%1\" moved on from %2"),
              QStringLiteral("Could not read \"%1\" in %2, retrying"),
              QStringLiteral("Disk space low while %2 processed \"%1\""),
              QStringLiteral("Job \"%1\" finished in %2") };
    QList<QString> messages;
    const int jobKinds = 40;
    for (int t = 0; t < texts.size(); ++t) {
        for (int j = 0; j < jobKinds; ++j)
            messages.append(DemoData::logMessage(texts.at(t),
                { QStringLiteral("Order %1 brochure.pdf").arg(j + 1), modules.at(j % modules.size()) }));
    }
    // Over the last five hours, so the pages' first filters keep them all.
    const qint64 spanMs = 5LL * 3600 * 1000;
    data.logs.reserve(size.logs);
    for (int i = 0; i < size.logs; ++i) {
        LogEntry log;
        log.recId = i + 1;
        log.timeStamp = ServerClock::format(now.addMSecs(-spanMs + spanMs * i / qMax(1, size.logs)));
        log.type = types.at(i % types.size());
        log.module = modules.at((i / 2) % modules.size());
        log.serverName = serverName;
        log.flowName = QStringLiteral("Production line %1").arg(1 + i % qMax(1, size.flows));
        const int kind = i % messages.size();
        log.jobName = QStringLiteral("Order %1 brochure.pdf").arg(1 + kind % jobKinds);
        log.message = messages.at(kind);
        data.logs.append(log);
    }

    const QStringList states = { QStringLiteral("Processing"), QStringLiteral("Waiting at checkpoint"),
        QStringLiteral("Finished") };
    data.progress.reserve(size.progress);
    for (int i = 0; i < size.progress; ++i) {
        ProgressEntry entry;
        entry.fullUserName = users.at(i % users.size());
        entry.jobName = QStringLiteral("Order %1 brochure.pdf").arg(i + 1);
        entry.serverName = serverName;
        entry.flowName = QStringLiteral("Production line %1").arg(1 + i % qMax(1, size.flows));
        entry.submitPoint = QStringLiteral("Orders %1").arg(1 + i % qMax(1, size.flows));
        entry.submittedTime
            = ServerClock::format(now.addMSecs(-spanMs + spanMs * i / qMax(1, size.progress)));
        entry.state = states.at(i % states.size());
        entry.enteredState = ServerClock::format(now.addSecs(-30LL * (i % 100)));
        entry.onHold = i % 7 == 0 ? QStringLiteral("Yes") : QStringLiteral("No");
        entry.checkpoint
            = entry.state == states.at(1) ? QStringLiteral("Approval step %1").arg(1 + i % 200) : QString();
        data.progress.append(entry);
    }
    return data;
}

void ScaleData::loadInto(Server &server) const
{
    server.setStatus(serverName, QStringLiteral("Running"));
    server.setFlows(flows);
    server.setLogs(logs);
    server.setProgress(progress);
}

} // namespace testserver
