#include "emulator/ControlGrammar.h"

#include <algorithm>
#include <array>
#include <utility>

namespace qm90emulator {

namespace {

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find_first_of(" \t\r\n", start), line.size());
    words.emplace_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

std::string Join(const std::string& first, const std::vector<std::string>& rest) {
  std::string line = first;
  for (const std::string& word : rest) line += " " + word;
  return line;
}

using Fields = std::vector<std::string_view>;

const std::vector<std::pair<std::string_view, Fields>>& EventTable() {
  static const std::vector<std::pair<std::string_view, Fields>> kTable = {
      {"module", {"module"}},
      {"address", {"module", "address", "baud"}},
      {"inputs", {"module", "terminals"}},
      {"outputs", {"module", "terminals"}},
      {"aout", {"module", "value"}},
      {"status", {"module", "value"}},
      {"register", {"module", "register", "value"}},
      {"wiring", {"module", "wiring"}},
      {"stuck", {"module", "side", "low", "high"}},
      {"twin", {"module", "twin"}},
      {"faults", {"drop", "corrupt", "delay"}},
      {"serial", {"state"}},
      {"exchange",
       {"time", "line", "address", "command", "subcode", "d0", "d1", "d2", "d3", "d4", "result",
        "status", "a0", "a1", "a2", "a3", "a4"}},
  };
  return kTable;
}

constexpr std::array<std::pair<std::string_view, std::string ReadyLine::*>, 4> kReadyKeys = {{
    {"udp", &ReadyLine::udp},
    {"pty", &ReadyLine::pty},
    {"com", &ReadyLine::com},
    {"control", &ReadyLine::control},
}};

}  // namespace

std::string FormatReady(const ReadyLine& ready) {
  std::string line(kReadyPrefix);
  for (const auto& [key, member] : kReadyKeys) {
    if (!(ready.*member).empty()) line += " " + std::string(key) + "=" + ready.*member;
  }
  return line;
}

std::optional<ReadyLine> ParseReady(std::string_view line) {
  if (line.substr(0, kReadyPrefix.size()) != kReadyPrefix) return std::nullopt;
  const std::vector<std::string> words = Words(line.substr(kReadyPrefix.size()));
  if (line.size() > kReadyPrefix.size() && line[kReadyPrefix.size()] != ' ') return std::nullopt;
  ReadyLine ready;
  for (const std::string& word : words) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos) continue;
    for (const auto& [key, member] : kReadyKeys) {
      if (word.compare(0, equals, key) == 0) ready.*member = word.substr(equals + 1);
    }
  }
  return ready;
}

int PortOf(std::string_view host_port) {
  const std::size_t colon = host_port.rfind(':');
  if (colon == std::string_view::npos || colon + 1 == host_port.size()) return 0;
  long port = 0;
  for (char c : host_port.substr(colon + 1)) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
    if (port > 65535) return 0;
  }
  return static_cast<int>(port);
}

std::string HostOf(std::string_view host_port) {
  return std::string(host_port.substr(0, host_port.rfind(':')));
}

std::string FormatCommand(const Command& command) {
  return Join(command.verb, command.args);
}

std::optional<Command> ParseCommand(std::string_view line) {
  std::vector<std::string> words = Words(line);
  if (words.empty()) return std::nullopt;
  Command command;
  command.verb = std::move(words.front());
  command.args.assign(std::make_move_iterator(words.begin() + 1),
                      std::make_move_iterator(words.end()));
  return command;
}

std::string FormatReply(const Reply& reply) {
  std::string line = reply.ok ? "ok" : "error";
  if (!reply.text.empty()) line += " " + reply.text;
  return line;
}

std::optional<Reply> ParseReply(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  for (const auto& [word, ok] : {std::pair<std::string_view, bool>{"ok", true}, {"error", false}}) {
    if (line.substr(0, word.size()) != word) continue;
    const std::string_view rest = line.substr(word.size());
    if (!rest.empty() && rest.front() != ' ') continue;
    return Reply{ok, std::string(rest.empty() ? rest : rest.substr(1))};
  }
  return std::nullopt;
}

const std::vector<std::string_view>& EventFields(std::string_view kind) {
  static const Fields kNone;
  for (const auto& [name, fields] : EventTable()) {
    if (name == kind) return fields;
  }
  return kNone;
}

std::string Event::Field(std::string_view name) const {
  const Fields& fields = EventFields(kind);
  const auto found = std::find(fields.begin(), fields.end(), name);
  const auto index = static_cast<std::size_t>(found - fields.begin());
  return found == fields.end() || index >= values.size() ? std::string() : values[index];
}

long long Event::Number(std::string_view name) const {
  const std::string text = Field(name);
  if (text.empty() || text.size() > 18) return -1;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string FormatEvent(const Event& event) {
  const Fields& fields = EventFields(event.kind);
  if (fields.empty() || fields.size() != event.values.size()) return {};
  return Join(std::string(kEventPrefix) + event.kind, event.values);
}

std::optional<Event> ParseEvent(std::string_view line) {
  if (line.substr(0, kEventPrefix.size()) != kEventPrefix) return std::nullopt;
  std::vector<std::string> words = Words(line.substr(kEventPrefix.size()));
  if (words.empty()) return std::nullopt;
  Event event;
  event.kind = std::move(words.front());
  event.values.assign(std::make_move_iterator(words.begin() + 1),
                      std::make_move_iterator(words.end()));
  const Fields& fields = EventFields(event.kind);
  if (fields.empty() || fields.size() != event.values.size()) return std::nullopt;
  return event;
}

}  // namespace qm90emulator
