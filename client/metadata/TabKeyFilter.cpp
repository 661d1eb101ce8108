#include "TabKeyFilter.h"

#include "MetadataEditor.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace Client {

TabKeyFilter::TabKeyFilter(QObject *parent)
    : QObject(parent)
{ }

bool TabKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Up || key == Qt::Key_Down) {
            if (auto *edit = qobject_cast<QLineEdit *>(watched)) {
                if (auto *editor = qobject_cast<MetadataEditor *>(edit->parentWidget()))
                    editor->lineEditChanged();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Client
