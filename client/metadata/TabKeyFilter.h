#pragma once

#include <QObject>

namespace Client {

// Commits a metadata line edit's text before Tab, Up or Down moves on to
// another cell; the key itself goes on as usual.
class TabKeyFilter : public QObject
{
    Q_OBJECT

public:
    explicit TabKeyFilter(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace Client
