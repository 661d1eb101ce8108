#pragma once

#include "CheckPointJobData.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QFontMetrics;
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

    // The names as they fit in width, each told apart from the others where
    // the plain cut would make two read alike.
    static QStringList elidedApart(const QStringList &names, const QFontMetrics &metrics, int width);

signals:
    void pushJobClicked(const QList<QString> &pushList);

private slots:
    void selectedConnectionChanged(int row);
    void listItemChanged(QListWidgetItem *item);
    void singleBtnClicked();
    void multiBtnClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool usesButtons() const;
    void elideButtonTexts();
    void setListLabel(const QString &text);
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
