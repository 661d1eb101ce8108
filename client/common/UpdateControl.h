#pragma once

#include "ServerProxy.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace Client {

// The "Automatic update every (minutes)" row of a data page: asks the
// proxy to refresh the page's data on its timer or the "Update" button.
// Ticks that come while the page is hidden cause no traffic; the last one
// is served when the page is shown again.
class UpdateControl : public QWidget
{
    Q_OBJECT

public:
    UpdateControl(const ServerProxyPtr &proxy, int updateFlags, QWidget *parent = nullptr);
    ~UpdateControl() override;

    // The page name of the settings keys for the update flags.
    static QString pageName(int updateFlags);
    int updateFlags() const { return m_updateFlags; }
    static QString intervalKey(int updateFlags);
    static QString onTimerKey(int updateFlags);
    // Minutes of an interval text, or 0 when the edit would not take it.
    static double parseInterval(const QString &text);

    QCheckBox *timerCheckBox() const { return m_checkBox; }
    QLineEdit *intervalEdit() const { return m_intervalEdit; }
    QPushButton *updateButton() const { return m_updateButton; }
    QTimer &timer() { return m_timer; }
    bool isPending() const { return m_pending; }

public slots:
    void invokeUpdate();
    void intervalChanged(const QString &text);
    void stateChangedHandler(int state);

private:
    void loadSettings();
    void saveSettings() const;

    ServerProxyPtr m_proxy;
    const int m_updateFlags;
    bool m_pending = true;
    QTimer m_timer;
    QCheckBox *m_checkBox;
    QLineEdit *m_intervalEdit;
    QPushButton *m_updateButton;
};

} // namespace Client
