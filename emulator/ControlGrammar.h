// The text qm90-sim speaks on its control channel, in one place: the ready
// line it prints once it serves, the command lines it takes, the reply line
// each gets and the event lines a subscriber is told. The simulator, its
// launcher for tests and the front panel all format and parse through here.
//
//   ready    qm90-sim ready KEY=VALUE ...      keys udp, pty, com, control
//   command  VERB ARG ...                      words separated by blanks
//   reply    ok | ok TEXT | error REASON
//   event    event KIND VALUE ...              the values of KIND, in the order
//                                              of EventFields(KIND)
//
// Scripts take a value of the ready line by its key: the word "KEY=VALUE"
// after "qm90-sim ready" (tools/sim-ready.sh).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm90emulator {

inline constexpr std::string_view kReadyPrefix = "qm90-sim ready";

// What the simulator takes, on its command line and in "faults".
inline constexpr int kMaxPercent = 100;        // --drop, --corrupt
inline constexpr int kMaxDelayMs = 60000;      // --delay
inline constexpr int kMaxTurnaroundMs = 1000;  // --turnaround
inline constexpr int kMaxModules = 256;        // one per address 0..255
inline constexpr int kChannels = 8;            // DIN0..7, DOUT0..7
// The UDP port a front end serves on by default, so that the program's
// settings stay valid from one start to the next (another only when taken).
inline constexpr int kDefaultUdpPort = 47090;
inline constexpr std::string_view kEventPrefix = "event ";

// Empty: not served.
struct ReadyLine {
  std::string udp;      // 127.0.0.1:PORT
  std::string pty;      // the pseudo-terminal's path
  std::string com;      // COMn
  std::string control;  // 127.0.0.1:PORT
};
std::string FormatReady(const ReadyLine& ready);
std::optional<ReadyLine> ParseReady(std::string_view line);
// The port of "HOST:PORT", 0 when there is none.
int PortOf(std::string_view host_port);
// The host of "HOST:PORT".
std::string HostOf(std::string_view host_port);

struct Command {
  std::string verb;
  std::vector<std::string> args;
};
std::string FormatCommand(const Command& command);
std::optional<Command> ParseCommand(std::string_view line);  // nullopt for an empty line

struct Reply {
  bool ok = false;
  std::string text;  // after "ok " or "error "
};
std::string FormatReply(const Reply& reply);
inline std::string Ok(std::string_view text = {}) {
  return FormatReply({true, std::string(text)});
}
inline std::string Error(std::string_view reason) {
  return FormatReply({false, std::string(reason)});
}
std::optional<Reply> ParseReply(std::string_view line);  // nullopt: no reply (an event, noise)

struct Event {
  std::string kind;
  std::vector<std::string> values;  // in the order of EventFields(kind)
  // The value of a field by name; empty when the kind has no such field.
  std::string Field(std::string_view name) const;
  // A field as a decimal number; -1 when it is none.
  long long Number(std::string_view name) const;
};
// The names of the fields of an event kind; empty for a kind there is not.
const std::vector<std::string_view>& EventFields(std::string_view kind);
// Empty string when the kind is unknown or the count of values is wrong.
std::string FormatEvent(const Event& event);
std::optional<Event> ParseEvent(std::string_view line);

}  // namespace qm90emulator
