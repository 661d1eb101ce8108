#include "ExportLogsAction.h"
#include "FilterComboBox.h"
#include "LogHeaderView.h"
#include "LogTableView.h"
#include "LogTestModel.h"
#include "TestEnv.h"
#include "TestPane.h"
#include "VerticalHeader.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>

using Velloc::LogTableView;

namespace {

struct MenuSeen
{
    bool shown = false;
    QStringList texts; // non-separator entries in menu order
    QStringList enabled;
};

// Sends the event that opens the context menu and reads the menu while it
// runs modally.
MenuSeen openMenu(QWidget *target, const QPoint &pos)
{
    MenuSeen seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, target, [&seen, &poll] {
        // Only from inside the menu's own loop: closed before it runs, the
        // menu would leave exec() waiting.
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible() || QThread::currentThread()->loopLevel() == 0)
            return;
        poll.stop();
        seen.shown = true;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            seen.texts.append(action->text());
            if (action->isEnabled())
                seen.enabled.append(action->text());
        }
        menu->close();
    });
    poll.start();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &event);
    return seen;
}

} // namespace

class TestLogTableView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
        QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    }

    void paneBuildsTheTable()
    {
        TestPane pane;
        LogTableView *table = pane.tableView();
        QVERIFY(qobject_cast<Velloc::LogHeaderView *>(table->horizontalHeader()));
        QVERIFY(qobject_cast<Velloc::VerticalHeader *>(table->verticalHeader()));
        QVERIFY(table->verticalHeader()->isHidden());
        QCOMPARE(table->verticalHeader()->defaultSectionSize(), 16);
        QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), 0);
        QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
        QVERIFY(table->horizontalHeader()->sectionsMovable());
        QVERIFY(table->horizontalHeader()->stretchLastSection());
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(table->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(table->alternatingRowColors());
        QVERIFY(table->wrapTextAction()->isCheckable());
    }

    void copyActions()
    {
        TestPane pane(3);
        QAbstractItemModelTester tester(pane.model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        pane.model->appendRows({ { QStringLiteral("a"), QString(), QStringLiteral("c") },
            { QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f") } });
        LogTableView *table = pane.tableView();
        QClipboard *clipboard = QGuiApplication::clipboard();

        clipboard->setText(QStringLiteral("untouched"));
        table->copyTextAction()->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("untouched"));

        table->setCurrentIndex(pane.model->index(0, 2));
        table->copyTextAction()->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("a,,c"));
        table->copyFieldAction()->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("c"));

        // Model order, whatever the columns' visual order.
        table->horizontalHeader()->moveSection(2, 0);
        table->setCurrentIndex(pane.model->index(1, 0));
        table->copyTextAction()->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("d,e,f"));
    }

    void controlCCopiesTheField()
    {
        TestPane pane(3);
        pane.model->appendRows({ { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") } });
        LogTableView *table = pane.tableView();
        table->setCurrentIndex(pane.model->index(0, 1));
        QClipboard *clipboard = QGuiApplication::clipboard();

        clipboard->setText(QStringLiteral("untouched"));
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("untouched"));
        QTest::keyClick(table, Qt::Key_C, Qt::AltModifier | Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("untouched"));

        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("b"));
    }

    void menuEnablesByOrigin()
    {
        TestPane pane;
        pane.model->appendNumbered(3);
        auto *exportAction
            = new Velloc::ExportLogsAction(QIcon(QStringLiteral(":/Dovelin/Images/img_ExportLogs.png")),
                QStringLiteral("&Export log messages..."), &pane);
        exportAction->setEnabled(false);
        pane.tableView()->setExtraAction(exportAction);
        pane.resize(600, 300);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));

        const QStringList all { QStringLiteral("Copy text"), QStringLiteral("Copy this field"),
            QStringLiteral("Reset all filters"), QStringLiteral("Clear filter history"),
            QStringLiteral("Reset column ordering"), QStringLiteral("&Export log messages..."),
            QStringLiteral("Wrap text") };

        LogTableView *table = pane.tableView();
        MenuSeen cell = openMenu(table->viewport(), QPoint(5, 5));
        QVERIFY(cell.shown);
        QCOMPARE(cell.texts, all);
        QCOMPARE(cell.enabled, (QStringList { all[0], all[1], all[5], all[6] }));

        MenuSeen header = openMenu(table->horizontalHeader()->viewport(), QPoint(5, 5));
        QVERIFY(header.shown);
        QCOMPARE(header.enabled, (QStringList { all[4], all[5], all[6] }));

        MenuSeen box = openMenu(pane.headerView()->filterBox(1), QPoint(2, 2));
        QVERIFY(box.shown);
        QCOMPARE(box.enabled, (QStringList { all[2], all[3], all[5], all[6] }));

        // Outside the table: the status label passes the event to the pane.
        MenuSeen status = openMenu(pane.statusLabel(), QPoint(2, 2));
        QVERIFY(status.shown);
        QCOMPARE(status.enabled, (QStringList { all[5], all[6] }));

        // A deleted extra action simply leaves the menu.
        delete exportAction;
        MenuSeen without = openMenu(table->viewport(), QPoint(5, 5));
        QCOMPARE(without.texts.size(), 6);
        QVERIFY(!without.texts.contains(all[5]));
    }

    void extraActionSetAfterFirstUseAppears()
    {
        TestPane pane;
        QMenu *menu = pane.tableView()->prepareContextMenu(LogTableView::PaneMenu);
        QVERIFY(!menu->actions().isEmpty());
        Velloc::ExportLogsAction exportAction(QStringLiteral("Export"));
        pane.tableView()->setExtraAction(&exportAction);
        menu = pane.tableView()->prepareContextMenu(LogTableView::PaneMenu);
        QVERIFY(menu->actions().contains(&exportAction));
        QVERIFY(pane.tableView()->wrapTextAction()->isEnabled());
        QCOMPARE(qobject_cast<Velloc::ExportLogsAction *>(pane.tableView()->extraAction()), &exportAction);
    }

    void wrapTextSizesRows()
    {
        TestPane pane(2);
        const QString longText = QStringLiteral("word ").repeated(60);
        pane.model->appendRows(
            { { QStringLiteral("short"), longText }, { QStringLiteral("short"), QStringLiteral("x") } });
        LogTableView *table = pane.tableView();
        pane.resize(300, 300);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QCOMPARE(table->rowHeight(0), 16);

        table->wrapTextAction()->setChecked(true);
        QCOMPARE(table->verticalHeader()->sectionResizeMode(0), QHeaderView::ResizeToContents);
        QTRY_VERIFY(table->rowHeight(0) >= 32);

        table->wrapTextAction()->setChecked(false);
        QCOMPARE(table->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QCOMPARE(table->rowHeight(0), 16);
        QCOMPARE(table->rowHeight(1), 16);
    }

    void rowHeaderKeepsOneLineRowsLow()
    {
        QStandardItemModel model(3, 1);
        model.setVerticalHeaderItem(0, new QStandardItem(QStringLiteral("1")));
        model.setVerticalHeaderItem(1, new QStandardItem(QStringLiteral("a\nb\nc\nd")));
        Velloc::VerticalHeader header;
        header.setMinimumSectionSize(16);
        header.setDefaultSectionSize(16);
        header.setModel(&model);
        QCOMPARE(header.sectionSizeHint(0), 16);
        QVERIFY(header.sectionSizeHint(1) >= 32);
    }

    void resetColumnOrder()
    {
        TestPane pane(4);
        pane.resize(800, 300);
        pane.show();
        QHeaderView *header = pane.tableView()->horizontalHeader();
        header->moveSection(0, 3);
        header->moveSection(1, 2);
        header->resizeSection(1, 250);
        QVERIFY(header->visualIndex(0) != 0);

        pane.tableView()->resetColumnsAction()->trigger();

        for (int i = 0; i < 4; ++i)
            QCOMPARE(header->visualIndex(i), i);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(header->sectionSize(i), header->defaultSectionSize());
        QVERIFY(header->stretchLastSection());
    }

    void cellsOpenReadOnly()
    {
        TestPane pane(2);
        pane.model->appendRows({ { QStringLiteral("first"), QStringLiteral("select me") } });
        pane.resize(500, 200);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        LogTableView *table = pane.tableView();
        const QModelIndex index = pane.model->index(0, 1);
        table->setCurrentIndex(index);
        table->edit(index);
        auto *editor = qobject_cast<QLineEdit *>(table->indexWidget(index));
        QVERIFY(editor);
        QVERIFY(editor->isReadOnly());
        QCOMPARE(editor->text(), QStringLiteral("select me"));
        QCOMPARE(editor->geometry(), table->visualRect(index));
        QTest::keyClicks(editor, QStringLiteral("zz"));
        QCOMPARE(editor->text(), QStringLiteral("select me"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(index.data().toString(), QStringLiteral("select me"));
    }
};

VORNEX_TEST_MAIN(TestLogTableView)
#include "tst_logtableview.moc"
