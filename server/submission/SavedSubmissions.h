#pragma once

#include "MetadataToFill.h"

#include <QList>
#include <QString>

class SubmittedFile;

// Jobs not yet sent, kept in the settings store (group "Submittions") so
// that they come back at the next start. Layout: one group per connection
// ("host:port" of its edited settings), in it one per submit point
// ("flowId:pointId"), in it one per job named by its number.
namespace SavedSubmissions {

struct SavedJob
{
    QString host;
    int port = 0;
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

void writeJob(const QString &pointGroup, int number, const SubmittedFile &job);
void writeStatus(const QString &pointGroup, int number, int status);
void removeJob(const QString &pointGroup, int number);
void removeConnection(const QString &host, int port);

// Every saved job, in group order; numbers in numeric order.
QList<SavedJob> readAll();

} // namespace SavedSubmissions
