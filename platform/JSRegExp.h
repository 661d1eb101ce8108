#pragma once

#include <QRegularExpression>
#include <QString>

// A metadata data format: a JavaScript regular expression, either bare
// ("[A-Z]{3}\d+") or as a literal with flags ("/^[a-z]+$/i"). Flags i, m
// and s map to the matching pattern options; g and y mean nothing for a
// whole-value check and are ignored.
//
// An invalid pattern is reported through isValid() and errorString(); the
// caller decides what to do with it.
class JSRegExp
{
public:
    JSRegExp() = default;
    explicit JSRegExp(const QString &format);

    bool isValid() const;
    QString errorString() const;

    QString format() const { return m_format; }
    // The expression for a QRegularExpressionValidator; meaningful only
    // when isValid().
    QRegularExpression regularExpression() const { return m_expression; }
    // The whole of text matches.
    bool exactMatch(const QString &text) const;

private:
    QString m_format;
    QRegularExpression m_expression;
    QRegularExpression m_anchored;
    QString m_error;
};
