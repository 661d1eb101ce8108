#pragma once

#include <QList>
#include <QString>

// One progress record of a submitted job, in the server's field order.
struct ProgressData
{
    QString fullUserName;
    QString jobName;
    QString serverName;
    QString flowName;
    QString submitPoint;
    QString submittedTime;
    QString state;
    QString enteredState;
    QString onHold;
    QString checkpoint;
};

using ProgressList = QList<ProgressData>;
