// Text from outside the program (a driver library's error text, a file name)
// made safe to show.
#pragma once

#include <string>
#include <string_view>

namespace base {

// Control characters (below 0x20, and 0x7F) as "\xHH", so that a text cannot
// move the cursor, ring the bell or rewrite a terminal's title.
std::string VisibleText(std::string_view text);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// The text as a JSON string, quotes included: always valid UTF-8 (see
// ValidUtf8), control characters as \u00XX.
std::string JsonQuote(std::string_view text);

}  // namespace base
