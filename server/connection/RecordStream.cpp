#include "RecordStream.h"

#include "CallBounds.h"
#include "ReadingRules.h"

#include <ombrelH.h>

namespace RecordStream {

namespace {

// What the context allocated since a mark: soap_malloc blocks (the strings
// the readers build) and instantiated objects. Released one by one with
// the toolkit's own calls; a block the toolkit would not find is left to
// the end of the call.
class Mark
{
public:
    explicit Mark(struct soap *soap)
        : m_soap(soap)
        , m_blocks(soap->alist)
        , m_objects(soap->clist)
    { }

    void release()
    {
        while (m_soap->clist && m_soap->clist != m_objects) {
            const struct soap_clist *before = m_soap->clist;
            soap_delete(m_soap, m_soap->clist->ptr);
            if (m_soap->clist == before)
                break;
        }
        // A block is linked by a trailer after its data: the link, then the
        // data's size (soap_malloc); soap_dealloc takes the data's address.
        // The context sets a DIME record's fields only in a DIME reply.
        const bool dime = (m_soap->mode | m_soap->imode) & SOAP_ENC_DIME;
        while (m_soap->alist && m_soap->alist != m_blocks) {
            char *link = static_cast<char *>(m_soap->alist);
            const size_t size = *reinterpret_cast<const size_t *>(link + sizeof(void *));
            void *data = link - size;
            // Still in use by the context: a DIME record's fields.
            if (dime
                && (data == m_soap->dime.id || data == m_soap->dime.type || data == m_soap->dime.options))
                break;
            soap_dealloc(m_soap, data);
            if (m_soap->alist == link)
                break;
        }
        m_blocks = m_soap->alist;
        m_objects = m_soap->clist;
    }

private:
    struct soap *m_soap;
    void *m_blocks;
    struct soap_clist *m_objects;
};

// Reads the children of the element just begun, each through `readChild`
// (true when it read one), skipping unknown ones, then its end tag; the
// pattern of the generated class readers.
template <typename ReadChild> bool readChildren(struct soap *soap, const char *tag, ReadChild readChild)
{
    if (!soap->body)
        return true;
    for (;;) {
        soap->error = SOAP_TAG_MISMATCH;
        if (readChild())
            continue;
        if (soap->error == SOAP_TAG_MISMATCH)
            soap->error = ombrel::soap_ignore_element(soap);
        if (soap->error == SOAP_NO_TAG)
            break;
        if (soap->error)
            return false;
    }
    return soap_element_end_in(soap, tag) == SOAP_OK;
}

// One record read into `record` by the generated reader, handed over and
// released. False when none was read or the taker refused it.
template <typename Record, typename Read, typename Take>
bool readRecord(struct soap *soap, Mark &mark, Read read, Take take)
{
    Record record;
    record.soap_default(soap);
    if (!read(&record))
        return false;
    const bool taken = take(record);
    mark.release();
    CallBounds::recordRead(soap);
    if (!taken) {
        CallBounds::refuse(soap);
        soap->error = SOAP_LENGTH;
    }
    return taken;
}

// The reply of an operation whose request the generated stub has sent:
// the envelope around the response element `responseTag`, whose content
// `readContent` reads.
template <typename ReadContent>
int receive(struct soap *soap, const char *responseTag, ReadContent readContent)
{
    if (soap_begin_recv(soap) || soap_envelope_begin_in(soap) || soap_recv_header(soap)
        || soap_body_begin_in(soap))
        return soap_closesock(soap);
    // A record is gone when the next one is read, so nothing may refer
    // back into it: the readers refuse an element that carries a reference
    // before the toolkit notes where its value goes (ReadingRules). They
    // match children by their local names; the response's namespace counts.
    if (::vornex_element_begin_in(soap, responseTag, 0, nullptr) == SOAP_OK) {
        // What the context holds from here on belongs to the records.
        Mark mark(soap);
        if (readChildren(soap, responseTag, [&] { return readContent(mark); }))
            ombrel::soap_getindependent(soap);
    }
    if (soap->error)
        return soap_recv_fault(soap, 0);
    if (soap_body_end_in(soap) || soap_envelope_end_in(soap) || soap_end_recv(soap))
        return soap_closesock(soap);
    return soap_closesock(soap);
}

// The generated readers leave the tag mismatch of the last child they
// tried; a string reader may be tried after a field that ended its parent.
bool mayTry(const struct soap *soap)
{
    return soap->error == SOAP_TAG_MISMATCH || soap->error == SOAP_NO_TAG;
}

} // namespace

int getLogData07(struct soap *soap, const char *endpoint, const std::wstring &lastTime,
    const std::function<bool(const ombrel::LoggedRecord &)> &take)
{
    CallBounds::allowRecords(soap);
    if (ombrel::soap_send_ombrel__GetLogData07(soap, endpoint, "", lastTime))
        return soap->error;
    return readLogData07(soap, take);
}

int readLogData07(struct soap *soap, const std::function<bool(const ombrel::LoggedRecord &)> &take)
{
    return receive(soap, "ombrel:GetLogData07Response", [&](Mark &mark) {
        return readRecord<ombrel::LoggedRecord>(
            soap, mark,
            [&](ombrel::LoggedRecord *record) {
                return ombrel::soap_in_LoggedRecord(soap, "logs", record, "LoggedRecord") != nullptr;
            },
            take);
    });
}

int getProgressData(struct soap *soap, const char *endpoint, int lastHours,
    const std::function<bool(const ombrel::ProgressRecord &)> &take)
{
    CallBounds::allowRecords(soap);
    if (ombrel::soap_send_ombrel__GetProgressData(soap, endpoint, "", lastHours))
        return soap->error;
    return readProgressData(soap, take);
}

int readProgressData(struct soap *soap, const std::function<bool(const ombrel::ProgressRecord &)> &take)
{
    return receive(soap, "ombrel:GetProgressDataResponse", [&](Mark &mark) {
        return readRecord<ombrel::ProgressRecord>(
            soap, mark,
            [&](ombrel::ProgressRecord *record) {
                return ombrel::soap_in_ProgressRecord(soap, "logs", record, "ProgressRecord") != nullptr;
            },
            take);
    });
}

int getCheckPoints07(struct soap *soap, const char *endpoint, const std::vector<std::wstring> &flowIds,
    int withJobs, const CheckPointTaker &take)
{
    CallBounds::allowRecords(soap);
    if (ombrel::soap_send_ombrel__GetCheckPoints07(soap, endpoint, "", flowIds, withJobs))
        return soap->error;
    return readCheckPoints07(soap, take);
}

int readCheckPoints07(struct soap *soap, const CheckPointTaker &take)
{
    // CheckPointInfo07: id, name and count once each, jobs one by one.
    const auto readCheckPoint = [&](Mark &mark) {
        if (::vornex_element_begin_in(soap, "checkPoints", 0, nullptr))
            return false;
        take.checkPointBegins();
        std::wstring id;
        std::wstring name;
        bool haveId = false;
        bool haveName = false;
        bool haveCount = false;
        const bool read = readChildren(soap, "checkPoints", [&] {
            if (!haveId && mayTry(soap) && ombrel::soap_in_std__wstring(soap, "cpId", &id, "xsd:string"))
                return haveId = true;
            if (!haveName && mayTry(soap)
                && ombrel::soap_in_std__wstring(soap, "cpName", &name, "xsd:string"))
                return haveName = true;
            int count = 0;
            if (!haveCount && soap->error == SOAP_TAG_MISMATCH
                && ombrel::soap_in_xsd__int(soap, "cpJobsCount", &count, "xsd:int"))
                return haveCount = true;
            if (soap->error != SOAP_TAG_MISMATCH)
                return false;
            return readRecord<ombrel::JobIdStatus>(
                soap, mark,
                [&](ombrel::JobIdStatus *job) {
                    return ombrel::soap_in_JobIdStatus(soap, "cpJobs", job, "JobIdStatus") != nullptr;
                },
                take.job);
        });
        if (!read)
            return false;
        take.checkPointEnds(id, name);
        return true;
    };
    // CheckPoints07: the flow id once, checkpoints one by one.
    const auto readFlow = [&](Mark &mark) {
        if (::vornex_element_begin_in(soap, "checkPoints", 0, nullptr))
            return false;
        take.flowBegins();
        std::wstring flowId;
        bool haveId = false;
        const bool read = readChildren(soap, "checkPoints", [&] {
            if (!haveId && mayTry(soap)
                && ombrel::soap_in_std__wstring(soap, "flowId", &flowId, "xsd:string"))
                return haveId = true;
            return soap->error == SOAP_TAG_MISMATCH && readCheckPoint(mark);
        });
        if (!read)
            return false;
        take.flowEnds(flowId);
        return true;
    };
    return receive(soap, "ombrel:GetCheckPoints07Response", readFlow);
}

} // namespace RecordStream
