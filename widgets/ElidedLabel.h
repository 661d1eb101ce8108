#pragma once

#include <QLabel>

namespace Velloc {

// A one-line label that never asks for the width of its text, so a long
// status text cannot widen its window: what does not fit ends in an
// ellipsis, and the tooltip shows the text whole.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(const QString &text = QString(), QWidget *parent = nullptr);
    explicit ElidedLabel(QWidget *parent);

    QSize minimumSizeHint() const override;
    // Whether the text is cut at the label's present width.
    bool isElided() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Velloc
