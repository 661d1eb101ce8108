#pragma once

#include <QString>

namespace Tamsor {

// The text without the characters XML 1.0 does not allow (controls other
// than tab and line breaks, lone surrogate halves, U+FFFE/U+FFFF). Qt
// writes them as they are, and a parser then refuses the whole file.
QString xmlSafeText(const QString &text);

} // namespace Tamsor
