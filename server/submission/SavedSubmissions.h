#pragma once

#include "MetadataToFill.h"

#include <QList>
#include <QString>

class SubmittedFile;

// Jobs not yet sent, kept in the settings store (group "Submittions") so
// that they come back at the next start. Layout: one group per server
// ("host:port" of the connection as applied, the host without a scheme), in
// it one per submit point ("flowId:pointId"), in it one per job named by its
// number; each job also names its user, so that two connections to one
// server keep apart. In host and ids '%', ':', '/' and '\' are
// percent-encoded, so every name splits back; a name without them is the one
// earlier runs wrote, and what those wrote under other names (a scheme, an
// IPv6 host, an id with ':') is still found: entries are matched against the
// names a connection's points have, never split apart.
namespace SavedSubmissions {

struct SavedJob
{
    // The settings group of the job's point, as found in the store.
    QString group;
    QString user; // empty in entries of older runs: any user of the server
    int number = -1;
    QString jobName;
    bool isFile = false;
    QString path;
    int status = 0; // "Preparing data" reads back as "Waiting connection"
    QList<MetadataToFill> metadata;

    // Whether the job was saved for that point of a connection to the server
    // (host without a scheme), port and user.
    bool belongsTo(const QString &host, int port, const QString &user, const QString &flowId,
        const QString &pointId) const;
};

// "Submittions/<host>:<port>/<flowId>:<pointId>", encoded as above.
QString pointGroup(const QString &host, int port, const QString &flowId, const QString &pointId);

// One above the highest number in use under the point's group (0 when
// none), so a removal never makes a number come round again.
int nextJobNumber(const QString &pointGroup);

void writeJob(const QString &pointGroup, int number, const SubmittedFile &job, const QString &user);
void writeStatus(const QString &pointGroup, int number, int status);
// Also the groups left empty above it.
void removeJob(const QString &pointGroup, int number);
// The jobs of that user (and those that name no user) on that server.
void removeConnection(const QString &host, int port, const QString &user);

// Every saved job, in group order; numbers in numeric order.
QList<SavedJob> readAll();

} // namespace SavedSubmissions
