// A module with its outputs wired back to its inputs, and a technician who
// answers from a script on a simulated clock.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include "base/ModuleCommands.h"
#include "commission/Checkout.h"

namespace qm90test {

using namespace qm90commission;

class FakeModule : public CheckoutModule {
 public:
  std::map<std::uint8_t, std::uint8_t> registers = {{32, 0x00}, {33, 0}, {34, 0}, {35, 0},
                                                    {36, 0},    {62, 4}, {63, 1}};
  std::uint8_t outputs = 0;
  std::uint16_t aout = 0;
  bool wired = true;
  std::array<int, 8> stuck_din{-1, -1, -1, -1, -1, -1, -1, -1};  // -1: follows its wire
  std::uint8_t terminals = 0;                                    // input terminals when not wired
  std::uint32_t status = 1u << qm90cmd::kStatusBitPwr;
  int fail_write_number = -1;  // this write (from 1) fails
  int fail_read_register = -1;
  int lose_at_write = -1;  // from this write (from 1) on the link is gone
  bool lost = false;
  int writes = 0;
  int unplug_at_write = -1;  // this write (from 1) finds the adapter pulled
  bool unplugged = false;
  bool comes_back = true;                      // a wait for the link ends with it back
  std::function<void()> on_wait;               // told when a wait begins
  std::uint8_t outputs_when_unplugged = 0xFF;  // what the module held while it was gone

  std::uint8_t WriteOutputs(std::uint8_t value) override {
    if (Fails()) return 4;
    outputs = value;
    return 0;
  }
  std::uint8_t WriteAout(std::uint16_t value) override {
    if (Fails()) return 4;
    aout = value;
    return 0;
  }
  std::uint8_t ReadInputs(std::uint8_t& inputs) override {
    if (lost || unplugged) return 18;
    const std::uint8_t levels =
        wired ? static_cast<std::uint8_t>(outputs ^ registers[34]) : terminals;
    inputs = 0;
    for (int k = 0; k < 8; ++k) {
      const int level = stuck_din[k] >= 0 ? stuck_din[k] : (levels >> k) & 1;
      inputs |= static_cast<std::uint8_t>((level ^ ((registers[33] >> k) & 1)) << k);
    }
    return 0;
  }
  std::uint8_t ReadStatus(std::uint32_t& value) override {
    if (lost || unplugged) return 18;
    value = status;
    return 0;
  }
  std::uint8_t ReadRegister(std::uint8_t reg, std::uint8_t& value) override {
    if (lost || unplugged || reg == fail_read_register) return 4;
    value = registers[reg];
    return 0;
  }
  std::string Text(std::uint8_t code) const override { return "code " + std::to_string(code); }
  bool LinkLost() const override { return lost; }
  LinkState Reconnect(bool wait) override {
    if (!unplugged) return LinkState::kThere;
    if (wait && on_wait) on_wait();
    if (!wait || !comes_back) return LinkState::kGone;
    unplugged = false;
    return LinkState::kBack;
  }

 private:
  bool Fails() {
    ++writes;
    if (writes == lose_at_write) lost = true;
    if (writes == unplug_at_write) {
      unplugged = true;
      outputs = outputs_when_unplugged;  // what a lost link leaves is unknown
    }
    return lost || unplugged || writes == fail_write_number;
  }
};

class ScriptedTechnician : public Technician {
 public:
  std::deque<Reply> replies;        // empty: kAbort
  int interrupt_after_sleeps = -1;  // Interrupted() turns true after this many sleeps
  bool interrupted = false;
  std::int64_t clock_ms = 0;
  int sleeps = 0;
  int questions = 0;
  std::function<void(std::int64_t)> on_clock;  // told of each step of the clock
  std::string said;

  void Say(const std::string& text) override { said += text + "\n"; }
  bool Confirm(const std::string&) override { return Next().kind == Reply::Kind::kPass; }
  Reply Ask(const std::string&) override { return Next(); }
  Reply AskValue(const std::string&) override { return Next(); }
  void Sleep(int ms) override {
    ++sleeps;
    clock_ms += ms;
    if (on_clock) on_clock(clock_ms);
  }
  std::int64_t MonotonicMs() override { return clock_ms; }
  bool Interrupted() override {
    return interrupted || (interrupt_after_sleeps >= 0 && sleeps >= interrupt_after_sleeps);
  }
  std::string Now() override { return "2026-12-10T05:00:00.000+0000"; }

 private:
  Reply Next() {
    ++questions;
    if (replies.empty()) return {Reply::Kind::kAbort, "", std::nullopt};
    Reply reply = replies.front();
    replies.pop_front();
    return reply;
  }
};

inline Reply Say(Reply::Kind kind, std::string comment = {}) {
  return {kind, std::move(comment), std::nullopt};
}
inline Reply Measured(double value) {
  return {Reply::Kind::kPass, "", value};
}

}  // namespace qm90test
