#include <gtest/gtest.h>

#include <memory>

#include "base/Baud.h"
#include "base/Files.h"
#include "commission/Commission.h"
#include "tests/commission/Fakes.h"
#include "tests/support/TempDir.h"

namespace {

using namespace qm90commission;
using qm90test::FakeModule;
using qm90test::ScriptedTechnician;

// Modules on one line, each answering at its present address and rate.
class FakeLine : public CommissionLine {
 public:
  struct Unit {
    FakeModule module;
    std::uint8_t address;
    std::int32_t baud;
    int refuse_register = -1;  // keeps its old value
  };
  std::vector<std::unique_ptr<Unit>> units;
  bool can_power_cycle = true;
  std::vector<std::uint8_t> sent_to;  // addresses written to

  void Add(std::uint8_t address) {
    auto unit = std::make_unique<Unit>(Unit{{}, address, 9600});
    unit->module.registers[63] = address;
    units.push_back(std::move(unit));
  }
  bool Connect(std::uint8_t address, std::int32_t baud, std::string& name,
               std::string& message) override {
    connected_ = nullptr;
    for (auto& unit : units)
      if (unit->address == address && unit->baud == baud) connected_ = unit.get();
    if (!connected_) message = "no answer";
    name = "QM-90    v.1.00";
    return connected_ != nullptr;
  }
  void Disconnect() override { connected_ = nullptr; }
  std::uint8_t WriteRegister(std::uint8_t reg, std::uint8_t value,
                             std::uint8_t& read_back) override {
    if (!connected_) return 255;
    sent_to.push_back(connected_->address);
    if (reg != connected_->refuse_register) connected_->module.registers[reg] = value;
    read_back = connected_->module.registers[reg];
    return read_back == value ? 0 : 9;
  }
  CheckoutModule& Module() override { return connected_->module; }
  bool PowerCycle(std::uint8_t address, std::string&) override {
    if (!can_power_cycle) return false;
    for (auto& unit : units)
      if (unit->address == address) {
        unit->address = unit->module.registers[63];
        unit->baud = base::kBaudRates[unit->module.registers[62]];
      }
    return true;
  }
  std::string Interface() const override { return "fake line"; }

 private:
  Unit* connected_ = nullptr;
};

std::vector<PlanRow> ThreeRows() {
  std::vector<PlanRow> rows;
  const std::string plan =
      "tag,address,baud,dout_init,now_address\n"
      "A,2,19200,1,10\n"
      "B,3,9600,2,11\n"
      "C,4,9600,4,12\n";
  EXPECT_TRUE(ParsePlan(plan, rows).empty());
  return rows;
}

struct Fixture {
  FakeLine line;
  ScriptedTechnician tech;
  CommissionOptions options;
  std::map<std::string, JournalEntry> journal;
  CommissionRecord Run(const std::vector<PlanRow>& rows,
                       std::function<void(const JournalEntry&)> after = {}) {
    CommissionRecord record;
    const auto write = [&](const JournalEntry& entry) {
      journal[entry.tag] = entry;
      if (after) after(entry);
      return true;
    };
    RunCommission(line, tech, options, rows, journal, write, record);
    return record;
  }
};

TEST(Commission, AnInterruptedRunGoesOnFromTheJournalAndReportsEveryModule) {
  Fixture f;
  for (std::uint8_t address : {10, 11, 12}) f.line.Add(address);
  f.options.unattended = true;
  const auto rows = ThreeRows();
  CommissionRecord first = f.Run(rows, [&f](const JournalEntry&) { f.tech.interrupted = true; });
  EXPECT_EQ(CommissionExitStatus(first), 130);
  ASSERT_EQ(first.modules.size(), 3u);
  EXPECT_EQ(first.modules[0].state, ModuleState::kDone);
  EXPECT_EQ(first.modules[1].state, ModuleState::kNotDone);
  EXPECT_EQ(f.line.units[1]->address, 11);  // untouched

  f.tech.interrupted = false;
  CommissionRecord second = f.Run(rows);
  EXPECT_EQ(CommissionExitStatus(second), 0);
  for (const ModuleOutcome& m : second.modules) EXPECT_EQ(m.state, ModuleState::kDone) << m.row.tag;
  EXPECT_EQ(f.line.units[0]->address, 2);
  EXPECT_EQ(f.line.units[0]->baud, 19200);
  EXPECT_EQ(f.line.units[2]->module.registers[32], 4);
  // The finished module was not written to again.
  EXPECT_EQ(std::count(f.line.sent_to.begin(), f.line.sent_to.end(), 10), 7);
  const std::string csv = CommissionCsv(second, ';');
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
}

TEST(Commission, FailuresAreRecordedAndTheRunGoesOnToTheNextModule) {
  const struct {
    const char* name;
    bool can_power_cycle;
    int refuse_register;
    bool present;
    const char* message;
  } cases[] = {
      {"no power-cycle unattended", false, -1, true, "needs a power-cycle"},
      {"read-back differs", true, 33, true, "writing register 33 failed (status 9, read back 0)"},
      {"not found", true, -1, false, "not found at address 10, 9600 Bd nor at address 2, 19200 Bd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.line.Add(c.present ? 10 : 99);
    f.line.Add(11);
    f.line.Add(12);
    f.line.can_power_cycle = c.can_power_cycle;
    f.line.units[0]->refuse_register = c.refuse_register;
    f.options.unattended = true;
    std::vector<PlanRow> rows = ThreeRows();
    rows[0].din_negation = 0x55;
    CommissionRecord record = f.Run(rows);
    EXPECT_EQ(record.modules[0].state, ModuleState::kFailed);
    EXPECT_NE(record.modules[0].entry.message.find(c.message), std::string::npos)
        << record.modules[0].entry.message;
    EXPECT_FALSE(f.journal["A"].ok);
    EXPECT_EQ(record.modules[1].state,
              c.can_power_cycle ? ModuleState::kDone : ModuleState::kFailed);
    EXPECT_EQ(CommissionExitStatus(record), 1);
  }
}

TEST(Commission, CheckoutOfEachModuleIsWrittenAndRecorded) {
  qm90test::TempDir dir;
  Fixture f;
  f.line.Add(10);
  f.options.unattended = true;
  f.options.checkout = true;
  f.options.checkout_options.loopback = true;
  f.options.checkout_options.test_aout = false;
  f.options.report_base = dir.File("line");
  std::vector<PlanRow> rows = ThreeRows();
  rows.resize(1);
  CommissionRecord record = f.Run(rows);
  ASSERT_EQ(record.modules[0].state, ModuleState::kDone) << record.modules[0].entry.message;
  EXPECT_EQ(record.modules[0].entry.checkout, "17 passed, 0 failed, 0 skipped");
  EXPECT_EQ(record.modules[0].entry.checkout_report, dir.File("line-A-checkout.json"));
  EXPECT_TRUE(base::PathExists(dir.File("line-A-checkout.html")));
  const std::string html = CommissionHtml(record);
  EXPECT_NE(html.find("1 of 1 modules done"), std::string::npos);
}

}  // namespace
