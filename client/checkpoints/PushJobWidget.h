#pragma once

#include "CheckPointJobData.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace Client {

class MetadataExplorer;

// Chooses the outgoing connections a checkpoint job leaves by: one click
// on up to four named buttons for a single output, otherwise a list (with
// check boxes when several outputs are allowed) and a push button that
// names the choice. It only chooses; its owner pushes.
class PushJobWidget : public QWidget
{
    Q_OBJECT

public:
    // The explorer (not owned) tells whether the metadata entered so far
    // lets the job go.
    PushJobWidget(QWidget *parent, MetadataExplorer *explorer);

    // Shows the job's connections, with pushing off until setPushEnabled().
    void setJob(const CheckPointJobData &job);
    // What the owner allows (valid metadata, job not waiting); a choice in
    // the list never enables pushing on its own.
    void setPushEnabled(bool on);
    bool isPushAllowed() const { return m_allowed; }

    // For the owner's layout and for tests.
    QPushButton *button(int n) const;
    QListWidget *list() const { return m_list; }
    QPushButton *listPushButton() const { return m_listButton; }
    QLabel *listPushLabel() const { return m_listLabel; }

signals:
    void pushJobClicked(const QList<QString> &pushList);

private slots:
    void selectedConnectionChanged(int row);
    void listItemChanged(QListWidgetItem *item);
    void singleBtnClicked();
    void multiBtnClicked();

private:
    bool usesButtons() const;
    int tickedCount() const;
    void updateListButton();

    CheckPointJobData m_job;
    MetadataExplorer *m_explorer;
    QPushButton *m_buttons[4];
    QListWidget *m_list;
    QPushButton *m_listButton;
    QLabel *m_listLabel;
    bool m_allowed = false;
};

} // namespace Client
