#pragma once

#include "ServerProxy.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

namespace Client {

// The line under the page list that says what the background updates are
// doing, with a busy bar while they run. A text stays at least two seconds,
// so a short update is still seen.
class StatusLine : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 200;
    static constexpr int kMinimumShowMs = 2000;

    explicit StatusLine(const ServerProxyPtr &proxy, QWidget *parent = nullptr);

    QLabel *label() const { return m_label; }
    QProgressBar *busyBar() const { return m_busyBar; }

public slots:
    void refresh();

private:
    ServerProxyPtr m_proxy;
    QLabel *m_label;
    QProgressBar *m_busyBar;
    QTimer *m_refreshTimer;
    QElapsedTimer m_shownSince;
};

} // namespace Client
