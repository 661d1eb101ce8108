#include "XmlText.h"

#include <QStringView>

namespace Tamsor {

namespace {

bool isXmlChar(char32_t code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF)
        || (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

} // namespace

QString xmlSafeText(const QString &text)
{
    QString clean;
    const qsizetype size = text.size();
    qsizetype i = 0;
    qsizetype copied = 0;
    bool dropped = false;
    while (i < size) {
        const QChar ch = text.at(i);
        qsizetype length = 1;
        char32_t code = ch.unicode();
        if (ch.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(ch, text.at(i + 1));
            length = 2;
        } else if (ch.isSurrogate()) {
            code = 0; // a lone half of a pair
        }
        if (!isXmlChar(code)) {
            if (!dropped) {
                clean.reserve(size);
                dropped = true;
            }
            clean += QStringView(text).mid(copied, i - copied);
            copied = i + length;
        }
        i += length;
    }
    if (!dropped)
        return text;
    clean += QStringView(text).mid(copied);
    return clean;
}

} // namespace Tamsor
