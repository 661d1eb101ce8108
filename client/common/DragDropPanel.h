#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>

class QLabel;

namespace Client {

// A drop target for files and folders that shows a prompt, or the path
// chosen so far.
class DragDropPanel : public QFrame
{
    Q_OBJECT

public:
    // An empty prompt asks for a file or folder to submit.
    explicit DragDropPanel(QWidget *parent = nullptr, const QString &prompt = QString());

    // An empty text brings the prompt back.
    void setPathText(const QString &text);
    QString prompt() const { return m_prompt; }
    QLabel *label() const { return m_label; }

signals:
    // All files of one drop, after its folders.
    void FilesDroped(const QStringList &files);
    // One signal per folder, as the drop lists it.
    void FolderDroped(const QString &folder);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QLabel *m_label;
    QString m_prompt;
};

} // namespace Client
