#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emulator/Bus.h"
#include "emulator/Module.h"

namespace qm90 {
namespace {

Request Make(std::uint8_t command, std::uint8_t subcode, std::vector<std::uint8_t> d = {},
             std::uint8_t address = 1) {
  Request request;
  request.address = address;
  request.command = command;
  request.subcode = subcode;
  for (std::size_t i = 0; i < d.size() && i < 5; ++i) request.d[i] = d[i];
  request.sequence = static_cast<std::uint8_t>(command ^ subcode ^ 0xC3);
  return request;
}

Answer Send(Module& module, const Request& request) {
  Answer answer;
  EXPECT_TRUE(module.Handle(request, answer));
  EXPECT_EQ(answer.address, module.ActiveAddress());
  EXPECT_EQ(answer.sequence, request.sequence) << "every answer, NAKs too, echoes the sequence";
  return answer;
}

Request WriteReg(std::uint8_t reg, std::uint8_t value) {
  return Make(103, 0, {0, reg, reg, value, value});
}
Request ReadReg(std::uint8_t reg, std::uint8_t echo = 0) {
  return Make(102, 0, {0, reg, reg, echo, echo});
}

TEST(Module, RefusesWhatItDoesNotKnowWithTheRightNak) {
  struct Case {
    const char* name;
    Request request;
    std::uint8_t status;
  };
  const std::vector<Case> cases = {
      {"unknown command", Make(55, 0), kAnswerUnknownCommand},
      {"inputs wrong sub-code", Make(0, 0), kAnswerUnknownCommand},
      {"outputs unknown sub-code", Make(1, 1, {0, 1}), kAnswerUnknownCommand},
      {"status sub-code", Make(100, 3), kAnswerUnknownCommand},
      {"identification sub-code 3", Make(200, 3), kAnswerUnknownCommand},
      {"read register 31", ReadReg(31), kAnswerUnknownRegister},
      {"read register 37", ReadReg(37), kAnswerUnknownRegister},
      {"read register 64", ReadReg(64), kAnswerUnknownRegister},
      {"write register 61", WriteReg(61, 1), kAnswerUnknownRegister},
      {"baud index 9", WriteReg(62, 9), kAnswerBadValue},
      {"baud index 255", WriteReg(62, 255), kAnswerBadValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Module module;
    const Answer answer = Send(module, c.request);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(module.SaveEeprom(), Module().SaveEeprom());  // nothing changed
  }
}

TEST(Module, AnotherAddressGetsNoAnswer) {
  Module module(5);
  Answer answer;
  EXPECT_FALSE(module.Handle(Make(100, 0, {}, 1), answer));
  EXPECT_TRUE(module.Handle(Make(100, 0, {}, 5), answer));
}

TEST(Module, IdentificationIsChainedAndCarriesTypeAndVersion) {
  Module module;
  std::string text;
  std::uint8_t d0 = 0;
  for (std::uint8_t sub = 0; sub < 3; ++sub) {
    const Answer answer = Send(module, Make(200, sub, {d0}));
    ASSERT_EQ(answer.status, kAnswerOk);
    EXPECT_EQ(answer.d[0], sub + 1);
    d0 = answer.d[0];
    text.append(answer.d + 1, answer.d + 5);
  }
  EXPECT_EQ(text, "QM-90   1.02");
}

// Negation works as "reported = terminals XOR register" for inputs and
// "terminals = commanded XOR register" for outputs, from the write on.
TEST(Module, NegationRegistersApplyToInputsAndOutputs) {
  struct Case {
    std::uint8_t negation;
    std::uint8_t terminals_or_command;
    std::uint8_t expected;
  };
  const std::vector<Case> cases = {
      {0x00, 0x5A, 0x5A}, {0xFF, 0x5A, 0xA5}, {0x0F, 0x00, 0x0F}, {0x81, 0xFF, 0x7E}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.negation});
    Module module;
    ASSERT_EQ(Send(module, WriteReg(33, c.negation)).status, kAnswerOk);
    ASSERT_EQ(Send(module, WriteReg(34, c.negation)).status, kAnswerOk);
    module.SetInputs(c.terminals_or_command);
    EXPECT_EQ(Send(module, Make(0, 64)).d[1], c.expected);
    ASSERT_EQ(Send(module, Make(1, 64, {0, c.terminals_or_command})).status, kAnswerOk);
    EXPECT_EQ(module.Outputs(), c.expected);
  }
}

TEST(Module, AnalogOutputAndStatusRegister) {
  Module module;
  ASSERT_EQ(Send(module, Make(1, 0, {0, 0x34, 0x12})).status, kAnswerOk);
  EXPECT_EQ(module.AnalogOutput(), 0x1234);

  module.SetStatusBits(kStatusErr24 | (1u << 31) | (1u << 9));
  Answer status = Send(module, Make(100, 0));
  EXPECT_EQ(status.d[1], kStatusPwr | kStatusErr24);
  EXPECT_EQ(status.d[2], 0x02);
  EXPECT_EQ(status.d[4], 0x80);
  ASSERT_EQ(Send(module, Make(101, 0)).status, kAnswerOk);
  status = Send(module, Make(100, 0));
  EXPECT_EQ(status.d[1] | status.d[2] | status.d[3] | status.d[4], 0);
}

TEST(Module, RegisterReadBackIgnoresTheEchoedValueBytes) {
  Module module;
  ASSERT_EQ(Send(module, WriteReg(35, 0x77)).status, kAnswerOk);
  for (std::uint8_t echo : {0x00, 0x77, 0xFF}) {
    EXPECT_EQ(Send(module, ReadReg(35, echo)).d[3], 0x77);
  }
  // Only d1 names the register and d3 the value of a write.
  ASSERT_EQ(Send(module, Make(103, 0, {0, 36, 99, 0x12, 0x34})).status, kAnswerOk);
  std::uint8_t value = 0;
  ASSERT_TRUE(module.Register(36, value));
  EXPECT_EQ(value, 0x12);
}

TEST(Module, AddressAndBaudChangeOnlyAtPowerUp) {
  Module module;
  ASSERT_EQ(Send(module, WriteReg(63, 9)).status, kAnswerOk);
  ASSERT_EQ(Send(module, WriteReg(62, 8)).status, kAnswerOk);
  // The read-back still reaches the module at its old address and speed.
  EXPECT_EQ(module.ActiveAddress(), 1);
  EXPECT_EQ(module.ActiveBaudIndex(), 4);
  EXPECT_EQ(Send(module, ReadReg(63)).d[3], 9);

  module.PowerUp();
  EXPECT_EQ(module.ActiveAddress(), 9);
  EXPECT_EQ(module.ActiveBaudIndex(), 8);
  Answer answer;
  EXPECT_FALSE(module.Handle(Make(100, 0, {}, 1), answer));
}

TEST(Module, PowerUpSetsOutputsAnalogAndStatusFromTheEeprom) {
  Module module;
  for (auto [reg, value] : {std::pair{32, 0x3C}, {34, 0x00}, {35, 0xCD}, {36, 0xAB}}) {
    ASSERT_EQ(Send(module, WriteReg(reg, value)).status, kAnswerOk);
  }
  ASSERT_EQ(Send(module, Make(1, 64, {0, 0xFF})).status, kAnswerOk);
  module.ClearStatusBits(0xFFFFFFFF);
  module.SetStatusBits(kStatusErr24);
  module.PowerUp();
  EXPECT_EQ(module.Outputs(), 0x3C);
  EXPECT_EQ(module.AnalogOutput(), 0xABCD);
  EXPECT_EQ(module.Status(), kStatusPwr);
}

TEST(Module, EepromTextRoundTripsAndRejectsMalformedText) {
  Module source;
  Send(source, WriteReg(33, 0x12));
  Send(source, WriteReg(62, 7));
  Send(source, WriteReg(63, 200));
  Module copy;
  ASSERT_TRUE(copy.LoadEeprom(source.SaveEeprom()));
  EXPECT_EQ(copy.SaveEeprom(), source.SaveEeprom());

  const std::string factory = Module().SaveEeprom();
  for (const char* bad : {"", "   ", "32=", "32=256", "31=0", "62=9", "32=1x", "x", "32=1 33",
                          "32=1000", "=5", "63=-1"}) {
    SCOPED_TRACE(bad);
    Module module;
    EXPECT_FALSE(module.LoadEeprom(bad));
    EXPECT_EQ(module.SaveEeprom(), factory);
  }
}

TEST(Bus, OnlyTheModuleAtTheAddressAndLineSpeedAnswers) {
  Bus bus;
  ASSERT_TRUE(bus.AddModule(1));
  ASSERT_TRUE(bus.AddModule(2));
  EXPECT_FALSE(bus.AddModule(2));
  struct Case {
    std::uint8_t address;
    std::uint8_t baud;
    bool answers;
  };
  for (const Case& c : {Case{1, 4, true}, Case{2, 4, true}, Case{3, 4, false}, Case{1, 5, false},
                        Case{2, 0, false}}) {
    SCOPED_TRACE(std::to_string(c.address) + "@" + std::to_string(c.baud));
    Answer answer;
    EXPECT_EQ(bus.Handle(Make(100, 0, {}, c.address), c.baud, answer), c.answers);
    if (c.answers) {
      EXPECT_EQ(answer.address, c.address);
    }
  }
}

TEST(Bus, StateTextRestoresEveryModuleAndKeepsUnknownOnes) {
  Bus first;
  first.AddModule(1);
  first.AddModule(2);
  Answer answer;
  first.Handle(WriteReg(63, 30), 4, answer);
  ASSERT_EQ(answer.status, kAnswerOk);

  Bus only_two;  // a later run serving fewer modules must not lose module 1
  only_two.AddModule(2);
  std::string error;
  ASSERT_TRUE(only_two.LoadState(first.SaveState() + "\n", error)) << error;
  EXPECT_EQ(only_two.SaveState(), first.SaveState());

  Bus partial;  // a hand-edited line naming some registers keeps that module's own address
  partial.AddModule(1);
  ASSERT_TRUE(partial.LoadState("9: 32=5\n", error)) << error;
  EXPECT_NE(partial.SaveState().find("9: 32=5 "), std::string::npos);
  EXPECT_NE(partial.SaveState().find("62=4 63=9\n"), std::string::npos);

  Bus restored;
  restored.AddModule(1);
  ASSERT_TRUE(restored.LoadState(first.SaveState(), error));
  EXPECT_NE(restored.FindActive(30), nullptr);  // loading is a power-up

  for (const char* bad : {"1 32=0", "1: 32=999", "abc: 32=0", "1000: 32=0", ": 32=0"}) {
    SCOPED_TRACE(bad);
    Bus bus;
    bus.AddModule(1);
    const std::string before = bus.SaveState();
    EXPECT_FALSE(bus.LoadState(bad, error));
    EXPECT_EQ(bus.SaveState(), before);
  }
}

TEST(StateFile, AtomicWriteReplacesAndReadReportsMissing) {
  const std::string dir = testing::TempDir() + "qm90-state-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/eeprom.txt";
  std::string text;
  std::string error;
  bool missing = false;
  EXPECT_FALSE(ReadTextFile(path, text, missing, error));
  EXPECT_TRUE(missing);

  ASSERT_TRUE(WriteFileAtomically(path, "one\n", error)) << error;
  ASSERT_TRUE(WriteFileAtomically(path, "two\n", error)) << error;
  ASSERT_TRUE(ReadTextFile(path, text, missing, error));
  EXPECT_EQ(text, "two\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temp left

  EXPECT_FALSE(WriteFileAtomically(dir + "/no/such/folder/x", "x", error));
  std::filesystem::remove_all(dir);
}

#ifndef _WIN32  // FIFOs, alarm() and symbolic links are POSIX's
// --state naming a FIFO or a folder: refused at once, never opened so that
// the simulator could block on it.
TEST(StateFile, WhatIsNotARegularFileIsRefusedWithoutBlocking) {
  const std::string dir = testing::TempDir() + "qm90-state-odd-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir + "/folder");
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  for (const char* name : {"fifo", "folder"}) {
    SCOPED_TRACE(name);
    std::string text = "before", error;
    bool missing = true;
    ::alarm(60);  // a blocking open would hang here; end the run instead
    EXPECT_FALSE(ReadTextFile(dir + "/" + name, text, missing, error));
    ::alarm(0);
    EXPECT_FALSE(missing);
    EXPECT_EQ(error, "not a regular file");
    EXPECT_EQ(text, "before");
  }
  std::filesystem::remove_all(dir);
}

// Links planted where a writer might put its temporary file are never
// written through.
TEST(StateFile, PlantedLinksAtTemporaryNamesAreNeverFollowed) {
  const std::string dir = testing::TempDir() + "qm90-state-link-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/state.txt";
  std::ofstream(dir + "/victim") << "keep";
  for (const std::string& suffix : {std::string(".tmp"), ".tmp" + std::to_string(::getpid())})
    std::filesystem::create_symlink(dir + "/victim", path + suffix);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, "new\n", error)) << error;
  std::ifstream victim(dir + "/victim");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
  std::filesystem::remove_all(dir);
}

#endif

TEST(FaultInjector, SameSeedSameDecisionsAndCorruptionAlwaysChangesOneByte) {
  FaultInjector a(7);
  FaultInjector b(7);
  a.Set(30, 50, 0);
  b.Set(30, 50, 0);
  int drops = 0;
  for (int i = 0; i < 1000; ++i) {
    const bool drop = a.ShouldDrop();
    ASSERT_EQ(drop, b.ShouldDrop());
    drops += drop;
    std::vector<std::uint8_t> x(10, 0x11);
    std::vector<std::uint8_t> y(10, 0x11);
    a.Corrupt(x, 3);
    b.Corrupt(y, 3);
    ASSERT_EQ(x, y);
    int changed = 0;
    for (std::size_t k = 0; k < x.size(); ++k) changed += x[k] != 0x11;
    ASSERT_EQ(changed, 1);
    ASSERT_EQ(x[0] & x[1] & x[2], 0x11);  // bytes before `first` untouched
  }
  EXPECT_GT(drops, 200);
  EXPECT_LT(drops, 400);

  FaultInjector extremes;
  extremes.Set(100, -5, 999999);
  EXPECT_TRUE(extremes.ShouldDrop());
  EXPECT_FALSE(extremes.ShouldCorrupt());
  EXPECT_EQ(extremes.DelayMs(), 60000);
}

}  // namespace
}  // namespace qm90

namespace qm90 {

// What the module reads and shows at its terminals: wiring, negation and
// stuck channels together.
TEST(ModuleTerminals, LoopbackNegationAndStuckChannels) {
  using Stuck = Module::Stuck;
  struct Case {
    const char* name;
    bool loopback;
    std::uint8_t din_negation, dout_negation, commanded, driven;
    int stuck_din, stuck_dout;  // channel 2 stuck at 1 / channel 5 stuck at 0, or -1
    std::uint8_t output_terminals, reported_inputs;
  };
  const Case cases[] = {
      {"open, factory negation", false, 0xFF, 0xFF, 0x0F, 0x01, -1, -1, 0xF0, 0xFE},
      {"loopback, factory negation", true, 0xFF, 0xFF, 0x0F, 0x00, -1, -1, 0xF0, 0x0F},
      {"loopback, no negation", true, 0x00, 0x00, 0x81, 0x00, -1, -1, 0x81, 0x81},
      {"loopback, output negation only", true, 0x00, 0xFF, 0x81, 0x00, -1, -1, 0x7E, 0x7E},
      {"loopback ignores what drives the inputs", true, 0x00, 0x00, 0x00, 0xFF, -1, -1, 0, 0},
      {"stuck input", false, 0x00, 0x00, 0x00, 0x00, 2, -1, 0x00, 0x04},
      {"stuck output seen through loopback", true, 0x00, 0x00, 0xFF, 0x00, -1, 5, 0xDF, 0xDF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Module module;
    Answer answer;
    ASSERT_TRUE(module.Handle(WriteReg(33, c.din_negation), answer));
    ASSERT_TRUE(module.Handle(WriteReg(34, c.dout_negation), answer));
    ASSERT_TRUE(module.Handle(Make(1, 64, {0, c.commanded}), answer));
    module.SetInputs(c.driven);
    module.SetLoopback(c.loopback);
    if (c.stuck_din >= 0) module.SetStuckInput(c.stuck_din, Stuck::kHigh);
    if (c.stuck_dout >= 0) module.SetStuckOutput(c.stuck_dout, Stuck::kLow);
    EXPECT_EQ(module.Outputs(), c.output_terminals);
    ASSERT_TRUE(module.Handle(Make(0, 64), answer));
    EXPECT_EQ(answer.d[1], c.reported_inputs);
  }
  Module cleared;
  cleared.SetStuckInput(3, Stuck::kLow);
  cleared.SetStuckInput(3, Stuck::kNone);
  cleared.SetStuckInput(8, Stuck::kHigh);  // no such channel: ignored
  EXPECT_EQ(cleared.StuckInputs(Stuck::kLow) | cleared.StuckInputs(Stuck::kHigh), 0);
}

}  // namespace qm90
