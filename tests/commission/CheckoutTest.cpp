#include <gtest/gtest.h>

#include <set>

#include "commission/Checkout.h"
#include "tests/commission/Fakes.h"

namespace {

using namespace qm90commission;
using qm90test::FakeModule;
using qm90test::Measured;
using qm90test::ScriptedTechnician;
using Kind = Reply::Kind;

CheckoutOptions Loopback() {
  CheckoutOptions options;
  options.loopback = true;
  options.test_aout = false;
  return options;
}

std::set<std::string> FailedPoints(const CheckoutRecord& record) {
  std::set<std::string> failed;
  for (const TestPoint& p : record.points)
    if (p.verdict == Verdict::kFail) failed.insert(p.commanded);
  return failed;
}

struct LoopbackCase {
  const char* name;
  std::uint8_t din_negation, dout_negation, power_up_outputs;
  int stuck_channel, stuck_level;
  std::set<std::string> failed;
  int exit_status;
};

TEST(Checkout, LoopbackJudgesEachOutputOnItsInputAndRestoresThePowerUpState) {
  const LoopbackCase cases[] = {
      {"straight", 0, 0, 0x00, -1, 0, {}, 0},
      {"negations on both sides", 0x0F, 0xF0, 0x81, -1, 0, {}, 0},
      {"input stuck at 0", 0, 0, 0, 3, 0, {"DOUT3=1 (outputs 0x08)"}, 1},
      {"input stuck at 1", 0, 0, 0, 5, 1, {"DOUT5=0 (outputs 0x00)"}, 1},
      {"terminal stuck at 1, input negated", 0x20, 0, 0, 5, 1, {"DOUT5=0 (outputs 0x00)"}, 1},
      {"terminal stuck at 1, output negated", 0, 0x20, 0, 5, 1, {"DOUT5=1 (outputs 0x20)"}, 1},
  };
  for (const LoopbackCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeModule module;
    module.registers[33] = c.din_negation;
    module.registers[34] = c.dout_negation;
    module.registers[32] = c.power_up_outputs;
    module.registers[35] = 0x34;
    module.registers[36] = 0x12;
    if (c.stuck_channel >= 0) module.stuck_din[c.stuck_channel] = c.stuck_level;
    ScriptedTechnician tech;
    CheckoutRecord record;
    RunCheckout(module, tech, Loopback(), record);
    EXPECT_EQ(record.ending, Ending::kCompleted);
    EXPECT_EQ(record.points.size(), 17u);  // 8 outputs on and off, the status
    EXPECT_EQ(FailedPoints(record), c.failed);
    EXPECT_EQ(CheckoutExitStatus(record), c.exit_status);
    EXPECT_TRUE(record.restored);
    EXPECT_EQ(module.outputs, c.power_up_outputs);
    EXPECT_EQ(module.aout, 0x1234);
    EXPECT_EQ(tech.questions, 0);
  }
}

TEST(Checkout, LoopbackFollowsTheWiringFile) {
  FakeModule module;
  module.stuck_din[2] = 0;
  CheckoutOptions options = Loopback();
  ASSERT_EQ(ParseLoopbackMap("DOUT0 DIN2\nDOUT2 -\n", options.map), "");
  ScriptedTechnician tech;
  CheckoutRecord record;
  RunCheckout(module, tech, options, record);
  // DOUT0 is judged on DIN2 (stuck), DOUT2 is not wired, DIN0 is wired to nothing.
  EXPECT_EQ(FailedPoints(record), std::set<std::string>{"DOUT0=1 (outputs 0x01)"});
  EXPECT_EQ(record.points[4].channel, "DOUT2");
  EXPECT_EQ(record.points[4].verdict, Verdict::kSkip);
}

struct EndingCase {
  const char* name;
  int fail_write_number;
  int fail_read_register;
  int lose_at_write;
  int interrupt_after_sleeps;
  Ending ending;
  bool restored;
  int exit_status;
};

TEST(Checkout, WhateverEndsTheRunThePowerUpStateIsWrittenBackAndReported) {
  const EndingCase cases[] = {
      {"write error in the middle", 6, -1, -1, -1, Ending::kWriteError, true, 1},
      {"Ctrl-C in the middle", -1, -1, -1, 5, Ending::kInterrupted, true, 130},
      {"link lost", -1, -1, 4, -1, Ending::kLinkLost, false, 1},
      {"configuration unreadable", -1, 34, -1, -1, Ending::kReadError, true, 1},
  };
  for (const EndingCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeModule module;
    module.registers[32] = 0x42;
    module.fail_write_number = c.fail_write_number;
    module.fail_read_register = c.fail_read_register;
    module.lose_at_write = c.lose_at_write;
    ScriptedTechnician tech;
    tech.interrupt_after_sleeps = c.interrupt_after_sleeps;
    CheckoutRecord record;
    RunCheckout(module, tech, Loopback(), record);
    EXPECT_EQ(record.ending, c.ending);
    EXPECT_EQ(record.restored, c.restored);
    EXPECT_EQ(CheckoutExitStatus(record), c.exit_status);
    EXPECT_FALSE(record.restore_text.empty());
    if (c.restored && c.fail_read_register < 0) {
      EXPECT_EQ(module.outputs, 0x42);
    }
    if (c.fail_read_register >= 0) {
      EXPECT_EQ(module.writes, 0);  // nothing moved
    }
  }
}

// A USB serial adapter pulled in the middle of DOUT2's on point: the run
// waits, redoes that point once the link is back, and notes the break; when
// the link never comes back Ctrl-C ends the wait and nothing is restored.
TEST(Checkout, AnAdapterPulledMidRunIsWaitedForAndThePointUnderWayRedone) {
  struct Case {
    const char* name;
    bool comes_back;
    Ending ending;
    bool restored;
    int exit_status;
    std::size_t breaks;
  };
  const Case cases[] = {
      {"comes back", true, Ending::kCompleted, true, 0, 1},
      {"never comes back, Ctrl-C", false, Ending::kInterrupted, false, 130, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeModule module;
    module.registers[32] = 0x42;
    module.unplug_at_write = 6;  // outputs 0, DOUT0 on, off, DOUT1 on, off, DOUT2 on
    module.comes_back = c.comes_back;
    ScriptedTechnician tech;
    module.on_wait = [&tech] { tech.interrupted = true; };
    if (c.comes_back) module.on_wait = nullptr;
    CheckoutRecord record;
    RunCheckout(module, tech, Loopback(), record);
    EXPECT_EQ(record.ending, c.ending);
    EXPECT_EQ(record.restored, c.restored);
    EXPECT_EQ(CheckoutExitStatus(record), c.exit_status);
    ASSERT_EQ(record.link_breaks.size(), c.breaks);
    if (c.comes_back) {
      EXPECT_EQ(Summarize(record).passed, 17);
      EXPECT_EQ(record.points[4].commanded, "DOUT2=1 (outputs 0x04)");
      EXPECT_NE(record.points[4].comment.find("redone"), std::string::npos);
      EXPECT_NE(record.link_breaks[0].find("writing the outputs 0x04"), std::string::npos);
      EXPECT_EQ(module.outputs, 0x42);
    } else {
      EXPECT_EQ(record.points.size(), 4u);  // nothing judged on the lost link
      EXPECT_NE(record.restore_text.find("the link is gone"), std::string::npos)
          << record.restore_text;
    }
  }
}

TEST(Checkout, ManualRunTakesTheTechniciansRepliesRetriesAndMeasuredValues) {
  FakeModule module;
  module.wired = false;
  ScriptedTechnician tech;
  // Outputs: the first point retried once then passed, DOUT1 on failed with
  // a comment, the rest passed.
  tech.replies.push_back(qm90test::Say(Kind::kRetry));
  tech.replies.push_back(qm90test::Say(Kind::kPass));
  tech.replies.push_back(qm90test::Say(Kind::kPass));
  tech.replies.push_back(qm90test::Say(Kind::kFail, "lamp dark"));
  for (int i = 0; i < 13; ++i) tech.replies.push_back(qm90test::Say(Kind::kPass));
  // Inputs: DIN0..DIN6 change after 200 ms of watching; DIN7 never: skipped.
  tech.on_clock = [&module](std::int64_t ms) {
    if (ms % 1000 == 200) module.terminals ^= static_cast<std::uint8_t>(0x7F);
  };
  tech.replies.push_back(qm90test::Say(Kind::kSkip));
  // Analog: within, outside the tolerance, confirmed without a value.
  tech.replies.push_back(Measured(0.5));
  tech.replies.push_back(Measured(31000));
  tech.replies.push_back(qm90test::Say(Kind::kPass));
  CheckoutOptions options;
  options.input_timeout_ms = 2000;
  CheckoutRecord record;
  RunCheckout(module, tech, options, record);
  ASSERT_EQ(record.ending, Ending::kCompleted) << record.ending_text;
  ASSERT_EQ(record.points.size(), 16u + 8u + 3u + 1u);
  EXPECT_EQ(record.points[0].retries, 1);
  EXPECT_EQ(record.points[2].verdict, Verdict::kFail);
  EXPECT_EQ(record.points[2].comment, "lamp dark");
  for (int k = 0; k < 7; ++k) EXPECT_EQ(record.points[16 + k].verdict, Verdict::kPass) << k;
  EXPECT_EQ(record.points[23].verdict, Verdict::kSkip);
  EXPECT_EQ(record.points[24].verdict, Verdict::kPass);
  EXPECT_EQ(record.points[25].verdict, Verdict::kFail);  // 32768 expected, 31000 measured
  EXPECT_EQ(record.points[26].observed, "confirmed");
  EXPECT_EQ(CheckoutExitStatus(record), 1);
}

TEST(Checkout, AnAnswerThatCannotBeReadAbortsWithTheStateRestored) {
  FakeModule module;
  module.wired = false;
  module.registers[32] = 0x03;
  ScriptedTechnician tech;  // no replies: end of input
  CheckoutRecord record;
  RunCheckout(module, tech, CheckoutOptions{}, record);
  EXPECT_EQ(record.ending, Ending::kAborted);
  EXPECT_TRUE(record.restored);
  EXPECT_EQ(module.outputs, 0x03);
  EXPECT_EQ(CheckoutExitStatus(record), 1);
}

TEST(Checkout, StatusRegisterNeedsPowerAndNoSupplyError) {
  const struct {
    std::uint32_t status;
    Verdict verdict;
    const char* comment;
  } cases[] = {{1u << 4, Verdict::kPass, ""},
               {0, Verdict::kFail, "PWR not set"},
               {(1u << 4) | (1u << 6), Verdict::kFail, "ERR24 set"},
               {1u << 6, Verdict::kFail, "PWR not set and ERR24 set"}};
  for (const auto& c : cases) {
    FakeModule module;
    module.status = c.status;
    ScriptedTechnician tech;
    CheckoutRecord record;
    RunCheckout(module, tech, Loopback(), record);
    ASSERT_FALSE(record.points.empty());
    EXPECT_EQ(record.points.back().verdict, c.verdict) << c.status;
    EXPECT_EQ(record.points.back().comment, c.comment);
  }
}

TEST(Checkout, WiringFileErrorsNameTheLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"# none\n", ""},
      {"DOUT1 DIN0\nDOUT9 DIN1\n", "line 2: expected \"DOUTk DINj\" or \"DOUTk -\" (k, j 0..7)"},
      {"DOUT1 DIN0\nDOUT1 DIN2\n", "line 2: DOUT1 is listed twice"},
      {"DOUT1 DIN0\nDOUT2 DIN0\n", "line 2: DIN0 is already wired on line 1"},
      {"DOUT1 DIX\n", "line 1: \"DIX\" is not DIN0..DIN7 or -"},
  };
  for (const auto& c : cases) {
    LoopbackMap map = StraightLoopback();
    EXPECT_EQ(ParseLoopbackMap(c.text, map), c.error) << c.text;
  }
  LoopbackMap map;
  ASSERT_EQ(ParseLoopbackMap("DOUT1 DIN0\n", map), "");
  EXPECT_EQ(map[1], 0);
  EXPECT_EQ(map[0], -1);  // DIN0 went to DOUT1
}

}  // namespace
