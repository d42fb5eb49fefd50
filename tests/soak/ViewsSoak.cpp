// The inputs view and the status register view poll the emulator while it
// drops, damages and delays answers. Every poll is checked against what the
// emulator holds at that moment.
#include <algorithm>
#include <memory>
#include <thread>

#include "dialogs/OkamDIN.h"
#include "dialogs/StatReg.h"
#include "tests/soak/Soak.h"
#include "tests/support/ShowWindow.h"

namespace soak {
namespace {

constexpr int kModule = 1;
constexpr int kDropPercent = 20;
constexpr int kCorruptPercent = 10;
constexpr int kFaultyPolls = 24;    // per cycle, both views together
constexpr int kLatePolls = 4;       // per cycle, answers delayed past the time-out
constexpr int kLateMarginMs = 100;  // for a late answer still on its way
constexpr int kChangeEvery = 3;     // polls between changes of the module's values
constexpr long kRssGrowthLimitKb = 2048;

// AddressSanitizer keeps freed memory in quarantine, so resident memory grows
// without a leak; its leak checker reports real leaks at exit instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

std::string BitString(unsigned long value, int count) {
  std::string bits;
  for (int i = 0; i < count; ++i) bits += (value >> i) & 1UL ? '1' : '0';
  return bits;
}

using qm90test::ShowStopped;

class ViewSoak {
 public:
  ViewSoak(SimLink& link, const Options& options, std::mt19937& random, Figures& figures)
      : link_(link),
        options_(options),
        random_(random),
        figures_(figures),
        known_texts_(DriverTexts(link.Data().InterfaceKind)),
        ok_text_(link.OkText()) {
    din_ = ShowStopped<TForm11>(&link.Data());
    status_ = ShowStopped<TForm15>(&link.Data());
  }

  void Run(Clock::time_point deadline) {
    bool warmed_up = false;
    while (Before(deadline)) {
      FaultyPhase();
      LatePhase();
      Recovery();
      if (!warmed_up) figures_.rss_start_kb = ResidentKb();
      warmed_up = true;
    }
    figures_.rss_end_kb = ResidentKb();
    if (kResidentMemoryMeaningful && warmed_up &&
        figures_.rss_end_kb - figures_.rss_start_kb > kRssGrowthLimitKb)
      figures_.Fail("resident memory grew from " + std::to_string(figures_.rss_start_kb) +
                    " kB to " + std::to_string(figures_.rss_end_kb) + " kB");
  }

 private:
  void FaultyPhase() {
    SetFaults(kDropPercent, kCorruptPercent, 0);
    for (int i = 0; i < kFaultyPolls; ++i) PollOne();
  }

  // Over the pty the run by default waits for a late answer to arrive before
  // the next request goes out; --pty-late-back-to-back leaves the pause out,
  // so that the sequence byte alone must keep the late answer from passing
  // for the next request's.
  void LatePhase() {
    SetFaults(kDropPercent, kCorruptPercent, link_.LateDelayMs());
    const bool wait_for_late_answer =
        link_.Kind() == Transport::kPty && !options_.pty_late_back_to_back;
    for (int i = 0; i < kLatePolls; ++i) {
      PollOne();
      if (wait_for_late_answer)
        std::this_thread::sleep_for(
            std::chrono::milliseconds(link_.LateDelayMs() - link_.TimeoutMs() + kLateMarginMs));
    }
  }

  void Recovery() {
    SetFaults(0, 0, 0);
    ChangeModule();
    const bool inputs_good = PollInputs();
    const bool status_good = PollStatus();
    if (inputs_good && status_good) {
      ++figures_.recoveries;
    } else {
      figures_.Fail("the first polls after the faults stopped failed: " + StatusOf(*din_) + " / " +
                    StatusOf(*status_));
    }
  }

  void PollOne() {
    if (++count_ % kChangeEvery == 0) ChangeModule();
    if (count_ % 2 == 0) {
      PollInputs();
    } else {
      PollStatus();
    }
  }

  void SetFaults(int drop, int corrupt, int delay) {
    if (!link_.Sim().SetFaults(drop, corrupt, delay))
      figures_.Fail("the emulator refused: faults " + std::to_string(drop) + " " +
                    std::to_string(corrupt) + " " + std::to_string(delay));
  }

  // New terminal levels and a status bit set or cleared; always a change, so
  // an old answer shown as a new one is seen.
  void ChangeModule() {
    std::uniform_int_distribution<int> byte(0, 255);
    std::uint8_t inputs = static_cast<std::uint8_t>(byte(random_));
    if (inputs == last_inputs_) inputs ^= 0x01;
    last_inputs_ = inputs;
    link_.Sim().SetInputs(kModule, inputs);
    std::uniform_int_distribution<int> bit(0, 31);
    const std::uint32_t mask = 1u << bit(random_);
    const long status = link_.Sim().Get(kModule, "status");
    if (status >= 0 && (static_cast<std::uint32_t>(status) & mask) != 0) {
      link_.Sim().Control("status-clear " + std::to_string(kModule) + " " + std::to_string(mask));
    } else {
      link_.Sim().SetStatusBits(kModule, mask);
    }
  }

  bool PollInputs() {
    auto labels = [this] { return Labels(*din_, 8); };
    const long truth = link_.Sim().Get(kModule, "inputs");
    return Judge("inputs view", *din_, truth, 8, labels, [this] { din_->Timer1Timer(); });
  }

  bool PollStatus() {
    auto labels = [this] { return Labels(*status_, 32); };
    const long truth = link_.Sim().Get(kModule, "status");
    return Judge("status view", *status_, truth, 32, labels, [this] { status_->Timer1Timer(); });
  }

  // One poll: a good one must show the module's true value; a failed one must
  // show a driver text and leave the values as they were.
  template <typename Labels, typename Poll>
  bool Judge(const char* view, const TFormWindow& form, long truth, int bits, Labels labels,
             Poll poll) {
    if (truth < 0) {
      figures_.Fail(std::string(view) + ": the emulator did not report its value");
      return false;
    }
    const std::string before = labels();
    poll();
    ++figures_.polls;
    const std::string text = StatusOf(form);
    const std::string shown = labels();
    if (text == ok_text_) {
      ++figures_.good;
      const std::string expected = BitString(static_cast<unsigned long>(truth), bits);
      if (shown != expected)
        figures_.Fail(std::string(view) + ": a good poll showed " + shown +
                      " while the module held " + expected);
      return shown == expected;
    }
    ++figures_.texts[text];
    if (shown != before)
      figures_.Fail(std::string(view) + ": a failed poll (" + text + ") changed the values");
    if (std::find(known_texts_.begin(), known_texts_.end(), text) == known_texts_.end())
      figures_.Fail(std::string(view) + ": unexpected status text '" + text + "'");
    return false;
  }

  SimLink& link_;
  const Options& options_;
  std::mt19937& random_;
  Figures& figures_;
  std::vector<std::string> known_texts_;
  std::string ok_text_;
  std::unique_ptr<TForm11> din_;
  std::unique_ptr<TForm15> status_;
  long count_ = 0;
  std::uint8_t last_inputs_ = 0;
};

}  // namespace

void SoakViews(SimLink& link, Clock::duration length, const Options& options, std::mt19937& random,
               Figures& figures) {
  ViewSoak run(link, options, random, figures);
  run.Run(Clock::now() + length);
  figures.faults = link.CountFaults();
}

}  // namespace soak
