#pragma once

#include "WrapLabel.h"

namespace Client {

// The bold title bar of pages and panels. Titles carry server, flow and job
// names: a long one is broken, never cut.
class HeaderLabel : public WrapLabel
{
    Q_OBJECT

public:
    explicit HeaderLabel(const QString &text, QWidget *parent = nullptr);
};

} // namespace Client
