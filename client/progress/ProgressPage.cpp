#include "ProgressPage.h"

#include "ColumnFit.h"
#include "HeaderLabel.h"
#include "ProgressModel.h"
#include "ProgressNames.h"
#include "ProgressSortModel.h"
#include "SortedTable.h"
#include "UpdateControl.h"
#include "WorkFlags.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace Client {

namespace {

QRegularExpression hoursPattern()
{
    return QRegularExpression(QStringLiteral("^(\\d\\d?$|\\d\\.\\d)"));
}

} // namespace

bool ProgressPage::parseHours(const QString &text, double *hours)
{
    QRegularExpressionValidator validator(hoursPattern());
    QString copy = text;
    int position = 0;
    if (validator.validate(copy, position) != QValidator::Acceptable)
        return false;
    bool ok = false;
    const double value = copy.toDouble(&ok);
    if (ok && hours)
        *hours = value;
    return ok;
}

int ProgressPage::requestCount(double hours)
{
    if (!(hours > 1.0))
        return 1;
    return hours >= double(INT_MAX) ? INT_MAX : int(std::ceil(hours));
}

ProgressPage::ProgressPage(const ServerProxyPtr &proxy, QWidget *parent)
    : BaseWidget(parent)
    , m_proxy(proxy)
    , m_view(new QTreeView)
    , m_sortModel(new ProgressSortModel(this))
    , m_model(new ProgressModel(this))
    , m_hoursEdit(new QLineEdit(QStringLiteral("10")))
    , m_updateControl(new UpdateControl(proxy, UpdateFlags::Progress))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    outer->addWidget(frame);

    auto *layout = new QVBoxLayout(frame);
    layout->addWidget(new HeaderLabel(tr("Progress of submitted jobs"), frame));
    layout->addWidget(m_view);
    auto *bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(new QLabel(tr("No longer show completed jobs after (hours)"), frame));
    m_hoursEdit->setMinimumWidth(60);
    m_hoursEdit->setMaximumWidth(60);
    m_hoursEdit->setValidator(new QRegularExpressionValidator(hoursPattern(), m_hoursEdit));
    bottom->addWidget(m_hoursEdit);
    bottom->addStretch(10);
    bottom->addWidget(m_updateControl);
    layout->addLayout(bottom);

    m_sortModel->setSourceModel(m_model);
    m_sortModel->setFilterKeyColumn(1);
    m_sortModel->setSortRole(ProgressModel::SortRole);
    setUpSortedTable(m_view, m_sortModel);

    // Before the connections: restoring must not count as the user typing.
    restoreSettings();

    if (m_proxy)
        connect(
            m_proxy.get(), &ServerProxy::updateProgressRequest, this, &ProgressPage::updateRequestHandler);
    connect(m_hoursEdit, &QLineEdit::textChanged, this, &ProgressPage::updateHours);
    connect(this, &BaseWidget::selected, m_updateControl, &UpdateControl::invokeUpdate);
}

ProgressPage::~ProgressPage()
{
    saveSettings();
}

void ProgressPage::restoreSettings()
{
    const QSettings settings;
    const QByteArray headers = settings.value(ProgressNames::headersKey()).toByteArray();
    if (!headers.isEmpty())
        m_view->header()->restoreState(headers);
    else
        ColumnFit::attach(m_view->header());

    double hours = ProgressModel::DefaultAgeLimit;
    const QString stored = settings.value(ProgressNames::hoursKey()).toString();
    if (!stored.isEmpty() && parseHours(stored, &hours))
        m_hoursEdit->setText(stored);
    else
        hours = ProgressModel::DefaultAgeLimit;
    m_model->setAgeLimit(hours);
    if (m_proxy)
        m_proxy->setProgressCount(requestCount(hours));
}

void ProgressPage::saveSettings() const
{
    QSettings settings;
    settings.setValue(ProgressNames::headersKey(), m_view->header()->saveState());
    settings.setValue(ProgressNames::hoursKey(), m_hoursEdit->text());
}

void ProgressPage::updateRequestHandler()
{
    QList<ProgressData> records;
    if (m_proxy)
        m_proxy->getProgressData(records);
    m_model->setRecords(records);
}

void ProgressPage::updateHours(const QString &text)
{
    if (text.isEmpty()) {
        m_model->setAgeLimit(0.0);
        // Comes back through this slot as "0".
        m_hoursEdit->setText(QStringLiteral("0"));
        m_hoursEdit->selectAll();
        return;
    }
    double hours = 0.0;
    if (!parseHours(text, &hours))
        return;
    saveSettings();
    m_model->setAgeLimit(hours);
    if (hours <= 0.0 || !m_proxy)
        return;
    // Asked and updated each time, also for a value that rounds to the
    // count already asked for.
    m_proxy->setProgressCount(requestCount(hours));
    // The update control's own call would only serve a missed tick.
    if (isVisible())
        m_proxy->startUpdatingData(UpdateFlags::Progress);
}

} // namespace Client
