#include "commission/Checkout.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <utility>

#include "base/ModuleCommands.h"
#include "commission/Sha256.h"

namespace qm90commission {

namespace {

constexpr int kWatchPollMs = 50;
constexpr int kRestoreAttempts = 3;
constexpr int kRestorePauseMs = 200;
constexpr const char* kInterruptedText = "interrupted by the operator (Ctrl-C)";

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string Channel(const char* name, int k) {
  return name + std::to_string(k);
}

bool Bit(std::uint32_t value, int k) {
  return ((value >> k) & 1u) != 0;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "DOUT3" -> 3 when the text is the prefix and one digit 0..7.
int ChannelNumber(const std::string& text, const std::string& prefix) {
  if (text.size() != prefix.size() + 1 || text.compare(0, prefix.size(), prefix) != 0) return -1;
  const char digit = text.back();
  return digit >= '0' && digit <= '7' ? digit - '0' : -1;
}

class Run {
 public:
  Run(CheckoutModule& module, Technician& technician, const CheckoutOptions& options,
      CheckoutRecord& record)
      : module_(module), tech_(technician), options_(options), record_(record) {}

  void Go() {
    record_.header.started = tech_.Now();
    if (ReadConfiguration()) {
      Outputs();
      if (!options_.loopback) Inputs();
      if (options_.test_aout) Analog();
      StatusRegister();
      Restore();
    }
    record_.header.finished = tech_.Now();
  }

 private:
  std::uint8_t Register(int index) const { return record_.header.registers[index]; }
  std::uint8_t PowerUpOutputs() const { return Register(0); }
  std::uint8_t DinNegation() const { return Register(1); }
  std::uint8_t DoutNegation() const { return Register(2); }
  std::uint16_t PowerUpAout() const {
    return static_cast<std::uint16_t>(Register(3) | Register(4) << 8);
  }

  // Keeps a judged point and shows it at once.
  void Record(const TestPoint& point) {
    record_.points.push_back(point);
    tech_.Say(PointLine(point));
  }

  bool Stopped() {
    if (stopped_) return true;
    if (tech_.Interrupted()) Stop(Ending::kInterrupted, kInterruptedText);
    return stopped_;
  }

  // Runs one step of the run. A step whose exchange failed because the link
  // went and came back is run again from its start: nothing is judged on what
  // a lost link half did. False when the run stops.
  bool Attempt(const std::function<bool()>& step, TestPoint* point = nullptr) {
    for (int redone = 0; !Stopped(); ++redone) {
      if (step()) {
        if (point && redone > 0)
          point->comment +=
              std::string(point->comment.empty() ? "" : "; ") + "redone after the link came back";
        return true;
      }
      if (!std::exchange(redo_, false)) return false;
    }
    return false;
  }

  void Stop(Ending ending, const std::string& text) {
    if (stopped_) return;
    stopped_ = true;
    record_.ending = ending;
    record_.ending_text = text;
  }

  // A failed exchange ends the run, unless the link had gone and is back:
  // then the step under way is redone.
  void Failed(std::uint8_t status, Ending ending, const std::string& what) {
    // Ctrl-C can cut an exchange short: then the interruption is what ended the run.
    if (tech_.Interrupted()) return Stop(Ending::kInterrupted, kInterruptedText);
    if (!module_.LinkLost()) {
      const std::int64_t since = tech_.MonotonicMs();
      switch (module_.Reconnect(true)) {
        case CheckoutModule::LinkState::kBack:
          return LinkCameBack(what, tech_.MonotonicMs() - since);
        case CheckoutModule::LinkState::kGone:
          if (tech_.Interrupted())
            return Stop(Ending::kInterrupted,
                        std::string(kInterruptedText) + " while the link was gone");
          return Stop(Ending::kLinkLost, what + ": the link is gone");
        case CheckoutModule::LinkState::kThere:
          break;
      }
    }
    Stop(module_.LinkLost() ? Ending::kLinkLost : ending, what + ": " + module_.Text(status));
  }

  void LinkCameBack(const std::string& what, std::int64_t gone_ms) {
    redo_ = true;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(gone_ms) / 1000.0);
    const std::string note = tech_.Now() + ": the link was lost while " + what +
                             " and came back after " + seconds + "; the point under way was redone";
    record_.link_breaks.push_back(note);
    tech_.Say("The link is back after " + std::string(seconds) +
              "; the point under way is redone.");
  }

  bool ReadConfiguration() {
    for (std::size_t i = 0; i < qm90cmd::kRegisters.size(); ++i) {
      const std::uint8_t reg = qm90cmd::kRegisters[i];
      const bool read = Attempt([&] {
        const std::uint8_t status = module_.ReadRegister(reg, record_.header.registers[i]);
        if (status != 0)
          Failed(status, Ending::kReadError, "reading register " + std::to_string(reg));
        return status == 0;
      });
      if (!read) {
        record_.restored = true;
        record_.restore_text = "nothing was moved: the configuration was not read";
        return false;
      }
    }
    record_.header.registers_read = true;
    return true;
  }

  bool SetOutputs(std::uint8_t outputs) {
    const std::uint8_t status = module_.WriteOutputs(outputs);
    if (status != 0) Failed(status, Ending::kWriteError, "writing the outputs " + Hex(outputs, 2));
    return status == 0;
  }

  bool SetAout(std::uint16_t value) {
    const std::uint8_t status = module_.WriteAout(value);
    if (status != 0)
      Failed(status, Ending::kWriteError, "writing the analog output " + std::to_string(value));
    return status == 0;
  }

  bool GetInputs(std::uint8_t& inputs) {
    const std::uint8_t status = module_.ReadInputs(inputs);
    if (status != 0) Failed(status, Ending::kReadError, "reading the inputs");
    return status == 0;
  }

  // A technician's reply that ends the run; false when the run goes on.
  bool Ends(const Reply& reply) {
    if (reply.kind != Reply::Kind::kAbort) return false;
    if (tech_.Interrupted())
      Stop(Ending::kInterrupted, kInterruptedText);
    else
      Stop(Ending::kAborted, "the operator's answer could not be read");
    return true;
  }

  static void Judge(TestPoint& point, const Reply& reply) {
    point.verdict = reply.kind == Reply::Kind::kPass   ? Verdict::kPass
                    : reply.kind == Reply::Kind::kFail ? Verdict::kFail
                                                       : Verdict::kSkip;
    if (!reply.comment.empty()) point.comment = reply.comment;
  }

  void Outputs() {
    if (!Attempt([this] { return SetOutputs(0); })) return;
    for (int k = 0; k < 8 && !Stopped(); ++k) {
      if (options_.loopback && options_.map[k] < 0) {
        Record({"output", Channel("DOUT", k), "-", "-", "-", Verdict::kSkip, 0,
                "no input wired to this output"});
        continue;
      }
      for (const bool on : {true, false}) {
        TestPoint point;
        if (!Attempt([&] { return OutputPoint(k, on, point); }, &point)) return;
        Record(point);
      }
    }
  }

  bool OutputPoint(int k, bool on, TestPoint& point) {
    point = TestPoint{};
    point.group = "output";
    point.channel = Channel("DOUT", k);
    const std::uint8_t outputs = on ? static_cast<std::uint8_t>(1u << k) : 0;
    point.commanded = point.channel + "=" + (on ? "1" : "0") + " (outputs " + Hex(outputs, 2) + ")";
    const bool terminal = on != Bit(DoutNegation(), k);
    if (!SetOutputs(outputs)) return false;
    return options_.loopback ? LoopbackPoint(k, terminal, point)
                             : ManualOutputPoint(k, outputs, terminal, point);
  }

  bool LoopbackPoint(int k, bool terminal, TestPoint& point) {
    const int j = options_.map[k];
    const bool expected = terminal != Bit(DinNegation(), j);
    const std::string input = Channel("DIN", j);
    point.expected = input + "=" + (expected ? "1" : "0");
    for (int read = 0; read < options_.loopback_reads; ++read) {
      if (Stopped()) return false;
      tech_.Sleep(options_.settle_ms);
      std::uint8_t inputs = 0;
      if (!GetInputs(inputs)) return false;
      point.observed = input + "=" + (Bit(inputs, j) ? "1" : "0");
      if (Bit(inputs, j) == expected) {
        point.verdict = Verdict::kPass;
        return true;
      }
      if (read + 1 < options_.loopback_reads) ++point.retries;
    }
    point.verdict = Verdict::kFail;
    point.comment = input + " did not follow " + point.channel;
    return true;
  }

  bool ManualOutputPoint(int k, std::uint8_t outputs, bool terminal, TestPoint& point) {
    point.expected = std::string("field device ") + (terminal ? "energised" : "de-energised");
    if (Bit(DoutNegation(), k)) point.expected += " (output negated)";
    for (;;) {
      const Reply reply = tech_.Ask(point.commanded + ": is the field device " +
                                    (terminal ? "energised" : "de-energised") + "?");
      if (Ends(reply)) return false;
      if (reply.kind == Reply::Kind::kRetry) {
        ++point.retries;
        if (!SetOutputs(outputs)) return false;
        continue;
      }
      Judge(point, reply);
      point.observed = reply.kind == Reply::Kind::kPass   ? "confirmed"
                       : reply.kind == Reply::Kind::kFail ? "not as expected"
                                                          : "not checked";
      return true;
    }
  }

  void Inputs() {
    for (int k = 0; k < 8 && !Stopped(); ++k) {
      TestPoint point;
      const bool done = Attempt(
          [&] {
            point = TestPoint{};
            point.group = "input";
            point.channel = Channel("DIN", k);
            point.commanded = "operate the field device";
            point.expected = point.channel + " changes";
            return WatchInput(k, point);
          },
          &point);
      if (!done) return;
      Record(point);
    }
  }

  bool WatchInput(int k, TestPoint& point) {
    for (;;) {
      std::uint8_t before = 0;
      if (!GetInputs(before)) return false;
      tech_.Say("Operate the field device of " + point.channel + " (now " +
                (Bit(before, k) ? "1" : "0") + "); waiting up to " +
                std::to_string(options_.input_timeout_ms / 1000) + " s.");
      const std::int64_t deadline = tech_.MonotonicMs() + options_.input_timeout_ms;
      while (tech_.MonotonicMs() < deadline) {
        if (Stopped()) return false;
        std::uint8_t now = 0;
        if (!GetInputs(now)) return false;
        if (Bit(now, k) != Bit(before, k)) {
          point.observed = point.channel + " " + (Bit(before, k) ? "1" : "0") + " -> " +
                           (Bit(now, k) ? "1" : "0");
          point.verdict = Verdict::kPass;
          return true;
        }
        tech_.Sleep(kWatchPollMs);
      }
      point.observed = "no change";
      const Reply reply = tech_.Ask(point.channel + " did not change in time");
      if (Ends(reply)) return false;
      if (reply.kind == Reply::Kind::kRetry) {
        ++point.retries;
        continue;
      }
      Judge(point, reply);
      return true;
    }
  }

  double Scaled(std::uint16_t raw) const {
    return options_.scale.low + (options_.scale.high - options_.scale.low) * raw / 65535.0;
  }

  void Analog() {
    for (const std::uint16_t raw : options_.aout_points) {
      TestPoint point;
      if (!Attempt([&] { return AnalogPoint(raw, point); }, &point)) return;
      Record(point);
    }
  }

  bool AnalogPoint(std::uint16_t raw, TestPoint& point) {
    point = TestPoint{};
    point.group = "analog";
    point.channel = "AOUT";
    point.commanded = std::to_string(raw);
    const double expected = Scaled(raw);
    const std::string unit = options_.scale.unit.empty() ? "" : " " + options_.scale.unit;
    point.expected = Number(expected) + " +/- " + Number(options_.aout_tolerance) + unit;
    if (!SetAout(raw)) return false;
    for (;;) {
      const Reply reply = tech_.AskValue("AOUT = " + point.commanded +
                                         ": measured value (expected " + point.expected + ")?");
      if (Ends(reply)) return false;
      if (reply.kind == Reply::Kind::kRetry) {
        ++point.retries;
        if (!SetAout(raw)) return false;
        continue;
      }
      Judge(point, reply);
      if (reply.value) {
        point.observed = Number(*reply.value) + unit;
        const bool within = std::fabs(*reply.value - expected) <= options_.aout_tolerance;
        point.verdict = within ? Verdict::kPass : Verdict::kFail;
      } else {
        point.observed = point.verdict == Verdict::kPass   ? "confirmed"
                         : point.verdict == Verdict::kFail ? "not as expected"
                                                           : "not measured";
      }
      return true;
    }
  }

  void StatusRegister() {
    std::uint32_t status_register = 0;
    const bool read = Attempt([&] {
      const std::uint8_t status = module_.ReadStatus(status_register);
      if (status != 0) Failed(status, Ending::kReadError, "reading the status register");
      return status == 0;
    });
    if (!read) return;
    const bool power = Bit(status_register, qm90cmd::kStatusBitPwr);
    const bool error24 = Bit(status_register, qm90cmd::kStatusBitErr24);
    TestPoint point{"status", "STATUS", "read", "PWR set, ERR24 clear", "", Verdict::kPass, 0, ""};
    point.observed = Hex(status_register, 8) + " (PWR " + (power ? "set" : "clear") + ", ERR24 " +
                     (error24 ? "set" : "clear") + ")";
    if (!power || error24) {
      point.verdict = Verdict::kFail;
      point.comment = !power && error24 ? "PWR not set and ERR24 set"
                      : !power          ? "PWR not set"
                                        : "ERR24 set";
    }
    Record(point);
  }

  // Writes the power-up state back, a few times if need be; never skipped by
  // an interruption, since nothing may stay forced.
  void Restore() {
    std::string failure;
    bool outputs_ok = false;
    bool aout_ok = false;
    for (int attempt = 0; attempt < kRestoreAttempts && !(outputs_ok && aout_ok); ++attempt) {
      if (attempt > 0) {
        if (module_.LinkLost()) break;
        // The state is written back once the link is there; no waiting for it here.
        if (module_.Reconnect(false) == CheckoutModule::LinkState::kGone) {
          failure = "the link is gone";
          break;
        }
        tech_.Sleep(kRestorePauseMs);
      }
      if (!outputs_ok) {
        const std::uint8_t status = module_.WriteOutputs(PowerUpOutputs());
        outputs_ok = status == 0;
        if (!outputs_ok) failure = "writing the outputs: " + module_.Text(status);
      }
      if (!aout_ok) {
        const std::uint8_t status = module_.WriteAout(PowerUpAout());
        aout_ok = status == 0;
        if (!aout_ok) failure = "writing the analog output: " + module_.Text(status);
      }
    }
    record_.restored = outputs_ok && aout_ok;
    const std::string state = "outputs " + Hex(PowerUpOutputs(), 2) + ", analog output " +
                              std::to_string(PowerUpAout()) +
                              " (power-up state of registers 32, 35, 36)";
    record_.restore_text =
        record_.restored ? "returned to " + state : "NOT returned to " + state + ": " + failure;
    if (!record_.restored && !stopped_)
      Stop(module_.LinkLost() ? Ending::kLinkLost : Ending::kWriteError,
           "the power-up state could not be written back");
  }

  CheckoutModule& module_;
  Technician& tech_;
  const CheckoutOptions& options_;
  CheckoutRecord& record_;
  bool stopped_ = false;
  bool redo_ = false;  // the link came back: the step under way is to be redone
};

}  // namespace

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPass:
      return "pass";
    case Verdict::kFail:
      return "fail";
    case Verdict::kSkip:
      break;
  }
  return "skip";
}

const char* EndingWord(Ending ending) {
  switch (ending) {
    case Ending::kCompleted:
      return "completed";
    case Ending::kInterrupted:
      return "interrupted";
    case Ending::kAborted:
      return "aborted";
    case Ending::kLinkLost:
      return "link lost";
    case Ending::kWriteError:
      return "write error";
    case Ending::kReadError:
      break;
  }
  return "read error";
}

LoopbackMap StraightLoopback() {
  return {0, 1, 2, 3, 4, 5, 6, 7};
}

std::string ParseLoopbackMap(const std::string& text, LoopbackMap& map) {
  LoopbackMap parsed = StraightLoopback();
  std::array<int, 8> line_of_input{};  // the line that wired each input, 0: none
  std::array<bool, 8> listed{};
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    std::istringstream words(line);
    std::string output, input, extra;
    words >> output >> input >> extra;
    const std::string where = "line " + std::to_string(number) + ": ";
    const int k = ChannelNumber(output, "DOUT");
    if (k < 0 || input.empty() || !extra.empty())
      return where + "expected \"DOUTk DINj\" or \"DOUTk -\" (k, j 0..7)";
    if (listed[k]) return where + output + " is listed twice";
    listed[k] = true;
    const int j = input == "-" ? -1 : ChannelNumber(input, "DIN");
    if (j < 0 && input != "-") return where + "\"" + input + "\" is not DIN0..DIN7 or -";
    if (j >= 0 && line_of_input[j] != 0)
      return where + input + " is already wired on line " + std::to_string(line_of_input[j]);
    if (j >= 0) line_of_input[j] = number;
    parsed[k] = j;
  }
  // An output not listed keeps its own input unless a listed line took it.
  for (int k = 0; k < 8; ++k)
    if (!listed[k] && line_of_input[k] != 0) parsed[k] = -1;
  map = parsed;
  return {};
}

Summary Summarize(const CheckoutRecord& record) {
  Summary summary;
  for (const TestPoint& point : record.points) {
    if (point.verdict == Verdict::kPass) ++summary.passed;
    if (point.verdict == Verdict::kFail) ++summary.failed;
    if (point.verdict == Verdict::kSkip) ++summary.skipped;
  }
  return summary;
}

int CheckoutExitStatus(const CheckoutRecord& record) {
  if (record.ending == Ending::kInterrupted) return 130;
  const bool clean = record.ending == Ending::kCompleted && record.restored;
  return clean && Summarize(record).failed == 0 ? 0 : 1;
}

std::string ConfigurationFingerprint(const std::array<std::uint8_t, 7>& registers) {
  std::string text;
  std::string bytes;
  for (std::size_t i = 0; i < registers.size(); ++i) {
    text += std::to_string(qm90cmd::kRegisters[i]) + "=" + Hex(registers[i], 2) + " ";
    bytes += static_cast<char>(registers[i]);
  }
  return text + "(sha256 " + Sha256Hex(bytes).substr(0, 16) + ")";
}

std::string PointLine(const TestPoint& p) {
  return "  " + p.channel + "  " + p.commanded + "  expected " + p.expected + "  observed " +
         p.observed + "  " + VerdictWord(p.verdict) +
         (p.retries ? "  retries " + std::to_string(p.retries) : "") +
         (p.comment.empty() ? "" : "  (" + p.comment + ")");
}

void RunCheckout(CheckoutModule& module, Technician& technician, const CheckoutOptions& options,
                 CheckoutRecord& record) {
  Run(module, technician, options, record).Go();
}

std::string CheckoutPreview(const CheckoutOptions& options) {
  std::string text = "The checkout will switch each output DOUT0..DOUT7 on and off, one at a time";
  text += options.loopback
              ? ", judged on the wired inputs after " + std::to_string(options.settle_ms) + " ms"
              : ", each confirmed by you";
  if (!options.loopback) text += "; then you operate each input DIN0..DIN7";
  if (options.test_aout) {
    text += "; then the analog output is set to";
    for (const std::uint16_t point : options.aout_points) text += " " + std::to_string(point);
  }
  return text +
         ". Afterwards the outputs and the analog output return to the module's power-up state.";
}

}  // namespace qm90commission
