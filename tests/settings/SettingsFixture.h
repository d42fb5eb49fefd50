// Shared pieces of the settings dialog tests: the scripted link, the request
// record and access to controls by their names.
#pragma once

#include "tests/scripted/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "dialogs/ConfigTransfer.h"
#include "link/Dekl.h"
#include "link/QBLxxx.h"
#include "tests/settings/Controls.h"
#include "tests/support/UiTest.h"

namespace settingstest {

using qm90cfg::kLinkNotOpen;
using qm90cfg::kNoMessage;
using qm90cfg::kReadDone;
using qm90cfg::kWriteDone;
using qm90cfg::ReadProgress;
using qm90cfg::WriteProgress;
using qm90test::StatusLog;

// One request as the module sees it, without the address (checked apart).
struct Req {
  std::uint8_t cmd, d1, d2, d3, d4;
  bool operator==(const Req&) const = default;
};
inline void PrintTo(const Req& r, std::ostream* os) {
  *os << "{" << int(r.cmd) << " " << int(r.d1) << " " << int(r.d2) << " " << int(r.d3) << " "
      << int(r.d4) << "}";
}

inline constexpr std::uint8_t kModuleAddress = 5;
inline constexpr std::int32_t kTimeoutCode = 7;
inline const std::string kTimeoutText = " timeout";

// Requests sent so far; every one must have gone to the module's address with
// sub-code 0 and d0 = 0.
inline std::vector<Req> Sent() {
  std::vector<Req> out;
  for (const scripted::Request& r : scripted::SentRequests()) {
    EXPECT_EQ(r.address, kModuleAddress);
    EXPECT_EQ(r.subcode, 0);
    EXPECT_EQ(r.d0, 0);
    out.push_back({r.command, r.d1, r.d2, r.d3, r.d4});
  }
  return out;
}

inline std::vector<Req> Prefix(const std::vector<Req>& all, std::size_t count) {
  return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count)};
}

enum class Fault { kTimeout, kOtherValue };

// Answers like the fake module, except request number `index` (counted from 0
// from now on): it fails with the time-out, or its d3 is off by one.
inline void InjectAt(std::size_t index, Fault fault) {
  auto count = std::make_shared<std::size_t>(0);
  scripted::Script().responder = [count, index, fault](const std::uint8_t request[8]) {
    scripted::FakeModule& module = scripted::Script().module;
    const scripted::Request req = scripted::Decode(request);
    if ((*count)++ != index) return scripted::ModuleAnswer(module, req);
    if (fault == Fault::kTimeout) return scripted::Fail(kTimeoutCode);
    return scripted::Ok(0, 0, 0, static_cast<std::uint8_t>(module.registers[req.d1] + 1));
  };
}

// The scripted QBL310 opened as the link, the fake module behind it.
class ScriptedLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
    SetDataDefaults(&data);
    TInitBlock block{};
    block[0] = 1;
    ASSERT_EQ(DrvOpen(0, &data.LinkHandle, &block), 0);
    data.LinkOpen = true;
    data.ModuleAddress = kModuleAddress;
    scripted::Script().responder = scripted::ModuleResponder();
    scripted::Script().error_texts[kTimeoutCode] = "timeout";
    scripted::Script().calls.clear();
  }
  void TearDown() override {
    if (data.LinkHandle != 0) DrvClose(0, &data.LinkHandle);
    SetDriverDirectory("");
  }
  std::uint8_t Register(int reg) { return scripted::Script().module.registers[reg]; }

  TData data;
};

}  // namespace settingstest
