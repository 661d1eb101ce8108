#include "StatusLine.h"

#include "UpdateControl.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace Client {

StatusLine::StatusLine(const ServerProxyPtr &proxy, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
    , m_label(new QLabel(this))
    , m_busyBar(new QProgressBar(this))
    , m_refreshTimer(new QTimer(this))
{
    m_label->setFixedHeight(16);
    m_label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_busyBar->setFixedSize(200, 16);
    m_busyBar->setRange(0, 0);
    m_busyBar->setTextVisible(false);
    m_busyBar->hide();

    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addWidget(m_label);
    layout->addWidget(m_busyBar);

    m_refreshTimer->setInterval(kRefreshMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &StatusLine::refresh);
    m_refreshTimer->start();
    m_shownSince.start();
}

void StatusLine::refresh()
{
    QString text = m_proxy ? m_proxy->getUpdateStatusStr() : QString();
    const bool busy = !text.isEmpty();
    // Between updates: the visible page's data that could not be fetched.
    if (!busy && m_proxy) {
        int flags = 0;
        for (const UpdateControl *control : window()->findChildren<UpdateControl *>()) {
            if (control->isVisible())
                flags |= control->updateFlags();
        }
        if (flags != 0)
            text = m_proxy->fetchFailureNote(flags);
    }
    if (!text.isEmpty() || m_shownSince.elapsed() >= kMinimumShowMs) {
        m_label->setText(text);
        m_shownSince.restart();
    }
    m_busyBar->setVisible(busy);
}

} // namespace Client
