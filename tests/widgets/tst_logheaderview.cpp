#include "FilterComboBox.h"
#include "LogHeaderView.h"
#include "LogRoles.h"
#include "LogTableView.h"
#include "LogTestModel.h"
#include "TestEnv.h"
#include "TestPane.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QtTest/QTest>

#include <memory>

using Velloc::FilterComboBox;
using Velloc::LogHeaderView;

namespace {

const QChar Z(0);

QString fields(const QStringList &list)
{
    QString text;
    for (const QString &field : list)
        text += field + Z;
    return text;
}

// A shown pane with its model under the model tester.
struct ShownPane
{
    explicit ShownPane(int columns = 6)
        : pane(columns)
        , tester(pane.model, QAbstractItemModelTester::FailureReportingMode::QtTest)
    {
        pane.resize(700, 300);
        pane.show();
    }

    LogHeaderView *header() const { return pane.headerView(); }
    FilterComboBox *box(int column) const { return pane.headerView()->filterBox(column); }

    TestPane pane;
    QAbstractItemModelTester tester;
};

} // namespace

class TestLogHeaderView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Marvolt Software"));
        QCoreApplication::setApplicationName(QStringLiteral("VORNEXclient"));
    }

    void boxesAreMadeFromTheModel()
    {
        LogTestModel model(7);
        model.setHeaderData(0, Qt::Horizontal, QStringLiteral("10"), Velloc::FilterTextResetRole);
        model.setHeaderData(0, Qt::Horizontal, QStringList { QStringLiteral("24"), QStringLiteral("10") },
            Velloc::FilterHistoryResetRole);
        model.setHeaderData(3, Qt::Horizontal, QStringLiteral("flow"), Velloc::FilterTextResetRole);
        model.writes.clear();
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        Velloc::LogTableView table;
        auto *header = new LogHeaderView(&table);
        table.setHorizontalHeader(header);
        table.setModel(&model);

        for (int c = 0; c < 7; ++c) {
            QVERIFY(header->filterBox(c));
            QCOMPARE(header->filterBox(c)->section(), c);
            QVERIFY(header->filterBox(c)->isEditable());
            QCOMPARE(header->filterBox(c)->maxCount(), 10);
            QVERIFY(!header->filterBox(c)->completer());
        }
        QVERIFY(!header->filterBox(7));
        QVERIFY(
            header->filterBox(0)->toolTip().startsWith(QStringLiteral("Enter a number to show messages")));
        QCOMPARE(header->filterBox(0)->toolTip().count(QLatin1Char('\n')), 2);
        QVERIFY(header->filterBox(1)->toolTip().contains(QStringLiteral("messages types")));
        QVERIFY(header->filterBox(2)->toolTip().contains(QStringLiteral("module names")));
        QVERIFY(header->filterBox(3)->toolTip().endsWith(
            QStringLiteral("for a flow with a name that contains one of these strings")));
        QVERIFY(header->filterBox(4)->toolTip().contains(QStringLiteral("flow element")));
        QVERIFY(header->filterBox(5)->toolTip().contains(QStringLiteral("for a job with")));
        QVERIFY(
            header->filterBox(6)->toolTip().endsWith(QStringLiteral("that contain one of these strings ")));

        FilterComboBox *first = header->filterBox(0);
        QCOMPARE(first->items(), (QStringList { QStringLiteral("24"), QStringLiteral("10") }));
        QCOMPARE(first->currentText(), QStringLiteral("10"));
        QCOMPARE(first->currentIndex(), 1);
        QCOMPARE(header->filterBox(3)->currentText(), QStringLiteral("flow"));
        QCOMPARE(header->filterBox(1)->currentText(), QString());
        // Filling the boxes wrote nothing back.
        QVERIFY(model.writes.isEmpty());

        QVERIFY(header->sizeHint().height() >= 2 * QHeaderView(Qt::Horizontal).sizeHint().height() - 1);
    }

    void wideModelsGetBoxesForSevenColumns()
    {
        ShownPane shown(9);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        QVERIFY(shown.box(6));
        QVERIFY(!shown.box(7));
        QVERIFY(!shown.box(8));
        QTRY_VERIFY(shown.box(6)->isVisible());
        QCOMPARE(shown.header()->saveFilters().count(Z), 9 * 3);
    }

    void boxesSitInTheUpperHalf()
    {
        ShownPane shown;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.pane));
        LogHeaderView *header = shown.header();
        header->resizeSection(0, 120);
        header->resizeSection(1, 90);
        QTRY_COMPARE(shown.box(1)->geometry().width(), 90);
        const int half = header->height() / 2;
        for (int c = 0; c < 3; ++c) {
            const QRect box = shown.box(c)->geometry();
            QCOMPARE(box.top(), 0);
            QCOMPARE(box.height(), half);
            QCOMPARE(box.left(), header->sectionViewportPosition(c));
            QCOMPARE(box.width(), header->sectionSize(c));
        }
        // A moved column takes its box along.
        header->moveSection(0, 2);
        QTRY_COMPARE(shown.box(0)->geometry().left(), header->sectionViewportPosition(0));
        QVERIFY(shown.box(0)->geometry().left() > shown.box(1)->geometry().left());
    }

    void typingFiltersAndLeavingAddsToHistory()
    {
        ShownPane shown;
        QVERIFY(QTest::qWaitForWindowActive(&shown.pane));
        LogTestModel *model = shown.pane.model;
        FilterComboBox *box = shown.box(3);
        box->lineEdit()->setFocus();
        QTRY_VERIFY(box->lineEdit()->hasFocus());
        model->writes.clear();

        QTest::keyClicks(box->lineEdit(), QStringLiteral("ab"));
        const auto typed = model->writesWithRole(Velloc::FilterTextRole);
        QCOMPARE(typed.size(), 2);
        QCOMPARE(typed.at(0).section, 3);
        QCOMPARE(typed.at(0).value.toString(), QStringLiteral("a"));
        QCOMPARE(typed.at(1).value.toString(), QStringLiteral("ab"));
        QCOMPARE(model->filterText(3), QStringLiteral("ab"));
        QVERIFY(model->writesWithRole(Velloc::FilterHistoryRole).isEmpty());

        shown.pane.tableView()->setFocus();
        QTRY_COMPARE(box->items(), QStringList { QStringLiteral("ab") });
        QCOMPARE(model->history(3), QStringList { QStringLiteral("ab") });
        QCOMPARE(box->currentText(), QStringLiteral("ab"));

        // A text that differs only in case is not added.
        box->lineEdit()->setFocus();
        QTRY_VERIFY(box->lineEdit()->hasFocus());
        box->setEditText(QStringLiteral("AB"));
        shown.pane.tableView()->setFocus();
        QTRY_VERIFY(!box->lineEdit()->hasFocus());
        QCOMPARE(box->count(), 1);
        QCOMPARE(model->history(3), QStringList { QStringLiteral("ab") });

        // An empty text is never added.
        box->lineEdit()->setFocus();
        QTRY_VERIFY(box->lineEdit()->hasFocus());
        box->clearEditText();
        shown.pane.tableView()->setFocus();
        QTRY_VERIFY(!box->lineEdit()->hasFocus());
        QCOMPARE(box->count(), 1);
        QCOMPARE(model->filterText(3), QString());
    }

    void historyIsAlphabeticalUniqueAndAtMostTen()
    {
        ShownPane shown;
        QVERIFY(QTest::qWaitForWindowActive(&shown.pane));
        FilterComboBox *box = shown.box(5);
        box->addItems({ QStringLiteral("alpha"), QStringLiteral("zulu") });
        box->lineEdit()->setFocus();
        QTRY_VERIFY(box->lineEdit()->hasFocus());

        box->setEditText(QString());
        QTest::keyClicks(box->lineEdit(), QStringLiteral("mike"));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(box->items(),
            (QStringList { QStringLiteral("alpha"), QStringLiteral("mike"), QStringLiteral("zulu") }));
        QCOMPARE(shown.pane.model->history(5), box->items());
        box->setEditText(QString());
        QTest::keyClicks(box->lineEdit(), QStringLiteral("mike"));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(box->count(), 3);

        for (int i = 0; i < 7; ++i)
            box->addItem(QStringLiteral("x%1").arg(i));
        QCOMPARE(box->count(), 10);
        box->setEditText(QStringLiteral("newest"));
        shown.pane.tableView()->setFocus();
        QTRY_COMPARE(box->itemText(0), QStringLiteral("newest"));
        QCOMPARE(box->count(), 10);
        QVERIFY(!box->items().contains(QStringLiteral("x6")));
        QCOMPARE(shown.pane.model->history(5), box->items());
        QCOMPARE(box->currentText(), QStringLiteral("newest"));
    }

    void resetPutsTheDefaultInTheFirstColumn()
    {
        ShownPane shown;
        LogTestModel *model = shown.pane.model;
        for (int c = 0; c < 6; ++c)
            shown.box(c)->setEditText(QStringLiteral("f%1").arg(c));
        QCOMPARE(model->filterText(4), QStringLiteral("f4"));
        model->writes.clear();

        shown.pane.tableView()->resetFiltersAction()->trigger();

        QCOMPARE(shown.box(0)->currentText(), QStringLiteral("10"));
        QCOMPARE(model->filterText(0), QStringLiteral("10"));
        for (int c = 1; c < 6; ++c) {
            QCOMPARE(shown.box(c)->currentText(), QString());
            QCOMPARE(model->filterText(c), QString());
        }
        // Only the first column filters again; the others are stored quietly.
        const auto filtering = model->writesWithRole(Velloc::FilterTextRole);
        QVERIFY(!filtering.isEmpty());
        for (const auto &write : filtering)
            QCOMPARE(write.section, 0);
        QCOMPARE(filtering.last().value.toString(), QStringLiteral("10"));
        QCOMPARE(model->writesWithRole(Velloc::FilterTextResetRole).size(), 5);
    }

    void clearingHistoriesKeepsTheTexts()
    {
        ShownPane shown;
        LogTestModel *model = shown.pane.model;
        shown.box(0)->addItems({ QStringLiteral("24"), QStringLiteral("10") });
        shown.box(0)->setCurrentIndex(1);
        shown.box(2)->addItem(QStringLiteral("Mail"));
        shown.box(2)->setEditText(QStringLiteral("typed"));
        model->writes.clear();

        shown.pane.tableView()->clearHistoryAction()->trigger();

        for (int c = 0; c < 6; ++c) {
            QCOMPARE(shown.box(c)->count(), 0);
            QCOMPARE(model->history(c), QStringList());
        }
        QCOMPARE(shown.box(0)->currentText(), QStringLiteral("10"));
        QCOMPARE(shown.box(2)->currentText(), QStringLiteral("typed"));
        QCOMPARE(model->writesWithRole(Velloc::FilterHistoryResetRole).size(), 6);
        QVERIFY(model->writesWithRole(Velloc::FilterTextRole).isEmpty());
        QVERIFY(model->writesWithRole(Velloc::FilterHistoryRole).isEmpty());
    }

    void savedFormat()
    {
        TestPane pane(2);
        pane.headerView()->filterBox(0)->addItems({ QStringLiteral("24"), QStringLiteral("10") });
        pane.headerView()->filterBox(0)->setEditText(QStringLiteral("10"));
        QCOMPARE(pane.headerView()->saveFilters(),
            fields({ QStringLiteral("4"), QStringLiteral("0"), QStringLiteral("10"), QStringLiteral("24"),
                QStringLiteral("10"), QStringLiteral("2"), QStringLiteral("1"), QString() }));

        TestPane empty(0);
        QCOMPARE(empty.headerView()->saveFilters(), QString());
        empty.headerView()->restoreFilters(QString());
        QVERIFY(empty.model->writes.isEmpty());

        // A separator typed into a filter cannot break the record.
        pane.headerView()->filterBox(1)->setEditText(QStringLiteral("a") + Z + QStringLiteral("b"));
        QVERIFY(pane.headerView()->saveFilters().endsWith(
            fields({ QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("ab") })));
    }

    void restoreWritesQuietlyAndRoundTrips()
    {
        QString saved;
        {
            TestPane source;
            source.headerView()->filterBox(0)->addItems({ QStringLiteral("24"), QStringLiteral("10") });
            source.headerView()->filterBox(0)->setEditText(QStringLiteral("24 12:"));
            source.headerView()->filterBox(5)->addItem(QStringLiteral("disk full"));
            source.headerView()->filterBox(5)->setEditText(QStringLiteral("disk full"));
            saved = source.headerView()->saveFilters();
            QSettings().setValue(QStringLiteral("Messages/Header/History"), saved);
        }
        QSettings().sync();
        const QString stored = QSettings().value(QStringLiteral("Messages/Header/History")).toString();
        QCOMPARE(stored, saved);

        ShownPane shown;
        LogTestModel *model = shown.pane.model;
        model->writes.clear();
        shown.header()->restoreFilters(stored);

        QCOMPARE(shown.box(0)->currentText(), QStringLiteral("24 12:"));
        QCOMPARE(shown.box(0)->items(), (QStringList { QStringLiteral("24"), QStringLiteral("10") }));
        QCOMPARE(model->filterText(0), QStringLiteral("24 12:"));
        QCOMPARE(model->history(0), (QStringList { QStringLiteral("24"), QStringLiteral("10") }));
        QCOMPARE(shown.box(5)->currentText(), QStringLiteral("disk full"));
        QCOMPARE(shown.box(5)->currentIndex(), 0);
        QCOMPARE(model->filterText(5), QStringLiteral("disk full"));
        QCOMPARE(model->filterText(3), QString());
        // Nothing filters while restoring.
        QVERIFY(model->writesWithRole(Velloc::FilterTextRole).isEmpty());
        QVERIFY(model->writesWithRole(Velloc::FilterHistoryRole).isEmpty());
        QCOMPARE(shown.header()->saveFilters(), saved);

        // Restoring again replaces, it does not pile up.
        shown.header()->restoreFilters(stored);
        QCOMPARE(shown.box(0)->count(), 2);
        // Afterwards the boxes talk to the model again.
        shown.box(3)->setEditText(QStringLiteral("x"));
        QCOMPARE(model->filterText(3), QStringLiteral("x"));
    }

    void restoreSurvivesDamagedSettings_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("firstText");
        QTest::addColumn<QStringList>("firstHistory");

        const QStringList none;
        QTest::newRow("empty") << QString() << QStringLiteral("keep") << none;
        QTest::newRow("one field") << QStringLiteral("garbage") << QStringLiteral("keep") << none;
        QTest::newRow("not a number")
            << fields({ QStringLiteral("x"), QStringLiteral("0"), QStringLiteral("a") })
            << QStringLiteral("keep") << none;
        QTest::newRow("count 0") << fields({ QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("a") })
                                 << QStringLiteral("keep") << none;
        QTest::newRow("count 1") << fields({ QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("a") })
                                 << QStringLiteral("keep") << none;
        QTest::newRow("bad column") << fields(
            { QStringLiteral("2"), QStringLiteral("z"), QStringLiteral("a") })
                                    << QStringLiteral("keep") << none;
        QTest::newRow("cut after column")
            << (QStringLiteral("2") + Z + QStringLiteral("0")) << QStringLiteral("keep") << none;
        QTest::newRow("cut in history")
            << fields({ QStringLiteral("6"), QStringLiteral("0"), QStringLiteral("a"), QStringLiteral("h1") })
            << QStringLiteral("a") << QStringList { QStringLiteral("h1") };
        QTest::newRow("huge count") << fields(
            { QStringLiteral("2147483647"), QStringLiteral("0"), QStringLiteral("a"), QStringLiteral("h") })
                                    << QStringLiteral("a") << QStringList { QStringLiteral("h") };
        QTest::newRow("negative column skipped")
            << fields({ QStringLiteral("3"), QStringLiteral("-1"), QStringLiteral("x"), QStringLiteral("y"),
                   QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("b") })
            << QStringLiteral("b") << none;
        QTest::newRow("column beyond the table") << fields({ QStringLiteral("2"), QStringLiteral("99"),
            QStringLiteral("x"), QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("c") })
                                                 << QStringLiteral("c") << none;
        QStringList longHistory { QStringLiteral("14"), QStringLiteral("0"), QStringLiteral("t") };
        for (int i = 0; i < 12; ++i)
            longHistory.append(QStringLiteral("h%1").arg(i % 11));
        QStringList expected;
        for (int i = 0; i < 10; ++i)
            expected.append(QStringLiteral("h%1").arg(i));
        QTest::newRow("long history with repeats") << fields(longHistory) << QStringLiteral("t") << expected;
    }

    void restoreSurvivesDamagedSettings()
    {
        QFETCH(QString, saved);
        QFETCH(QString, firstText);
        QFETCH(QStringList, firstHistory);

        ShownPane shown;
        shown.box(0)->setEditText(QStringLiteral("keep"));
        shown.header()->restoreFilters(saved);
        QCOMPARE(shown.box(0)->currentText(), firstText);
        QCOMPARE(shown.box(0)->items(), firstHistory);
        QCOMPARE(shown.pane.model->filterText(0), firstText);
        QCOMPARE(shown.pane.model->history(0), firstHistory);
        QVERIFY(shown.pane.model->writesWithRole(Velloc::FilterTextRole).size() <= 1);
    }
};

VORNEX_TEST_MAIN(TestLogHeaderView)
#include "tst_logheaderview.moc"
