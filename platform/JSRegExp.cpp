#include "JSRegExp.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

bool isFlag(QChar c)
{
    return QStringView(u"gimsuyd").contains(c);
}

// The few JavaScript forms that the Perl-compatible engine reads
// differently or not at all.
QString toPerlSyntax(const QString &js)
{
    QString out;
    out.reserve(js.size() + 8);
    bool inClass = false;
    for (int i = 0; i < js.size(); ++i) {
        const QChar c = js.at(i);
        if (c == QLatin1Char('\\') && i + 1 < js.size()) {
            const QChar n = js.at(i + 1);
            // \uXXXX and \u{X...}
            if (n == QLatin1Char('u')) {
                if (i + 2 < js.size() && js.at(i + 2) == QLatin1Char('{')) {
                    const int close = js.indexOf(QLatin1Char('}'), i + 3);
                    if (close > i + 3) {
                        out += QStringLiteral("\\x{") + js.mid(i + 3, close - i - 3) + QLatin1Char('}');
                        i = close;
                        continue;
                    }
                } else if (i + 5 < js.size()) {
                    const QString hex = js.mid(i + 2, 4);
                    bool ok = false;
                    hex.toUInt(&ok, 16);
                    if (ok) {
                        out += QStringLiteral("\\x{") + hex + QLatin1Char('}');
                        i += 5;
                        continue;
                    }
                }
            }
            out += c;
            out += n;
            ++i;
            continue;
        }
        if (!inClass && c == QLatin1Char('[')) {
            // [] never matches and [^] matches anything in JavaScript.
            if (js.mid(i, 2) == QLatin1String("[]")) {
                out += QStringLiteral("(?!)");
                ++i;
                continue;
            }
            if (js.mid(i, 3) == QLatin1String("[^]")) {
                out += QStringLiteral("[\\s\\S]");
                i += 2;
                continue;
            }
            inClass = true;
            out += c;
            // A ']' right after '[' or '[^' is literal for Perl but closes the
            // class in JavaScript; the two cases above take the JavaScript side.
            continue;
        }
        if (inClass && c == QLatin1Char(']'))
            inClass = false;
        out += c;
    }
    return out;
}

} // namespace

JSRegExp::JSRegExp(const QString &format)
    : m_format(format)
{
    QString pattern = format;
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    const int last = format.lastIndexOf(QLatin1Char('/'));
    if (format.startsWith(QLatin1Char('/')) && last > 0) {
        const QString flags = format.mid(last + 1);
        if (std::all_of(flags.begin(), flags.end(), isFlag)) {
            pattern = format.mid(1, last - 1);
            if (flags.contains(QLatin1Char('i')))
                options |= QRegularExpression::CaseInsensitiveOption;
            if (flags.contains(QLatin1Char('m')))
                options |= QRegularExpression::MultilineOption;
            if (flags.contains(QLatin1Char('s')))
                options |= QRegularExpression::DotMatchesEverythingOption;
        }
    }
    m_expression = QRegularExpression(toPerlSyntax(pattern), options);
    if (!m_expression.isValid()) {
        m_error = QCoreApplication::translate("JSRegExp", "Invalid format \"%1\": %2 at offset %3")
                      .arg(format, m_expression.errorString())
                      .arg(m_expression.patternErrorOffset());
        return;
    }
    m_anchored = QRegularExpression(QRegularExpression::anchoredPattern(m_expression.pattern()), options);
}

bool JSRegExp::isValid() const
{
    return m_expression.isValid() && m_error.isEmpty();
}

QString JSRegExp::errorString() const
{
    return m_error;
}

bool JSRegExp::exactMatch(const QString &text) const
{
    return isValid() && m_anchored.match(text).hasMatch();
}
