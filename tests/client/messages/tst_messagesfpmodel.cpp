#include "LogRoles.h"
#include "MessageModel.h"
#include "MessageSFPModel.h"
#include "MessageTestData.h"
#include "TestEnv.h"

#include <QAbstractItemModelTester>
#include <QProgressBar>
#include <QSignalSpy>
#include <QtTest>

using Client::MessageModel;
using Client::MessageSFPModel;
using namespace MessageTestData;

namespace {

// The table model with its filter model, as the Messages view joins them.
struct Models
{
    Models()
        : model(ServerProxyPtr())
        , tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest)
        , filterTester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest)
    {
        filter.setDynamicSortFilter(true);
        filter.setSourceModel(&model);
        QObject::connect(&model, &MessageModel::filterStringsChanged, &filter, &MessageSFPModel::resetModel);
        filter.sort(0, Qt::DescendingOrder);
    }

    // Sets the filter text of a column as the filter row does and filters
    // at once.
    void setFilter(int column, const QString &text)
    {
        model.setHeaderData(column, Qt::Horizontal, text, Velloc::FilterTextResetRole);
        filter.resetModel();
    }

    // The message texts of the rows shown, top down.
    QStringList shown() const
    {
        QStringList texts;
        for (int row = 0; row < filter.rowCount(); ++row)
            texts << filter.index(row, MessageModel::MessageColumn).data().toString();
        return texts;
    }

    MessageModel model;
    MessageSFPModel filter;
    QAbstractItemModelTester tester;
    QAbstractItemModelTester filterTester;
};

} // namespace

class TestMessageSFPModel : public QObject
{
    Q_OBJECT

private slots:
    void defaultFilterKeepsTenHours();
    void zeroHoursKeepsOnlyLaterSeconds();
    void hoursAreCapped();
    void timeFragments();
    void textAloneMatchesTheShownTime();
    void prefixColumns();
    void substringColumns();
    void columnsCombine();
    void newRowsAreFilteredOnArrival();
    void typedFilterRefiltersAfterTheDelay();
    void sortingByRecordId();
    void sortingTextColumns();
    void sortKeysKeepTheTextOrder_data();
    void sortKeysKeepTheTextOrder();
    void progressBarFollowsThePass();
};

void TestMessageSFPModel::defaultFilterKeepsTenHours()
{
    Models m;
    m.model.appendMessages({ message(1, 1, secondsAgo(3600), QStringLiteral("1h")),
        message(2, 1, secondsAgo(11 * 3600), QStringLiteral("11h")),
        message(3, 1, secondsAgo(100 * 3600), QStringLiteral("100h")),
        message(4, 1, QDateTime(), QStringLiteral("no stamp")),
        message(5, 1, secondsAgo(10 * 3600 - 60), QStringLiteral("almost 10h")) });
    QCOMPARE(m.shown(),
        QStringList({ QStringLiteral("almost 10h"), QStringLiteral("no stamp"), QStringLiteral("1h") }));
    m.setFilter(0, QStringLiteral("12"));
    QCOMPARE(m.filter.rowCount(), 4);
    m.setFilter(0, QString());
    QCOMPARE(m.filter.rowCount(), 5);
    // The largest number counts.
    m.setFilter(0, QStringLiteral(" 1   120  "));
    QCOMPARE(m.filter.rowCount(), 5);
}

void TestMessageSFPModel::zeroHoursKeepsOnlyLaterSeconds()
{
    Models m;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m.model.appendMessages({ message(1, 1, now.addSecs(-2), QStringLiteral("past")),
        message(2, 1, now.addSecs(5), QStringLiteral("future")),
        message(3, 1, QDateTime(), QStringLiteral("no stamp")) });
    m.setFilter(0, QStringLiteral("0"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("no stamp"), QStringLiteral("future") }));

    // Stamps of the threshold's own second are not after it. The pass must
    // run within the second the stamp was taken in: tried again when the
    // clock moved on meanwhile.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const qint64 secs = QDateTime::currentSecsSinceEpoch();
        const QDateTime second = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC).addMSecs(999);
        Models same;
        same.model.appendMessages({ message(1, 1, second, QStringLiteral("this second")),
            message(2, 1, second.addSecs(3), QStringLiteral("later")) });
        same.setFilter(0, QStringLiteral("0"));
        const QStringList shown = same.shown();
        if (QDateTime::currentSecsSinceEpoch() != secs)
            continue;
        QCOMPARE(shown, QStringList({ QStringLiteral("later") }));
        return;
    }
    QFAIL("the clock moved on during every attempt");
}

void TestMessageSFPModel::hoursAreCapped()
{
    Models m;
    m.model.appendMessages({ message(1, 1, secondsAgo(9999LL * 3600), QStringLiteral("inside")),
        message(2, 1, secondsAgo(10001LL * 3600), QStringLiteral("outside")) });
    m.setFilter(0, QStringLiteral("20000"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("inside") }));
    m.setFilter(0, QStringLiteral("10001"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("inside") }));
    // Digits beyond an int are a text word, which no shown time contains.
    m.setFilter(0, QStringLiteral("123456789012"));
    QCOMPARE(m.filter.rowCount(), 0);
}

void TestMessageSFPModel::timeFragments()
{
    Models m;
    const QDateTime old(QDate(2001, 3, 2), QTime(3, 17, 42), Qt::UTC);
    const QDateTime older(QDate(1999, 8, 9), QTime(21, 5, 13), Qt::UTC);
    m.model.appendMessages(
        { message(1, 1, old, QStringLiteral("old")), message(2, 1, older, QStringLiteral("older")),
            message(3, 1, secondsAgo(600), QStringLiteral("recent")) });
    // A piece of the old row's shown time that the others do not show.
    QString fragment;
    const QStringList pieces = MessageModel::timeText(old).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        bool digitsOnly = true;
        for (const QChar ch : piece)
            digitsOnly = digitsOnly && ch.isDigit();
        if (!digitsOnly && !MessageModel::timeText(older).contains(piece, Qt::CaseInsensitive)
            && !m.model.index(2, 0).data().toString().contains(piece, Qt::CaseInsensitive)) {
            fragment = piece;
            break;
        }
    }
    QVERIFY2(!fragment.isEmpty(), qPrintable(MessageModel::timeText(old)));

    m.setFilter(0, QStringLiteral("24 ") + fragment);
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("recent"), QStringLiteral("old") }));
    m.setFilter(0, fragment.toUpper() + QStringLiteral(" 24"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("recent"), QStringLiteral("old") }));
}

void TestMessageSFPModel::textAloneMatchesTheShownTime()
{
    Models m;
    const QDateTime recent = secondsAgo(60);
    m.model.appendMessages({ message(1, 1, recent, QStringLiteral("recent")),
        message(2, 1, QDateTime(), QStringLiteral("no stamp")) });
    m.setFilter(0, QStringLiteral("nothing-like-a-time"));
    QCOMPARE(m.filter.rowCount(), 0);
    const QString piece = MessageModel::timeText(recent).split(QLatin1Char(' ')).last();
    m.setFilter(0, piece);
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("recent") }));
}

void TestMessageSFPModel::prefixColumns()
{
    Models m;
    m.setFilter(0, QString());
    m.model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("a"), QStringLiteral("info"),
                                 QStringLiteral("Server A"), QStringLiteral("Mover")),
        message(2, 1, secondsAgo(5), QStringLiteral("b"), QStringLiteral("info"), QStringLiteral("server b"),
            QStringLiteral("Sorter")),
        message(3, 1, secondsAgo(5), QStringLiteral("c"), QStringLiteral("info"), QStringLiteral("MyServer"),
            QStringLiteral("Remover")) });
    m.setFilter(1, QStringLiteral("SER"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("b"), QStringLiteral("a") }));
    m.setFilter(1, QStringLiteral("ser my"));
    QCOMPARE(m.filter.rowCount(), 3);
    m.setFilter(1, QString());
    m.setFilter(2, QStringLiteral("mov"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("a") }));
}

void TestMessageSFPModel::substringColumns()
{
    Models m;
    m.setFilter(0, QString());
    m.model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("Job arrived"),
                                 QStringLiteral("info"), QStringLiteral("S"), QStringLiteral("M"),
                                 QStringLiteral("Print flow"), QStringLiteral("Flyer.pdf")),
        message(2, 1, secondsAgo(5), QStringLiteral("Disk space low"), QStringLiteral("info"),
            QStringLiteral("S"), QStringLiteral("M"), QStringLiteral("Archive"),
            QStringLiteral("Poster.pdf")),
        message(3, 1, secondsAgo(5), QStringLiteral("Job finished"), QStringLiteral("info"),
            QStringLiteral("S"), QStringLiteral("M"), QStringLiteral("Reprint"),
            QStringLiteral("Catalog")) });
    // Either word of two.
    m.setFilter(5, QStringLiteral("ARRIVED  space"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("Disk space low"), QStringLiteral("Job arrived") }));
    m.setFilter(5, QString());
    m.setFilter(3, QStringLiteral("print"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("Job finished"), QStringLiteral("Job arrived") }));
    m.setFilter(3, QString());
    m.setFilter(4, QStringLiteral(".PDF"));
    QCOMPARE(m.filter.rowCount(), 2);
}

void TestMessageSFPModel::columnsCombine()
{
    Models m;
    m.model.appendMessages({ message(1, 1, secondsAgo(60), QStringLiteral("Job arrived")),
        message(2, 1, secondsAgo(60), QStringLiteral("Job failed"), QStringLiteral("error"),
            QStringLiteral("Other")),
        message(3, 1, secondsAgo(20 * 3600), QStringLiteral("Job arrived late")) });
    m.setFilter(5, QStringLiteral("job"));
    m.setFilter(1, QStringLiteral("server"));
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("Job arrived") }));
}

void TestMessageSFPModel::newRowsAreFilteredOnArrival()
{
    Models m;
    m.setFilter(5, QStringLiteral("keep"));
    m.model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("keep me")),
        message(2, 1, secondsAgo(5), QStringLiteral("drop me")) });
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("keep me") }));
    // A restored filter text applies to rows that come later.
    m.model.setHeaderData(5, Qt::Horizontal, QStringLiteral("drop"), Velloc::FilterTextResetRole);
    m.model.appendMessages({ message(3, 1, secondsAgo(5), QStringLiteral("drop this too")),
        message(4, 1, secondsAgo(5), QStringLiteral("keep this")) });
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("drop this too"), QStringLiteral("keep me") }));
}

void TestMessageSFPModel::typedFilterRefiltersAfterTheDelay()
{
    Models m;
    m.model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("alpha")),
        message(2, 1, secondsAgo(5), QStringLiteral("beta")) });
    QSignalSpy layout(&m.filter, &QAbstractItemModel::layoutChanged);
    m.model.setHeaderData(5, Qt::Horizontal, QStringLiteral("alp"), Velloc::FilterTextRole);
    QCOMPARE(m.filter.rowCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(m.shown(), QStringList({ QStringLiteral("alpha") }), 3000);
    QCOMPARE(layout.count(), 1);
}

void TestMessageSFPModel::sortingByRecordId()
{
    Models m;
    // Record ids run against the time stamps.
    m.model.appendMessages({ message(30, 1, secondsAgo(300), QStringLiteral("id 30, oldest")),
        message(10, 1, secondsAgo(100), QStringLiteral("id 10, newest")),
        message(20, 1, secondsAgo(200), QStringLiteral("id 20")) });
    QCOMPARE(m.shown(),
        QStringList(
            { QStringLiteral("id 30, oldest"), QStringLiteral("id 20"), QStringLiteral("id 10, newest") }));
    m.filter.sort(0, Qt::AscendingOrder);
    QCOMPARE(m.shown(),
        QStringList(
            { QStringLiteral("id 10, newest"), QStringLiteral("id 20"), QStringLiteral("id 30, oldest") }));
    // Arrivals go to their place.
    m.model.appendMessages({ message(15, 1, secondsAgo(50), QStringLiteral("id 15")) });
    QCOMPARE(m.shown().at(1), QStringLiteral("id 15"));
}

void TestMessageSFPModel::sortingTextColumns()
{
    Models m;
    m.model.appendMessages({ message(1, 1, secondsAgo(5), QStringLiteral("b")),
        message(2, 1, secondsAgo(5), QStringLiteral("C")),
        message(3, 1, secondsAgo(5), QStringLiteral("a")) });
    m.filter.sort(MessageModel::MessageColumn, Qt::AscendingOrder);
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("C"), QStringLiteral("a"), QStringLiteral("b") }));
    m.filter.setSortCaseSensitivity(Qt::CaseInsensitive);
    QCOMPARE(m.shown(), QStringList({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("C") }));
}

void TestMessageSFPModel::sortKeysKeepTheTextOrder_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("caseSensitive");
    QTest::newRow("server") << int(MessageModel::ServerColumn) << true;
    QTest::newRow("module") << int(MessageModel::ModuleColumn) << true;
    QTest::newRow("message") << int(MessageModel::MessageColumn) << true;
    QTest::newRow("message, case ignored") << int(MessageModel::MessageColumn) << false;
}

void TestMessageSFPModel::sortKeysKeepTheTextOrder()
{
    QFETCH(int, column);
    QFETCH(bool, caseSensitive);
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    static const QStringList words
        = { QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("alpha"), QStringLiteral("gamma"),
              QStringLiteral(""), QStringLiteral("Beta 2"), QStringLiteral("\u00e9t\u00e9") };
    const auto batch = [&](int first, int count) {
        QList<LogMessage> rows;
        for (int id = first; id < first + count; ++id) {
            const QString text = words.at((id * 7) % words.size()) + QString::number(id % 3);
            rows << message(id, 1 + id % 3, secondsAgo(5), text, QStringLiteral("info"), text,
                words.at(id % words.size()));
        }
        return rows;
    };
    // The texts shown, top down, against the same texts sorted directly.
    const auto check = [&](Models &m) {
        QStringList shown;
        for (int row = 0; row < m.filter.rowCount(); ++row)
            shown << m.filter.index(row, column).data().toString();
        QStringList expected;
        for (int row = 0; row < m.model.rowCount(); ++row)
            expected << m.model.index(row, column).data().toString();
        std::stable_sort(expected.begin(), expected.end(),
            [cs](const QString &a, const QString &b) { return a.compare(b, cs) < 0; });
        if (cs == Qt::CaseInsensitive) {
            // Texts equal but for case may stand in either order.
            for (QString &text : shown)
                text = text.toLower();
            for (QString &text : expected)
                text = text.toLower();
        }
        QCOMPARE(shown, expected);
    };
    Models m;
    m.setFilter(MessageModel::TimeColumn, QString());
    m.filter.setSortCaseSensitivity(cs);
    m.model.appendMessages(batch(1, 120));
    m.filter.sort(column, Qt::AscendingOrder);
    check(m);
    // Rows that came in after the keys were made, then rows gone.
    m.model.appendMessages(batch(121, 7));
    check(m);
    m.model.removeConnectionMessages(2);
    check(m);
    m.filter.sort(column, Qt::AscendingOrder);
    check(m);
}

void TestMessageSFPModel::progressBarFollowsThePass()
{
    Models m;
    QProgressBar bar;
    bar.setRange(0, 100);
    m.filter.setProgressBar(&bar);
    QList<LogMessage> messages;
    for (int i = 0; i < 50; ++i)
        messages << message(i + 1, 1, secondsAgo(5), QString::number(i));
    m.model.appendMessages(messages);
    bar.setValue(0);
    QList<int> values;
    connect(&bar, &QProgressBar::valueChanged, this, [&](int value) { values << value; });
    m.setFilter(5, QStringLiteral("1"));
    QVERIFY(!values.isEmpty());
    QCOMPARE(values.last(), 100);
    QVERIFY(std::is_sorted(values.cbegin(), values.cend()));
    QCOMPARE(m.filter.rowCount(), 14); // 1, 10-19, 21, 31, 41
}

VORNEX_TEST_MAIN(TestMessageSFPModel)
#include "tst_messagesfpmodel.moc"
