#pragma once

#include "CountedPtr.h"

#include <QString>

// One flow of a server. The connection's flow table owns the one object of
// each flow id; its address keys the proxy's per-flow data.
class Flow
{
public:
    Flow(const QString &id, const QString &name)
        : m_id(id)
        , m_name(name)
    { }

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

private:
    QString m_id;
    QString m_name;
};

using FlowPtr = CountedPtr<Flow>;
