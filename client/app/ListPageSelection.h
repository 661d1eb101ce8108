#pragma once

#include <QHash>
#include <QWidget>

class QAction;
class QIcon;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;

namespace Client {

class BaseWidget;

// The icon list down the main window's left side and the stack of pages it
// switches. An entry either shows a page or runs an action; an action
// entry never stays selected.
class ListPageSelection : public QWidget
{
    Q_OBJECT

public:
    explicit ListPageSelection(QWidget *parent = nullptr);

    // Exactly one of page and action is given. The stack takes the page.
    void addPage(BaseWidget *page, QAction *action, const QString &text, const QIcon &icon);

    // Shows the first page added; nothing when there is none.
    void selectFirstPage();

    // Offers the action in the list's context menu.
    void addContextAction(QAction *action);

    BaseWidget *currentPage() const;
    QListWidget *listWidget() const { return m_list; }
    QStackedWidget *stack() const { return m_stack; }

public slots:
    void ListSelectionChanged();

protected:
    void changeEvent(QEvent *event) override;
    // Enter and Space run the action entry the keyboard is on.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPage(QListWidgetItem *item);
    void itemClicked(QListWidgetItem *item);
    // Sizes the grid to the widest label in the list's font.
    void fitItems();

    QListWidget *m_list;
    QStackedWidget *m_stack;
    QHash<QListWidgetItem *, BaseWidget *> m_pages;
    QHash<QListWidgetItem *, QAction *> m_actions;
    BaseWidget *m_firstPage = nullptr;
    QListWidgetItem *m_currentPageItem = nullptr;
};

} // namespace Client
