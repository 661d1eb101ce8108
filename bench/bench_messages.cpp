// The Messages page with a large log: loading, filtering, sorting, removing
// a connection's rows and exporting, on the real view (offscreen).
//
//   bench_messages [--rows N] [--batch N]

#include "LogExport.h"
#include "LogRoles.h"
#include "LogTableView.h"
#include "MessageModel.h"
#include "MessageSFPModel.h"
#include "MessageView.h"
#include "ServerProxy.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Rows as a busy set of servers sends them: stamps over the last 20 hours,
// so the first filter ("10") keeps about half.
QList<LogMessage> makeMessages(int count, int firstId, int connections)
{
    static const QStringList types = { QStringLiteral("info"), QStringLiteral("info"),
        QStringLiteral("debug"), QStringLiteral("warning"), QStringLiteral("error") };
    static const QStringList modules
        = { QStringLiteral("Mover"), QStringLiteral("Sorter"), QStringLiteral("Archiver"),
              QStringLiteral("Preflight"), QStringLiteral("Mailer"), QStringLiteral("Scheduler") };
    static const QStringList flows = { QStringLiteral("Print production"), QStringLiteral("Archive"),
        QStringLiteral("Proofing"), QStringLiteral("Mail out"), QStringLiteral("Large format") };
    static const QStringList texts = { QStringLiteral("Job \"%1\" moved on from %2 to the next element"),
        QStringLiteral("Could not read \"%1\" in %2, retrying in 30 seconds"),
        QStringLiteral("Disk space low while %2 processed \"%1\""),
        QStringLiteral("Job \"%1\" finished in %2 after all checks passed") };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<LogMessage> messages;
    messages.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int id = firstId + i;
        LogMessage m;
        m.recordId = id;
        m.connectionId = 1 + (id / 500) % connections;
        m.timeStamp = now.addSecs(-qint64(20 * 3600) + qint64(id) * 20 * 3600 / 200000);
        m.type = types.at(id % types.size());
        m.module = modules.at(id % modules.size());
        m.server = QStringLiteral("Server %1").arg(m.connectionId);
        m.flow = flows.at(id % flows.size());
        m.job = QStringLiteral("Job %1.pdf").arg(id % 977);
        m.message = texts.at(id % texts.size()).arg(m.job, m.module);
        messages.append(m);
    }
    return messages;
}

double timed(const std::function<void()> &step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    QCoreApplication::processEvents();
    return clock.nsecsElapsed() / 1e6;
}

// One line of the report: the step's time, then what it left.
void report(const char *label, const std::function<void()> &step, const std::function<int()> &count = {})
{
    const double ms = timed(step);
    if (count)
        std::printf("%-32s %8.1f ms  (%d rows)\n", label, ms, count());
    else
        std::printf("%-32s %8.1f ms\n", label, ms);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rows = 200000;
    int batch = 1000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rows"))
            rows = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--batch"))
            batch = qMax(1, args.at(i + 1).toInt());
    }

    const QList<LogMessage> messages = makeMessages(rows, 1, 4);
    ServerProxyPtr proxy(new ServerProxy);
    auto *view = new Client::MessageView(proxy);
    view->resize(1200, 800);
    view->show();
    QCoreApplication::processEvents();
    Client::MessageModel *model = view->messageModel();
    Client::MessageSFPModel *filter = view->filterModel();
    Velloc::LogTableView *table = view->tableView();
    auto setFilter = [&](int column, const QString &text) {
        // As the filter row's timer does, 500 ms after the last keystroke.
        model->setHeaderData(column, Qt::Horizontal, text, Velloc::FilterTextResetRole);
        model->filterChanged();
        table->doItemsLayout();
    };

    const auto shown = [&] { return filter->rowCount(); };
    // A large batch comes in slices, in later turns of the event loop, and
    // is sorted once at the end: a load is measured to its last row shown.
    const auto settle = [&] {
        while (model->pendingRows() > 0 || !filter->dynamicSortFilter())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        table->doItemsLayout();
    };
    std::printf("%d rows; filter \"10\" on column 0, sorted by record id, descending\n", rows);
    const long rssBefore = rssKiB();
    report(
        "load in one batch",
        [&] {
            model->appendMessages(messages);
            settle();
        },
        shown);
    const long rssAfter = rssKiB();
    std::printf("%-32s %8.1f MiB (%.2f KiB per row)\n", "memory of the rows", (rssAfter - rssBefore) / 1024.0,
        double(rssAfter - rssBefore) / rows);

    report(
        "filter column 5 \"disk\"", [&] { setFilter(5, QStringLiteral("disk")); }, shown);
    report(
        "filter column 5 cleared", [&] { setFilter(5, QString()); }, shown);
    report(
        "filter column 0 \"24\"", [&] { setFilter(0, QStringLiteral("24")); }, shown);
    report(
        "filter column 0 \"5 :00:\"", [&] { setFilter(0, QStringLiteral("5 :00:")); }, shown);
    report(
        "filter column 0 cleared", [&] { setFilter(0, QString()); }, shown);
    report(
        "filter columns 1, 2 prefixes",
        [&] {
            model->setHeaderData(1, Qt::Horizontal, QStringLiteral("server"), Velloc::FilterTextResetRole);
            setFilter(2, QStringLiteral("mo ar"));
        },
        shown);
    report(
        "filters cleared",
        [&] {
            model->setHeaderData(1, Qt::Horizontal, QString(), Velloc::FilterTextResetRole);
            setFilter(2, QString());
        },
        shown);

    report("sort column 0 ascending", [&] { table->sortByColumn(0, Qt::AscendingOrder); });
    report("sort column 0 descending", [&] { table->sortByColumn(0, Qt::DescendingOrder); });
    report("sort column 5 (text)", [&] { table->sortByColumn(5, Qt::AscendingOrder); });
    report("sort column 2 (module)", [&] { table->sortByColumn(2, Qt::AscendingOrder); });
    table->sortByColumn(0, Qt::DescendingOrder);
    setFilter(0, QStringLiteral("10"));

    report(
        "one more batch",
        [&] {
            model->appendMessages(makeMessages(batch, rows + 1, 4));
            settle();
        },
        shown);
    report(
        "remove one connection's rows", [&] { model->removeConnectionMessages(2); },
        [&] { return model->rowCount(); });

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("messages.xml"));
    report(
        "export", [&] { Client::LogExport::write(model->messages(), path); },
        [&] { return model->rowCount(); });
    std::printf("%-32s %8.1f MiB\n", "export file", QFileInfo(path).size() / 1048576.0);

    // Arrival as updates bring it, into a fresh view.
    delete view;
    view = new Client::MessageView(proxy);
    view->show();
    model = view->messageModel();
    filter = view->filterModel();
    table = view->tableView();
    report(
        "load in batches",
        [&] {
            for (int first = 0; first < rows; first += batch)
                model->appendMessages(messages.mid(first, batch));
            settle();
        },
        shown);
    delete view;
    return 0;
}
