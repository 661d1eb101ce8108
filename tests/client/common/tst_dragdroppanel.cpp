#include "DragDropPanel.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using Client::DragDropPanel;

using TestFiles::makeFile;

namespace {

// A drop arrives only where the drag entered and was taken.
void dropOn(QWidget *target, QMimeData *data)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

} // namespace

class TestDragDropPanel : public QObject
{
    Q_OBJECT

private slots:
    void promptAndPathText();
    void dragNeedsUrls();
    void dropSortsFilesAndFolders();
};

void TestDragDropPanel::promptAndPathText()
{
    DragDropPanel panel;
    QCOMPARE(panel.prompt(), QStringLiteral("Drag file or folder here to submit"));
    QCOMPARE(panel.label()->text(), panel.prompt());
    QCOMPARE(panel.label()->alignment(), Qt::AlignCenter);
    QVERIFY(!panel.label()->wordWrap());
    QVERIFY(panel.acceptDrops());
    QCOMPARE(panel.minimumSize(), QSize(200, 50));

    panel.setPathText(QStringLiteral("/data/a rather long folder name/job.pdf"));
    QCOMPARE(panel.label()->text(), QStringLiteral("/data/a rather long folder name/job.pdf"));
    QVERIFY(panel.label()->wordWrap());
    QCOMPARE(panel.label()->alignment(), Qt::AlignTop | Qt::AlignLeft);

    panel.setPathText(QString());
    QCOMPARE(panel.label()->text(), panel.prompt());
    QVERIFY(!panel.label()->wordWrap());

    DragDropPanel replace(nullptr, QStringLiteral("Drop the replacement"));
    QCOMPARE(replace.label()->text(), QStringLiteral("Drop the replacement"));
}

void TestDragDropPanel::dragNeedsUrls()
{
    DragDropPanel panel;
    QMimeData text;
    text.setText(QStringLiteral("/etc/hostname"));
    QDragEnterEvent plain(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    plain.ignore();
    QCoreApplication::sendEvent(&panel, &plain);
    QVERIFY(!plain.isAccepted());

    QMimeData urls;
    urls.setUrls({ QUrl::fromLocalFile(QDir::tempPath()) });
    QDragEnterEvent withUrls(QPoint(5, 5), Qt::CopyAction, &urls, Qt::LeftButton, Qt::NoModifier);
    withUrls.ignore();
    QCoreApplication::sendEvent(&panel, &withUrls);
    QVERIFY(withUrls.isAccepted());
}

void TestDragDropPanel::dropSortsFilesAndFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = makeFile(dir.filePath(QStringLiteral("first.txt")), 4);
    const QString second = makeFile(dir.filePath(QStringLiteral("no dot")), 4);
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    QVERIFY(QDir().mkdir(folder));

    DragDropPanel panel;
    QStringList order;
    QList<QStringList> fileDrops;
    QStringList folders;
    connect(&panel, &DragDropPanel::FolderDroped, this, [&](const QString &path) {
        order << QStringLiteral("folder");
        folders << path;
    });
    connect(&panel, &DragDropPanel::FilesDroped, this, [&](const QStringList &files) {
        order << QStringLiteral("files");
        fileDrops << files;
    });

    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(first), QUrl(QStringLiteral("http://127.0.0.1/remote.pdf")),
        QUrl::fromLocalFile(folder), QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.txt"))),
        QUrl::fromLocalFile(second) });
    dropOn(&panel, &data);

    QCOMPARE(order, QStringList({ QStringLiteral("folder"), QStringLiteral("files") }));
    QCOMPARE(folders, QStringList { folder });
    QCOMPARE(fileDrops.size(), 1);
    QCOMPARE(fileDrops.first(), QStringList({ first, second }));

    // Nothing local: no signal at all.
    order.clear();
    QMimeData remote;
    remote.setUrls({ QUrl(QStringLiteral("http://127.0.0.1/a.pdf")) });
    dropOn(&panel, &remote);
    QVERIFY(order.isEmpty());
}

VORNEX_TEST_MAIN(TestDragDropPanel)

#include "tst_dragdroppanel.moc"
