#include "HeaderLabel.h"

#include <QFont>

namespace Client {

HeaderLabel::HeaderLabel(const QString &text, QWidget *parent)
    : WrapLabel(text, parent)
{
    setBackgroundRole(QPalette::Dark);
    setForegroundRole(QPalette::Light);
    setAutoFillBackground(true);
    QFont titleFont(font().family(), 10, QFont::Bold, false);
    setFont(titleFont);
    setMargin(3);
    setWordWrap(true);
}

} // namespace Client
