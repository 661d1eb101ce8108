#include "UserCall.h"

#include "ServerConnection.h"
#include "SoapCanceller.h"

#include <QMutexLocker>

#include <ombrelServiceProxy.h>

namespace {

QString faultTextOf(struct soap *soap, int soapError)
{
    if (soapError != SOAP_CLI_FAULT && soapError != SOAP_SVR_FAULT && soapError != SOAP_FAULT)
        return QString();
    const char *text = soap_fault_string(soap);
    // Bounded like any other string of a reply, but a line for a message box.
    return text ? QString::fromUtf8(text).trimmed().left(1000) : QString();
}

} // namespace

bool UserCall::Outcome::answered() const
{
    return soapError == SOAP_OK || soapError == SOAP_CLI_FAULT || soapError == SOAP_SVR_FAULT
        || soapError == SOAP_FAULT;
}

UserCall::UserCall(const Target &target, Body body)
    : m_target(target)
    , m_body(std::move(body))
{ }

UserCall::~UserCall()
{
    if (isRunning()) {
        cancel();
        wait();
    }
}

void UserCall::cancel()
{
    const QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    if (m_canceller)
        m_canceller->cancel();
}

UserCall::Outcome UserCall::runHere(const Target &target, const Body &body)
{
    Outcome outcome;
    if (target.endpoint.isEmpty()) {
        outcome.soapError = SOAP_TCP_ERROR;
        return outcome;
    }
    const std::unique_ptr<ombrel::Service> proxy(ServerConnection::createUserProxy(target));
    if (!proxy->soap) {
        outcome.soapError = SOAP_EOM;
        return outcome;
    }
    const SendTracker tracker(proxy->soap);
    outcome.soapError = body(proxy.get());
    outcome.reach = tracker.reach();
    outcome.breach = CallBounds::breach(proxy->soap);
    outcome.faultText = faultTextOf(proxy->soap, outcome.soapError);
    soap_destroy(proxy->soap);
    soap_end(proxy->soap);
    return outcome;
}

void UserCall::run()
{
    // Nowhere it may go: nothing is sent.
    if (m_target.endpoint.isEmpty()) {
        m_outcome.soapError = SOAP_TCP_ERROR;
        return;
    }
    const std::unique_ptr<ombrel::Service> proxy(ServerConnection::createUserProxy(m_target));
    if (!proxy->soap) {
        m_outcome.soapError = SOAP_EOM;
        return;
    }
    SoapCanceller canceller(proxy->soap);
    {
        const QMutexLocker lock(&m_mutex);
        if (m_cancelled) {
            m_outcome.soapError = SOAP_TCP_ERROR;
            return;
        }
        m_canceller = &canceller;
    }
    {
        const SendTracker tracker(proxy->soap);
        m_outcome.soapError = m_body(proxy.get());
        m_outcome.reach = tracker.reach();
        m_outcome.breach = CallBounds::breach(proxy->soap);
        m_outcome.faultText = faultTextOf(proxy->soap, m_outcome.soapError);
    }
    {
        const QMutexLocker lock(&m_mutex);
        m_canceller = nullptr;
    }
    soap_destroy(proxy->soap);
    soap_end(proxy->soap);
}
