#pragma once

#include <QString>
#include <QStringList>

class QDomDocument;
class QDomElement;

// One server log entry. The server sends it as an XML element that holds
// the message in its source language, with the placeholders %1 to %99, and
// the texts to put in, in order:
//
//   <LogRecord><Text>Job %1 moved to %2</Text><Arg>a.pdf</Arg><Arg>Out</Arg></LogRecord>
//
// The element's own name is free. Without a "Text" child the element's
// text is the message and there are no arguments.
class LogRecord
{
public:
    static const QString TextTag; // "Text"
    static const QString ArgTag; // "Arg"
    static const QString RootTag; // "LogRecord", used when writing

    // A record over either limit is not decoded: a DOM of deep nesting
    // takes time that grows with the square of the depth.
    static constexpr int kMaxBytes = 64 * 1024;
    static constexpr int kMaxDepth = 64;

    LogRecord() = default;
    LogRecord(const QString &text, const QStringList &arguments);

    // Whether the text is within both limits. Reads it once, without a DOM;
    // text that is not well-formed XML passes (the DOM then refuses it).
    static bool withinBounds(const QString &xml);
    // What is shown in place of a record that is not decoded.
    static QString unreadableText();

    // False, leaving the record empty, for a null element.
    bool restoreFromDomElement(const QDomElement &element);
    QDomElement saveToDomElement(QDomDocument &document) const;

    bool isEmpty() const { return m_text.isEmpty(); }
    QString text() const { return m_text; }
    QStringList arguments() const { return m_arguments; }

    // The text with every %n replaced by the n-th argument in one pass, so
    // an argument that itself contains "%1" stays as it is.
    static QString substitute(const QString &text, const QStringList &arguments);

private:
    QString m_text;
    QStringList m_arguments;
};
