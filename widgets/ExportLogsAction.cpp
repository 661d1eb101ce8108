#include "ExportLogsAction.h"

#include <QIcon>
#include <QString>

namespace Velloc {

ExportLogsAction::ExportLogsAction(QObject *parent)
    : QAction(parent)
{ }

ExportLogsAction::ExportLogsAction(const QString &text, QObject *parent)
    : QAction(text, parent)
{ }

ExportLogsAction::ExportLogsAction(const QIcon &icon, const QString &text, QObject *parent)
    : QAction(icon, text, parent)
{ }

ExportLogsAction::~ExportLogsAction() = default;

} // namespace Velloc
