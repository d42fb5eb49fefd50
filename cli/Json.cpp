#include "cli/Json.h"

#include <cstdio>

#include "base/Text.h"

namespace qm90cli {

std::string JsonQuote(std::string_view raw) {
  return base::JsonQuote(raw);
}

void JsonObject::Key(std::string_view key) {
  if (!body_.empty()) body_ += ',';
  body_ += JsonQuote(key);
  body_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
  Key(key);
  body_ += JsonQuote(value);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
  Key(key);
  body_ += json;
  return *this;
}

std::string JsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    out += items[i];
  }
  return out + "]";
}

std::string JsonBits(std::uint8_t value) {
  std::vector<std::string> bits;
  for (int bit = 0; bit < 8; ++bit) bits.push_back((value >> bit) & 1 ? "1" : "0");
  return JsonArray(bits);
}

}  // namespace qm90cli
