#pragma once

#include <QAction>

class QIcon;
class QString;

namespace Velloc {

// The action behind a log pane's export command. It has no behaviour of its
// own; the type lets a handler tell it apart from other senders.
class ExportLogsAction : public QAction
{
    Q_OBJECT

public:
    explicit ExportLogsAction(QObject *parent = nullptr);
    ExportLogsAction(const QString &text, QObject *parent = nullptr);
    ExportLogsAction(const QIcon &icon, const QString &text, QObject *parent = nullptr);
    ~ExportLogsAction() override;
};

} // namespace Velloc
