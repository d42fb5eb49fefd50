// QBL310 (pty) and QBL314 (UDP on 127.0.0.1) against the real qm90-sim,
// driven through the program's binding.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "drivers/Timing.h"
#include "emulator/launcher/SimProcess.h"
#include "link/QBLxxx.h"
#include "tests/drivers/Harness.h"
#include "tests/support/TempDir.h"

namespace drvtest {
namespace {

constexpr int kCom = 7;
constexpr int kUdpTimeoutMs = 300;

struct Transport {
  const char* name;
  std::uint8_t kind;
};

class SimLink : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    UseBuiltDrivers();
    ASSERT_TRUE(StartSim({})) << sim_.Error();
    ASSERT_EQ(Connect(), 0);
  }

  bool StartSim(std::vector<std::string> extra) {
    std::vector<std::string> args{
        "--udp", "127.0.0.1:0", "--serial", "COM" + std::to_string(kCom), "--seed", "7"};
    args.insert(args.end(), extra.begin(), extra.end());
    return sim_.Start(args);
  }

  // Opens the link as the connection dialog does: Init, then SetConfig at 9600 Bd.
  std::int32_t Connect() {
    const std::int32_t code = GetParam().kind == kSerial
                                  ? link_.OpenSerial(kCom)
                                  : link_.OpenUdp(sim_.UdpPort(), kUdpTimeoutMs);
    return code != 0 ? code : link_.Configure(9600);
  }

  // At 9600 Bd: the shortest the library waits (nothing came) and the longest
  // (bytes came); over UDP both are the time-out plus the relay.
  int SilentWaitMs() const {
    return CeilMs(GetParam().kind == kSerial
                      ? qm90drivers::SerialAnswerWaits(9600, TimingFromIndex(4)).first_byte
                      : qm90drivers::UdpAnswerWait(kUdpTimeoutMs, 9600));
  }
  int LongestWaitMs() const {
    return GetParam().kind == kSerial
               ? CeilMs(qm90drivers::SerialAnswerWaits(9600, TimingFromIndex(4)).whole_answer)
               : SilentWaitMs();
  }
  static int CeilMs(std::chrono::microseconds wait) {
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
  }

  OwnFolders folder_;  // first member: goes after everything that uses it
  qm90sim::SimProcess sim_;
  Session link_{GetParam().kind};
};

TEST_P(SimLink, IdentifiesTheModuleWithChainedD0) {
  EXPECT_EQ(link_.Identify(), "QM-90    v.1.02");
  // d0 of each answer goes back in the next request: the module counts sub-codes.
  const Reply first = link_.Transact(1, 200, 0);
  ASSERT_EQ(first.status, 0);
  const Reply second = link_.Transact(1, 200, 1, {first.d[0], 0, 0, 0, 0});
  EXPECT_EQ(second.status, 0);
  EXPECT_NE(first.d[0], 0);
  EXPECT_EQ(second.d[0], first.d[0] + 1);
}

struct CommandCase {
  const char* name;
  std::function<void(qm90sim::SimProcess&)> before;
  std::uint8_t command;
  std::uint8_t subcode;
  std::array<std::uint8_t, 5> d;
  std::uint8_t status;
  // Checks the answer bytes and the module's state after the command.
  std::function<void(const Reply&, qm90sim::SimProcess&)> check;
};

TEST_P(SimLink, EveryCommandOfTheCommandSet) {
  const std::vector<CommandCase> cases = {
      {"read inputs",
       [](auto& sim) { ASSERT_TRUE(sim.SetInputs(1, 0xA5)); },
       0,
       64,
       {},
       0,
       [](const Reply& r, auto& sim) { EXPECT_EQ(r.d[1], sim.Get(1, "inputs")); }},
      {"write outputs",
       nullptr,
       1,
       64,
       {0, 0x3C, 0, 0, 0},
       0,
       [](const Reply&, auto& sim) {
         EXPECT_EQ(sim.Get(1, "outputs"), 0x3C ^ sim.Get(1, "reg 34"));
       }},
      {"write analog output",
       nullptr,
       1,
       0,
       {0, 0x34, 0x12, 0, 0},
       0,
       [](const Reply&, auto& sim) { EXPECT_EQ(sim.Get(1, "aout"), 0x1234); }},
      {"read status",
       [](auto& sim) { ASSERT_TRUE(sim.SetStatusBits(1, 0x40)); },
       100,
       0,
       {},
       0,
       [](const Reply& r, auto& sim) {
         const long status = sim.Get(1, "status");
         EXPECT_EQ(status & 0x50, 0x50);  // PWR from power-up, ERR24 just set
         for (int i = 0; i < 4; ++i) EXPECT_EQ(r.d[1 + i], (status >> (8 * i)) & 0xFF);
       }},
      {"clear status",
       nullptr,
       101,
       0,
       {},
       0,
       [](const Reply&, auto& sim) { EXPECT_EQ(sim.Get(1, "status"), 0); }},
      {"read register",
       nullptr,
       102,
       0,
       {0, 33, 33, 0, 0},
       0,
       [](const Reply& r, auto& sim) { EXPECT_EQ(r.d[3], sim.Get(1, "reg 33")); }},
      {"write register",
       nullptr,
       103,
       0,
       {0, 32, 32, 0x81, 0x81},
       0,
       [](const Reply&, auto& sim) { EXPECT_EQ(sim.Get(1, "reg 32"), 0x81); }},
      {"unknown command", nullptr, 77, 0, {}, kCommandRefused, nullptr},
      {"unknown sub-code", nullptr, 0, 3, {}, kCommandRefused, nullptr},
      {"unknown register", nullptr, 102, 0, {0, 40, 40, 0, 0}, kRegisterRefused, nullptr},
      {"baud index above 8",
       nullptr,
       103,
       0,
       {0, 62, 62, 9, 9},
       kValueRefused,
       [](const Reply&, auto& sim) { EXPECT_EQ(sim.Get(1, "reg 62"), 4); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before) c.before(sim_);
    // The caller's bytes must not survive a failed exchange.
    const Reply reply = link_.Transact(1, c.command, c.subcode, c.d);
    ASSERT_EQ(reply.status, c.status);
    if (c.status != 0) {
      EXPECT_EQ(reply.d, (std::array<std::uint8_t, 5>{}));
    }
    if (c.check) c.check(reply, sim_);
  }
}

TEST_P(SimLink, RegistersWrittenReadBackAndNewAddressAndBaudAfterPowerUp) {
  const std::vector<std::pair<std::uint8_t, std::uint8_t>> writes = {
      {32, 0xA5}, {33, 0x0F}, {34, 0xF0}, {35, 0x34}, {36, 0x12}, {62, 5}, {63, 9}};
  for (const auto& [reg, value] : writes) {
    SCOPED_TRACE(reg);
    ASSERT_EQ(link_.WriteRegister(reg, value).status, 0);
    const Reply back = link_.ReadRegister(reg);
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(back.d[3], value);
    EXPECT_EQ(sim_.Get(1, "reg " + std::to_string(reg)), value);
  }
  // Still address 1 at 9600 Bd until the module is powered up again.
  EXPECT_EQ(link_.ReadRegister(63).status, 0);
  ASSERT_TRUE(sim_.PowerCycle(1));
  EXPECT_EQ(link_.ReadRegister(63, 9).status, kTimeout) << "9600 Bd, module now at 19200 Bd";
  ASSERT_EQ(link_.Configure(19200), 0);
  EXPECT_EQ(link_.ReadRegister(63, 9).d[3], 9);
  EXPECT_EQ(link_.ReadRegister(63, 1).status, kTimeout);
  EXPECT_EQ(sim_.Get(9, "outputs"), 0xA5 ^ 0xF0) << "outputs from register 32 at power-up";
  EXPECT_EQ(sim_.Get(9, "aout"), 0x1234);
}

TEST_P(SimLink, WrongAddressOrBaudTimesOutAndTheNextExchangeWorks) {
  EXPECT_EQ(link_.ReadRegister(63, 2).status, kTimeout);
  EXPECT_EQ(link_.ReadRegister(63, 1).d[3], 1);
  ASSERT_EQ(link_.Configure(19200), 0);
  EXPECT_EQ(link_.ReadRegister(63, 1).status, kTimeout);
  ASSERT_EQ(link_.Configure(9600), 0);
  EXPECT_EQ(link_.ReadRegister(63, 1).d[3], 1);
}

TEST_P(SimLink, DroppedAndCorruptedAnswersGiveTheirCodes) {
  ASSERT_EQ(link_.WriteRegister(35, 0x66).status, 0);
  struct Fault {
    int drop, corrupt;
    std::int32_t code;
  };
  for (const Fault& fault : {Fault{100, 0, kTimeout}, Fault{0, 100, kDamagedAnswer}}) {
    SCOPED_TRACE(fault.code);
    ASSERT_TRUE(sim_.SetFaults(fault.drop, fault.corrupt, 0));
    const Reply failed = link_.ReadRegister(35);
    EXPECT_EQ(failed.status, fault.code);
    EXPECT_EQ(failed.d, (std::array<std::uint8_t, 5>{}));
    ASSERT_TRUE(sim_.SetFaults(0, 0, 0));
    const Reply next = link_.ReadRegister(35);
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(next.d[3], 0x66);
  }
}

TEST_P(SimLink, LateAnswerIsNeverTakenForTheNextOne) {
  ASSERT_EQ(link_.WriteRegister(35, 0x11).status, 0);
  ASSERT_EQ(link_.WriteRegister(36, 0x22).status, 0);
  const int delay = LongestWaitMs() + 200;
  ASSERT_TRUE(sim_.SetFaults(0, 0, delay));
  EXPECT_EQ(link_.ReadRegister(35).status, kTimeout);
  ASSERT_TRUE(sim_.SetFaults(0, 0, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(delay + 100));  // the late answer lands
  const Reply next = link_.ReadRegister(36);
  ASSERT_EQ(next.status, 0);
  EXPECT_EQ(next.d[3], 0x22);
}

// Polling back to back while every answer comes later than the longest wait: each
// late answer arrives while the next request waits, and must not pass for its
// answer. Only a stale answer came, so the request simply timed out.
TEST_P(SimLink, LateAnswerArrivingDuringTheNextExchangeIsRefused) {
  ASSERT_EQ(link_.WriteRegister(35, 0x11).status, 0);
  ASSERT_EQ(link_.WriteRegister(36, 0x22).status, 0);
  ASSERT_TRUE(sim_.SetFaults(0, 0, LongestWaitMs() + SilentWaitMs() / 2));
  EXPECT_EQ(link_.ReadRegister(35).status, kTimeout);
  for (int i = 0; i < 3; ++i) {
    const Reply next = link_.ReadRegister(36);
    EXPECT_EQ(next.status, kTimeout) << "poll " << i;
    EXPECT_EQ(next.d, (std::array<std::uint8_t, 5>{})) << "poll " << i;
  }
  ASSERT_TRUE(sim_.SetFaults(0, 0, 0));
  const Reply recovered = link_.ReadRegister(35);
  ASSERT_EQ(recovered.status, 0);
  EXPECT_EQ(recovered.d[3], 0x11);
}

TEST_P(SimLink, RegistersSurviveAnEmulatorRestartWithItsStateFile) {
  // The emulator stores a write (fsync) before it answers; on a disk busy with
  // builds that can outlast the serial answer wait, so the state file lives
  // in memory where the system has such a folder.
  const qm90test::TempDir in_memory("qm90-state", "/dev/shm");
  const std::string state =
      (in_memory.Path().empty() ? folder_.path() : in_memory.Path().string()) + "/module.state";
  link_.Close();
  ASSERT_TRUE(StartSim({"--state", state})) << sim_.Error();
  ASSERT_EQ(Connect(), 0);
  ASSERT_EQ(link_.WriteRegister(32, 0x5A).status, 0);
  ASSERT_EQ(link_.WriteRegister(36, 0x77).status, 0);
  link_.Close();
  sim_.Stop();
  ASSERT_TRUE(StartSim({"--state", state})) << sim_.Error();
  ASSERT_EQ(Connect(), 0);
  EXPECT_EQ(link_.ReadRegister(32).d[3], 0x5A);
  EXPECT_EQ(link_.ReadRegister(36).d[3], 0x77);
}

TEST_P(SimLink, EmulatorGoneGivesACodeNotAHang) {
  sim_.Stop();
  // The pty hangs up when its other end goes; a UDP peer just stays silent.
  const std::int32_t expected = GetParam().kind == kSerial ? kPortWriteFailed : kTimeout;
  for (int i = 0; i < 2; ++i) EXPECT_EQ(link_.ReadRegister(63).status, expected);
}

TEST_P(SimLink, BadHandlesAndRequestsGetCodesNotCrashes) {
  const std::int32_t good = link_.handle();
  TSlotBuffer request{};
  TSlotBuffer answer{};
  std::int32_t returned = 0;
  const std::uint8_t other_kind = GetParam().kind == kSerial ? kLan : kSerial;
  const std::int32_t foreign = ((other_kind + 1) << 24) + (good & 0xFFFFFF);
  for (const std::int32_t handle : {0, 12345, -1, good + 1000, foreign}) {
    SCOPED_TRACE(handle);
    std::int32_t status = -7;
    EXPECT_EQ(DrvSend(GetParam().kind, handle, &request, &answer, &returned, &status),
              kInvalidHandle);
    EXPECT_EQ(status, kInvalidHandle);
    EXPECT_EQ(DrvSetConfig(GetParam().kind, handle, 9600, 13, 2), kInvalidHandle);
  }
  // A slot that holds no byte is refused, not cut down to one.
  request = {1, 102, 0, 0, 33 + 256, 33, 0, 0};
  std::int32_t status = -7;
  EXPECT_EQ(DrvSend(GetParam().kind, good, &request, &answer, &returned, &status),
            kInvalidParameter);
  EXPECT_EQ(DrvSend(GetParam().kind, good, nullptr, &answer, &returned, &status),
            kInvalidParameter);
  EXPECT_EQ(DrvSetConfig(GetParam().kind, good, 14400, 13, 2), kUnsupportedBaud);
  EXPECT_EQ(DrvSetConfig(GetParam().kind, good, 9600, 0, 2), kInvalidParameter);
  EXPECT_EQ(link_.ReadRegister(63).d[3], 1) << "the link still works";

  // Done sets the handle to 0; the old value is dead afterwards.
  std::int32_t handle = good;
  ASSERT_EQ(link_.Close(), 0);
  ASSERT_EQ(Connect(), 0);
  ASSERT_NE(link_.handle(), good) << "a closed handle is not handed out again at once";
  EXPECT_EQ(DrvSend(GetParam().kind, handle, &request, &answer, &returned, &status),
            kInvalidHandle);
  EXPECT_EQ(DrvClose(GetParam().kind, &handle), kInvalidHandle);
  EXPECT_EQ(handle, good);
}

TEST_P(SimLink, DoneReleasesThePortForTheNextInit) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(link_.Close(), 0);
    EXPECT_EQ(link_.handle(), 0);
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(link_.ReadRegister(63).d[3], 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, SimLink,
                         ::testing::Values(Transport{"SerialPty", kSerial}, Transport{"Udp", kLan}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace drvtest
