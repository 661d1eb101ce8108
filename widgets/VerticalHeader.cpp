#include "VerticalHeader.h"

#include <QSize>

namespace Velloc {

VerticalHeader::VerticalHeader(QWidget *parent)
    : QHeaderView(Qt::Vertical, parent)
{ }

VerticalHeader::~VerticalHeader() = default;

QSize VerticalHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    // The header's own font and margins would make every row taller than a
    // line of text needs; only contents of two lines or more count.
    if (size.height() < 2 * defaultSectionSize())
        size.setHeight(defaultSectionSize());
    return size;
}

} // namespace Velloc
