#include "commission/LineSearch.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace qm90commission {
namespace {

enum class Answer { kModule, kTwice, kGarbled, kGarbledOnce, kPartOnce, kLate, kLateGarbles };

// A line of fake modules with a simulated clock: a silent try costs the
// model's time at the rate; an answer that comes late makes the next try
// wait for the rest of an answer, and is seen only with the full allowance.
class FakeLine : public TLineProbe {
 public:
  std::map<std::pair<int, std::int32_t>, Answer> modules;
  std::vector<std::pair<std::int32_t, std::int32_t>> rates_set;
  std::int32_t fail_rate = 0;
  int lose_after = -1;
  double now = 0;
  int asked = 0;

  std::int32_t SetRate(std::int32_t baud, std::int32_t allowance) override {
    if (baud == fail_rate) return 21;
    rates_set.emplace_back(baud, allowance);
    baud_ = baud;
    allowance_ = allowance;
    return 0;
  }
  std::uint8_t Identify(std::uint8_t address, std::string& name, bool& heard) override {
    ++asked;
    twice_ = false;
    // Bytes heard keep the driver waiting for the rest of an answer.
    now += SilentCost(baud_) + (late_pending_ ? 100.0 / baud_ + 0.001 : 0.0);
    late_pending_ = false;
    if (std::exchange(garble_next_, false)) return 4;
    if (lose_after >= 0 && asked > lose_after) {
      lost_ = true;
      return 120;
    }
    const auto it = modules.find({address, baud_});
    if (it == modules.end()) return kSilenceStatus;
    switch (it->second) {
      case Answer::kTwice:
        twice_ = true;
        [[fallthrough]];
      case Answer::kModule:
        name = "QM-90 " + std::to_string(address);
        return 0;
      case Answer::kPartOnce:
        it->second = Answer::kModule;
        heard = true;
        return kSilenceStatus;
      case Answer::kGarbledOnce:
        it->second = Answer::kModule;
        return 4;
      case Answer::kGarbled:
        return 4;
      case Answer::kLateGarbles:
        if (allowance_ > kSearchAllowanceMs) {
          name = "slow";
          return 0;
        }
        garble_next_ = true;
        return kSilenceStatus;
      case Answer::kLate:
        if (allowance_ > kSearchAllowanceMs) {
          name = "slow";
          return 0;
        }
        late_pending_ = true;
        return kSilenceStatus;
    }
    return kSilenceStatus;
  }
  bool Lost() const override { return lost_; }
  bool AnsweredTwice() const override { return twice_; }

  static double SilentCost(std::int32_t baud) { return 130.0 / baud + 0.004; }

 private:
  std::int32_t baud_ = 0, allowance_ = 0;
  bool late_pending_ = false;
  bool garble_next_ = false;
  bool lost_ = false;
  bool twice_ = false;
};

std::vector<std::uint8_t> Range(int first, int last) {
  std::vector<std::uint8_t> out;
  for (int a = first; a <= last; ++a) out.push_back(static_cast<std::uint8_t>(a));
  return out;
}

TSearchOptions Options(FakeLine& line) {
  TSearchOptions options;
  options.clock = [&line] { return line.now; };
  options.full_allowance = [](std::int32_t) { return 13; };
  options.cost = FakeLine::SilentCost;
  return options;
}

TEST(FindOrder, LikelySettingsFirstThenEverySettingOnce) {
  const std::vector<std::int32_t> rates = {9600, 19200, 600};
  const TFindHints hints{{7, 19200}, rates, Range(0, 255)};
  const std::vector<TLineSetting> order = FindOrder(hints);
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order[0], (TLineSetting{1, 9600}));
  EXPECT_EQ(order[1], (TLineSetting{7, 19200}));
  EXPECT_EQ(order[2], (TLineSetting{7, 9600}));
  EXPECT_EQ(order[3], (TLineSetting{0, 9600}));
  std::set<std::pair<int, int>> unique;
  for (const TLineSetting& s : order) unique.insert({s.address, s.baud});
  EXPECT_EQ(unique.size(), order.size()) << "a setting tried twice";
  EXPECT_EQ(order.size(), 256u * rates.size());
}

struct SearchCase {
  const char* name;
  std::map<std::pair<int, std::int32_t>, Answer> modules;
  bool stop_at_first;
  std::vector<std::pair<int, std::int32_t>> found;
  std::vector<int> shared;
  std::size_t tries;
};

TEST(RunSearch, FindsReportsSharedAddressesAndLateAnswers) {
  const SearchCase cases[] = {
      {"two modules",
       {{{3, 9600}, Answer::kModule}, {{9, 19200}, Answer::kModule}},
       false,
       {{3, 9600}, {9, 19200}},
       {},
       40},
      {"first only",
       {{{3, 9600}, Answer::kModule}, {{9, 19200}, Answer::kModule}},
       true,
       {{3, 9600}},
       {},
       4},
      {"collision", {{{5, 9600}, Answer::kGarbled}}, false, {}, {5}, 40},
      {"two answers", {{{5, 9600}, Answer::kTwice}}, false, {{5, 9600}}, {5}, 40},
      {"answered in part", {{{7, 19200}, Answer::kPartOnce}}, false, {{7, 19200}}, {}, 40},
      {"noise once", {{{5, 9600}, Answer::kGarbledOnce}}, false, {{5, 9600}}, {}, 40},
      {"late answer", {{{12, 9600}, Answer::kLate}}, false, {{12, 9600}}, {}, 40},
      {"late answer garbles the next try",
       {{{4, 9600}, Answer::kLateGarbles}},
       false,
       {{4, 9600}},
       {},
       40},
      {"late at the first try", {{{0, 19200}, Answer::kLate}}, false, {{0, 19200}}, {}, 40},
  };
  const std::vector<std::int32_t> rates = {9600, 19200};
  const std::vector<std::uint8_t> addresses = Range(0, 19);
  const std::vector<TLineSetting> order = ScanOrder(addresses, rates);
  for (const SearchCase& c : cases) {
    FakeLine line;
    line.modules = c.modules;
    TSearchOptions options = Options(line);
    options.stop_at_first = c.stop_at_first;
    std::vector<std::pair<int, std::int32_t>> found_events;
    TSearchEvents events;
    events.found = [&](const TFoundModule& m) { found_events.emplace_back(m.address, m.baud); };
    const TSearchResult result = RunSearch(line, order, options, events);
    std::vector<std::pair<int, std::int32_t>> found;
    for (const TFoundModule& m : result.modules) found.emplace_back(m.address, m.baud);
    std::vector<int> shared;
    for (const TSharedAddress& s : result.shared) shared.push_back(s.address);
    EXPECT_EQ(found, c.found) << c.name;
    EXPECT_EQ(found_events, c.found) << c.name << ": each told as it was found";
    EXPECT_EQ(shared, c.shared) << c.name;
    EXPECT_EQ(result.tries, c.tries) << c.name;
    // Silent addresses are tried with the short allowance.
    ASSERT_FALSE(line.rates_set.empty());
    EXPECT_EQ(line.rates_set.front(), (std::pair<std::int32_t, std::int32_t>{9600, 1})) << c.name;
  }
}

// find hops between rates among its likely settings: an answer late at one
// rate shows at the next and is asked for again at its own.
TEST(RunSearch, LateAnswerSeenAtTheNextRate) {
  FakeLine line;
  line.modules = {{{1, 9600}, Answer::kLate}};
  const std::vector<TLineSetting> order = {{1, 9600}, {0, 19200}, {1, 19200}};
  const TSearchResult result = RunSearch(line, order, Options(line), {});
  ASSERT_EQ(result.modules.size(), 1u);
  EXPECT_EQ(result.modules[0].baud, 9600);
}

TEST(RunSearch, StopsWhenTheLinkIsLostInterruptedOrARateFails) {
  const std::vector<std::int32_t> rates = {9600, 19200};
  const std::vector<TLineSetting> order = ScanOrder(Range(0, 9), rates);
  {
    FakeLine line;
    line.lose_after = 3;
    const TSearchResult result = RunSearch(line, order, Options(line), {});
    EXPECT_TRUE(result.lost);
    EXPECT_EQ(result.status, 120);
    EXPECT_EQ(result.tries, 4u);
  }
  {
    FakeLine line;
    TSearchOptions options = Options(line);
    options.interrupted = [&line] { return line.asked >= 5; };
    const TSearchResult result = RunSearch(line, order, options, {});
    EXPECT_TRUE(result.interrupted);
    EXPECT_EQ(result.tries, 5u);
  }
  {
    FakeLine line;
    line.fail_rate = 19200;
    const TSearchResult result = RunSearch(line, order, Options(line), {});
    EXPECT_EQ(result.rate_failed, 21);
    EXPECT_EQ(result.failed_baud, 19200);
    EXPECT_EQ(result.tries, 10u);
  }
}

// The estimate, taken once a tenth of a scan is done, is within 20 % of the
// time the rest took, although the slow rates come last.
TEST(RunSearch, TimeLeftWithinAFifthOfTheRealOnceATenthIsDone) {
  const std::vector<std::int32_t> rates = {9600, 19200, 115200, 57600, 38400,
                                           4800, 2400,  1200,   600};
  const std::vector<TLineSetting> order = ScanOrder(Range(0, 255), rates);
  FakeLine line;
  TSearchOptions options = Options(line);
  // The model knows the proportions, not the machine's overhead.
  options.cost = [](std::int32_t baud) { return 130.0 / baud + 0.0035; };
  double estimate_at_tenth = -1, time_at_tenth = 0;
  TSearchEvents events;
  events.progress = [&](const TSearchProgress& p) {
    if (estimate_at_tenth < 0 && p.done * 10 >= p.total) {
      estimate_at_tenth = p.seconds_left;
      time_at_tenth = line.now;
    }
  };
  RunSearch(line, order, options, events);
  const double actual = line.now - time_at_tenth;
  EXPECT_NEAR(estimate_at_tenth, actual, actual * 0.2);
}

}  // namespace
}  // namespace qm90commission
