#pragma once

#include "CheckPointJobData.h"
#include "MetadataToFill.h"
#include "ProgressData.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

// One server's last known data in an XML file of the client's data
// folder, so that a server that cannot be reached still shows it and
// pushes decided while it was away survive a restart. Plain values only:
// the proxy turns them into its objects.
class ServerCache
{
public:
    struct Point
    {
        QString id;
        QString name;
        QList<MetadataToFill> metadata;
    };
    struct Job
    {
        QString id;
        CheckPointJobData data;
        // The targets of a push that waits; empty otherwise.
        QStringList chosenConnectionIds;
    };
    struct CheckPointEntry
    {
        QString id;
        QString name;
        QList<Job> jobs;
    };
    struct FlowEntry
    {
        QString id;
        QString name;
        QList<Point> points;
        QList<CheckPointEntry> checkPoints;
    };
    struct Content
    {
        QList<FlowEntry> flows;
        ProgressList progress;
    };

    enum class ReadResult {
        Read,
        Missing, // no file, or it cannot be opened
        Malformed,
    };

    // The folder the main window stored; "" when none (then nothing is
    // cached: a relative or empty folder would put files anywhere).
    static QString folder();
    // One file per server and user: host + "#" + port + "#" + user + ".xml",
    // the host without its scheme, and in host and user the characters that
    // cannot stand in a file name (and '#') encoded. Without a user it is
    // host + "#" + port + ".xml", the name earlier runs gave every user.
    static QString fileName(const QString &host, int port, const QString &user = QString());
    // "" without a folder.
    static QString filePath(
        const QString &folder, const QString &host, int port, const QString &user = QString());
    static QString tempPrefix() { return QStringLiteral("~#~"); }

    // The document as text, attributes in a fixed order, characters that
    // XML 1.0 does not allow left out.
    static QByteArray toXml(const Content &content);
    static ReadResult read(const QString &path, Content *content, QString *error = nullptr);
    // The same reading of a file's bytes.
    static ReadResult fromXml(const QByteArray &bytes, Content *content, QString *error = nullptr);
    // True when the file of this content reads back whatever its texts
    // hold: each kind of data within its budget, no element's markup over
    // the bound (reckoned as if every character were escaped). Cheap: no
    // file is made or parsed.
    static bool withinReadBounds(const Content &content);
    static qint64 maxFileBytes();
    // Through the temporary file beside the target, which then replaces it
    // in one step; on any failure the old file stays and no temporary file
    // is left.
    static bool save(const Content &content, const QString &path);

    // A waiting push as the file keeps it: status 1, the targets, and the
    // values entered for the job's required fields (the i-th value to the
    // i-th field; fields beyond the values keep theirs).
    static void markWaitingPush(Job &job, const QStringList &chosenIds, const QList<MetadataToFill> &values);

    // Records a push that waits (status 1, the targets and the metadata
    // values) in the job's element, found by flow, checkpoint and job id.
    // False when the file could not be read or written, or holds no such job.
    static bool patchWaitingPush(const QString &path, const QString &flowId, const QString &checkPointId,
        const QString &jobId, const QStringList &chosenIds, const QList<MetadataToFill> &values);
    // A push the server answered: the job is no longer marked as waiting
    // (and is dropped when the server took it).
    static bool patchPushDone(const QString &path, const QString &flowId, const QString &checkPointId,
        const QString &jobId, bool taken);

private:
    static ReadResult readFrom(QIODevice *device, Content *content, QString *error);
};
