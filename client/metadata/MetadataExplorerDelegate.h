#pragma once

#include <QItemDelegate>

class QTreeView;

namespace Client {

class MetadataExplorerModel;

// Draws the property table with its grid and grey property cells, and
// edits values in place with a MetadataEditor suited to the field.
class MetadataExplorerDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    MetadataExplorerDelegate(QTreeView *view, MetadataExplorerModel *model);

    bool eventFilter(QObject *editor, QEvent *event) override;
    void paint(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(
        QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(
        QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Contrast ratio of two colours, 1 to 21 (WCAG).
    static double contrast(const QColor &a, const QColor &b);
    // The palette's disabled text colour, or a darker one where that would
    // not read on the fill.
    static QColor readableDisabledText(const QPalette &palette, const QColor &fill);

public slots:
    void sync();

protected:
    void drawDisplay(QPainter *painter, const QStyleOptionViewItem &option, const QRect &rect,
        const QString &text) const override;

private:
    QTreeView *m_view;
    MetadataExplorerModel *m_model;
};

} // namespace Client
