// Searching a line for modules: which address and rate to try in what order,
// trying them one by one, and telling the caller what turns up as it turns up
// (a module, two modules that seem to share an address, the progress with an
// estimate of the time left). The line itself is behind TLineProbe, so the
// search runs against a driver library or against a fake alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm90commission {

// One address at one rate.
struct TLineSetting {
  std::uint8_t address = 0;
  std::int32_t baud = 9600;
  bool operator==(const TLineSetting&) const = default;
};

// The line a search talks to, opened once by the caller.
class TLineProbe {
 public:
  virtual ~TLineProbe() = default;
  // Configures the line for the rate, with the allowance in ms the driver adds
  // to its answer waits. Returns 0 or the driver's code.
  virtual std::int32_t SetRate(std::int32_t baud, std::int32_t allowance_ms) = 0;
  // The three identification requests to one address; 0 or the status.
  // `heard` tells whether any of them was answered.
  virtual std::uint8_t Identify(std::uint8_t address, std::string& name, bool& heard) = 0;
  // True once nothing more can pass (the driver host has failed).
  virtual bool Lost() const = 0;
  // Whether a request of the last Identify got two answers (over a LAN
  // converter: two modules at one address both answered).
  virtual bool AnsweredTwice() const { return false; }
};

// The status the drivers give when no module answers: silence, not a fault.
inline constexpr std::uint8_t kSilenceStatus = 3;

// How long a search asks the driver to listen after each answer for a second
// one (two modules at one address over a LAN converter). Only answered
// requests pay it, a few per module found.
inline constexpr std::int32_t kSecondAnswerListenMs = 2;

// What the search expects a silent try to cost at a rate (seconds), for the
// estimate of the time left: only the proportions between rates matter, the
// search scales them with what it measures.
using TTryCostModel = std::function<double(std::int32_t baud)>;

// The silent try of a serial driver: the request and the answer's first byte
// on the line, the module's turnaround and the allowance; of the LAN converter:
// its time-out and the relay of both frames at the rate.
TTryCostModel SerialTryCost(std::function<std::int32_t(std::int32_t baud)> allowance_ms);
TTryCostModel UdpTryCost(std::int32_t timeout_ms);

// The allowance a search gives the driver at a rate by default. The waits
// already hold the bytes' line time and the module's turnaround; this covers
// only the reader being scheduled. A module whose answer comes later still
// shows (the exchange after it takes longer than silence) and is tried again
// with the rate's full allowance.
inline constexpr std::int32_t kSearchAllowanceMs = 1;

struct TSearchOptions {
  bool stop_at_first = false;
  // The first tries of the order get the full allowance (the likeliest
  // settings, where a miss costs most).
  std::size_t full_allowance_tries = 0;
  // Allowance per rate; 0: kSearchAllowanceMs. Re-checks use `full_allowance`.
  std::int32_t allowance_ms = 0;
  std::function<std::int32_t(std::int32_t baud)> full_allowance;
  std::function<bool()> interrupted;  // Ctrl-C; may be empty
  std::function<double()> clock;      // monotonic seconds; empty: steady_clock
  TTryCostModel cost;                 // empty: every try alike
};

struct TFoundModule {
  std::uint8_t address = 0;
  std::int32_t baud = 0;
  std::string name;
};

// An address where answers came garbled (a collision on a serial line) or
// where two modules answered (two answers to one request over a LAN converter;
// the module is reported as found too).
struct TSharedAddress {
  std::uint8_t address = 0;
  std::int32_t baud = 0;
  std::string why;
};

struct TSearchProgress {
  std::size_t done = 0;
  std::size_t total = 0;
  TLineSetting now;
  std::size_t found = 0;
  double seconds_left = 0;  // estimate; 0 before the first try is done
};

struct TSearchEvents {
  std::function<void(const TFoundModule&)> found;
  std::function<void(const TSharedAddress&)> shared;
  std::function<void(const TSearchProgress&)> progress;
};

struct TSearchResult {
  std::vector<TFoundModule> modules;
  std::vector<TSharedAddress> shared;
  std::size_t tries = 0;
  std::size_t total = 0;
  bool interrupted = false;
  bool lost = false;             // the driver host failed; status holds its code
  std::int32_t rate_failed = 0;  // SetRate's code, when a rate could not be set
  std::int32_t failed_baud = 0;  // ... and that rate
  std::uint8_t status = 0;
};

// Every address at each rate, rate after rate.
std::vector<TLineSetting> ScanOrder(std::span<const std::uint8_t> addresses,
                                    std::span<const std::int32_t> rates);

// Where a lost module is likely: the factory setting, the setting last used
// (settings file or options), then the rates most used.
struct TFindHints {
  TLineSetting last{1, 9600};
  std::vector<std::int32_t> rates;      // likeliest first; each tried in full after the hints
  std::vector<std::uint8_t> addresses;  // the addresses of the full sweep
};
// The factory setting, the last setting, the likely addresses (factory, last,
// 0) at the three likeliest rates, then every address at each rate; each
// setting once.
std::vector<TLineSetting> FindOrder(const TFindHints& hints);

inline constexpr TLineSetting kFactorySetting{1, 9600};

// Tries the settings in order. Found modules, shared addresses and progress
// go to the events as they happen. A try that gives neither an answer nor
// silence is tried again once; garbled twice, the address is reported as
// shared. A module that answered only part of the identification is asked
// again, up to three times, with the full allowance. A silent try that took
// clearly longer than silence at its rate (bytes came, late; until silence at
// the rate is measured, the cost model says how long it takes) has the two
// silent addresses before it tried again with the full allowance.
TSearchResult RunSearch(TLineProbe& probe, std::span<const TLineSetting> order,
                        const TSearchOptions& options, const TSearchEvents& events);

// Estimate of the time left: the modelled cost of what is left, scaled by how
// the measured time compares with the modelled cost of what is done.
class TTimeLeftEstimate {
 public:
  explicit TTimeLeftEstimate(TTryCostModel cost) : cost_(std::move(cost)) {}
  void Plan(std::span<const TLineSetting> order);
  void Done(const TLineSetting& setting, double seconds);
  double SecondsLeft() const;

 private:
  double Model(std::int32_t baud) const { return cost_ ? cost_(baud) : 1.0; }
  TTryCostModel cost_;
  double modelled_left_ = 0;
  double modelled_done_ = 0;
  double measured_done_ = 0;
};

}  // namespace qm90commission
