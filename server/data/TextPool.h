#pragma once

#include <QSet>
#include <QString>

// One shared copy of each text that repeats across the records of a reply
// (servers, flows, modules, states, metadata labels): a busy server's
// hundreds of thousands of records would otherwise each hold their own.
class TextPool
{
public:
    QString operator()(const QString &text)
    {
        if (text.isEmpty())
            return text;
        const auto it = m_texts.constFind(text);
        if (it != m_texts.cend())
            return *it;
        m_texts.insert(text);
        return text;
    }
    // Replaces the text by its shared copy in place.
    void share(QString &text) { text = (*this)(text); }

private:
    QSet<QString> m_texts;
};
