#pragma once

#include "BaseWidget.h"
#include "ServerProxy.h"

namespace Client {

class MessageView;
class UpdateControl;

// The Messages page: the log messages of all servers under a title, with
// the automatic update of log messages in the pane's status row.
class MessagePage : public BaseWidget
{
    Q_OBJECT

public:
    explicit MessagePage(const ServerProxyPtr &proxy, QWidget *parent = nullptr);
    ~MessagePage() override;

    MessageView *view() const { return m_view; }
    UpdateControl *updateControl() const { return m_updateControl; }

private:
    ServerProxyPtr m_proxy;
    MessageView *m_view;
    UpdateControl *m_updateControl;
};

} // namespace Client
