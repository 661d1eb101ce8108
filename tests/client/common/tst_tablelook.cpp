#include "FocusPalettes.h"
#include "TableDelegate.h"
#include "TestEnv.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

class TestTableLook : public QObject
{
    Q_OBJECT

private slots:
    void gridLines();
    void sizeHintAddsPadding();
    void unfocusedSelectionIsPaler_data();
    void unfocusedSelectionIsPaler();
    void focusPalettes();
};

namespace {

QImage paintCell(const QModelIndex &index, const QRect &rect)
{
    QImage image(100, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = rect;
    option.palette.setColor(QPalette::Text, Qt::black);
    TableDelegate delegate;
    delegate.paint(&painter, option, index);
    return image;
}

} // namespace

void TestTableLook::gridLines()
{
    QStandardItemModel model(2, 2);
    const QColor grid(Qt::darkGray);

    const QImage first = paintCell(model.index(0, 0), QRect(10, 0, 40, 20));
    QVERIFY(first.pixelColor(10, 10) != grid);
    QCOMPARE(first.pixelColor(0, 19), grid);
    QCOMPARE(first.pixelColor(49, 19), grid);
    QVERIFY(first.pixelColor(60, 19) != grid);
    QVERIFY(first.pixelColor(30, 18) != grid);

    const QImage second = paintCell(model.index(0, 1), QRect(50, 20, 50, 20));
    QCOMPARE(second.pixelColor(50, 20), grid);
    QCOMPARE(second.pixelColor(50, 30), grid);
    QCOMPARE(second.pixelColor(0, 39), grid);
    QCOMPARE(second.pixelColor(99, 39), grid);
    QVERIFY(second.pixelColor(51, 30) != grid);
}

void TestTableLook::sizeHintAddsPadding()
{
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), QStringLiteral("Some text"));
    QStyleOptionViewItem option;
    TableDelegate delegate;
    QItemDelegate plain;
    QCOMPARE(delegate.sizeHint(option, model.index(0, 0)),
        plain.sizeHint(option, model.index(0, 0)) + QSize(4, 4));
}

static int distance(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// The colour of the selected first row as the table draws it in an active
// window, far right of its short text.
static QColor selectionColour(QTreeView *table)
{
    const QRect row = table->visualRect(table->model()->index(0, 0));
    const QImage image = table->viewport()->grab().toImage();
    return image.pixelColor(row.right() - 3, row.center().y());
}

void TestTableLook::unfocusedSelectionIsPaler_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("default") << QString();
    QTest::newRow("Fusion") << QStringLiteral("Fusion");
    QTest::newRow("Windows") << QStringLiteral("Windows");
}

void TestTableLook::unfocusedSelectionIsPaler()
{
    QFETCH(QString, style);
    static const QString defaultStyle = QApplication::style()->name();
    QApplication::setStyle(QStyleFactory::create(style.isEmpty() ? defaultStyle : style));
    QApplication::setPalette(QApplication::style()->standardPalette());

    QStandardItemModel model(2, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("a")));
    model.setItem(1, 0, new QStandardItem(QStringLiteral("b")));
    QTreeView table;
    table.setModel(&model);
    table.setItemDelegate(new TableDelegate(&table));
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.resize(300, 120);
    table.selectionModel()->select(model.index(0, 0), QItemSelectionModel::ClearAndSelect);
    table.show();
    table.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&table));

    const QColor base = table.palette().color(QPalette::Active, QPalette::Base);
    Client::FocusPalettes::showFocused(&table);
    const QColor focused = selectionColour(&table);
    Client::FocusPalettes::showUnfocused(&table);
    const QColor unfocused = selectionColour(&table);
    QVERIFY2(
        distance(focused, unfocused) >= 60, qPrintable(focused.name() + QLatin1Char(' ') + unfocused.name()));
    // Paler: nearer to the table's base colour, still a visible selection.
    QVERIFY2(distance(unfocused, base) < distance(focused, base),
        qPrintable(unfocused.name() + QLatin1Char(' ') + focused.name() + QLatin1Char(' ') + base.name()));
    QVERIFY2(distance(unfocused, base) >= 30, qPrintable(unfocused.name() + QLatin1Char(' ') + base.name()));
}

void TestTableLook::focusPalettes()
{
    // Selection colours that differ between active and inactive windows.
    QPalette application = QApplication::palette();
    application.setColor(QPalette::Active, QPalette::Highlight, Qt::red);
    application.setColor(QPalette::Inactive, QPalette::Highlight, Qt::blue);
    application.setColor(QPalette::Active, QPalette::HighlightedText, Qt::white);
    application.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::yellow);
    QApplication::setPalette(application);
    QTableView clicked;
    QTableView other;
    const QPalette standard = QApplication::palette(&clicked);
    QCOMPARE(standard.color(QPalette::Active, QPalette::Highlight), QColor(Qt::red));
    Client::FocusPalettes::showUnfocused(&other);
    QCOMPARE(other.palette().brush(QPalette::Active, QPalette::Highlight).color(),
        standard.color(QPalette::Inactive, QPalette::Highlight));
    QCOMPARE(other.palette().brush(QPalette::Active, QPalette::HighlightedText).color(),
        standard.color(QPalette::Inactive, QPalette::HighlightedText));
    QCOMPARE(other.palette().brush(QPalette::Active, QPalette::Highlight).style(), Qt::SolidPattern);
    QCOMPARE(other.palette().color(QPalette::Active, QPalette::Base),
        standard.color(QPalette::Active, QPalette::Base));

    Client::FocusPalettes::showFocused(&other);
    QCOMPARE(other.palette().color(QPalette::Active, QPalette::Highlight), QColor(Qt::red));
    QCOMPARE(other.palette().color(QPalette::Active, QPalette::HighlightedText), QColor(Qt::white));
}

VORNEX_TEST_MAIN(TestTableLook)
#include "tst_tablelook.moc"
