#pragma once

#include <QHeaderView>

namespace Velloc {

// Row header of the log table: keeps one-line rows at the default height
// when rows are sized to their contents.
class VerticalHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit VerticalHeader(QWidget *parent = nullptr);
    ~VerticalHeader() override;

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;
};

} // namespace Velloc
