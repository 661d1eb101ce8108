#include "JSRegExp.h"
#include "TestEnv.h"

#include <QRegularExpressionValidator>
#include <QtTest/QTest>

class TestJSRegExp : public QObject
{
    Q_OBJECT

private slots:
    void exactMatch_data();
    void exactMatch();
    void invalidFormatIsReported_data();
    void invalidFormatIsReported();
    void drivesAValidator();
};

void TestJSRegExp::exactMatch_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matches");

    QTest::newRow("bare, whole") << QStringLiteral("[A-Z]{3}\\d+") << QStringLiteral("ABC123") << true;
    QTest::newRow("bare, part only") << QStringLiteral("[A-Z]{3}\\d+") << QStringLiteral("xABC123") << false;
    QTest::newRow("alternation anchored as a whole")
        << QStringLiteral("a|bc") << QStringLiteral("abc") << false;
    QTest::newRow("alternation second") << QStringLiteral("a|bc") << QStringLiteral("bc") << true;
    QTest::newRow("literal") << QStringLiteral("/^[a-z]+$/") << QStringLiteral("abc") << true;
    QTest::newRow("literal, case") << QStringLiteral("/^[a-z]+$/") << QStringLiteral("ABC") << false;
    QTest::newRow("flag i") << QStringLiteral("/^[a-z]+$/i") << QStringLiteral("ABC") << true;
    QTest::newRow("flag g ignored") << QStringLiteral("/\\d{4}/g") << QStringLiteral("2024") << true;
    QTest::newRow("flag s") << QStringLiteral("/a.b/s") << QStringLiteral("a\nb") << true;
    QTest::newRow("no flag s") << QStringLiteral("/a.b/") << QStringLiteral("a\nb") << false;
    QTest::newRow("slash inside") << QStringLiteral("/\\d+\\/\\d+/") << QStringLiteral("12/34") << true;
    QTest::newRow("path-like bare pattern")
        << QStringLiteral("/usr/.*") << QStringLiteral("/usr/bin") << true;
    QTest::newRow("unicode escape") << QStringLiteral("\\u00e4+") << QStringLiteral("ää") << true;
    QTest::newRow("unicode code point") << QStringLiteral("/\\u{1F600}/u") << QStringLiteral("😀") << true;
    QTest::newRow("any incl. newline") << QStringLiteral("[^]*") << QStringLiteral("a\nb") << true;
    QTest::newRow("empty class never matches") << QStringLiteral("x[]") << QStringLiteral("x") << false;
    QTest::newRow("e-mail") << QStringLiteral("^[\\w.+-]+@[\\w-]+\\.[\\w.]+$")
                            << QStringLiteral("a.b@c-d.org") << true;
    QTest::newRow("non-ASCII text") << QStringLiteral("\\S+") << QStringLiteral("Grüße") << true;
    QTest::newRow("end only at end") << QStringLiteral("abc$") << QStringLiteral("abc\n") << false;
}

void TestJSRegExp::exactMatch()
{
    QFETCH(QString, format);
    QFETCH(QString, text);
    QFETCH(bool, matches);
    const JSRegExp expression(format);
    QVERIFY2(expression.isValid(), qPrintable(expression.errorString()));
    QVERIFY(expression.errorString().isEmpty());
    QCOMPARE(expression.exactMatch(text), matches);
    QCOMPARE(expression.format(), format);
}

void TestJSRegExp::invalidFormatIsReported_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("open group") << QStringLiteral("(abc");
    QTest::newRow("open class") << QStringLiteral("[a-");
    QTest::newRow("bad quantifier") << QStringLiteral("*a");
    QTest::newRow("literal with bad body") << QStringLiteral("/a{2,1}/");
}

void TestJSRegExp::invalidFormatIsReported()
{
    QFETCH(QString, format);
    const JSRegExp expression(format);
    QVERIFY(!expression.isValid());
    QVERIFY(expression.errorString().contains(format));
    // Nothing matches an invalid expression; the caller decides what that means.
    QVERIFY(!expression.exactMatch(QStringLiteral("abc")));
}

void TestJSRegExp::drivesAValidator()
{
    const JSRegExp expression(QStringLiteral("/^\\d{2}-[a-z]+$/i"));
    QRegularExpressionValidator validator(expression.regularExpression());
    QString text = QStringLiteral("12-AbC");
    int pos = 0;
    QCOMPARE(validator.validate(text, pos), QValidator::Acceptable);
    text = QStringLiteral("12-");
    QCOMPARE(validator.validate(text, pos), QValidator::Intermediate);
    text = QStringLiteral("x");
    QCOMPARE(validator.validate(text, pos), QValidator::Invalid);
}

VORNEX_TEST_GUILESS_MAIN(TestJSRegExp)
#include "tst_jsregexp.moc"
