#pragma once

#include <QString>

#include <string>

// The service's text fields are std::wstring; on Linux wchar_t holds one
// Unicode code point (UCS-4), unlike QString's UTF-16.
namespace WideText {

// Characters that XML 1.0 cannot carry (control characters, unpaired
// surrogates, U+FFFE, U+FFFF) become U+FFFD, so a request built from user
// input is always well-formed.
std::wstring fromQString(const QString &text);

// Invalid code points become U+FFFD.
QString toQString(const std::wstring &text);

} // namespace WideText
