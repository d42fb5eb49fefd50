// Windows-1250, the code page of the settings file's names and of the texts in
// slot buffers, against the program's UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Returns the UTF-8 form of Windows-1250 bytes. The five codes the code page
// leaves undefined map to the control characters of the same number, so every
// byte string survives a round trip.
std::string Cp1250ToUtf8(std::string_view bytes);

// Returns the Windows-1250 bytes of a UTF-8 text; characters without a code,
// and malformed UTF-8, become '?'.
std::string Utf8ToCp1250(std::string_view text);

// The Unicode code point of one Windows-1250 byte.
char32_t Cp1250ToUnicode(std::uint8_t byte);

// The Windows-1250 byte of a code point, or '?' when it has none.
std::uint8_t UnicodeToCp1250(char32_t code_point);

// Splits UTF-8 into code points; a malformed sequence yields U+FFFD for its
// first byte and decoding goes on with the next.
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(char32_t code_point);
