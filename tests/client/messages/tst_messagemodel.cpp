#include "LogRoles.h"
#include "MessageModel.h"
#include "MessageTestData.h"
#include "ServerProxy.h"
#include "TestEnv.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtTest>

using Client::MessageModel;
using namespace MessageTestData;

class TestMessageModel : public QObject
{
    Q_OBJECT

private slots:
    void columnsAndHeaders();
    void cellData();
    void typeColours_data();
    void typeColours();
    void filterTextsAndHistories();
    void typedFilterIsAnnouncedAfterTheLastKeystroke();
    void restoredFilterIsNotAnnounced();
    void appendKeepsArrivalOrderAndBound();
    void removeConnectionMessages_data();
    void removeConnectionMessages();
    void loadingStatusOnFirstBatchOnly();
    void unknownBatchKeyAppendsNothing();
    void lineBreaking();
    void toolTipOnlyForCutText();
    void localizedModule();
    void shownTimeIsTheFormattedStamp();
};

void TestMessageModel::columnsAndHeaders()
{
    MessageModel model { ServerProxyPtr() };
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.rowCount(), 0);
    const QStringList titles
        = { QStringLiteral("Time stamp"), QStringLiteral("Server name"), QStringLiteral("Module"),
              QStringLiteral("Flow name"), QStringLiteral("Job name"), QStringLiteral("Message") };
    for (int i = 0; i < titles.size(); ++i)
        QCOMPARE(model.headerData(i, Qt::Horizontal).toString(), titles.at(i));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(),
        QStringLiteral("The moment in time when this message was issued"));
    QCOMPARE(
        model.headerData(5, Qt::Horizontal, Qt::ToolTipRole).toString(), QStringLiteral("The message text"));
    QVERIFY(!model.headerData(6, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(-1, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());
}

void TestMessageModel::cellData()
{
    MessageModel model { ServerProxyPtr() };
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QDateTime stamp(QDate(2024, 5, 1), QTime(10, 20, 30, 400), Qt::UTC);
    model.appendMessages({ message(7, 1, stamp, QStringLiteral("Job arrived"), QStringLiteral("info"),
        QStringLiteral("Server A"), QStringLiteral("Mover"), QStringLiteral("Print flow"),
        QStringLiteral("Flyer.pdf")) });
    QCOMPARE(model.rowCount(), 1);
    const QStringList shown
        = { MessageModel::timeText(stamp), QStringLiteral("Server A"), QStringLiteral("Mover"),
              QStringLiteral("Print flow"), QStringLiteral("Flyer.pdf"), QStringLiteral("Job arrived") };
    for (int column = 0; column < 6; ++column)
        QCOMPARE(model.index(0, column).data().toString(), shown.at(column));
    // The time column shows the local time of the stamp, to the second.
    QVERIFY(MessageModel::timeText(stamp).contains(stamp.toLocalTime().toString(QStringLiteral("mm"))));
    QVERIFY(MessageModel::timeText(stamp).contains(stamp.toLocalTime().toString(QStringLiteral("ss"))));
    QVERIFY(MessageModel::timeText(QDateTime()).isEmpty());

    QCOMPARE(model.index(0, 0).data(Velloc::RecordIdRole), QVariant(7));
    QCOMPARE(model.index(0, 0).data(Velloc::TimeStampRole).toDateTime(), stamp);
    QVERIFY(!model.index(0, 1).data(Velloc::RecordIdRole).isValid());
    QVERIFY(!model.index(0, 1).data(Velloc::TimeStampRole).isValid());
    QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).isValid());

    QVERIFY(model.flags(model.index(0, 3)) & Qt::ItemIsEditable);
    QVERIFY(model.flags(model.index(0, 3)) & Qt::ItemIsSelectable);
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
}

void TestMessageModel::typeColours_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("error") << QStringLiteral("error") << QColor(220, 0, 0);
    QTest::newRow("warning") << QStringLiteral("warning") << QColor(220, 150, 0);
    QTest::newRow("info") << QStringLiteral("info") << QColor(0, 0, 0);
    QTest::newRow("debug") << QStringLiteral("debug") << QColor(0, 0, 255);
    QTest::newRow("assert") << QStringLiteral("assert") << QColor(255, 0, 255);
    QTest::newRow("other case") << QStringLiteral("Error") << QColor();
    QTest::newRow("unknown") << QStringLiteral("notice") << QColor();
    QTest::newRow("empty") << QString() << QColor();
}

void TestMessageModel::typeColours()
{
    QFETCH(QString, type);
    QFETCH(QColor, colour);
    MessageModel model { ServerProxyPtr() };
    model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("x"), type) });
    for (int column = 0; column < 6; ++column) {
        const QVariant value = model.index(0, column).data(Qt::ForegroundRole);
        if (colour.isValid())
            QCOMPARE(value.value<QColor>(), colour);
        else
            QVERIFY(!value.isValid());
    }
}

void TestMessageModel::filterTextsAndHistories()
{
    MessageModel model { ServerProxyPtr() };
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Velloc::FilterTextRole).toString(), QStringLiteral("10"));
    for (int column = 1; column < 6; ++column)
        QVERIFY(model.headerData(column, Qt::Horizontal, Velloc::FilterTextRole).toString().isEmpty());
    QVERIFY(model.headerData(2, Qt::Horizontal, Velloc::FilterHistoryRole).toStringList().isEmpty());

    QSignalSpy changed(&model, &QAbstractItemModel::headerDataChanged);
    QVERIFY(model.setHeaderData(3, Qt::Horizontal, QStringLiteral("print"), Velloc::FilterTextResetRole));
    QCOMPARE(model.headerData(3, Qt::Horizontal, Velloc::FilterTextRole).toString(), QStringLiteral("print"));
    const QStringList history = { QStringLiteral("print"), QStringLiteral("archive") };
    QVERIFY(model.setHeaderData(3, Qt::Horizontal, history, Velloc::FilterHistoryRole));
    QCOMPARE(model.headerData(3, Qt::Horizontal, Velloc::FilterHistoryRole).toStringList(), history);
    QVERIFY(model.setHeaderData(3, Qt::Horizontal, QStringList(), Velloc::FilterHistoryResetRole));
    QVERIFY(model.headerData(3, Qt::Horizontal, Velloc::FilterHistoryRole).toStringList().isEmpty());
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.at(0).at(1).toInt(), 3);
    QCOMPARE(changed.at(0).at(2).toInt(), 3);

    // Columns the model does not have, the vertical header and other roles.
    for (int role : { int(Velloc::FilterTextRole), int(Velloc::FilterTextResetRole),
             int(Velloc::FilterHistoryRole), int(Velloc::FilterHistoryResetRole) }) {
        QVERIFY(!model.setHeaderData(6, Qt::Horizontal, QStringLiteral("x"), role));
        QVERIFY(!model.setHeaderData(-1, Qt::Horizontal, QStringLiteral("x"), role));
        QVERIFY(!model.setHeaderData(1, Qt::Vertical, QStringLiteral("x"), role));
    }
    QVERIFY(!model.setHeaderData(1, Qt::Horizontal, QStringLiteral("x"), Qt::DisplayRole));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Server name"));
    QCOMPARE(changed.count(), 3);
}

void TestMessageModel::typedFilterIsAnnouncedAfterTheLastKeystroke()
{
    MessageModel model { ServerProxyPtr() };
    QSignalSpy announced(&model, &MessageModel::filterStringsChanged);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(model.setHeaderData(5, Qt::Horizontal, QStringLiteral("d"), Velloc::FilterTextRole));
    QVERIFY(!announced.wait(300));
    QVERIFY(model.setHeaderData(5, Qt::Horizontal, QStringLiteral("di"), Velloc::FilterTextRole));
    const qint64 lastKeystroke = clock.elapsed();
    QVERIFY(announced.wait(2000));
    // Coarse timers may fire up to 5 % early.
    QVERIFY(clock.elapsed() - lastKeystroke >= MessageModel::FilterDelayMs * 95 / 100 - 1);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(model.filterText(5), QStringLiteral("di"));

    // filterChanged() announces at once.
    model.filterChanged();
    QCOMPARE(announced.count(), 2);
}

void TestMessageModel::restoredFilterIsNotAnnounced()
{
    MessageModel model { ServerProxyPtr() };
    QSignalSpy announced(&model, &MessageModel::filterStringsChanged);
    QVERIFY(model.setHeaderData(0, Qt::Horizontal, QStringLiteral("24"), Velloc::FilterTextResetRole));
    QVERIFY(model.setHeaderData(
        0, Qt::Horizontal, QStringList { QStringLiteral("24") }, Velloc::FilterHistoryResetRole));
    QVERIFY(model.setHeaderData(
        0, Qt::Horizontal, QStringList { QStringLiteral("48") }, Velloc::FilterHistoryRole));
    QVERIFY(!announced.wait(MessageModel::FilterDelayMs + 300));
}

void TestMessageModel::appendKeepsArrivalOrderAndBound()
{
    MessageModel model { ServerProxyPtr() };
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.sort(0, Qt::DescendingOrder);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(&sorted, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.appendMessages({ message(5, 1, secondsAgo(9), QStringLiteral("a")),
        message(3, 1, secondsAgo(8), QStringLiteral("b")) });
    model.appendMessages({});
    model.appendMessages({ message(9, 2, secondsAgo(7), QStringLiteral("c")) });
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 2);
    QCOMPARE(inserted.at(1).at(2).toInt(), 2);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.index(2, 5).data().toString(), QStringLiteral("c"));

    // Beyond the limit the oldest rows go first.
    model.setMaximumRows(4);
    model.appendMessages({ message(10, 1, secondsAgo(6), QStringLiteral("d")),
        message(11, 1, secondsAgo(5), QStringLiteral("e")) });
    QCOMPARE(model.rowCount(), 4);
    QStringList texts;
    for (const LogMessage &m : model.messages())
        texts << m.message;
    QCOMPARE(texts,
        QStringList({ QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e") }));
    // And the model tells how many went.
    QCOMPARE(model.droppedRows(), 1);

    // A batch larger than the limit keeps its newest part.
    QList<LogMessage> big;
    for (int i = 0; i < 6; ++i)
        big << message(100 + i, 1, secondsAgo(4), QString::number(i));
    model.appendMessages(big);
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.messages().first().message, QStringLiteral("2"));
    QCOMPARE(model.messages().last().message, QStringLiteral("5"));

    // Lowering the limit drops at once.
    model.setMaximumRows(1);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.messages().first().message, QStringLiteral("5"));
    QCOMPARE(sorted.rowCount(), 1);
}

void TestMessageModel::removeConnectionMessages_data()
{
    QTest::addColumn<int>("batches");
    QTest::newRow("few runs") << 4;
    QTest::newRow("many runs") << 80;
}

void TestMessageModel::removeConnectionMessages()
{
    QFETCH(int, batches);
    MessageModel model { ServerProxyPtr() };
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.sort(0, Qt::AscendingOrder);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(&sorted, QAbstractItemModelTester::FailureReportingMode::QtTest);
    int id = 0;
    // Batches of the two connections take turns, as their updates do.
    for (int batch = 0; batch < batches; ++batch) {
        QList<LogMessage> messages;
        for (int i = 0; i < 3; ++i) {
            ++id;
            messages << message(id, batch % 2 + 1, secondsAgo(100), QString::number(id));
        }
        model.appendMessages(messages);
    }
    model.removeConnectionMessages(3);
    QCOMPARE(model.rowCount(), batches * 3);

    model.removeConnectionMessages(1);
    QCOMPARE(model.rowCount(), batches / 2 * 3);
    QCOMPARE(sorted.rowCount(), model.rowCount());
    int previous = 0;
    for (const LogMessage &m : model.messages()) {
        QCOMPARE(m.connectionId, 2);
        QVERIFY(m.recordId > previous);
        previous = m.recordId;
    }
    model.removeConnectionMessages(2);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(sorted.rowCount(), 0);
}

void TestMessageModel::loadingStatusOnFirstBatchOnly()
{
    MessageModel model { ServerProxyPtr() };
    QLabel label(QStringLiteral("No data loaded"));
    label.show();
    model.setStatusLabel(&label);
    QStringList whileInserting;
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&] { whileInserting << label.text(); });

    model.appendMessages({});
    QCOMPARE(label.text(), QStringLiteral("No data loaded"));
    model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("a")) });
    model.appendMessages({ message(2, 1, secondsAgo(4), QStringLiteral("b")) });
    QCOMPARE(whileInserting,
        QStringList({ QStringLiteral("Loading messages..."), QStringLiteral("No data loaded") }));
    QCOMPARE(label.text(), QStringLiteral("No data loaded"));

    // Without a label nothing is shown, and nothing fails.
    MessageModel bare { ServerProxyPtr() };
    bare.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("a")) });
    QCOMPARE(bare.rowCount(), 1);
}

void TestMessageModel::unknownBatchKeyAppendsNothing()
{
    ServerProxyPtr proxy(new ServerProxy);
    MessageModel model(proxy);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.loadMessages(QStringLiteral("2024-05-01T10:00:00.000Z1"));
    model.loadMessages(QString());
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(inserted.isEmpty());
    QVERIFY(model.reloadData());
}

void TestMessageModel::lineBreaking()
{
    QCOMPARE(MessageModel::breakLines(QStringLiteral("short text")), QStringLiteral("short text"));

    // The first white space after 100 characters becomes the line break.
    const QString hundred(100, QLatin1Char('a'));
    QCOMPARE(
        MessageModel::breakLines(hundred + QStringLiteral("bc def")), hundred + QStringLiteral("bc\ndef"));
    QCOMPARE(MessageModel::breakLines(hundred + QStringLiteral(" x")), hundred + QStringLiteral("\nx"));

    // Without white space the line is cut 20 characters later; the
    // character after the cut opens the next line.
    const QString word(100 + 20 + 1, QLatin1Char('b'));
    QCOMPARE(MessageModel::breakLines(word + QStringLiteral("c")),
        QString(120, QLatin1Char('b')) + QLatin1Char('\n') + QStringLiteral("bc"));

    // Each new line counts from 0 again, the character after a cut not
    // included.
    const QString text = QString(150, QLatin1Char('x')) + QLatin1Char(' ') + QString(150, QLatin1Char('y'));
    const QStringList lines = MessageModel::breakLines(text).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QString(120, QLatin1Char('x')));
    QCOMPARE(lines.at(1), QString(30, QLatin1Char('x')) + QLatin1Char(' ') + QString(90, QLatin1Char('y')));
    QCOMPARE(lines.at(2), QString(60, QLatin1Char('y')));
}

void TestMessageModel::toolTipOnlyForCutText()
{
    MessageModel model { ServerProxyPtr() };
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.sort(0, Qt::DescendingOrder);
    QTableView view;
    view.setModel(&sorted);
    view.resize(600, 300);
    view.horizontalHeader()->setStretchLastSection(false);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QString longText
        = QString(30, QLatin1Char('w')) + QLatin1Char(' ') + QString(200, QLatin1Char('z'));
    model.appendMessages(
        { message(1, 1, secondsAgo(5), QStringLiteral("ok")), message(2, 1, secondsAgo(4), longText) });
    model.setView(&view);

    // Without a view every cell has its tooltip; with one, only cut cells.
    view.setColumnWidth(5, 80);
    const QModelIndex shortCell = model.index(0, 5);
    const QModelIndex longCell = model.index(1, 5);
    const QFontMetrics metrics(QApplication::font());
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("ok")) <= 80 - 6);
    QVERIFY(model.data(shortCell, Qt::ToolTipRole).toString().isNull());
    const QString tip = model.data(longCell, Qt::ToolTipRole).toString();
    QCOMPARE(tip, MessageModel::breakLines(longText));
    QVERIFY(tip.contains(QLatin1Char('\n')));

    // The width is the one of the cell the view shows, found through the
    // sort model: a wide column needs no tooltip.
    view.setColumnWidth(5, metrics.horizontalAdvance(longText) + 40);
    QVERIFY(model.data(longCell, Qt::ToolTipRole).toString().isNull());

    model.setView(nullptr);
    QCOMPARE(model.data(shortCell, Qt::ToolTipRole).toString(), QStringLiteral("ok"));
}

void TestMessageModel::localizedModule()
{
    LoggingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    MessageModel model { ServerProxyPtr() };
    model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("a"), QStringLiteral("error"),
                               QStringLiteral("S"), QStringLiteral("Mover")),
        message(2, 1, secondsAgo(5), QStringLiteral("b"), QStringLiteral("info"), QStringLiteral("S"),
            QStringLiteral("Sorter")) });
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Verschieber"));
    QCOMPARE(model.index(1, 2).data().toString(), QStringLiteral("Sorter"));
    QCoreApplication::removeTranslator(&translator);
}

void TestMessageModel::shownTimeIsTheFormattedStamp()
{
    // In a zone with summer time, across both changes of 2024, before 1970
    // and with fractions of a second: the stored text is what formatting
    // the stamp itself gives.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    QList<QDateTime> stamps { QDateTime(), QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
        QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30, 400), Qt::UTC) };
    for (const QDateTime &change : { QDateTime(QDate(2024, 3, 31), QTime(1, 0), Qt::UTC),
             QDateTime(QDate(2024, 10, 27), QTime(1, 0), Qt::UTC) }) {
        for (qint64 secs = -2 * 3600; secs <= 2 * 3600; secs += 599)
            stamps << change.addSecs(secs) << change.addMSecs(secs * 1000 + 999);
    }
    QList<LogMessage> rows;
    for (const QDateTime &stamp : std::as_const(stamps))
        rows << message(int(rows.size()), 1, stamp, QStringLiteral("m"));
    MessageModel model { ServerProxyPtr() };
    model.appendMessages(rows);
    QStringList shown, formatted;
    for (int row = 0; row < model.rowCount(); ++row) {
        shown << model.index(row, MessageModel::TimeColumn).data().toString();
        formatted << MessageModel::timeText(stamps.at(row));
    }
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    QCOMPARE(shown, formatted);
    QVERIFY(shown.first().isEmpty());
}

VORNEX_TEST_MAIN(TestMessageModel)
#include "tst_messagemodel.moc"
