#include "commission/LineSearch.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <utility>

#include "base/Baud.h"

namespace qm90commission {

namespace {

// A request frame is 12 bytes on the line, an answer 11; a byte is 10 bits.
constexpr double kRequestBits = 12 * 10;
constexpr double kAnswerBits = 11 * 10;
// A module starts to answer within this time of a request's last byte.
constexpr double kTurnaroundSeconds = 0.003;
// The answer's bytes after its first.
constexpr double kAnswerRestBits = 10 * 10;
// Share of that rest by which a wait that heard bytes outlasts silence.
constexpr double kLateShare = 0.8;
// Silent tries at a rate before their usual length is trusted.
constexpr std::size_t kSilenceSamples = 5;
// The likely addresses are tried first at this many of the likeliest rates.
constexpr std::size_t kMostUsedRates = 3;
// How often a module that answers only in part is asked again.
constexpr int kPartialRetries = 3;
// A late answer may come during either of the two tries after its own.
constexpr std::size_t kLateTries = 2;

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> samples) {
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  return *middle;
}

// The line, configured as the search needs it at the moment.
class LineState {
 public:
  LineState(TLineProbe& probe, const TSearchOptions& options) : probe_(probe), options_(options) {}

  std::int32_t ShortAllowance() const {
    return options_.allowance_ms > 0 ? options_.allowance_ms : kSearchAllowanceMs;
  }

  std::int32_t Use(std::int32_t baud, bool full) {
    const std::int32_t allowance = full ? Full(baud) : Short(baud);
    if (baud == baud_ && allowance == allowance_) return 0;
    const std::int32_t code = probe_.SetRate(baud, allowance);
    baud_ = code == 0 ? baud : -1;
    allowance_ = code == 0 ? allowance : -1;
    return code;
  }

 private:
  std::int32_t Short(std::int32_t) const { return ShortAllowance(); }
  std::int32_t Full(std::int32_t baud) const {
    if (options_.allowance_ms > 0) return options_.allowance_ms;
    return options_.full_allowance ? options_.full_allowance(baud) : Short(baud);
  }

  TLineProbe& probe_;
  const TSearchOptions& options_;
  std::int32_t baud_ = -1;
  std::int32_t allowance_ = -1;
};

class Search {
 public:
  Search(TLineProbe& probe, const TSearchOptions& options, const TSearchEvents& events)
      : probe_(probe),
        options_(options),
        events_(events),
        line_(probe, options),
        clock_(options.clock ? options.clock : SteadySeconds),
        estimate_(options.cost) {}

  TSearchResult Run(std::span<const TLineSetting> order) {
    estimate_.Plan(order);
    result_.total = order.size();
    for (std::size_t i = 0; i < order.size() && !stop_; ++i) {
      if (options_.interrupted && options_.interrupted()) {
        result_.interrupted = true;
        break;
      }
      const TLineSetting setting = order[i];
      // A late answer may show at the next rate too: the recent silent tries
      // are kept, each asked again at its own rate.
      if (setting.baud != silence_baud_) {
        silences_.clear();
        silence_baud_ = setting.baud;
      }
      if (!SetLine(setting.baud, i < options_.full_allowance_tries)) break;
      Report(setting);
      TryOnce(setting);
    }
    return result_;
  }

 private:
  bool SetLine(std::int32_t baud, bool full) {
    const std::int32_t code = line_.Use(baud, full);
    if (code == 0) return true;
    result_.rate_failed = code;
    result_.failed_baud = baud;
    stop_ = true;
    return false;
  }

  void Report(const TLineSetting& now) {
    if (!events_.progress) return;
    TSearchProgress progress;
    progress.done = result_.tries;
    progress.total = result_.total;
    progress.now = now;
    progress.found = result_.modules.size();
    progress.seconds_left = estimate_.SecondsLeft();
    events_.progress(progress);
  }

  // One identification; the time it took in `seconds`.
  std::uint8_t Ask(const TLineSetting& setting, std::string& name, double& seconds, bool& heard) {
    const double start = clock_();
    heard = false;
    const std::uint8_t status = probe_.Identify(setting.address, name, heard);
    seconds = clock_() - start;
    return status;
  }

  void Found(const TLineSetting& setting, const std::string& name) {
    const TFoundModule module{setting.address, setting.baud, name};
    result_.modules.push_back(module);
    if (events_.found) events_.found(module);
    if (probe_.AnsweredTwice()) Shared(setting, "two answers came to one request");
    if (options_.stop_at_first) stop_ = true;
  }

  // False when the driver host has failed: the search ends.
  bool CheckLost(std::uint8_t status) {
    if (!probe_.Lost()) return false;
    result_.lost = true;
    result_.status = status;
    stop_ = true;
    return true;
  }

  void TryOnce(const TLineSetting& setting) {
    std::string name;
    double seconds = 0;
    bool heard = false;
    const std::uint8_t status = Ask(setting, name, seconds, heard);
    ++result_.tries;
    estimate_.Done(setting, seconds);
    const std::vector<TLineSetting> recent = std::exchange(recent_silent_, {});
    if (status == 0) return Found(setting, name);
    if (CheckLost(status)) return;
    if (status != kSilenceStatus) return TryGarbled(setting, recent);
    if (heard) {
      Recheck(setting);  // it answered, but not all of it in time
      return;
    }
    const bool slow = IsSlowSilence(seconds, setting.baud);
    silences_.push_back(seconds);
    // Bytes came during this wait and made no answer to it: a try before was
    // answered late (an answer begun in time would have been taken).
    if (slow && !RecheckAll(recent)) return;
    recent_silent_ = slow ? std::vector<TLineSetting>{} : recent;
    recent_silent_.push_back(setting);
    if (recent_silent_.size() > kLateTries) recent_silent_.erase(recent_silent_.begin());
  }

  // A wait in which bytes came ends only once the rest of an answer and the
  // allowance could have come too; most of that tells it from the scheduling
  // noise of a busy machine. Until enough silences at the rate are measured,
  // the model says how long one takes.
  bool IsSlowSilence(double seconds, std::int32_t baud) const {
    const double margin = kLateShare * (kAnswerRestBits / baud + line_.ShortAllowance() / 1000.0);
    if (silences_.size() >= kSilenceSamples) return seconds > Median(silences_) + margin;
    return options_.cost && seconds > options_.cost(baud) + margin;
  }

  bool RecheckAll(const std::vector<TLineSetting>& settings) {
    for (const TLineSetting& setting : settings)
      if (!Recheck(setting)) return false;
    return true;
  }

  // Asks again with the full allowance, while the module answers only in
  // part; false when the search must end.
  bool Recheck(const TLineSetting& setting) {
    if (!SetLine(setting.baud, true)) return false;
    std::string name;
    double seconds = 0;
    bool heard = true;
    std::uint8_t status = kSilenceStatus;
    for (int attempt = 0; attempt < kPartialRetries && status == kSilenceStatus && heard; ++attempt)
      status = Ask(setting, name, seconds, heard);
    if (status == 0)
      Found(setting, name);
    else if (CheckLost(status))
      return false;
    else if (status != kSilenceStatus)
      Shared(setting, "its answers came garbled");
    return !stop_ && SetLine(setting.baud, false);
  }

  // Garbled bytes may be the late answer of the try before: that one is asked
  // again first, so that what is left of it has passed before this address is.
  void TryGarbled(const TLineSetting& setting, const std::vector<TLineSetting>& recent) {
    if (!RecheckAll(recent)) return;
    if (!SetLine(setting.baud, true)) return;
    std::string name;
    double seconds = 0;
    bool heard = false;
    const std::uint8_t status = Ask(setting, name, seconds, heard);
    if (status == 0) {
      Found(setting, name);
    } else if (!CheckLost(status) && status != kSilenceStatus) {
      Shared(setting, "its answers came garbled twice, as when two modules answer at once");
    }
  }

  void Shared(const TLineSetting& setting, const std::string& why) {
    const TSharedAddress shared{setting.address, setting.baud, why};
    result_.shared.push_back(shared);
    if (events_.shared) events_.shared(shared);
  }

  TLineProbe& probe_;
  const TSearchOptions& options_;
  const TSearchEvents& events_;
  LineState line_;
  std::function<double()> clock_;
  TTimeLeftEstimate estimate_;
  TSearchResult result_;
  bool stop_ = false;
  std::int32_t silence_baud_ = -1;
  std::vector<double> silences_;
  std::vector<TLineSetting> recent_silent_;  // the last silent tries, oldest first
};

}  // namespace

TTryCostModel SerialTryCost(std::function<std::int32_t(std::int32_t)> allowance_ms) {
  return [allowance_ms](std::int32_t baud) {
    const double allowance = allowance_ms ? allowance_ms(baud) / 1000.0 : 0.0;
    return (kRequestBits + 10) / baud + kTurnaroundSeconds + allowance;
  };
}

TTryCostModel UdpTryCost(std::int32_t timeout_ms) {
  return [timeout_ms](std::int32_t baud) {
    const double relay = (kRequestBits + kAnswerBits) / baud;
    return std::ceil((timeout_ms / 1000.0 + kTurnaroundSeconds + relay) * 1000.0) / 1000.0;
  };
}

std::vector<TLineSetting> ScanOrder(std::span<const std::uint8_t> addresses,
                                    std::span<const std::int32_t> rates) {
  std::vector<TLineSetting> order;
  order.reserve(addresses.size() * rates.size());
  for (const std::int32_t baud : rates)
    for (const std::uint8_t address : addresses) order.push_back({address, baud});
  return order;
}

std::vector<TLineSetting> FindOrder(const TFindHints& hints) {
  std::vector<TLineSetting> order;
  std::array<std::array<bool, base::kBaudCount>, 256> seen{};
  auto add = [&](TLineSetting setting) {
    const int index = base::BaudIndexOf(setting.baud);
    if (index < 0 || seen[setting.address][index]) return;
    seen[setting.address][index] = true;
    order.push_back(setting);
  };
  add(kFactorySetting);
  add(hints.last);
  for (std::size_t r = 0; r < std::min(hints.rates.size(), kMostUsedRates); ++r)
    for (const std::uint8_t address :
         {kFactorySetting.address, hints.last.address, std::uint8_t{0}})
      add({address, hints.rates[r]});
  for (const std::int32_t baud : hints.rates)
    for (const std::uint8_t address : hints.addresses) add({address, baud});
  return order;
}

TSearchResult RunSearch(TLineProbe& probe, std::span<const TLineSetting> order,
                        const TSearchOptions& options, const TSearchEvents& events) {
  return Search(probe, options, events).Run(order);
}

void TTimeLeftEstimate::Plan(std::span<const TLineSetting> order) {
  modelled_left_ = 0;
  for (const TLineSetting& setting : order) modelled_left_ += Model(setting.baud);
}

void TTimeLeftEstimate::Done(const TLineSetting& setting, double seconds) {
  const double model = Model(setting.baud);
  modelled_left_ = std::max(0.0, modelled_left_ - model);
  modelled_done_ += model;
  measured_done_ += seconds;
}

double TTimeLeftEstimate::SecondsLeft() const {
  return modelled_done_ > 0 ? measured_done_ / modelled_done_ * modelled_left_ : 0.0;
}

}  // namespace qm90commission
