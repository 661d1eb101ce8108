#include "MessageView.h"

#include "ColumnFit.h"
#include "ElidedLabel.h"
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
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>
#include <QThread>
#include <QTimer>

namespace Client {

MessageView::MessageView(const ServerProxyPtr &proxy, QWidget *parent)
    : Velloc::AbsBasicMessagePane(parent)
    , m_proxy(proxy)
    , m_model(new MessageModel(proxy, this))
    , m_filterModel(new MessageSFPModel(this))
    // A long path or count never widens the window: cut, whole as tooltip.
    , m_exportNote(new Velloc::ElidedLabel(this))
    , m_droppedNote(new Velloc::ElidedLabel(this))
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

    // A large batch whose rows fall between the shown ones (several servers
    // number their records alike; a sort by text) joins the table unsorted
    // and is sorted once at the end: the filter model would pass over every
    // row for each place a row goes in. Newer records shown newest first go
    // in at one place and stay sorted as they come.
    connect(m_model, &MessageModel::batchQueued, m_filterModel, [this](bool newerThanAll) {
        if (!newerThanAll || m_filterModel->sortColumn() != MessageModel::TimeColumn)
            m_filterModel->setDynamicSortFilter(false);
    });
    // The one sort in a turn of the event loop of its own.
    connect(m_model, &MessageModel::loadingFinished, m_filterModel, [this] {
        QTimer::singleShot(0, m_filterModel, [this] {
            if (!m_filterModel->dynamicSortFilter() && m_model->pendingRows() == 0)
                m_filterModel->setDynamicSortFilter(true);
        });
    });

    m_exportNote->hide();
    addStatusWidget(m_exportNote);
    m_droppedNote->hide();
    addStatusWidget(m_droppedNote);
    connect(m_model, &MessageModel::rowsDropped, this, [this](qint64 total) {
        m_droppedNote->setText(
            tr("The oldest %1 messages were dropped: at most %2 are kept")
                .arg(QLocale().toString(total), QLocale().toString(m_model->maximumRows())));
        m_droppedNote->show();
    });
}

MessageView::~MessageView()
{
    saveSettings();
    // Stopped between two messages; the target stays as it was.
    if (m_exportThread) {
        m_exportThread->disconnect(this);
        m_exportCancel->store(true);
        m_exportThread->wait();
        delete m_exportThread;
    }
}

QString MessageView::exportNote() const
{
    return m_exportNote->text();
}

QString MessageView::droppedNote() const
{
    return m_droppedNote->text();
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
    const int before = m_model->rowCount();
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
        // A large batch comes in slices, later: nothing moved yet.
        if (m_model->rowCount() != before) {
            // The scroll range follows the new rows only after the layout.
            table->doItemsLayout();
            if (atBottom)
                bar->setValue(bar->maximum());
            if (atTop)
                bar->setValue(bar->minimum());
            if (!atBottom && !atTop && top.isValid())
                table->scrollTo(top, QAbstractItemView::PositionAtTop);
        }
    }
    // The rows hold copies: kept in the proxy too, every batch of the run
    // would stay in memory twice.
    if (m_proxy)
        m_proxy->dropLogBatch(key);
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

    return exportTo(path);
}

bool MessageView::exportTo(const QString &path)
{
    if (m_exportThread)
        return false;
    // Opened here, so a name that cannot be written is told at once.
    auto file = std::make_shared<QSaveFile>(path);
    // A file the user may write in a folder where no file can be made
    // beside it is written in place.
    file->setDirectWriteFallback(true);
    if (!file->open(QIODevice::WriteOnly)) {
        // The note must not go on telling of an earlier export.
        m_exportNote->setText(tr("Export to %1 failed").arg(QDir::toNativeSeparators(path)));
        m_exportNote->show();
        warnExportFailed(path, file->errorString());
        return false;
    }
    // Shared with the rows, not copied: rows that come or go meanwhile
    // leave the export as it began.
    const QList<LogMessage> messages = m_model->messages();
    auto error = std::make_shared<QString>();
    auto written = std::make_shared<bool>(false);
    m_exportCancel = std::make_shared<std::atomic<bool>>(false);
    // The file is used by the worker alone until it ends.
    m_exportThread = QThread::create([file, messages, error, written, cancel = m_exportCancel] {
        *written = LogExport::write(messages, *file, error.get(), cancel.get());
    });
    // Rows dropped for the limit are missing from the file too.
    const qint64 dropped = m_model->droppedRows();
    connect(m_exportThread, &QThread::finished, this,
        [this, file, path, error, written, dropped, count = messages.size()] {
            m_exportThread->deleteLater();
            m_exportThread = nullptr;
            m_exportAction->setEnabled(true);
            const QString shown = QDir::toNativeSeparators(path);
            if (*written) {
                setLastExportPath(QFileInfo(path).absoluteFilePath());
                if (dropped == 0)
                    m_exportNote->setText(
                        tr("%n log message(s) exported to %1", nullptr, int(count)).arg(shown));
                else
                    m_exportNote->setText(
                        tr("%n log message(s) exported to %1; the oldest %2 had been dropped before: at most "
                           "%3 are kept",
                            nullptr, int(count))
                            .arg(shown, QLocale().toString(dropped),
                                QLocale().toString(m_model->maximumRows())));
            } else {
                m_exportNote->setText(tr("Export to %1 failed").arg(shown));
                warnExportFailed(path, *error);
            }
            emit exportFinished(*written);
        });
    m_exportAction->setEnabled(false);
    m_exportNote->setText(tr("Exporting %n log message(s)...", nullptr, int(messages.size())));
    m_exportNote->show();
    m_exportThread->start(QThread::LowPriority);
    return true;
}

void MessageView::warnExportFailed(const QString &path, const QString &error)
{
    QMessageBox warning(QMessageBox::Warning, tr("Warning"),
        tr("The log messages could not be written to %1.\n%2").arg(QDir::toNativeSeparators(path), error),
        QMessageBox::Ok, window());
    warning.exec();
}

} // namespace Client
