#pragma once

#include <QLabel>

class QTextLayout;

namespace Client {

// A label for names and paths: a word too long for the label's width is
// broken rather than cut, so the text never asks for more width than the
// label gets and never widens its window. Plain text only.
class WrapLabel : public QLabel
{
    Q_OBJECT

public:
    explicit WrapLabel(const QString &text = QString(), QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays the text out in lines of the width; returns the height used.
    int layOut(QTextLayout &layout, int width) const;
};

} // namespace Client
