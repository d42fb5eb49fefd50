#include "link/IntText.h"

#include <cstdint>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view digits, std::int32_t& value) {
  if (digits.empty()) return false;
  std::uint64_t v = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return true;
}

bool ParseDecimal(std::string_view text, std::int32_t& value) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > limit) return false;
  }
  value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(v))
                   : static_cast<std::int32_t>(v);
  return true;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return false;
  if (text.front() == '$' || text.front() == 'x' || text.front() == 'X')
    return ParseHex(text.substr(1), value);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseHex(text.substr(2), value);
  return ParseDecimal(text, value);
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  std::int32_t value = fallback;
  return TryStrToInt(text, value) ? value : fallback;
}

bool TryStrToIntInRange(std::string_view text, std::int32_t minimum, std::int32_t maximum,
                        std::int32_t& value) {
  std::int32_t parsed = 0;
  if (!TryStrToInt(text, parsed) || parsed < minimum || parsed > maximum) return false;
  value = parsed;
  return true;
}
