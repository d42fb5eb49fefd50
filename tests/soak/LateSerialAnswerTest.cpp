// An answer that comes after the serial link's time-out must not pass for the
// answer to the next request: the status register view's late answer arrives
// while the inputs view waits for its own, and must not show up there as its
// inputs. The module echoes the request's sequence byte, by which QBL310 tells
// the two apart.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dialogs/OkamDIN.h"
#include "dialogs/StatReg.h"
#include "link/QBLxxx.h"
#include "tests/live/LiveFixture.h"
#include "tests/soak/LateAnswer.h"
#include "tests/support/TestSim.h"

namespace {

using qm90test::ShowStopped;

constexpr std::uint8_t kSerialKind = 0;

TEST(LateSerialAnswer, IsNotTakenForTheNextRequestsAnswer) {
  qm90test::TestSim sim;
  ASSERT_TRUE(sim.Start(true)) << sim.Error();
  qm90sim::SimControl& control = sim.Control();
  SetDriverDirectory(qm90test::TestSim::DriverDirectory());
  TData data{};
  SetDataDefaults(&data);
  data.ModuleAddress = 1;
  data.ComPort = static_cast<std::uint8_t>(sim.ComPort());
  data.InitBlock = {};
  data.InitBlock[0] = sim.ComPort();
  ASSERT_TRUE(livetest::OpenLink(data, kSerialKind));

  ASSERT_TRUE(control.SetInputs(1, 0xA5));
  const long inputs = control.Get(1, "inputs");
  ASSERT_NE(inputs & 0xFF, control.Get(1, "status") & 0xFF);
  {
    auto status = ShowStopped<TForm15>(&data);
    auto din = ShowStopped<TForm11>(&data);
    // Every answer comes half a time-out late: the status register's answer
    // arrives while the inputs view waits for its own.
    ASSERT_TRUE(control.SetFaults(0, 0, soak::LateAnswerDelayMs(false, 0)));
    status->Timer1Timer();
    din->Timer1Timer();
    if (livetest::StatusOf(*din) == " " + ErrorText(kSerialKind, 0)) {
      EXPECT_EQ(livetest::Bits(*din, 33, 8),
                livetest::BitString(static_cast<unsigned long>(inputs), 8))
          << "an old answer to another request was shown";
    }
  }
  control.SetFaults(0, 0, 0);  // under Wine the emulator serves the later tests too
  livetest::CloseLink(data);
  SetDriverDirectory("");
}

}  // namespace
