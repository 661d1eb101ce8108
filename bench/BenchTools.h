#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the benches share: whole-process runs with their CPU time, and the
// spread of repeated figures.
namespace BenchTools {

struct ProcessRun
{
    qint64 wallMs = -1;
    qint64 cpuMs = -1; // user and system, all threads of the process
    int exitCode = -1;
    QByteArray output; // its standard output
};

// Runs the program to its end (standard error stays ours).
ProcessRun run(const QString &program, const QStringList &arguments);

// CPU time of this process so far, all threads.
qint64 selfCpuMs();

struct Spread
{
    double min = 0;
    double median = 0;
    double max = 0;
};
Spread spread(QList<double> values);
// "min / median / max" with the given number of decimals.
QString spreadText(const QList<double> &values, int decimals = 2);

// Whole-process runs of one kind over a transfer of a known size.
struct Series
{
    QList<double> seconds;
    QList<double> cpuPerGiB;
    int failures = 0;

    void add(const ProcessRun &run, qint64 bytes);
    // One run's figures: seconds, and CPU seconds per GiB.
    QString text(int run) const;
};
// One line: seconds, MiB/s and CPU seconds per GiB, each min / median / max.
void printSeries(const char *label, const Series &series, qint64 bytes);
// a[i] / b[i], run by run.
QList<double> ratios(const QList<double> &a, const QList<double> &b);
// One line: the ratios' min / median / max.
void printRatio(const char *label, const QList<double> &a, const QList<double> &b);

// Where curl is, or "" (the comparison lines are then left out).
QString curlPath();

} // namespace BenchTools
