#pragma once

#include "ServerTypes.h"

namespace testserver {

class Server;

// A busy server's data of a chosen size: jobs spread evenly over the
// checkpoints, the checkpoints over the flows; log records stamped over the
// last hours, newest last; progress records of jobs submitted in the last
// hours. Jobs carry their metadata and outgoing connections but no files.
struct ScaleData
{
    struct Size
    {
        int flows = 20;
        int checkPoints = 200;
        int jobs = 20000;
        int logs = 200000;
        int progress = 20000;
    };

    QString serverName;
    QList<Flow> flows;
    QList<LogEntry> logs;
    QList<ProgressEntry> progress;

    static ScaleData make(const Size &size, const QString &serverName = QStringLiteral("Busy Server"));
    // "flows,checkpoints,jobs,logs,progress"; false when the text is not
    // five whole numbers of at least 0 (flows and checkpoints at least 1).
    static bool parseSize(const QString &text, Size *size);
    // The data set into the server, with its name.
    void loadInto(Server &server) const;
};

} // namespace testserver
