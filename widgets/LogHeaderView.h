#pragma once

#include <QHeaderView>
#include <QList>
#include <QPointer>
#include <QStringList>

class QContextMenuEvent;
class QPainter;

namespace Velloc {

class FilterComboBox;

// Horizontal header of the log table, twice the normal height: the upper
// half of each column holds its filter box, the lower half the title. The
// boxes and the model's header data are kept in step through the filter
// roles of LogRoles.h.
class LogHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    // Columns beyond this get no filter box.
    static constexpr int MaxFilterColumns = 7;

    explicit LogHeaderView(QWidget *parent = nullptr);
    ~LogHeaderView() override;

    QSize sizeHint() const override;

    // The filter box of a column, or null.
    FilterComboBox *filterBox(int section) const;

    // All filter texts and histories as one text for the settings, and back.
    QString saveFilters() const;
    void restoreFilters(const QString &saved);

    // Empties every filter (the first column gets the pane's default).
    void resetFilters();
    // Drops every history, keeping the current filter texts.
    void clearHistories();

public slots:
    void onSectionCountChanged(int oldCount, int newCount);
    void onFilterTextChanged(int section, const QString &text);
    void onFilterHistoryChanged(int section, const QStringList &history);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void connectBox(FilterComboBox *box);
    void disconnectBox(FilterComboBox *box);
    FilterComboBox *createBox(int section);

    QList<QPointer<FilterComboBox>> m_boxes;
    QStringList m_tooltips;
};

} // namespace Velloc
