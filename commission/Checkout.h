// The checkout of one module's I/O, channel by channel: each output forced
// and observed, each input watched, the analog output's test points, the
// status register; and afterwards the outputs and the analog output returned
// to the module's configured power-up state, whatever ended the run.
//
// The workflow talks to the module through CheckoutModule and to the
// technician through Technician, so that a window, the command line and the
// tests can each supply their own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm90commission {

// What a checkout asks of a module. Every call returns the exchange's status:
// 0 on success, else a code Text() names. Outputs and the analog output can
// only be written; the inputs and the status register only read.
class CheckoutModule {
 public:
  virtual ~CheckoutModule() = default;
  virtual std::uint8_t WriteOutputs(std::uint8_t outputs) = 0;
  virtual std::uint8_t WriteAout(std::uint16_t value) = 0;
  virtual std::uint8_t ReadInputs(std::uint8_t& inputs) = 0;
  virtual std::uint8_t ReadStatus(std::uint32_t& status) = 0;
  virtual std::uint8_t ReadRegister(std::uint8_t reg, std::uint8_t& value) = 0;
  virtual std::string Text(std::uint8_t status) const = 0;
  // The link is gone for good (a driver host that died): retrying is useless.
  virtual bool LinkLost() const { return false; }

  // What became of the link after a failed exchange.
  enum class LinkState {
    kThere,  // the link is there: the failure is the exchange's own
    kBack,   // it had gone (a USB serial adapter pulled) and is open again
    kGone,   // it is gone: it did not come back, or the wait was interrupted
  };
  // Looks whether the link has gone and, with `wait`, waits for it to come
  // back (saying so; Ctrl-C ends the wait) and opens it again; without, looks
  // once.
  virtual LinkState Reconnect(bool /*wait*/) { return LinkState::kThere; }
};

// A technician's reply to a question.
struct Reply {
  enum class Kind { kPass, kFail, kRetry, kSkip, kAbort };
  Kind kind = Kind::kPass;
  std::string comment;          // typed with the reply, may be empty
  std::optional<double> value;  // a measured value, when the question asked for one
};

// What a checkout asks of the technician and of the clock.
class Technician {
 public:
  virtual ~Technician() = default;
  virtual void Say(const std::string& text) = 0;
  // Yes or no; false also when the answer cannot be had.
  virtual bool Confirm(const std::string& question) = 0;
  // Pass, fail, retry, skip, a comment; kAbort when the answer cannot be had.
  virtual Reply Ask(const std::string& question) = 0;
  // As Ask, and a typed number comes back in Reply::value with kind kPass.
  virtual Reply AskValue(const std::string& question) = 0;
  virtual void Sleep(int milliseconds) = 0;
  virtual std::int64_t MonotonicMs() = 0;
  virtual bool Interrupted() = 0;
  virtual std::string Now() = 0;  // "2026-12-10 05:12:03 +0000"
};

enum class Verdict { kPass, kFail, kSkip };
const char* VerdictWord(Verdict verdict);  // "pass", "fail", "skip"

// One row of the report.
struct TestPoint {
  std::string group;    // "output", "input", "analog", "status"
  std::string channel;  // "DOUT3", "DIN3", "AOUT", "STATUS"
  std::string commanded;
  std::string expected;
  std::string observed;
  Verdict verdict = Verdict::kSkip;
  int retries = 0;
  std::string comment;
};

// How a run ended.
enum class Ending { kCompleted, kInterrupted, kAborted, kLinkLost, kWriteError, kReadError };
const char* EndingWord(Ending ending);  // "completed", "interrupted", ...

// DOUTk is wired to DIN(map[k]); -1: not wired.
using LoopbackMap = std::array<int, 8>;
LoopbackMap StraightLoopback();
// Lines "DOUTk DINj" (or "DOUTk -" for not wired), '#' comments; every other
// output keeps its own input unless listed. An empty text on success, else
// "line N: reason".
std::string ParseLoopbackMap(const std::string& text, LoopbackMap& map);

// Linear scale of the analog output: raw 0 shows as `low`, 65535 as `high`
// in the unit the technician measures in.
struct AoutScale {
  double low = 0;
  double high = 65535;
  std::string unit;  // for texts only
};

struct CheckoutOptions {
  bool loopback = false;
  LoopbackMap map = StraightLoopback();
  int settle_ms = 100;
  int input_timeout_ms = 10000;  // per input channel, watched without loopback
  int loopback_reads = 3;        // reads of a loopback point before it fails
  std::vector<std::uint16_t> aout_points = {0, 32768, 65535};
  bool test_aout = true;
  AoutScale scale;
  double aout_tolerance = 655.35;  // in the scale's unit
};

// The header of a report: who, where, which module, how it is configured.
struct CheckoutHeader {
  std::string started;
  std::string finished;
  std::string operator_name;
  std::string witness;
  std::string tag;
  std::string location;
  std::string module_name;
  std::string interface;  // "LAN converter QB-314 (127.0.0.1:5000)"
  int address = 0;
  int baud = 0;
  std::string version;
  std::string mode;  // "loopback (settle 100 ms)" or "manual"
  // Registers 32, 33, 34, 35, 36, 62, 63 as read before anything moved.
  std::array<std::uint8_t, 7> registers{};
  bool registers_read = false;
};

struct CheckoutRecord {
  CheckoutHeader header;
  std::vector<TestPoint> points;
  Ending ending = Ending::kCompleted;
  std::string ending_text;  // what stopped the run, empty when completed
  bool restored = false;    // outputs and analog output back at their power-up state
  std::string restore_text;
  // Each time the link went and came back: when, for how long, what was redone.
  std::vector<std::string> link_breaks;
};

struct Summary {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
};
Summary Summarize(const CheckoutRecord& record);

// Exit status of qm90 checkout: 130 interrupted, 0 when every point passed or
// was skipped and the run completed with the outputs restored, 1 otherwise.
int CheckoutExitStatus(const CheckoutRecord& record);

// The registers' fingerprint: "32=0x00 33=0x00 ... 63=0x01 (sha256 1a2b3c4d5e6f7a8b)".
std::string ConfigurationFingerprint(const std::array<std::uint8_t, 7>& registers);

// One point in one line, as the terminal shows it while the run goes on.
std::string PointLine(const TestPoint& point);

// Runs the checkout into `record`, whose header the caller has filled with
// everything but the registers and the times. Reads the configuration first
// (nothing moves when that fails), then outputs, inputs, analog output and
// status; always restores the power-up state before returning.
void RunCheckout(CheckoutModule& module, Technician& technician, const CheckoutOptions& options,
                 CheckoutRecord& record);

// "DOUT0 DOUT1 ... then AOUT ..." of what will move, for the confirmation.
std::string CheckoutPreview(const CheckoutOptions& options);

}  // namespace qm90commission
