#pragma once

#include "AbsBasicMessagePane.h"
#include "ServerProxy.h"

#include <memory>

namespace Velloc {
class ExportLogsAction;
}

namespace Client {

class MessageModel;
class MessageSFPModel;

// The log pane of the Messages page: every log message the servers send,
// in one filtered and sorted table, exported to XML on request. Batches
// come in as the proxy announces them; a connection's rows go when the
// proxy clears its data.
class MessageView : public Velloc::AbsBasicMessagePane
{
    Q_OBJECT

public:
    explicit MessageView(const ServerProxyPtr &proxy, QWidget *parent = nullptr);
    ~MessageView() override;

    QString defaultFilterText() const override;
    void loadPaneSettings() override;
    void savePaneSettings() override;
    bool reloadData() override;

    MessageModel *messageModel() const { return m_model; }
    MessageSFPModel *filterModel() const { return m_filterModel; }
    Velloc::ExportLogsAction *exportAction() const { return m_exportAction.get(); }

    // Asks for a file and writes every loaded message to it; false when
    // nothing was written.
    bool exportLogs();

public slots:
    void updateRequestHandler(const QString &key);
    void clearRequestHandler(int connectionId);
    void fileManageLogsClick();

private:
    void loadSettings();
    void saveSettings();
    void sortByHeader(int section);

    ServerProxyPtr m_proxy;
    MessageModel *m_model;
    MessageSFPModel *m_filterModel;
    std::unique_ptr<Velloc::ExportLogsAction> m_exportAction;
};

} // namespace Client
