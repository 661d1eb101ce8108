#include "UpdateControl.h"

#include "WorkFlags.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSettings>

#include <limits>

namespace Client {

namespace {

const int kDefaultIntervalMs = 180000;
// The shortest period the edit can express ("0.1"); a shorter stored one
// would poll the servers many times a second.
const double kShortestMinutes = 0.1;

QRegularExpression intervalPattern()
{
    return QRegularExpression(QStringLiteral("^(\\d\\d?$|\\d\\.\\d)"));
}

int intervalMs(double minutes)
{
    return int(minutes * 60000.0);
}

} // namespace

QString UpdateControl::pageName(int updateFlags)
{
    if (updateFlags & UpdateFlags::SubmitPoints)
        return QStringLiteral("Submittions");
    if (updateFlags & UpdateFlags::CheckPoints)
        return QStringLiteral("Checkpoints");
    if (updateFlags & UpdateFlags::Messages)
        return QStringLiteral("Messages");
    if (updateFlags & UpdateFlags::Progress)
        return QStringLiteral("Progress");
    return QStringLiteral("Common");
}

QString UpdateControl::intervalKey(int updateFlags)
{
    return QStringLiteral("Default/%1: update interval").arg(pageName(updateFlags));
}

QString UpdateControl::onTimerKey(int updateFlags)
{
    return QStringLiteral("Default/%1: is update on timer").arg(pageName(updateFlags));
}

double UpdateControl::parseInterval(const QString &text)
{
    // Any period from a tenth of a minute that a timer can run on, also one
    // the edit would not take as typed ("120", "1."): an earlier version or
    // a hand may have stored it. Anything else leaves the default.
    bool ok = false;
    const double minutes = text.toDouble(&ok);
    const double ms = minutes * 60000.0;
    if (!ok || !(minutes >= kShortestMinutes) || ms > double(std::numeric_limits<int>::max()))
        return 0.0;
    return minutes;
}

UpdateControl::UpdateControl(const ServerProxyPtr &proxy, int updateFlags, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
    , m_updateFlags(updateFlags)
    , m_checkBox(new QCheckBox(tr("Automatic update every (minutes)"), this))
    , m_intervalEdit(new QLineEdit(QStringLiteral("3"), this))
    , m_updateButton(new QPushButton(tr("Update"), this))
{
    const int checkWidth = m_checkBox->sizeHint().width();
    m_checkBox->setMinimumWidth(checkWidth);
    m_checkBox->setMaximumWidth(checkWidth);
    m_intervalEdit->setFixedWidth(60);
    m_intervalEdit->setValidator(new QRegularExpressionValidator(intervalPattern(), m_intervalEdit));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_checkBox);
    layout->addWidget(m_intervalEdit);
    layout->addSpacing(5);
    layout->addStretch();
    layout->addWidget(m_updateButton);

    m_timer.setInterval(kDefaultIntervalMs);
    loadSettings();

    connect(m_checkBox, &QCheckBox::stateChanged, this, &UpdateControl::stateChangedHandler);
    connect(m_intervalEdit, &QLineEdit::textEdited, this, &UpdateControl::intervalChanged);
    connect(m_updateButton, &QPushButton::clicked, this, &UpdateControl::invokeUpdate);
    connect(&m_timer, &QTimer::timeout, this, &UpdateControl::invokeUpdate);
    if (m_checkBox->isChecked())
        m_timer.start();
}

UpdateControl::~UpdateControl()
{
    m_timer.stop();
    saveSettings();
}

void UpdateControl::loadSettings()
{
    const QSettings settings;
    const QString text = settings.value(intervalKey(m_updateFlags), QStringLiteral("3")).toString();
    const double minutes = parseInterval(text);
    if (minutes != 0.0) {
        m_intervalEdit->setText(text);
        m_timer.setInterval(intervalMs(minutes));
    }
    m_checkBox->setChecked(settings.value(onTimerKey(m_updateFlags), true).toBool());
    m_intervalEdit->setEnabled(m_checkBox->isChecked());
}

void UpdateControl::saveSettings() const
{
    QSettings settings;
    settings.setValue(intervalKey(m_updateFlags), m_intervalEdit->text());
    settings.setValue(onTimerKey(m_updateFlags), m_checkBox->isChecked());
}

void UpdateControl::invokeUpdate()
{
    const QObject *origin = sender();
    const bool tick = origin == &m_timer;
    const bool button = origin == m_updateButton;
    if (!isVisible()) {
        m_pending = tick;
        return;
    }
    if (m_pending || tick || button) {
        m_pending = false;
        if (m_proxy)
            m_proxy->startUpdatingData(m_updateFlags);
    }
}

void UpdateControl::intervalChanged(const QString &text)
{
    bool ok = false;
    const double minutes = text.toDouble(&ok);
    if (ok) {
        if (minutes >= kShortestMinutes)
            m_timer.setInterval(intervalMs(minutes));
        return;
    }
    m_intervalEdit->setText(QStringLiteral("0"));
    m_intervalEdit->selectAll();
}

void UpdateControl::stateChangedHandler(int state)
{
    const bool ticked = state == Qt::Checked;
    m_intervalEdit->setEnabled(ticked);
    if (ticked)
        m_timer.start();
    else
        m_timer.stop();
}

} // namespace Client
