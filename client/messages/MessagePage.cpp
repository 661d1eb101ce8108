#include "MessagePage.h"

#include "HeaderLabel.h"
#include "MessageView.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QFrame>
#include <QVBoxLayout>

namespace Client {

MessagePage::MessagePage(const ServerProxyPtr &proxy, QWidget *parent)
    : BaseWidget(parent)
    , m_proxy(proxy)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    layout->addWidget(frame);

    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(new HeaderLabel(tr("Logged messages"), frame));
    m_view = new MessageView(m_proxy, frame);
    frameLayout->addWidget(m_view);

    m_updateControl = new UpdateControl(m_proxy, UpdateFlags::Messages, m_view);
    m_view->addStatusWidget(m_updateControl);
    connect(this, &BaseWidget::selected, m_updateControl, &UpdateControl::invokeUpdate);
}

MessagePage::~MessagePage()
{
    // The page's own reference keeps the proxy alive here, whoever else
    // has let go of it already.
    if (m_proxy)
        m_proxy->clearLogBatches();
}

} // namespace Client
