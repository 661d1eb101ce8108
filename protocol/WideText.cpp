#include "WideText.h"

#include <QList>

namespace {

constexpr char32_t replacement = 0xFFFD;

bool allowedInXml(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

namespace WideText {

std::wstring fromQString(const QString &text)
{
    static_assert(sizeof(wchar_t) == 4, "wchar_t is expected to hold UCS-4");
    // toUcs4() already turns unpaired surrogates into U+FFFD.
    const QList<uint> codePoints = text.toUcs4();
    std::wstring result;
    result.reserve(codePoints.size());
    for (const uint c : codePoints)
        result.push_back(static_cast<wchar_t>(allowedInXml(c) ? c : replacement));
    return result;
}

QString toQString(const std::wstring &text)
{
    std::u32string checked;
    checked.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<char32_t>(c);
        const bool valid = code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        checked.push_back(valid ? code : replacement);
    }
    return QString::fromUcs4(checked.data(), static_cast<qsizetype>(checked.size()));
}

} // namespace WideText
