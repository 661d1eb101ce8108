#include "LogRecord.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QDomElement>
#include <QXmlStreamReader>

const QString LogRecord::TextTag = QStringLiteral("Text");
const QString LogRecord::ArgTag = QStringLiteral("Arg");
const QString LogRecord::RootTag = QStringLiteral("LogRecord");

LogRecord::LogRecord(const QString &text, const QStringList &arguments)
    : m_text(text)
    , m_arguments(arguments)
{ }

bool LogRecord::withinBounds(const QString &xml)
{
    if (xml.size() > kMaxBytes || xml.toUtf8().size() > kMaxBytes)
        return false;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > kMaxDepth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return true;
}

QString LogRecord::unreadableText()
{
    return QCoreApplication::translate("LogRecord", "(unreadable log record)");
}

bool LogRecord::restoreFromDomElement(const QDomElement &element)
{
    m_text.clear();
    m_arguments.clear();
    if (element.isNull())
        return false;
    const QDomElement text = element.firstChildElement(TextTag);
    if (text.isNull()) {
        m_text = element.text();
        return true;
    }
    m_text = text.text();
    for (QDomElement arg = element.firstChildElement(ArgTag); !arg.isNull();
         arg = arg.nextSiblingElement(ArgTag))
        m_arguments.append(arg.text());
    return true;
}

QDomElement LogRecord::saveToDomElement(QDomDocument &document) const
{
    QDomElement root = document.createElement(RootTag);
    QDomElement text = document.createElement(TextTag);
    text.appendChild(document.createTextNode(m_text));
    root.appendChild(text);
    for (const QString &argument : m_arguments) {
        QDomElement arg = document.createElement(ArgTag);
        arg.appendChild(document.createTextNode(argument));
        root.appendChild(arg);
    }
    return root;
}

QString LogRecord::substitute(const QString &text, const QStringList &arguments)
{
    QString out = QStringLiteral(""); // never null: a null message means "did not parse"
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('%') || i + 1 >= text.size() || !text.at(i + 1).isDigit()) {
            out.append(c);
            continue;
        }
        int digits = 1;
        if (i + 2 < text.size() && text.at(i + 2).isDigit())
            digits = 2;
        const int n = QStringView(text).mid(i + 1, digits).toInt();
        if (n >= 1 && n <= arguments.size()) {
            out.append(arguments.at(n - 1));
            i += digits;
        } else {
            out.append(c);
        }
    }
    return out;
}
