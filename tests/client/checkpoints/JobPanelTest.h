#pragma once

#include "CheckPoint.h"
#include "CheckPointJob.h"
#include "CheckPointPage.h"
#include "CheckpointJobsView.h"
#include "CheckpointsView.h"
#include "Desktop.h"
#include "DragDropPanel.h"
#include "HeaderLabel.h"
#include "MetadataExplorer.h"
#include "MetadataExplorerModel.h"
#include "ModalAnswers.h"
#include "PushJobWidget.h"
#include "ReplaceJobDialog.h"
#include "SelectionFrame.h"
#include "ServerConnection.h"
#include "ServerProxy.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "XMLValues.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

using Client::CheckPointJob;
using Client::SelectionFrame;

using TestFiles::describe;
using TestFiles::downloadFolders;
using TestFiles::FileSizeLimit;
using TestFiles::pattern;
using TestFiles::writeFile;

namespace JobPanelTest {

inline const QString flowId = QStringLiteral("flow-1");
inline const QString pointId = QStringLiteral("check-1");

// Takes what the client would open instead of starting a viewer.
class RecordingDesktop : public Desktop
{
public:
    bool openWithHandler(const QString &path) override
    {
        opened.append(path);
        // What the viewer would see at that moment.
        contents.append(describe(path));
        return true;
    }
    QString documentsFolder() const override { return documents; }

    QStringList opened;
    QList<QMap<QString, QString>> contents;
    QString documents;
};

inline ModalAnswers::Step okBox(QStringList *texts)
{
    return [texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->text());
        box->button(QMessageBox::Ok)->click();
        return true;
    };
}

// Saves as `target` (cancels for an empty one); keeps what the dialog proposed.
inline ModalAnswers::Step saveAs(const QString &target, QString *proposed = nullptr)
{
    auto first = std::make_shared<bool>(true);
    return [target, proposed, first](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            widget->close();
            return true;
        }
        if (proposed && *first && !dialog->selectedFiles().isEmpty())
            *proposed = dialog->selectedFiles().first();
        *first = false;
        if (target.isEmpty()) {
            dialog->reject();
            return true;
        }
        if (!ModalAnswers::chooseIn(dialog, target))
            return false;
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    };
}

// Answers the question of the file dialog before it replaces a file.
inline ModalAnswers::Step confirmOverwrite(QStringList *texts)
{
    return [texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->text());
        QAbstractButton *yes = box->button(QMessageBox::Yes);
        if (yes)
            yes->click();
        else
            box->accept();
        return true;
    };
}

inline ModalAnswers::Step pressButton(const QString &text, QStringList *texts)
{
    return [text, texts](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            widget->close();
            return true;
        }
        texts->append(box->windowTitle() + QLatin1Char('|') + box->text());
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == text) {
                button->click();
                return true;
            }
        }
        if (text == QLatin1String("Escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        return true;
    };
}

} // namespace JobPanelTest

using namespace JobPanelTest;

Q_DECLARE_METATYPE(testserver::Fault)

// What the job panel tests share: a test server with one checkpoint, the
// client's proxy and connection, the panel and a desktop that records what
// the client would open.
class JobPanelTestBase : public QObject
{
protected:
    void setUpCase();
    void setUp();
    void tearDown();

    QString path(const QString &name) const { return m_work + QLatin1Char('/') + name; }
    testserver::Job job(const QString &id, const QString &name, int connections, bool multiple) const;
    void serve(const QList<testserver::Job> &jobs);
    // Brings the checkpoint's jobs over as the client takes them in.
    bool refresh();
    CheckPointJobPtr show(const QString &jobId);
    QStringList lockModes() const;
    int downloads() const;
    void fill(const QString &value);

    QString m_work;
    std::unique_ptr<testserver::Server> m_server;
    std::unique_ptr<ServerProxy> m_proxy;
    ServerConnection *m_connection = nullptr;
    CheckPoint *m_checkPoint = nullptr;
    std::unique_ptr<SelectionFrame> m_panel;
    std::unique_ptr<RecordingDesktop> m_desktop;
};

inline void JobPanelTestBase::setUpCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
    QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    ServerTest::useShortTimeouts();
}

inline void JobPanelTestBase::setUp()
{
    m_work = QDir::tempPath() + QStringLiteral("/work-") + QString::fromLatin1(QTest::currentTestFunction());
    QDir(m_work).removeRecursively();
    QVERIFY(QDir().mkpath(m_work));
    m_desktop = std::make_unique<RecordingDesktop>();
    m_desktop->documents = path(QStringLiteral("Documents"));
    QVERIFY(QDir().mkpath(m_desktop->documents));
    Desktop::setInstance(m_desktop.get());
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_proxy = std::make_unique<ServerProxy>();
    m_connection = ServerTest::addConnection(*m_proxy, m_server->port());
    QVERIFY(m_connection->connectToServer());
    m_panel = std::make_unique<SelectionFrame>();
    m_panel->resize(360, 560);
    m_panel->show();
    // What the page does with a decision: push the job the record names.
    connect(m_panel.get(), &SelectionFrame::JobPushed, this, [this](PushJobInfo &info) {
        if (m_checkPoint)
            m_checkPoint->pushJob(info.jobId, info);
    });
}

inline void JobPanelTestBase::tearDown()
{
    m_panel.reset();
    m_checkPoint = nullptr;
    m_proxy.reset();
    m_connection = nullptr;
    m_server.reset();
    Desktop::setInstance(nullptr);
    m_desktop.reset();
    QSettings().clear();
    if (!QTest::currentTestFailed())
        QDir(m_work).removeRecursively();
}

inline testserver::Job JobPanelTestBase::job(
    const QString &id, const QString &name, int connections, bool multiple) const
{
    testserver::Job job;
    job.id = id;
    job.name = name;
    job.fullUserName = QStringLiteral("Anna");
    job.allowReplacing = true;
    job.allowMultipleOutputs = multiple;
    for (int i = 1; i <= connections; ++i)
        job.connections.append(
            { QStringLiteral("%1-out%2").arg(id).arg(i), QStringLiteral("Out %1").arg(i) });
    testserver::MetadataField customer;
    customer.label = QStringLiteral("Customer");
    customer.dataType = Tamsor::XMLValues::EDITORTYPE_STRING;
    customer.valueIsRequired = true;
    job.requiresMetadata = true;
    job.requiredMetadata = { customer };
    job.metadata = { { QStringLiteral("Pages"), QStringLiteral("Page count"),
        Tamsor::XMLValues::EDITORTYPE_STRING, QStringLiteral("12") } };
    return job;
}

inline void JobPanelTestBase::serve(const QList<testserver::Job> &jobs)
{
    testserver::CheckPoint point;
    point.id = pointId;
    point.name = QStringLiteral("Proof");
    point.jobs = jobs;
    testserver::Flow flow;
    flow.id = flowId;
    flow.name = QStringLiteral("Print");
    flow.checkPoints = { point };
    m_server->setFlows({ flow });
}

inline bool JobPanelTestBase::refresh()
{
    QSignalSpy updated(m_proxy.get(), &ServerProxy::updateCheckPointsRequest);
    m_proxy->startUpdatingData(2);
    if (!updated.wait(10000))
        return false;
    const QVector<FlowPtr> flows = m_proxy->getFlows(m_connection);
    for (const FlowPtr &flow : flows) {
        for (const CheckPointPtr &point : m_proxy->getCheckPoints(flow)) {
            if (point->getId() == pointId)
                m_checkPoint = point.get();
        }
    }
    if (!m_checkPoint)
        return false;
    m_panel->SetChechpoint(m_checkPoint);
    return true;
}

inline CheckPointJobPtr JobPanelTestBase::show(const QString &jobId)
{
    CheckPointJobPtr shown(new CheckPointJob(m_checkPoint, jobId));
    m_panel->SetJob(shown);
    return shown;
}

inline QStringList JobPanelTestBase::lockModes() const
{
    QStringList modes;
    for (const testserver::JournalEntry &entry : m_server->journal()) {
        if (entry.operation == QLatin1String("SetJobLockStatus"))
            modes.append(entry.arguments.value(QStringLiteral("lockStatus")));
    }
    return modes;
}

inline int JobPanelTestBase::downloads() const
{
    return int(ServerTest::operations(*m_server).count(QStringLiteral("DownloadFile08")));
}

inline void JobPanelTestBase::fill(const QString &value)
{
    Client::MetadataExplorerModel *model = m_panel->explorer()->model();
    QVERIFY(model->setData(model->index(0, 1), value, Qt::EditRole));
}
