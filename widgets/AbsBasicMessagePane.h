#pragma once

#include <QBasicTimer>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractItemModel;
class QContextMenuEvent;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QTimer;
class QTimerEvent;

namespace Velloc {

class LogHeaderView;
class LogTableView;

// A table of log messages with a filter row in its header and a status row
// underneath. The pane does not know where messages come from: a subclass
// supplies the models, its own settings and the reload step, and connects
// its models' signals to the slots below. The models talk to the header
// through the roles of LogRoles.h.
class AbsBasicMessagePane : public QWidget
{
    Q_OBJECT

public:
    explicit AbsBasicMessagePane(QWidget *parent = nullptr);
    ~AbsBasicMessagePane() override;

    // The filter text the first column gets when all filters are reset.
    virtual QString defaultFilterText() const = 0;
    // The subclass's own settings (e.g. the wrap mode), keyed with paneNumber().
    virtual void loadPaneSettings() = 0;
    virtual void savePaneSettings() = 0;
    // Reloads the model; the result is not used.
    virtual bool reloadData() = 0;

    // Puts a widget at the right end of the status row.
    void addStatusWidget(QWidget *widget);
    // Writes the pane's settings (called when the last window closes).
    void storeSettings();

    int paneNumber() const { return m_paneNumber; }
    LogTableView *tableView() const { return m_table; }
    LogHeaderView *headerView() const;
    QLabel *statusLabel() const { return m_statusLabel; }
    QProgressBar *progressBar() const { return m_progressBar; }

    QAbstractItemModel *sourceModel() const { return m_sourceModel; }
    void setSourceModel(QAbstractItemModel *model);
    // The model the table shows; also set on the table.
    QAbstractItemModel *viewModel() const { return m_viewModel; }
    void setViewModel(QAbstractItemModel *model);

    QString lastExportPath() const { return m_lastExportPath; }
    void setLastExportPath(const QString &path) { m_lastExportPath = path; }

    // True while a reload waits to put the remembered top row back.
    bool isScrollRestorePending() const { return m_scrollTimer.isActive(); }

public slots:
    void refreshLogs();
    void setSortingFlag();
    void startedFiltering();
    void finishedFiltering();
    void finishedUpdate();
    void updateMessage();

protected slots:
    void resetEditors();
    void setRefreshingTimer();

protected:
    void timerEvent(QTimerEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void createTableView();

    const int m_paneNumber = 1;
    LogTableView *m_table = nullptr;
    QPointer<QAbstractItemModel> m_sourceModel;
    QPointer<QAbstractItemModel> m_viewModel;
    QBasicTimer m_scrollTimer;
    QPersistentModelIndex m_topIndex;
    QTimer *m_refreshTimer = nullptr;
    QHBoxLayout *m_statusRow = nullptr;
    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    bool m_filtering = true;
    QString m_lastExportPath;
};

} // namespace Velloc
