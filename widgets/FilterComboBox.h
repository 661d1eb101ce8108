#pragma once

#include <QComboBox>
#include <QStringList>

class QContextMenuEvent;
class QFocusEvent;
class QModelIndex;
class QMouseEvent;

namespace Velloc {

// Editable filter box of one column in the log header, with a history of
// earlier filter texts. Every edit and every change of the history is
// reported with the box's column.
class FilterComboBox : public QComboBox
{
    Q_OBJECT

public:
    static constexpr int MaxHistory = 10;

    FilterComboBox(int section, QWidget *parent = nullptr);
    ~FilterComboBox() override;

    int section() const { return m_section; }

    // The history entries in list order.
    QStringList items() const;

    // Shows the text, selecting the equal history entry when there is one.
    void setFilterText(const QString &text);

signals:
    void filterTextChanged(int section, const QString &text);
    void filterHistoryChanged(int section, const QStringList &history);

public slots:
    void onEditTextChanged(const QString &text);
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void onRowNumberChanged(const QModelIndex &parent, int first, int last);
    void onModelReset();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    int m_section;
};

} // namespace Velloc
