// Every page of the main window on a 1280 x 800 screen with the demo data and
// three connections with long names and status texts, in English and German:
// no label of the page list and no table header is cut, the window keeps its
// width while the updates run, every button lies whole inside the screen, and
// a cut table cell shows its whole text as its tooltip. With
// VORNEX_SCREENSHOT_DIR set, a picture of each page is saved there too.

#include "ClientNames.h"
#include "ConnectionTableModel.h"
#include "DragDropPanel.h"
#include "LanguageSupport.h"
#include "ListPageSelection.h"
#include "MainWindow.h"
#include "MessageModel.h"
#include "MessageView.h"
#include "Server.h"
#include "ServerConnection.h"
#include "ServerTestSupport.h"
#include "StatusLine.h"
#include "SubmittedFileView.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include <algorithm>

class TestPagePictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyPageWhole_data();
    void everyPageWhole();

private:
    std::unique_ptr<testserver::Server> m_server;
    // Asks for a password that the client does not give.
    std::unique_ptr<testserver::Server> m_lockedServer;
    QTemporaryDir m_files;
    QString m_longPath;
};

namespace {

QList<QTreeView *> visibleTables(QWidget *page)
{
    QList<QTreeView *> tables;
    for (QTreeView *table : page->findChildren<QTreeView *>()) {
        if (table->isVisible() && table->model() && !table->header()->isHidden())
            tables.append(table);
    }
    // Top to bottom, left to right, as a user goes through them.
    std::sort(tables.begin(), tables.end(), [page](QTreeView *a, QTreeView *b) {
        const QPoint pa = a->mapTo(page, QPoint());
        const QPoint pb = b->mapTo(page, QPoint());
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    return tables;
}

// Clicks the first row of each table once it has rows, a few rounds, so the
// panels beside them show a point, a checkpoint and a job.
void clickFirstRows(QWidget *page)
{
    // A page without rows in time is caught by the checks that follow.
    (void)QTest::qWaitFor(
        [page] {
            for (QTreeView *table : visibleTables(page)) {
                if (table->model()->rowCount() > 0)
                    return true;
            }
            return false;
        },
        8000);
    QList<QTreeView *> clicked;
    for (int round = 0; round < 3; ++round) {
        for (QTreeView *table : visibleTables(page)) {
            if (table->model()->rowCount() == 0 || clicked.contains(table))
                continue;
            clicked.append(table);
            const QRect row = table->visualRect(table->model()->index(0, 0));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row.center());
            QTest::qWait(300);
        }
    }
}

// The window lies inside the screen and no button is cut, neither by the
// screen's edge nor by the widgets around it.
void checkInsideScreen(QWidget *window, const QString &where)
{
    const QRect screen = window->screen()->availableGeometry();
    QVERIFY2(window->width() <= screen.width() && screen.contains(window->frameGeometry()),
        qPrintable(QStringLiteral("%1: window %2 px wide, needs %3")
                       .arg(where)
                       .arg(window->width())
                       .arg(window->minimumSizeHint().width())));
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (!button->isVisible())
            continue;
        const QRect global(button->mapToGlobal(QPoint()), button->size());
        QVERIFY2(screen.contains(global) && button->visibleRegion().boundingRect() == button->rect(),
            qPrintable(QStringLiteral("%1: button \"%2\" cut").arg(where, button->text())));
    }
    // A label squeezed below what it asks for, or shorter than its lines, is
    // cut.
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisible())
            continue;
        const bool wide = label->width() >= label->minimumSizeHint().width();
        const bool high
            = !label->hasHeightForWidth() || label->height() >= label->heightForWidth(label->width());
        QVERIFY2(wide && high, qPrintable(QStringLiteral("%1: label \"%2\" cut").arg(where, label->text())));
    }
}

// The status column takes the spare width, and a status cut in it shows
// whole as the cell's tooltip.
void checkConnectionTable(QWidget *page, const QString &status)
{
    auto *splitter = page->findChild<QSplitter *>();
    auto *table = page->findChild<QTreeView *>();
    QVERIFY(splitter && table);
    QHeaderView *header = table->header();
    QAbstractItemModel *model = table->model();
    QModelIndex cell;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, ConnectionTableModel::StatusColumn).data().toString() == status)
            cell = model->index(row, ConnectionTableModel::StatusColumn);
    }
    QVERIFY(cell.isValid());
    const QList<int> before = splitter->sizes();
    const int total = before.at(0) + before.at(1);

    splitter->setSizes({ 1, total });
    QTRY_VERIFY(table->visualRect(cell).width() < table->fontMetrics().horizontalAdvance(status));
    const QRect rect = table->visualRect(cell);
    QHelpEvent help(QEvent::ToolTip, rect.center(), table->viewport()->mapToGlobal(rect.center()));
    QCoreApplication::sendEvent(table->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), status);
    QToolTip::hideText();

    const int statusWidth = header->sectionSize(ConnectionTableModel::StatusColumn);
    const int checkedWidth = header->sectionSize(ConnectionTableModel::LastCheckedColumn);
    const int narrow = table->viewport()->width();
    splitter->setSizes({ total, 1 });
    QTRY_VERIFY(table->viewport()->width() > narrow + 100);
    QTRY_COMPARE(header->length(), table->viewport()->width());
    QVERIFY(header->sectionSize(ConnectionTableModel::StatusColumn) > statusWidth + 100);
    QCOMPARE(header->sectionSize(ConnectionTableModel::LastCheckedColumn), checkedWidth);
    splitter->setSizes(before);
}

// Waits for the status line to tell of an update, which is when the window
// has the most to show.
void waitForStatusText(MainWindow &window)
{
    auto *status = window.findChild<Client::StatusLine *>();
    QVERIFY(status);
    // A page without an update of its own is checked as it is.
    (void)QTest::qWaitFor([status] { return !status->label()->text().isEmpty(); }, 5000);
}

} // namespace

void TestPagePictures::initTestCase()
{
    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setApplicationName(ClientNames::applicationName());
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->loadDemoData();
    // One long word without a place to break it.
    m_server->setStatus(
        QStringLiteral(
            "druckvorstufe_nord_produktionsserver_zeitschriften_kataloge.gebaeude7.example.internal"),
        QStringLiteral("Running"));
    // A job named as scanners and imposition tools name their files.
    QList<testserver::Flow> flows = m_server->flows();
    QVERIFY(!flows.isEmpty() && !flows.first().checkPoints.isEmpty()
        && !flows.first().checkPoints.first().jobs.isEmpty());
    flows.first().checkPoints.first().jobs.first().name = QStringLiteral(
        "Zeitschrift_Fruehjahr_2027_Innenteil_Seiten_001_bis_148_Druckfreigabe_final_korrigiert_v12.pdf");
    m_server->setFlows(flows);
    QVERIFY(m_files.isValid());
    const QString folder = m_files.filePath(QStringLiteral("Druckvorstufe_Nord_Auftraege_2027_Fruehjahr"));
    QVERIFY(QDir().mkpath(folder));
    m_longPath
        = folder + QStringLiteral("/Zeitschrift_Innenteil_Seiten_001_bis_148_final_korrigiert_v12.pdf");
    QVERIFY(TestFiles::writeFile(m_longPath, "%PDF-1.4\n"));
    m_lockedServer = ServerTest::startServer(false, QStringLiteral("secret"));
    QVERIFY(m_lockedServer);
    m_lockedServer->setStatus(
        QStringLiteral("Druckvorstufe Nord \u2013 Produktionsserver f\u00fcr Zeitschriften, "
                       "Kataloge und Beilagen, Geb\u00e4ude 7"),
        QStringLiteral("Running"));
}

void TestPagePictures::everyPageWhole_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("code");
    // English first: a pack's translations stay installed for the process.
    QTest::newRow("English") << QStringLiteral("English") << QStringLiteral("en");
    QTest::newRow("German") << QStringLiteral("Deutsch") << QStringLiteral("de");
}

void TestPagePictures::everyPageWhole()
{
    QFETCH(QString, language);
    QFETCH(QString, code);
    Client::setupLanguageIn(TestEnv::binDir(), ClientNames::applicationName(), language,
        { QStringLiteral("Common*.qm"), QStringLiteral("GuiCommon*.qm"), QStringLiteral("Client*.qm") });
    QCOMPARE(Client::findLanguageFolder(language), code);

    // A first start with one saved connection: no stored layouts.
    QSettings().clear();
    // The second is refused for its password, the third finds nobody.
    QSettings settings;
    const QList<quint16> ports { m_server->port(), m_lockedServer->port(), ServerTest::closedPort() };
    for (int i = 0; i < ports.size(); ++i) {
        const QString group = QStringLiteral("Connections/%1/").arg(i);
        settings.setValue(group + QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        settings.setValue(group + QStringLiteral("port"), int(ports.at(i)));
        settings.setValue(group + QStringLiteral("user"), QStringLiteral("user"));
        settings.setValue(group + QStringLiteral("enabled"), true);
    }
    settings.sync();

    const QString folder = qEnvironmentVariable("VORNEX_SCREENSHOT_DIR");
    MainWindow window;
    const QRect screen = window.screen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(1280, 800));
    window.setWindowState(Qt::WindowNoState);
    window.setGeometry(screen);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QListWidget *list = window.pageList()->listWidget();
    ServerProxy *proxy = window.serverProxy().get();
    QTRY_VERIFY_WITH_TIMEOUT(proxy->getConnection(0)->isOnline(), 10000);
    const QString refused = ServerConnection::loginFailedText();
    QTRY_COMPARE_WITH_TIMEOUT(proxy->getConnection(1)->statusText(), refused, 10000);

    checkConnectionTable(window.pageList()->stack()->widget(0), refused);
    for (QPushButton *button : window.pageList()->stack()->widget(0)->findChildren<QPushButton *>()) {
        if (button->text() == QCoreApplication::translate("Client::ConnectionPage", "Update all"))
            button->click();
    }
    waitForStatusText(window);
    checkInsideScreen(&window, code + QStringLiteral(", page 0 updating"));

    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem *item = list->item(row);
        const int textWidth = list->fontMetrics().horizontalAdvance(item->text());
        QVERIFY2(list->visualItemRect(item).width() >= textWidth + 4,
            qPrintable(QStringLiteral("page list: \"%1\"").arg(item->text())));
    }

    QStackedWidget *stack = window.pageList()->stack();
    for (int row = 0; row < stack->count(); ++row) {
        list->setCurrentRow(row);
        QWidget *page = stack->currentWidget();
        QCOMPARE(page, stack->widget(row));
        clickFirstRows(page);
        if (auto *form = page->findChild<Client::SubmittedFileView *>()) {
            // A job from a folder with long names, shown in the form.
            form->FilesAdded({ m_longPath });
            clickFirstRows(page);
            QTRY_VERIFY(
                form->findChild<Client::DragDropPanel *>()->findChild<QLabel *>()->text() == m_longPath);
        }
        if (auto *log = page->findChild<Client::MessageView *>()) {
            // The notes under the table after an export to a long path, with
            // rows dropped for the limit.
            QTRY_VERIFY_WITH_TIMEOUT(log->messageModel()->rowCount() > 2, 10000);
            log->messageModel()->setMaximumRows(log->messageModel()->rowCount() - 1);
            QSignalSpy exported(log, &Client::MessageView::exportFinished);
            QVERIFY(log->exportTo(QFileInfo(m_longPath).absolutePath()
                + QStringLiteral("/Protokoll_Druckvorstufe_Nord_Produktionsserver_Zeitschriften_Kataloge_"
                                 "Beilagen_Gebaeude_7_Fruehjahr_2027_vollstaendig.xml")));
            QVERIFY(exported.wait(10000));
            QCOMPARE(exported.at(0).at(0).toBool(), true);
            QVERIFY(!log->droppedNote().isEmpty());
        }
        waitForStatusText(window);
        QCoreApplication::processEvents();
        checkInsideScreen(&window, QStringLiteral("%1, page %2").arg(code).arg(row));
        for (QTreeView *table : visibleTables(page)) {
            QHeaderView *header = table->header();
            // No scroll bar for columns that fit.
            QVERIFY(
                header->length() > table->viewport()->width() || !table->horizontalScrollBar()->isVisible());
            for (int section = 0; section < header->count(); ++section) {
                if (header->isSectionHidden(section))
                    continue;
                const int needed = header->sectionSizeHint(section);
                QVERIFY2(header->sectionSize(section) >= needed,
                    qPrintable(QStringLiteral("%1, page %2: header \"%3\" %4 of %5 pixels")
                                   .arg(code)
                                   .arg(row)
                                   .arg(table->model()->headerData(section, Qt::Horizontal).toString())
                                   .arg(header->sectionSize(section))
                                   .arg(needed)));
            }
        }
        if (!folder.isEmpty()) {
            const QString name = QStringLiteral("%1/page-%2-%3.png").arg(folder, code).arg(row);
            QVERIFY(window.grab().save(name));
        }
    }
    window.close();
}

// A 1280 x 800 screen without window frames, as the offscreen platform
// allows, rather than its square default.
int main(int argc, char *argv[])
{
    TestEnv::isolateHome(argc, argv);
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("screen.json")));
    if (!dir.isValid() || !config.open(QIODevice::WriteOnly)
        || config.write(R"({"windowFrameMargins": false, "screens": [{"name": "Screen", "x": 0, "y": 0,
            "width": 1280, "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96}]})")
            < 0)
        return 1;
    config.close();
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestPagePictures tc;
    QTEST_SET_MAIN_SOURCE_PATH
    const int rc = QTest::qExec(&tc, argc, argv);
    if (rc != 0)
        TestEnv::keepHome();
    return rc;
}
#include "tst_pagepictures.moc"
