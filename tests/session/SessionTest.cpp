// The session layer as the command-line tool sees it: what OpenLink reports,
// the bytes of each typed request, and how a transfer counts its stops. The
// window tests already prove the texts and sequences the windows show.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "link/Session.h"
#include "tests/scripted/ScriptedDriver.h"

namespace {

using scripted::Script;
constexpr std::uint8_t kKind = kKindUsb;
constexpr std::int32_t kHandle = 4711;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data_);
    data_.InterfaceKind = kKind;
    Script().responder = scripted::ModuleResponder();
  }
  void TearDown() override {
    CloseLink(data_);
    if (DrvLibraryLoaded()) {
      std::int32_t handle = kHandle;
      DrvClose(kKind, &handle);
    }
    SetDriverDirectory("");
  }
  TOpenResult Open() { return OpenLink(data_, TLinkRequest{kKind, 1, 4, 1}); }

  TData data_;
};

// The text of a failure is asked of the library before it is closed again:
// afterwards no library could name its code.
TEST_F(SessionTest, OpenLinkNamesTheStepThatFailedItsCodeAndText) {
  struct Row {
    const char* what;
    std::function<void()> script;
    TOpenStep failed;
    std::int32_t code;
    const char* text;
    bool library_left_bound;
  } rows[] = {
      {"Init fails", [] { Script().init_result = 5; }, TOpenStep::kOpen, 5, "kod 5", true},
      {"SetConfig fails", [] { Script().set_config_result = 6; }, TOpenStep::kSetConfig, 6, "kod 6",
       false},
      {"module silent", [] { Script().answers.push_back(scripted::Fail(7)); }, TOpenStep::kIdentify,
       7, "kod 7", false},
      {"module answers", [] {}, TOpenStep::kNone, 0, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CloseLink(data_);
    Script().init_result = Script().set_config_result = 0;
    row.script();
    const TOpenResult result = Open();
    EXPECT_EQ(result.failed, row.failed);
    EXPECT_EQ(result.code, row.code);
    EXPECT_EQ(result.text, row.text);
    EXPECT_EQ(DrvLibraryLoaded(), row.library_left_bound);
    EXPECT_EQ(LinkIsOpen(&data_), result.ok());
    if (result.ok()) {
      EXPECT_EQ(result.name, "QM-90-01 v.1.02");
      EXPECT_EQ(data_.ModuleName, result.name);
      EXPECT_EQ(data_.LinkHandle, kHandle);
    }
  }
}

TEST_F(SessionTest, TypedRequestsCarryTheirBytes) {
  ASSERT_TRUE(Open().ok());
  const TModuleLink link = LinkOf(data_);
  std::uint8_t byte = 0;
  std::array<std::uint8_t, 4> status{};
  struct Row {
    const char* what;
    std::function<std::uint8_t()> call;
    scripted::Request sent;
  } rows[] = {
      {"inputs", [&] { return ReadInputs(link, byte); }, {1, 0, 64, 0, 0, 0, 0, 0}},
      {"outputs", [&] { return WriteOutputs(link, 0xA5); }, {1, 1, 64, 0, 0xA5, 0, 0, 0}},
      {"analog", [&] { return WriteAnalogOutput(link, 0x1234); }, {1, 1, 0, 0, 0x34, 0x12, 0, 0}},
      {"status", [&] { return ReadStatusRegister(link, status); }, {1, 100, 0, 0, 0, 0, 0, 0}},
      {"clear", [&] { return ClearStatusRegister(link); }, {1, 101, 0, 0, 0, 0, 0, 0}},
      {"read", [&] { return ReadRegister(link, 63, byte); }, {1, 102, 0, 0, 63, 63, 0, 0}},
      {"echo", [&] { return ReadRegister(link, 35, byte, 9); }, {1, 102, 0, 0, 35, 35, 9, 9}},
      {"write", [&] { return WriteRegister(link, 62, 7); }, {1, 103, 0, 0, 62, 62, 7, 7}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Script().calls.clear();
    EXPECT_EQ(row.call(), 0);
    const auto sent = scripted::SentRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::memcmp(&sent[0], &row.sent, sizeof row.sent), 0);
  }
}

TEST_F(SessionTest, NoHandleSendsNothingAndIsNoSuccess) {
  ASSERT_TRUE(Open().ok());
  Script().calls.clear();
  std::uint8_t inputs = 0x5A;
  EXPECT_EQ(ReadInputs(TModuleLink{kKind, 0, 1}, inputs), kStatusUnknownCode);
  EXPECT_EQ(inputs, 0x5A);
  std::string name = "old";
  EXPECT_NE(Identify(TModuleLink{kKind, 0, 1}, name), 0);
  EXPECT_EQ(name, "old");
  EXPECT_TRUE(scripted::SentRequests().empty());
}

// The observer sees what went out and what came back, failures included.
TEST_F(SessionTest, ObserverIsToldOfEachExchange) {
  ASSERT_TRUE(Open().ok());
  std::vector<TExchangeRecord> seen;
  const TExchangeObserver observer = [&](const TExchangeRecord& r) { seen.push_back(r); };
  TModuleLink link = LinkOf(data_);
  link.observer = &observer;
  std::uint8_t value = 0;
  EXPECT_EQ(ReadRegister(link, qm90cmd::kRegAddress, value), 0);
  Script().answers.push_back(scripted::Fail(7));
  EXPECT_EQ(ClearStatusRegister(link), 7);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].command, qm90cmd::kReadRegister);
  EXPECT_EQ(seen[0].sent, (TDataBytes{0, qm90cmd::kRegAddress, qm90cmd::kRegAddress, 0, 0}));
  EXPECT_EQ(seen[0].received[3], value);
  EXPECT_EQ(seen[0].status, 0);
  EXPECT_EQ(seen[1].command, qm90cmd::kClearStatus);
  EXPECT_EQ(seen[1].status, 7);
  EXPECT_GE(seen[1].microseconds, 0);
}

// A library code 9 on the write is the library's failure, not a read-back
// mismatch, whichever way the plan counts mismatches.
TEST_F(SessionTest, WriteStopsAreCountedAsThePlanSays) {
  ASSERT_TRUE(Open().ok());
  const TRegisterStep steps[] = {{35, 50, 0x12}, {36, 100, 0x34}};
  struct Row {
    const char* what;
    TMismatch mismatch;
    std::vector<scripted::Answer> answers;
    TTransferOutcome outcome;
    std::uint8_t status;
    std::uint8_t reg;
  } rows[] = {
      {"mismatch as text",
       TMismatch::kText,
       {scripted::Ok(), scripted::Ok(0, 0, 0, 0x13)},
       TTransferOutcome::kMismatch,
       0,
       35},
      {"mismatch as 9",
       TMismatch::kStatus9,
       {scripted::Ok(), scripted::Ok(0, 0, 0, 0x13)},
       TTransferOutcome::kMismatch,
       9,
       35},
      {"library 9",
       TMismatch::kText,
       {scripted::Fail(9)},
       TTransferOutcome::kExchangeFailed,
       9,
       35},
      {"read-back fails",
       TMismatch::kStatus9,
       {scripted::Ok(), scripted::Ok(0, 0, 0, 0x12), scripted::Ok(), scripted::Fail(4)},
       TTransferOutcome::kExchangeFailed,
       4,
       36},
      {"all written", TMismatch::kStatus9, {}, TTransferOutcome::kDone, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Script().answers.assign(row.answers.begin(), row.answers.end());
    int finished = 0;
    TTransferResult reported;
    TTransferPlan plan;
    plan.mismatch = row.mismatch;
    plan.finished = [&](TTransferDirection direction, const TTransferResult& result) {
      EXPECT_EQ(direction, TTransferDirection::kWrite);
      reported = result;
      ++finished;
    };
    const TTransferResult result = WriteRegisters(LinkOf(data_), steps, plan);
    EXPECT_EQ(result.outcome, row.outcome);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.reg, row.reg);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(reported.outcome, result.outcome);
    if (row.outcome == TTransferOutcome::kMismatch) {
      EXPECT_EQ(result.held, 0x13);
    }
  }
}

// Every front end writes a register the way its policy row says: the analog
// output's bytes are read back with the value in d3/d4, the others plainly,
// and only registers that pause are paused between write and read-back.
TEST_F(SessionTest, EachRegisterIsWrittenAsItsPolicySays) {
  ASSERT_TRUE(Open().ok());
  for (const TRegisterPolicy& policy : kRegisterPolicies) {
    SCOPED_TRACE(int{policy.reg});
    scripted::Script().calls.clear();
    int pauses = 0;
    TTransferPlan plan;
    plan.pause = TPause::kAfterEachSuccess;
    plan.pause_now = [&pauses] { ++pauses; };
    const TRegisterStep step{policy.reg, 100, 0x5A};
    ASSERT_TRUE(WriteRegisters(LinkOf(data_), std::span(&step, 1), plan).ok());
    const std::vector<scripted::Request> sent = scripted::SentRequests();
    ASSERT_EQ(sent.size(), 2u);
    const scripted::Request& read_back = sent[1];
    EXPECT_EQ(read_back.d3 == 0x5A && read_back.d4 == 0x5A, policy.echo_read_back);
    EXPECT_EQ(pauses, policy.pause ? 2 : 0);
  }
}

TEST(RegisterMap, EveryRegisterHasItsByteInTheImage) {
  TModuleConfig config = DefaultModuleConfig();
  std::uint8_t value = 0x10;
  for (std::uint8_t reg : qm90cmd::kRegisters) StoreRegisterInConfig(config, reg, ++value);
  value = 0x10;
  for (std::uint8_t reg : qm90cmd::kRegisters) EXPECT_EQ(RegisterOfConfig(config, reg), ++value);
  EXPECT_EQ(config.AoutInit, 0x1514);      // low byte first
  EXPECT_EQ(config.DinNegation[1], 0xFF);  // only the first byte of a group is a register
}

TEST(InterfaceKinds, EveryRowNamesItsLibraryAndNoKindBeyond) {
  for (const TInterfaceKind& row : kInterfaceKinds)
    EXPECT_EQ(DriverFileName(row.kind), std::string(row.library_base) + ".DLL");
  EXPECT_EQ(DriverFileName(kInterfaceKindCount), "");
  std::int32_t handle = 0;
  EXPECT_EQ(DrvOpen(kInterfaceKindCount, &handle, nullptr), kDrvNotBound);
}

}  // namespace
