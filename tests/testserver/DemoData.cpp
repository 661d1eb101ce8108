#include "DemoData.h"

#include "LogRecord.h"
#include "ServerClock.h"
#include "TestFiles.h"
#include "XMLValues.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

namespace testserver {
namespace {

using TestFiles::writeFile;

const QString &typeString = Tamsor::XMLValues::EDITORTYPE_STRING;
const QString &typeBool = Tamsor::XMLValues::EDITORTYPE_BOOL;
const QString &typeEnum = Tamsor::XMLValues::EDITORTYPE_ENUM;

QByteArray filler(const QByteArray &seed, int size)
{
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes += seed;
    bytes.truncate(size);
    return bytes;
}

MetadataField field(const QString &label, const QString &description, const QString &type,
    const QString &format = QString(), bool required = false, bool remember = false,
    const QString &value = QString())
{
    MetadataField result;
    result.label = label;
    result.description = description;
    result.dataType = type;
    result.dataFormat = format;
    result.valueIsRequired = required;
    result.rememberLastValue = remember;
    result.value = value;
    return result;
}

QList<MetadataField> everyKind()
{
    return {
        field(QStringLiteral("Customer"), QStringLiteral("Name of the customer"), typeString, QString(), true,
            true),
        field(QStringLiteral("Order number"), QStringLiteral("Six digits"), typeString,
            QStringLiteral("[0-9]{6}"), true),
        field(QStringLiteral("Rush job"), QStringLiteral("Handle before everything else"), typeBool,
            QString(), false, false, QStringLiteral("false")),
        field(QStringLiteral("Paper"), QStringLiteral("Stock to print on"),
            typeEnum + QStringLiteral(":Coated\nUncoated\nRecycled\n"), QString(), true, true,
            QStringLiteral("Coated")),
        field(QStringLiteral("Copies"), QStringLiteral("Number of copies"), typeString,
            QStringLiteral("[1-9][0-9]*"), false, true, QStringLiteral("1")),
        field(QStringLiteral("Remarks"), QStringLiteral("Anything the operator should know"), typeString),
    };
}

Job makeJob(
    const QString &folder, const QString &id, const QString &name, int minutesWaiting, bool withReport)
{
    Job job;
    job.id = id;
    job.name = name;
    job.fullUserName = QStringLiteral("Demo User");
    const QDateTime submitted = ServerClock::now().addSecs(-60LL * minutesWaiting);
    job.submitTime = ServerClock::format(submitted);
    job.waitingTime = QStringLiteral("%1 min").arg(minutesWaiting);
    job.allowMultipleOutputs = true;
    job.allowReplacing = true;
    job.connections = { { QStringLiteral("conn-ok"), QStringLiteral("Approved") },
        { QStringLiteral("conn-redo"), QStringLiteral("Needs changes") },
        { QStringLiteral("conn-archive"), QStringLiteral("Archive") } };
    job.metadata = { { QStringLiteral("Customer"), QStringLiteral("Name of the customer"), typeString,
                         QStringLiteral("Northwind Press") },
        { QStringLiteral("Pages"), QStringLiteral("Page count"), typeString, QStringLiteral("24") } };
    job.requiresMetadata = true;
    job.requiredMetadata = { field(QStringLiteral("Approved by"), QStringLiteral("Your name"), typeString,
                                 QString(), true, true),
        field(QStringLiteral("Proof OK"), QStringLiteral("The proof was checked"), typeBool, QString(), true,
            false, QStringLiteral("true")) };

    const QString jobPath = QDir(folder).absoluteFilePath(QStringLiteral("jobs/%1/%2").arg(id, name));
    if (name.contains(QLatin1Char('.'))) {
        writeFile(jobPath, filler("%PDF-1.4 demo content of " + name.toUtf8() + '\n', 48 * 1024));
    } else {
        writeFile(jobPath + QStringLiteral("/cover.txt"), "Cover page of " + name.toUtf8() + '\n');
        writeFile(jobPath + QStringLiteral("/pages/page-1.txt"), filler("page one ", 8000));
        writeFile(jobPath + QStringLiteral("/pages/page-2.txt"), filler("page two ", 8000));
    }
    job.package = Package::fromPath(jobPath);
    if (withReport) {
        job.enableReportViewing = true;
        job.reportName = name + QStringLiteral(" report.txt");
        const QString reportPath
            = QDir(folder).absoluteFilePath(QStringLiteral("reports/%1/%2").arg(id, job.reportName));
        writeFile(reportPath, "Preflight report for " + name.toUtf8() + "\nNo problems found.\n");
        job.report = Package::fromPath(reportPath);
    }
    return job;
}

} // namespace

QString DemoData::logMessage(const QString &text, const QStringList &arguments)
{
    QDomDocument document;
    document.appendChild(LogRecord(text, arguments).saveToDomElement(document));
    return document.toString(-1);
}

DemoData DemoData::make(const QString &folder)
{
    DemoData demo;
    demo.serverName = QStringLiteral("Demo Workflow Server");
    demo.statusText = QStringLiteral("Running (demo data)");

    Flow print;
    print.id = QStringLiteral("flow-print");
    print.name = QStringLiteral("Print Production");
    print.submitPoints = { { QStringLiteral("sp-orders"), QStringLiteral("New Orders"), everyKind() },
        { QStringLiteral("sp-quick"), QStringLiteral("Quick Print"),
            { field(QStringLiteral("Copies"), QStringLiteral("Number of copies"), typeString,
                QStringLiteral("[1-9][0-9]*"), true, true, QStringLiteral("1")) } } };
    CheckPoint proof;
    proof.id = QStringLiteral("cp-proof");
    proof.name = QStringLiteral("Approve Proof");
    proof.jobs = { makeJob(folder, QStringLiteral("job-101"), QStringLiteral("Brochure.pdf"), 12, true),
        makeJob(folder, QStringLiteral("job-102"), QStringLiteral("Catalog 2024"), 95, true),
        makeJob(folder, QStringLiteral("job-103"), QStringLiteral("Flyer.pdf"), 3, false) };
    CheckPoint press;
    press.id = QStringLiteral("cp-press");
    press.name = QStringLiteral("Press Check");
    press.jobs = { makeJob(folder, QStringLiteral("job-104"), QStringLiteral("Poster.pdf"), 40, true) };
    print.checkPoints = { proof, press };

    Flow archive;
    archive.id = QStringLiteral("flow-archive");
    archive.name = QStringLiteral("Archiving");
    archive.submitPoints = { { QStringLiteral("sp-archive"), QStringLiteral("Archive Drop"), {} } };
    CheckPoint review;
    review.id = QStringLiteral("cp-review");
    review.name = QStringLiteral("Review Before Archiving");
    review.jobs = { makeJob(folder, QStringLiteral("job-201"), QStringLiteral("Annual Report"), 300, false) };
    archive.checkPoints = { review };

    Flow idle;
    idle.id = QStringLiteral("flow-idle");
    idle.name = QStringLiteral("Idle Flow");
    idle.state = 0;

    demo.flows = { print, archive, idle };

    const QStringList types = { QStringLiteral("error"), QStringLiteral("warning"), QStringLiteral("info"),
        QStringLiteral("debug"), QStringLiteral("assert") };
    const QStringList modules = { QStringLiteral("Control"), QStringLiteral("Submit"),
        QStringLiteral("Checkpoint"), QStringLiteral("Archive"), QStringLiteral("Network") };
    const QStringList texts
        = { QStringLiteral("Job \"%1\" arrived in %2"), QStringLiteral("Job \"%1\" moved on from %2"),
              QStringLiteral("Could not read \"%1\" in %2, retrying"),
              QStringLiteral("Disk space low while %2 processed \"%1\""),
              QStringLiteral("Job \"%1\" finished in %2") };
    const QStringList jobs = { QStringLiteral("Brochure.pdf"), QStringLiteral("Catalog 2024"),
        QStringLiteral("Flyer.pdf"), QStringLiteral("Poster.pdf"), QStringLiteral("Annual Report") };
    const QDateTime now = ServerClock::now();
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        LogEntry log;
        log.recId = i + 1;
        log.timeStamp = ServerClock::format(now.addSecs(-600LL * (count - i)));
        log.type = types.at(i % types.size());
        log.module = modules.at((i / 2) % modules.size());
        log.serverName = demo.serverName;
        log.flowName = (i % 3 == 0) ? archive.name : print.name;
        log.jobName = jobs.at((i / 3) % jobs.size());
        log.message = logMessage(texts.at((i / 5) % texts.size()), { log.jobName, log.module });
        demo.logs.append(log);
    }

    const QStringList states = { QStringLiteral("Processing"), QStringLiteral("Waiting at checkpoint"),
        QStringLiteral("Finished") };
    for (int i = 0; i < 12; ++i) {
        ProgressEntry entry;
        entry.fullUserName = QStringLiteral("Demo User");
        entry.jobName = jobs.at(i % jobs.size());
        entry.serverName = demo.serverName;
        entry.flowName = (i % 2) ? archive.name : print.name;
        entry.submitPoint = (i % 2) ? QStringLiteral("Archive Drop") : QStringLiteral("New Orders");
        entry.submittedTime = ServerClock::format(now.addSecs(-900LL * (i + 1)));
        entry.state = states.at(i % states.size());
        entry.enteredState = ServerClock::format(now.addSecs(-300LL * (i + 1)));
        entry.onHold = (i % 4 == 0) ? QStringLiteral("Yes") : QStringLiteral("No");
        entry.checkpoint = entry.state == states.at(1) ? proof.name : QString();
        demo.progress.append(entry);
    }
    return demo;
}

} // namespace testserver
