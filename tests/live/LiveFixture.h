// Shared by the live-window tests: a record with an open link to a driver,
// the texts a window shows, every status text it sets, and waiting with the
// message loop running. Through the window layer only, so the same tests run
// on each backend.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/FormWindow.h"
#include "link/Dekl.h"
#include "link/QBLxxx.h"
#include "tests/support/ShowWindow.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace livetest {

// Opens `kind`'s library from the folder already set with SetDriverDirectory.
inline bool OpenLink(TData& data, std::uint8_t kind) {
  std::int32_t handle = 0;
  if (DrvOpen(kind, &handle, &data.InitBlock) != 0 || handle == 0) return false;
  data.InterfaceKind = kind;
  data.LinkHandle = handle;
  data.LinkOpen = true;
  return DrvSetConfig(kind, handle, 9600, 13, 2) == 0;
}

inline void CloseLink(TData& data) {
  if (data.LinkOpen && data.LinkHandle != 0) DrvClose(data.InterfaceKind, &data.LinkHandle);
  data.LinkOpen = false;
}

// A control of a window by name, or null with a test failure.
template <typename T = qm90ui::TControl>
T* Find(const TFormWindow& window, const std::string& name) {
  T* control = window.Form().FindAs<T>(name);
  EXPECT_NE(control, nullptr) << window.Form().Name() << " has no " << name;
  return control;
}

inline std::string Text(const TFormWindow& window, const std::string& name) {
  qm90ui::TControl* control = window.Form().FindControl(name);
  return control ? control->Text() : "<missing " + name + ">";
}

// Value labels Label<first> .. Label<first + count - 1> joined, top row first.
inline std::string Bits(const TFormWindow& window, int first, int count) {
  std::string bits;
  for (int i = 0; i < count; ++i) {
    qm90ui::TControl* label = window.Form().FindControl("Label" + std::to_string(first + i));
    bits += label ? label->Text() : "?";
  }
  return bits;
}

// Bit 0 first.
inline std::string BitString(unsigned long value, int count) {
  std::string bits;
  for (int i = 0; i < count; ++i) bits += (value >> i) & 1UL ? '1' : '0';
  return bits;
}

// The first panel of the window's status bar.
inline std::string StatusOf(const TFormWindow& window) {
  auto* bar = window.Form().FindAs<qm90ui::TStatusBar>("StatusBar1");
  return bar ? bar->PanelText(0) : "<no status bar>";
}

// Every text the window's status bar is given, in order. Made after the
// window, so that it goes first.
class StatusLog {
 public:
  explicit StatusLog(const TFormWindow& window)
      : bar_(window.Form().FindAs<qm90ui::TStatusBar>("StatusBar1")) {
    if (bar_) bar_->OnPanelText = [this](int, const std::string& text) { texts_.push_back(text); };
  }
  ~StatusLog() {
    if (bar_) bar_->OnPanelText = nullptr;
  }
  StatusLog(const StatusLog&) = delete;
  StatusLog& operator=(const StatusLog&) = delete;

  const std::vector<std::string>& Texts() const { return texts_; }
  std::string Shown() const { return bar_ ? bar_->PanelText(0) : "<no status bar>"; }
  void Clear() { texts_.clear(); }

 private:
  qm90ui::TStatusBar* bar_;
  std::vector<std::string> texts_;
};

// Processes messages until `done` holds; gives up after a generous limit so
// that a fault fails the test instead of hanging it.
inline bool WaitFor(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    qm90ui::ProcessMessagesFor(20);
  }
  return true;
}

// Ends a modal run that never ends by itself, so that the test fails instead
// of hanging: `form`'s ShowModal then returns kNone.
inline void RescueAfter(qm90ui::TForm& form, int ms) {
  qm90ui::TTimer* rescue = form.AddTimer("RescueTimer", ms);
  rescue->OnTimer = [&form] { form.EndModal(qm90ui::TModalResult::kNone); };
  rescue->Start();
}

using qm90test::StopTimer;

}  // namespace livetest
