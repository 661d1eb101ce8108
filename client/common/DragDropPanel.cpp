#include "DragDropPanel.h"

#include "WrapLabel.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>

namespace Client {

DragDropPanel::DragDropPanel(QWidget *parent, const QString &prompt)
    : QFrame(parent)
    , m_label(new WrapLabel(QString(), this))
    , m_prompt(prompt.isEmpty() ? tr("Drag file or folder here to submit") : prompt)
{
    QPalette panelPalette = QApplication::palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        panelPalette.setColor(group, QPalette::Window, QColor(50, 50, 50));
    setPalette(panelPalette);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    setPathText(QString());

    setMinimumSize(200, 50);
    setAcceptDrops(true);
}

void DragDropPanel::setPathText(const QString &text)
{
    if (text.isEmpty()) {
        m_label->setText(m_prompt);
        m_label->setWordWrap(false);
        m_label->setAlignment(Qt::AlignCenter);
    } else {
        m_label->setText(text);
        m_label->setWordWrap(true);
        m_label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    }
}

void DragDropPanel::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void DragDropPanel::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void DragDropPanel::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    QStringList files;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls) {
        // Web addresses have no local path and are passed over.
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (info.isDir())
            emit FolderDroped(path);
        else if (info.isFile())
            files.append(path);
    }
    event->acceptProposedAction();
    if (!files.isEmpty())
        emit FilesDroped(files);
}

} // namespace Client
