#pragma once

#include <QLabel>

namespace Client {

// The bold title bar of pages and panels.
class HeaderLabel : public QLabel
{
    Q_OBJECT

public:
    explicit HeaderLabel(const QString &text, QWidget *parent = nullptr);
};

} // namespace Client
