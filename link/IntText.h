// The one integer text conversion of the program.
#pragma once

#include <cstdint>
#include <string_view>

// A text is a signed 32-bit integer when it is leading blanks, then either an
// optional '+' or '-' and decimal digits, or hexadecimal digits introduced by
// "$", "x", "X", "0x" or "0X". Anything else (empty, trailing blanks, other
// characters, overflow) is not. Returns true and sets value on success; on
// failure value is left untouched. Hexadecimal texts give the 32-bit pattern
// ("$FFFFFFFF" is -1); hexadecimal beyond 32 bits is overflow.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// As TryStrToInt, and only a number within minimum..maximum; value is
// written only on success. The range check of every field and option.
bool TryStrToIntInRange(std::string_view text, std::int32_t minimum, std::int32_t maximum,
                        std::int32_t& value);

// As above with a default for texts that are not integers.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);
