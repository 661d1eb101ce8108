#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QHeaderView;
class QTimer;

namespace Client {

// Sizes the columns of a table that has no stored layout to their contents
// (header texts always whole, each column bounded, the widest giving way
// where the table is too narrow, the last one or the one the owner set to
// stretch taking the rest), again as rows come and as the table's width
// changes, until the user resizes a column.
class ColumnFit : public QObject
{
    Q_OBJECT

public:
    // Owned by the header.
    static ColumnFit *attach(QHeaderView *header);

    // The widest a column grows for its contents alone, in pixels.
    int maximumWidth() const;

public slots:
    void fit();

protected:
    // Fits again when the table's width changes.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ColumnFit(QHeaderView *header);
    void sectionResized(int logicalIndex, int oldSize, int newSize);
    int lastVisibleSection() const;
    // The last column, or one the owner set to stretch.
    bool isStretched(int logicalIndex) const;

    QHeaderView *m_header;
    QTimer *m_pending;
    QElapsedTimer m_lastFit;
    QHash<int, int> m_fitted;
    bool m_fitting = false;
    bool m_userSized = false;
};

} // namespace Client
