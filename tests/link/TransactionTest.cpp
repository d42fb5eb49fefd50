// One request/answer exchange through the bound library, and the scripted
// fake module that dialog tests answer with.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "link/QBLxxx.h"
#include "tests/scripted/ScriptedDriver.h"

namespace {

using scripted::Entry;
using scripted::Script;

constexpr std::int32_t kHandle = 4711;

struct Bytes {
  std::uint8_t d0, d1, d2, d3, d4;
  bool operator==(const Bytes&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Bytes& b) {
  return out << int(b.d0) << ' ' << int(b.d1) << ' ' << int(b.d2) << ' ' << int(b.d3) << ' '
             << int(b.d4);
}

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    TInitBlock block{};
    std::int32_t handle = 0;
    ASSERT_EQ(DrvOpen(kKind, &handle, &block), 0);
    ASSERT_EQ(handle, kHandle);
    Script().calls.clear();
  }
  void TearDown() override {
    std::int32_t handle = kHandle;
    if (DrvLibraryLoaded()) DrvClose(kKind, &handle);
    SetDriverDirectory("");
  }

  // One exchange; d holds the bytes sent and then those received.
  std::uint8_t Transact(std::uint8_t address, std::uint8_t command, std::uint8_t subcode, Bytes& d,
                        std::int32_t handle = kHandle, std::uint8_t kind = kKind) {
    std::uint8_t status = 0xEE;
    ModuleTransact(kind, handle, address, command, subcode, d.d0, d.d1, d.d2, d.d3, d.d4, status,
                   answer_);
    return status;
  }

  static constexpr std::uint8_t kKind = 3;
  TSlotBuffer answer_{};
};

TEST_F(TransactionTest, RequestBytesGoIntoSlotsZeroToSeven) {
  struct Row {
    std::uint8_t address, command, subcode;
    Bytes d;
  };
  const Row rows[] = {{1, 0, 64, {0, 0, 0, 0, 0}},
                      {0x12, 103, 0, {1, 2, 3, 4, 5}},
                      {255, 255, 255, {255, 255, 255, 255, 255}},
                      {0, 200, 2, {0x80, 0, 0, 0, 0}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.command));
    Script().calls.clear();
    Bytes d = row.d;
    Transact(row.address, row.command, row.subcode, d);
    const auto sends = Script().CallsOf(Entry::Send);
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].handle, kHandle);
    const std::int32_t expected[8] = {row.address, row.command, row.subcode, row.d.d0,
                                      row.d.d1,    row.d.d2,    row.d.d3,    row.d.d4};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(sends[0].request_slots[i], expected[i]) << "slot " << i;
    for (int i = 8; i < 100; ++i) ASSERT_EQ(sends[0].request_slots[i], 0) << "slot " << i;
  }
}

TEST_F(TransactionTest, HandleZeroSendsAndWritesNothing) {
  Bytes d{11, 12, 13, 14, 15};
  answer_.fill(0x33);
  std::uint8_t status = 99;
  ModuleTransact(kKind, 0, 1, 100, 0, d.d0, d.d1, d.d2, d.d3, d.d4, status, answer_);
  EXPECT_TRUE(Script().calls.empty());
  EXPECT_EQ(d, (Bytes{11, 12, 13, 14, 15}));
  EXPECT_EQ(status, 99);
  for (std::int32_t slot : answer_) ASSERT_EQ(slot, 0x33);
}

TEST_F(TransactionTest, SuccessTakesLowBytesOfReturnedAndAnswerSlots) {
  struct Row {
    std::int32_t returned;
    std::int32_t slots[4];
    Bytes expected;
  };
  const Row rows[] = {{0, {0, 0, 0, 0}, {0, 0, 0, 0, 0}},
                      {0x1234, {0x141, 0x2FF, -1, 0x100}, {0x34, 0x41, 0xFF, 0xFF, 0}},
                      {-2, {1, 2, 3, 4}, {0xFE, 1, 2, 3, 4}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.returned);
    scripted::Answer a;
    a.returned = row.returned;
    std::copy(row.slots, row.slots + 4, a.answer_slots);
    Script().answers.push_back(a);
    Bytes d{9, 9, 9, 9, 9};
    EXPECT_EQ(Transact(1, 102, 0, d), 0);
    EXPECT_EQ(d, row.expected);
    EXPECT_EQ(answer_[0], row.slots[0]) << "the answer lands in the caller's buffer";
  }
}

TEST_F(TransactionTest, FailureGivesStatusAndClearsTheBytes) {
  struct Row {
    std::int32_t send_result;
    std::int32_t exchange_status;
    std::uint8_t status;
  };
  const Row rows[] = {
      {0, 7, 7},       {0, 99, 99},       {9, 0, 9},     {9, 4, 9},
      {0, 0x105, 255}, {0, 256, 255},     {0, 512, 255}, {0, -1, 255},
      {0, -256, 255},  {0, INT_MIN, 255}, {256, 0, 255}, {-3, 0, 255},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.send_result) + "/" + std::to_string(row.exchange_status));
    scripted::Answer a = scripted::Ok(0x77, 0x55, 0x55, 0x55, 0x55);
    a.result = row.send_result;
    a.status = row.exchange_status;
    Script().answers.push_back(a);
    Bytes d{1, 2, 3, 4, 5};
    EXPECT_EQ(Transact(1, 100, 0, d), row.status);
    EXPECT_EQ(d, (Bytes{0, 0, 0, 0, 0}));
  }
}

TEST_F(TransactionTest, NoBoundLibraryOrBadKindGivesTen) {
  Bytes d{1, 2, 3, 4, 5};
  EXPECT_EQ(Transact(1, 100, 0, d, kHandle, 5), kDrvNotBound);
  EXPECT_EQ(d, (Bytes{0, 0, 0, 0, 0}));
  EXPECT_TRUE(Script().calls.empty());

  std::int32_t handle = kHandle;
  ASSERT_EQ(DrvClose(kKind, &handle), 0);
  d = {1, 2, 3, 4, 5};
  EXPECT_EQ(Transact(1, 100, 0, d), kDrvNotBound);
  EXPECT_EQ(d, (Bytes{0, 0, 0, 0, 0}));
}

TEST_F(TransactionTest, LibraryThatWritesNothingMeansSuccessWithZeroD0) {
  Script().hostile.silent_send = true;
  Bytes d{1, 2, 3, 4, 5};
  EXPECT_EQ(Transact(1, 100, 0, d), 0);
  EXPECT_EQ(d.d0, 0);
}

TEST_F(TransactionTest, GarbageAnswerIsReadOnlyInItsFourSlots) {
  Script().hostile.garbage_answer = true;
  Script().answers.push_back(scripted::Ok(0x12));
  Bytes d{};
  EXPECT_EQ(Transact(1, 100, 0, d), 0);
  EXPECT_EQ(d, (Bytes{0x12, 0xEF, 0xEF, 0xEF, 0xEF}));
}

// The fake module that the dialogs' tests answer with.
TEST_F(TransactionTest, ModuleResponderIdentifiesWithD0CarriedOver) {
  Script().responder = scripted::ModuleResponder();
  std::string name;
  Bytes d{};
  for (std::uint8_t sub = 0; sub < 3; ++sub) {
    d.d1 = d.d2 = d.d3 = d.d4 = 0;
    ASSERT_EQ(Transact(1, 200, sub, d), 0);
    if (sub == 2) name += " v.";
    for (std::uint8_t c : {d.d1, d.d2, d.d3, d.d4}) name += static_cast<char>(c);
  }
  EXPECT_EQ(name, "QM-90-01 v.1.02");
  const auto sent = scripted::SentRequests();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].d0, 0);
  EXPECT_EQ(sent[1].d0, 1) << "d0 of the first answer goes out again";
  EXPECT_EQ(sent[2].d0, 2);
}

TEST_F(TransactionTest, ModuleResponderKeepsRegistersAndValues) {
  Script().responder = scripted::ModuleResponder();
  scripted::FakeModule& module = Script().module;
  module.inputs = 0x81;
  module.status = 0x40000012;

  Bytes d{0, 63, 63, 7, 7};
  EXPECT_EQ(Transact(1, 103, 0, d), 0);
  d = {0, 63, 63, 0, 0};
  EXPECT_EQ(Transact(1, 102, 0, d), 0);
  EXPECT_EQ(d.d3, 7);
  d = {0, 32, 32, 0, 0};
  EXPECT_EQ(Transact(7, 102, 0, d), 0);
  EXPECT_EQ(d.d3, 0);

  d = {};
  EXPECT_EQ(Transact(1, 0, 64, d), 0);
  EXPECT_EQ(d.d1, 0x81);
  d = {0, 0xA5, 0, 0, 0};
  EXPECT_EQ(Transact(1, 1, 64, d), 0);
  EXPECT_EQ(module.outputs, 0xA5);
  d = {0, 0x34, 0x12, 0, 0};
  EXPECT_EQ(Transact(1, 1, 0, d), 0);
  EXPECT_EQ(module.aout, 0x1234);
  d = {};
  EXPECT_EQ(Transact(1, 100, 0, d), 0);
  EXPECT_EQ(d, (Bytes{0, 0x12, 0x00, 0x00, 0x40}));
  d = {};
  EXPECT_EQ(Transact(1, 101, 0, d), 0);
  EXPECT_EQ(module.status, 0u);
  EXPECT_EQ(module.status_clears, 1);

  module.wrong_address_status = 4;
  d = {};
  EXPECT_EQ(Transact(8, 100, 0, d), 4);
  EXPECT_EQ(Transact(7, 100, 0, d), 0) << "register 63 holds the address";
}

}  // namespace
