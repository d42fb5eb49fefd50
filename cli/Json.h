// The JSON that --json prints: objects and arrays built in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm90cli {

// A JSON string literal of the text: control characters escaped, bytes that
// are not valid UTF-8 replaced by U+FFFD.
std::string JsonQuote(std::string_view text);

class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) {
    return Add(key, std::string_view(value));
  }
  JsonObject& Add(std::string_view key, std::int64_t value);
  JsonObject& Add(std::string_view key, int value) { return Add(key, std::int64_t{value}); }
  JsonObject& Add(std::string_view key, bool value);
  JsonObject& AddRaw(std::string_view key, std::string_view json);  // an object or array built here
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

// "[a,b,c]" of JSON texts.
std::string JsonArray(const std::vector<std::string>& items);
// "[1,0,1,...]": the eight bits of a byte, channel 0 first.
std::string JsonBits(std::uint8_t value);

}  // namespace qm90cli
