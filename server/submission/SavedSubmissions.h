#pragma once

#include "MetadataToFill.h"

#include <QList>
#include <QString>

class SubmittedFile;

// Jobs not yet sent, kept in the settings store (group "Submittions") so
// that they come back at the next start. Layout: one group per connection
// ("host:port" of its edited settings; the port is after the last ':', so
// an IPv6 host keeps its own), in it one per submit point
// ("flowId:pointId"), in it one per job named by its number. Each job
// also names its user, so that two connections to one server keep apart.
namespace SavedSubmissions {

struct SavedJob
{
    QString host;
    int port = 0;
    QString user; // empty in entries of older runs: any user of the server
    // Whether the job was saved for this connection.
    bool belongsTo(const QString &connectionHost, int connectionPort, const QString &connectionUser) const;
    QString flowId;
    QString pointId;
    int number = -1;
    QString jobName;
    bool isFile = false;
    QString path;
    int status = 0; // "Preparing data" reads back as "Waiting connection"
    QList<MetadataToFill> metadata;
};

// "Submittions/<host>:<port>/<flowId>:<pointId>"
QString pointGroup(const QString &host, int port, const QString &flowId, const QString &pointId);

// One above the highest number in use under the point's group (0 when
// none), so a removal never makes a number come round again.
int nextJobNumber(const QString &pointGroup);

void writeJob(const QString &pointGroup, int number, const SubmittedFile &job, const QString &user);
void writeStatus(const QString &pointGroup, int number, int status);
void removeJob(const QString &pointGroup, int number);
// The jobs of that user (and those that name no user) on that server.
void removeConnection(const QString &host, int port, const QString &user);

// Every saved job, in group order; numbers in numeric order.
QList<SavedJob> readAll();

} // namespace SavedSubmissions
