#pragma once

#include <QString>

// One outgoing connection of a checkpoint job: where a push may send it.
struct JobConnection
{
    QString id;
    QString name;
};
