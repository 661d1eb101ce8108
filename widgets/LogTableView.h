#pragma once

#include <QPointer>
#include <QTableView>

class QAction;
class QContextMenuEvent;
class QKeyEvent;
class QMenu;

namespace Velloc {

// The table of the log pane with its copy, filter, layout and wrap actions.
// One context menu serves the cells, the header, the filter boxes and the
// pane; where it was asked for decides which actions are enabled.
class LogTableView : public QTableView
{
    Q_OBJECT

public:
    enum MenuOrigin {
        CellMenu, // a table cell
        HeaderMenu, // the column header
        FilterBoxMenu, // a filter box in the header
        PaneMenu, // the pane outside the table
    };

    explicit LogTableView(QWidget *parent = nullptr);
    ~LogTableView() override;

    // An action of the user of the pane shown in the menu (not owned; the
    // menu drops it when it is deleted).
    void setExtraAction(QAction *action);
    QAction *extraAction() const { return m_extraAction; }

    QAction *copyTextAction() const { return m_copyText; }
    QAction *copyFieldAction() const { return m_copyField; }
    QAction *resetFiltersAction() const { return m_resetFilters; }
    QAction *clearHistoryAction() const { return m_clearHistory; }
    QAction *resetColumnsAction() const { return m_resetColumns; }
    QAction *wrapTextAction() const { return m_wrapText; }

    // The menu with its actions enabled for the origin, built on first use.
    QMenu *prepareContextMenu(MenuOrigin origin);
    // Runs that menu modally at the global position.
    void showContextMenu(const QPoint &globalPos, MenuOrigin origin);

public slots:
    void copyText();
    void copyThisField();
    void resetAllFilters();
    void clearFilterHistory();
    void resetColOrder();
    void wrapAroundChange();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildMenu();

    QAction *m_copyText;
    QAction *m_copyField;
    QAction *m_resetFilters;
    QAction *m_clearHistory;
    QAction *m_resetColumns;
    QPointer<QAction> m_extraAction;
    QAction *m_wrapText;
    QMenu *m_menu = nullptr;
    bool m_menuStale = true;
};

} // namespace Velloc
