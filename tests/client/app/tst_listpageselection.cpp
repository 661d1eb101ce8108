#include "BaseWidget.h"
#include "ListPageSelection.h"
#include "TestEnv.h"

#include <QAction>
#include <QIcon>
#include <QListWidget>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

using Client::BaseWidget;
using Client::ListPageSelection;

namespace {

void clickRow(ListPageSelection &pages, int row)
{
    QListWidget *list = pages.listWidget();
    const QRect rect = list->visualItemRect(list->item(row));
    QVERIFY(rect.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

// Two pages, then the Help and About action entries, shown.
struct TwoPagesTwoActions
{
    ListPageSelection pages;
    QAction help { QStringLiteral("help") };
    QAction about { QStringLiteral("about") };
    BaseWidget *first = new BaseWidget;
    BaseWidget *second = new BaseWidget;

    TwoPagesTwoActions()
    {
        pages.resize(400, 400);
        pages.addPage(first, nullptr, QStringLiteral("First"), QIcon());
        pages.addPage(second, nullptr, QStringLiteral("Second"), QIcon());
        pages.addPage(nullptr, &help, QStringLiteral("Help"), QIcon());
        pages.addPage(nullptr, &about, QStringLiteral("About"), QIcon());
        pages.show();
    }
};

class TestListPageSelection : public QObject
{
    Q_OBJECT

private slots:
    void firstPageIsShownOnce();
    void clickingAPageShowsIt();
    void actionEntryKeepsThePageThatWasShown();
    void keysPassOverActionEntries_data();
    void keysPassOverActionEntries();
    void withoutPagesNothingIsSelected();
};

void TestListPageSelection::firstPageIsShownOnce()
{
    ListPageSelection pages;
    QAction help(QStringLiteral("help"));
    auto *first = new BaseWidget;
    auto *second = new BaseWidget;
    QSignalSpy firstShown(first, &BaseWidget::selected);
    QSignalSpy secondShown(second, &BaseWidget::selected);
    pages.addPage(first, nullptr, QStringLiteral("First"), QIcon());
    pages.addPage(second, nullptr, QStringLiteral("Übergabepunkte"), QIcon());
    pages.addPage(nullptr, &help, QStringLiteral("Help"), QIcon());
    QCOMPARE(pages.listWidget()->count(), 3);
    QCOMPARE(pages.listWidget()->item(2)->text(), QStringLiteral("Help"));
    // Cells fit the widest label in the list's font, never below 80 x 60.
    QListWidget *list = pages.listWidget();
    const int widest = list->fontMetrics().horizontalAdvance(QStringLiteral("Übergabepunkte"));
    QVERIFY(list->gridSize().width() >= std::max(80, widest));
    QVERIFY(list->gridSize().height() >= 60);
    for (int row = 0; row < list->count(); ++row) {
        QCOMPARE(list->item(row)->sizeHint().width(), list->gridSize().width() - 2 * list->spacing());
        QVERIFY(list->item(row)->sizeHint().width() > widest);
    }
    QVERIFY(list->width() > list->gridSize().width());
    QCOMPARE(firstShown.count(), 0);

    pages.selectFirstPage();
    QCOMPARE(firstShown.count(), 1);
    QCOMPARE(secondShown.count(), 0);
    QVERIFY(first->isCurrentPage());
    QVERIFY(!second->isCurrentPage());
    QCOMPARE(pages.stack()->currentWidget(), first);
    QCOMPARE(pages.listWidget()->currentRow(), 0);
    QCOMPARE(pages.listWidget()->selectedItems(), QList<QListWidgetItem *>({ pages.listWidget()->item(0) }));
}

void TestListPageSelection::clickingAPageShowsIt()
{
    ListPageSelection pages;
    pages.resize(400, 400);
    auto *first = new BaseWidget;
    auto *second = new BaseWidget;
    pages.addPage(first, nullptr, QStringLiteral("First"), QIcon());
    pages.addPage(second, nullptr, QStringLiteral("Second"), QIcon());
    pages.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    pages.selectFirstPage();
    QSignalSpy secondShown(second, &BaseWidget::selected);

    clickRow(pages, 1);
    QCOMPARE(secondShown.count(), 1);
    QCOMPARE(pages.stack()->currentWidget(), second);
    QVERIFY(second->isCurrentPage());
    QVERIFY(!first->isCurrentPage());
    QCOMPARE(pages.currentPage(), second);
}

void TestListPageSelection::actionEntryKeepsThePageThatWasShown()
{
    TwoPagesTwoActions entries;
    ListPageSelection &pages = entries.pages;
    QAction &help = entries.help;
    QAction &about = entries.about;
    BaseWidget *first = entries.first;
    BaseWidget *second = entries.second;
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    pages.selectFirstPage();
    clickRow(pages, 1);

    QSignalSpy helpRun(&help, &QAction::triggered);
    QSignalSpy aboutRun(&about, &QAction::triggered);
    QSignalSpy secondShown(second, &BaseWidget::selected);
    QSignalSpy firstShown(first, &BaseWidget::selected);
    // While the action runs, the page is already back in place.
    bool pageShownDuringAction = false;
    connect(&about, &QAction::triggered, this,
        [&] { pageShownDuringAction = second->isCurrentPage() && pages.stack()->currentWidget() == second; });

    clickRow(pages, 3);
    QCOMPARE(aboutRun.count(), 1);
    QCOMPARE(helpRun.count(), 0);
    QVERIFY(pageShownDuringAction);
    QCOMPARE(pages.stack()->currentWidget(), second);
    QVERIFY(second->isCurrentPage());
    QCOMPARE(secondShown.count(), 1);
    QCOMPARE(firstShown.count(), 0);
    QCOMPARE(pages.listWidget()->selectedItems(), QList<QListWidgetItem *>({ pages.listWidget()->item(1) }));
    QCOMPARE(pages.listWidget()->currentRow(), 1);

    // Clicking it again runs it again: it never stays selected.
    clickRow(pages, 3);
    QCOMPARE(aboutRun.count(), 2);
    clickRow(pages, 2);
    QCOMPARE(helpRun.count(), 1);
    QCOMPARE(pages.listWidget()->currentRow(), 1);
}

void TestListPageSelection::keysPassOverActionEntries_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestListPageSelection::keysPassOverActionEntries()
{
    QFETCH(int, key);
    TwoPagesTwoActions entries;
    ListPageSelection &pages = entries.pages;
    QAction &help = entries.help;
    QAction &about = entries.about;
    BaseWidget *first = entries.first;
    BaseWidget *second = entries.second;
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    pages.selectFirstPage();
    QListWidget *list = pages.listWidget();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(pages.stack()->currentWidget(), second);

    QSignalSpy helpRun(&help, &QAction::triggered);
    QSignalSpy aboutRun(&about, &QAction::triggered);
    const auto secondStays = [&] {
        QVERIFY(second->isCurrentPage());
        QCOMPARE(pages.stack()->currentWidget(), second);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>({ list->item(1) }));
    };
    // Passing over the entries runs nothing.
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 2);
    secondStays();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 3);
    secondStays();
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(list->currentRow(), 2);
    QCOMPARE(helpRun.count() + aboutRun.count(), 0);
    secondStays();

    QTest::keyClick(list, Qt::Key(key));
    QCOMPARE(helpRun.count(), 1);
    QCOMPARE(aboutRun.count(), 0);
    secondStays();
    // The key on a page entry shows that page and runs nothing.
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(pages.stack()->currentWidget(), first);
    QTest::keyClick(list, Qt::Key(key));
    QCOMPARE(pages.stack()->currentWidget(), first);
    QCOMPARE(helpRun.count() + aboutRun.count(), 1);
}

void TestListPageSelection::withoutPagesNothingIsSelected()
{
    ListPageSelection pages;
    pages.resize(400, 400);
    QAction help(QStringLiteral("help"));
    pages.addPage(nullptr, &help, QStringLiteral("Help"), QIcon());
    pages.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    pages.selectFirstPage();
    QVERIFY(pages.listWidget()->selectedItems().isEmpty());
    QCOMPARE(pages.currentPage(), nullptr);

    QSignalSpy helpRun(&help, &QAction::triggered);
    clickRow(pages, 0);
    QCOMPARE(helpRun.count(), 1);
    QVERIFY(pages.listWidget()->selectedItems().isEmpty());
}

VORNEX_TEST_MAIN(TestListPageSelection)
#include "tst_listpageselection.moc"
