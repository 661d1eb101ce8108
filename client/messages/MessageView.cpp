#include "MessageView.h"

#include "ColumnFit.h"
#include "ExportLogsAction.h"
#include "LogExport.h"
#include "LogHeaderView.h"
#include "LogTableView.h"
#include "MessageModel.h"
#include "MessageNames.h"
#include "MessageSFPModel.h"
#include "ShellSupport.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>

namespace Client {

MessageView::MessageView(const ServerProxyPtr &proxy, QWidget *parent)
    : Velloc::AbsBasicMessagePane(parent)
    , m_proxy(proxy)
    , m_model(new MessageModel(proxy, this))
    , m_filterModel(new MessageSFPModel(this))
{
    m_filterModel->setDynamicSortFilter(true);
    m_filterModel->setSourceModel(m_model);
    setSourceModel(m_model);
    setViewModel(m_filterModel);

    connect(m_model, &MessageModel::filterStringsChanged, m_filterModel, &MessageSFPModel::resetModel);
    m_model->setView(tableView());

    loadSettings();

    m_exportAction = std::make_unique<Velloc::ExportLogsAction>(
        QIcon(QStringLiteral(":/Dovelin/Images/img_ExportLogs.png")), tr("&Export log messages..."));
    tableView()->setExtraAction(m_exportAction.get());

    loadPaneSettings();

    connect(m_exportAction.get(), &QAction::triggered, this, &MessageView::fileManageLogsClick);
    Velloc::LogHeaderView *header = headerView();
    connect(header, &QHeaderView::sectionClicked, this, &MessageView::setSortingFlag);
    connect(header, &QHeaderView::sectionClicked, this, &MessageView::sortByHeader);
    connect(m_filterModel, &QAbstractItemModel::layoutAboutToBeChanged, this, &MessageView::startedFiltering);
    connect(m_filterModel, &QAbstractItemModel::layoutChanged, this, &MessageView::resetEditors);
    connect(m_filterModel, &QAbstractItemModel::layoutChanged, this, &MessageView::finishedFiltering);
    connect(m_filterModel, &QAbstractItemModel::layoutChanged, this, &MessageView::finishedUpdate);
    connect(m_filterModel, &QAbstractItemModel::rowsInserted, this, &MessageView::finishedUpdate);
    connect(m_filterModel, &QAbstractItemModel::rowsRemoved, this, &MessageView::finishedUpdate);
    // Removing many scattered rows resets the model instead.
    connect(m_filterModel, &QAbstractItemModel::modelReset, this, &MessageView::finishedUpdate);
    if (m_proxy) {
        connect(m_proxy.get(), &ServerProxy::updateLogRequest, this, &MessageView::updateRequestHandler);
        connect(m_proxy.get(), &ServerProxy::clearLogRequest, this, &MessageView::clearRequestHandler);
    }

    m_model->setStatusLabel(statusLabel());
    m_filterModel->setProgressBar(progressBar());
}

MessageView::~MessageView()
{
    saveSettings();
}

QString MessageView::defaultFilterText() const
{
    return QStringLiteral("10");
}

void MessageView::loadPaneSettings()
{
    const bool wrap = QSettings().value(MessageNames::wrapTextKey(paneNumber()), false).toBool();
    tableView()->wrapTextAction()->setChecked(wrap);
}

void MessageView::savePaneSettings()
{
    QSettings().setValue(MessageNames::wrapTextKey(paneNumber()), tableView()->wrapTextAction()->isChecked());
}

bool MessageView::reloadData()
{
    return m_model->reloadData();
}

void MessageView::loadSettings()
{
    const QSettings settings;
    Velloc::LogHeaderView *header = headerView();
    const QByteArray state = settings.value(MessageNames::headerStateKey()).toByteArray();
    if (!state.isEmpty())
        header->restoreState(state);
    else
        ColumnFit::attach(header);
    const QString filters = settings.value(MessageNames::headerHistoryKey()).toString();
    if (!filters.isEmpty())
        header->restoreFilters(filters);
    if (header->isSortIndicatorShown()) {
        const int section = header->sortIndicatorSection();
        // A stored state may name a column this table does not have.
        if (section >= 0 && section < m_model->columnCount())
            tableView()->sortByColumn(section, header->sortIndicatorOrder());
    }
    setLastExportPath(settings.value(MessageNames::lastExportPathKey()).toString());
}

void MessageView::saveSettings()
{
    QSettings settings;
    settings.setValue(MessageNames::headerStateKey(), headerView()->saveState());
    settings.setValue(MessageNames::headerHistoryKey(), headerView()->saveFilters());
    settings.setValue(MessageNames::lastExportPathKey(), lastExportPath());
}

void MessageView::sortByHeader(int section)
{
    tableView()->sortByColumn(section, headerView()->sortIndicatorOrder());
}

void MessageView::updateRequestHandler(const QString &key)
{
    if (isScrollRestorePending()) {
        // The pane's own deferred reload will put back the row the user
        // last saw; a position set now would be undone by it.
        m_model->loadMessages(key);
    } else {
        QTableView *table = tableView();
        QScrollBar *bar = table->verticalScrollBar();
        const QPersistentModelIndex top(table->indexAt(QPoint(1, 1)));
        const bool atBottom = bar->value() == bar->maximum();
        const bool atTop = bar->value() == bar->minimum();

        m_model->loadMessages(key);
        // The scroll range follows the new rows only after the layout.
        table->doItemsLayout();

        if (atBottom)
            bar->setValue(bar->maximum());
        if (atTop)
            bar->setValue(bar->minimum());
        if (!atBottom && !atTop && top.isValid())
            table->scrollTo(top, QAbstractItemView::PositionAtTop);
    }
    // The rows hold copies: kept in the proxy too, every batch of the run
    // would stay in memory twice.
    if (m_proxy)
        m_proxy->clearLogBatches();
}

void MessageView::clearRequestHandler(int connectionId)
{
    m_model->removeConnectionMessages(connectionId);
}

void MessageView::fileManageLogsClick()
{
    if (sender() == m_exportAction.get())
        exportLogs();
}

bool MessageView::exportLogs()
{
    if (!m_model)
        return false;
    QWidget *parent = window();
    // A last file whose folder is gone would put that folder's name in as
    // the file name.
    const QString last = lastExportPath();
    const QString start
        = !last.isEmpty() && QFileInfo(last).absoluteDir().exists() ? last : dialogFolder(QString());
    const QString chosen = QFileDialog::getSaveFileName(
        parent, tr("Export log messages"), start, tr("VORNEX logs") + QLatin1String(" (*.xml)"));
    if (chosen.isEmpty())
        return false;
    const QString path = LogExport::fileNameFor(chosen);
    const QFileInfo target(path);
    if (path != chosen && target.exists() && !target.isDir()) {
        // The dialog asked about the name typed, not about this one.
        QMessageBox question(QMessageBox::Question, tr("Export log messages"),
            tr("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)),
            QMessageBox::NoButton, parent);
        QPushButton *replace = question.addButton(tr("&Yes"), QMessageBox::YesRole);
        question.setDefaultButton(question.addButton(tr("&No"), QMessageBox::RejectRole));
        question.exec();
        if (question.clickedButton() != replace)
            return false;
    }

    QString error;
    if (!LogExport::write(m_model->messages(), path, &error)) {
        QMessageBox warning(QMessageBox::Warning, tr("Warning"),
            tr("The log messages could not be written to %1.\n%2").arg(QDir::toNativeSeparators(path), error),
            QMessageBox::Ok, parent);
        warning.exec();
        return false;
    }
    setLastExportPath(target.absoluteFilePath());
    return true;
}

} // namespace Client
