#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One server log message as the client keeps it.
struct LogMessage
{
    int recordId = 0;
    int connectionId = 0;
    QDateTime timeStamp;
    QString module;
    QString server;
    QString flow;
    QString job;
    QString message;
    QString type;
};

using LogBatch = QList<LogMessage>;
