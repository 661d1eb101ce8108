#include "LocalizeManager.h"
#include "LogRecord.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QThread>
#include <QTranslator>
#include <QtTest/QTest>

#include <atomic>

using Tamsor::LocalizeManager;

namespace {

LogRecord parse(const QString &xml)
{
    QDomDocument document;
    LogRecord record;
    if (document.setContent(xml))
        record.restoreFromDomElement(document.documentElement());
    return record;
}

} // namespace

class TestLogRecord : public QObject
{
    Q_OBJECT

private slots:
    void restore_data();
    void restore();
    void substitutionIsOnePass_data();
    void substitutionIsOnePass();
    void saveAndRestore();
    void untranslatedTextsStand();
    void languagePackTranslates();
    void usableFromManyThreads();
};

void TestLogRecord::restore_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("text and args") << QStringLiteral(
        "<LogRecord><Text>Job %1 moved to %2</Text><Arg>a.pdf</Arg>"
        "<Arg>Out</Arg></LogRecord>")
                                   << QStringLiteral("Job %1 moved to %2")
                                   << QStringList { QStringLiteral("a.pdf"), QStringLiteral("Out") };
    QTest::newRow("other root, no args") << QStringLiteral("<entry><Text>Started</Text></entry>")
                                         << QStringLiteral("Started") << QStringList();
    QTest::newRow("plain element") << QStringLiteral("<m>Plain text</m>") << QStringLiteral("Plain text")
                                   << QStringList();
    QTest::newRow("empty arg kept") << QStringLiteral("<r><Text>%1|%2</Text><Arg/><Arg>x</Arg></r>")
                                    << QStringLiteral("%1|%2")
                                    << QStringList { QString(), QStringLiteral("x") };
    QTest::newRow("escaped") << QStringLiteral(
        "<r><Text>a &lt;b&gt; &amp; %1</Text><Arg>&quot;q&quot;</Arg></r>")
                             << QStringLiteral("a <b> & %1") << QStringList { QStringLiteral("\"q\"") };
}

void TestLogRecord::restore()
{
    QFETCH(QString, xml);
    QFETCH(QString, text);
    QFETCH(QStringList, arguments);
    const LogRecord record = parse(xml);
    QCOMPARE(record.text(), text);
    QCOMPARE(record.arguments(), arguments);
    QVERIFY(!LogRecord().restoreFromDomElement(QDomElement()));
}

void TestLogRecord::substitutionIsOnePass_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("in order") << QStringLiteral("%1 to %2")
                              << QStringList { QStringLiteral("a"), QStringLiteral("b") }
                              << QStringLiteral("a to b");
    QTest::newRow("reordered") << QStringLiteral("%2 <- %1")
                               << QStringList { QStringLiteral("a"), QStringLiteral("b") }
                               << QStringLiteral("b <- a");
    QTest::newRow("argument holding a placeholder")
        << QStringLiteral("File %1 in %2")
        << QStringList { QStringLiteral("50%2.pdf"), QStringLiteral("Inbox") }
        << QStringLiteral("File 50%2.pdf in Inbox");
    QTest::newRow("missing argument stays")
        << QStringLiteral("%1 and %3") << QStringList { QStringLiteral("a") } << QStringLiteral("a and %3");
    QTest::newRow("two digits") << QStringLiteral("%10!") << QStringList(10, QStringLiteral("x"))
                                << QStringLiteral("x!");
    QTest::newRow("percent sign") << QStringLiteral("100% done, %") << QStringList { QStringLiteral("a") }
                                  << QStringLiteral("100% done, %");
    QTest::newRow("empty") << QString() << QStringList() << QString();
}

void TestLogRecord::substitutionIsOnePass()
{
    QFETCH(QString, text);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const QString message
        = LocalizeManager::instance()->getMessage(LogRecord(text, arguments), QStringLiteral("Logging"));
    QCOMPARE(message, expected);
    QVERIFY(!message.isNull());
}

void TestLogRecord::saveAndRestore()
{
    const LogRecord original(QStringLiteral("Über %1 <%2>"), { QStringLiteral("ä&b"), QStringLiteral("") });
    QDomDocument document;
    document.appendChild(original.saveToDomElement(document));
    const LogRecord back = parse(document.toString());
    QCOMPARE(back.text(), original.text());
    QCOMPARE(back.arguments(), original.arguments());
}

void TestLogRecord::untranslatedTextsStand()
{
    LocalizeManager *manager = LocalizeManager::instance();
    QCOMPARE(manager, LocalizeManager::instance());
    QCOMPARE(manager->translateType(QStringLiteral("warning"), QStringLiteral("Logging")),
        QStringLiteral("warning"));
    QCOMPARE(manager->translateModule(QStringLiteral("Älter Modul"), QStringLiteral("Logging")),
        QStringLiteral("Älter Modul"));
    QCOMPARE(manager->translateType(QString(), QStringLiteral("Logging")), QString());
}

void TestLogRecord::languagePackTranslates()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/i18n/logging_de.qm")));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    LocalizeManager *manager = LocalizeManager::instance();
    const LogRecord record = parse(QStringLiteral("<LogRecord><Text>Job %1 moved to %2</Text><Arg>a.pdf</Arg>"
                                                  "<Arg>Out</Arg></LogRecord>"));
    QCOMPARE(manager->getMessage(record, QStringLiteral("Logging")),
        QStringLiteral("Out: Auftrag a.pdf abgelegt"));
    QCOMPARE(manager->getMessage(
                 LogRecord(QStringLiteral("Über %1"), { QStringLiteral("x") }), QStringLiteral("Logging")),
        QStringLiteral("Betreff x"));
    QCOMPARE(
        manager->translateType(QStringLiteral("error"), QStringLiteral("Logging")), QStringLiteral("Fehler"));
    QCOMPARE(
        manager->translateType(QStringLiteral("error"), QStringLiteral("Other")), QStringLiteral("Falsch"));
    QCOMPARE(manager->translateModule(QStringLiteral("Mail receive"), QStringLiteral("Logging")),
        QStringLiteral("Posteingang"));
    QCOMPARE(manager->translateModule(QStringLiteral("Unknown"), QStringLiteral("Logging")),
        QStringLiteral("Unknown"));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(
        manager->translateType(QStringLiteral("error"), QStringLiteral("Logging")), QStringLiteral("error"));
}

void TestLogRecord::usableFromManyThreads()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/i18n/logging_de.qm")));
    QCoreApplication::installTranslator(&translator);
    std::atomic<int> wrong { 0 };
    QList<QThread *> threads;
    for (int t = 0; t < 4; ++t) {
        threads.append(QThread::create([&wrong]() {
            const LogRecord record(
                QStringLiteral("Job %1 moved to %2"), { QStringLiteral("a"), QStringLiteral("b") });
            for (int i = 0; i < 2000; ++i) {
                if (LocalizeManager::instance()->getMessage(record, QStringLiteral("Logging"))
                    != QStringLiteral("b: Auftrag a abgelegt"))
                    ++wrong;
            }
        }));
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(wrong.load(), 0);
}

VORNEX_TEST_GUILESS_MAIN(TestLogRecord)
#include "tst_logrecord.moc"
