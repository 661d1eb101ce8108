#pragma once

#include <QLabel>

class QTextLayout;

namespace Client {

// The bold title bar of pages and panels. Titles carry server, flow and job
// names: a word too long for the bar is broken rather than cut, so a title
// never asks for more width than its panel has.
class HeaderLabel : public QLabel
{
    Q_OBJECT

public:
    explicit HeaderLabel(const QString &text, QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays the text out in lines of the width; returns the height used.
    int layOut(QTextLayout &layout, int width) const;
    QRect textRect() const;
};

} // namespace Client
