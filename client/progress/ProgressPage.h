#pragma once

#include "BaseWidget.h"
#include "ServerProxy.h"

class QLineEdit;
class QSortFilterProxyModel;
class QTreeView;

namespace Client {

class ProgressModel;
class UpdateControl;

// Where the jobs the user submitted are in their flows, for the jobs
// submitted within a number of hours the user chooses.
class ProgressPage : public BaseWidget
{
    Q_OBJECT

public:
    explicit ProgressPage(const ServerProxyPtr &proxy, QWidget *parent = nullptr);
    ~ProgressPage() override;

    // Hours of a text the hours edit takes; false for any other text.
    static bool parseHours(const QString &text, double *hours);
    // The whole hours to ask the servers for: enough to cover the limit,
    // and never nothing.
    static int requestCount(double hours);

    QTreeView *view() const { return m_view; }
    QSortFilterProxyModel *sortModel() const { return m_sortModel; }
    ProgressModel *model() const { return m_model; }
    QLineEdit *hoursEdit() const { return m_hoursEdit; }
    UpdateControl *updateControl() const { return m_updateControl; }

public slots:
    void updateRequestHandler();
    void updateHours(const QString &text);

private:
    void restoreSettings();
    void saveSettings() const;

    ServerProxyPtr m_proxy;
    QTreeView *m_view;
    QSortFilterProxyModel *m_sortModel;
    ProgressModel *m_model;
    QLineEdit *m_hoursEdit;
    UpdateControl *m_updateControl;
};

} // namespace Client
