// Every page of the main window at 1280 x 800 with the demo data, in English
// and German: no label of the page list and no table header is cut. With
// VORNEX_SCREENSHOT_DIR set, a picture of each page is saved there too.

#include "ClientNames.h"
#include "LanguageSupport.h"
#include "ListPageSelection.h"
#include "MainWindow.h"
#include "Server.h"
#include "ServerTestSupport.h"
#include "TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QListWidget>
#include <QScrollBar>
#include <QSettings>
#include <QStackedWidget>
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

} // namespace

void TestPagePictures::initTestCase()
{
    QCoreApplication::setOrganizationName(ClientNames::organizationName());
    QCoreApplication::setApplicationName(ClientNames::applicationName());
    m_server = ServerTest::startServer();
    QVERIFY(m_server);
    m_server->loadDemoData();
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
    QSettings settings;
    settings.setValue(QStringLiteral("Connections/0/host"), QStringLiteral("127.0.0.1"));
    settings.setValue(QStringLiteral("Connections/0/port"), int(m_server->port()));
    settings.setValue(QStringLiteral("Connections/0/user"), QStringLiteral("user"));
    settings.setValue(QStringLiteral("Connections/0/enabled"), true);
    settings.sync();

    const QString folder = qEnvironmentVariable("VORNEX_SCREENSHOT_DIR");
    MainWindow window;
    window.setWindowState(Qt::WindowNoState);
    window.resize(1280, 800);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QListWidget *list = window.pageList()->listWidget();
    QTRY_VERIFY_WITH_TIMEOUT(window.serverProxy()->getConnection(0)->isOnline(), 10000);

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
        QCoreApplication::processEvents();
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

VORNEX_TEST_MAIN(TestPagePictures)
#include "tst_pagepictures.moc"
