#pragma once

#include <QString>

struct CheckPointJobData;
struct LogMessage;
struct MetadataToFill;
struct ProgressData;

// What the client's copy of a record costs in memory, near enough to bound
// by it. One model for the replies read record by record, the cache file
// written and the cache file read, so that what a reply may bring within
// its budget, the file may hold and read back within the same budget.
namespace RecordCost {

inline quint64 of(const QString &text)
{
    return text.isEmpty() ? 0 : 32 + 2 * quint64(text.size());
}

template <typename... Texts> quint64 of(const Texts &...texts)
{
    return (of(texts) + ...);
}

quint64 of(const LogMessage &message);
quint64 of(const ProgressData &record);
quint64 of(const MetadataToFill &field);
// A job of a checkpoint's job map, its id (the map's key) included.
quint64 ofJob(const QString &id, const CheckPointJobData &job);

// Raw bytes of markup not parsed yet can cost at most this much once read:
// each byte becomes at most one UTF-16 unit.
inline quint64 ofUnparsed(quint64 bytes)
{
    return 2 * bytes;
}

// The records of one reply, or of one kind of data in the cache file.
class Budget
{
public:
    explicit Budget(quint64 limit)
        : m_limit(limit)
    { }

    // False once the records taken cost more than the limit.
    bool take(quint64 cost)
    {
        m_used += cost;
        return m_used <= m_limit;
    }
    quint64 left() const { return m_used < m_limit ? m_limit - m_used : 0; }
    quint64 used() const { return m_used; }

private:
    quint64 m_limit;
    quint64 m_used = 0;
};

} // namespace RecordCost
