#pragma once

#include "AbsBasicMessagePane.h"
#include "ServerProxy.h"

#include <QPointer>

#include <atomic>
#include <memory>

class QLabel;
class QThread;

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

    // Asks for a file and starts writing every loaded message to it; false
    // when nothing is written (cancelled, the file cannot be made, an
    // export still runs).
    bool exportLogs();
    // Writes every loaded message to the file in a thread of its own, the
    // window going on meanwhile; exportFinished() tells the end. False
    // (and told) when the file cannot be made.
    bool exportTo(const QString &path);
    bool isExporting() const { return m_exportThread != nullptr; }
    // What the export is doing or did, beside the status line.
    QString exportNote() const;
    // Which rows went for the row limit, if any.
    QString droppedNote() const;

signals:
    void exportFinished(bool written);

public slots:
    void updateRequestHandler(const QString &key);
    void clearRequestHandler(int connectionId);
    void fileManageLogsClick();

private:
    void loadSettings();
    void saveSettings();
    void sortByHeader(int section);
    void warnExportFailed(const QString &path, const QString &error);

    ServerProxyPtr m_proxy;
    MessageModel *m_model;
    MessageSFPModel *m_filterModel;
    std::unique_ptr<Velloc::ExportLogsAction> m_exportAction;
    QLabel *m_exportNote;
    QLabel *m_droppedNote;
    QPointer<QThread> m_exportThread;
    std::shared_ptr<std::atomic<bool>> m_exportCancel;
};

} // namespace Client
