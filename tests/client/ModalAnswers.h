#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the modal dialogs that the code under test opens, one step per
// dialog in the order they appear. A step that returns false is tried again
// on the next poll (a dialog still settling). A dialog beyond the steps is
// closed and counted as unexpected.
class ModalAnswers : public QObject
{
public:
    using Step = std::function<bool(QWidget *)>;

    explicit ModalAnswers(QList<Step> steps)
        : m_steps(std::move(steps))
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswers::poll);
        m_timer.start();
    }

    // Puts path into a file dialog's name field; true once the dialog holds
    // it. The dialog fills that field from a folder listing it reads in the
    // background, and an accept with another name leaves it open for good:
    // accept only after this said true, else try again on the next poll.
    static bool chooseIn(QFileDialog *dialog, const QString &path)
    {
        dialog->selectFile(path);
        if (dialog->selectedFiles() != QStringList { path }) {
            if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(path);
        }
        return dialog->selectedFiles() == QStringList { path };
    }

    // Class names of the dialogs met, in order.
    QStringList seen() const { return m_seen; }
    int unexpected() const { return m_unexpected; }
    bool done() const { return m_steps.isEmpty(); }

private:
    void poll()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog == m_last || !dialog->isVisible())
            return;
        if (m_steps.isEmpty()) {
            m_last = dialog;
            m_seen << QString::fromLatin1(dialog->metaObject()->className());
            ++m_unexpected;
            dialog->close();
            return;
        }
        const Step step = m_steps.first();
        if (!step(dialog)) {
            // A dialog that never settles fails the test instead of
            // hanging it.
            if (++m_attempts < kMaxAttempts)
                return;
            ++m_unexpected;
            dialog->close();
        }
        m_attempts = 0;
        m_last = dialog;
        m_seen << QString::fromLatin1(dialog->metaObject()->className());
        m_steps.removeFirst();
    }

    static constexpr int kMaxAttempts = 300;

    QList<Step> m_steps;
    int m_attempts = 0;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    QStringList m_seen;
    int m_unexpected = 0;
};
