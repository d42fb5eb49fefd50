// What the four live-value windows (inputs, status register, outputs, analog
// output) share: the link check, the status texts, the bit text, the gate that
// keeps their exchanges from overlapping and the window base TLiveForm.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "dialogs/FormWindow.h"
#include "link/Commands.h"
#include "link/Dekl.h"

namespace qm90live {

inline const std::string kNotInitialisedText = kLinkNotOpenText;

// True when the record is set and its link is open. Otherwise nothing may be
// sent: without a record nothing is shown either, with a record but no link the
// status bar gets kNotInitialisedText.
bool LinkReady(const TData* data, qm90ui::TStatusBar* status_bar);

// " " followed by the driver library's text for the status (0 included).
std::string StatusText(std::uint8_t kind, std::uint8_t status);

// "1" when bit `bit` of `value` is set, else "0".
std::string BitText(std::uint8_t value, int bit);

// Exchanges run synchronously on the window's thread, so a tick, a click or a
// close request can only reach the window during one through a nested message
// loop. The gate turns such a tick or click away (it is not queued) and holds
// a close request back until the exchange has returned.
class TExchangeGate {
 public:
  bool Busy() const { return busy_; }

  // Runs `exchange` unless one is running; false when it was turned away.
  template <typename F>
  bool Run(F&& exchange) {
    if (busy_) return false;
    busy_ = true;
    exchange();
    busy_ = false;
    return true;
  }

  // True when a close must wait; it is remembered for later.
  bool HoldClose() {
    if (!busy_) return false;
    pending_close_ = true;
    return true;
  }

  // The close request held back during the last exchange, once.
  bool TakePendingClose() { return std::exchange(pending_close_, false); }

 private:
  bool busy_ = false;
  bool pending_close_ = false;
};

}  // namespace qm90live

// A live-value window: takes the module's address from the run's record when
// shown and runs every exchange through one gate, so a close asked for during
// an exchange takes effect when the exchange returns. The controls, the
// exchanges and the close buttons belong to each window.
class TLiveForm : public TFormWindow {
 public:
  // The run's record; not owned. Set by the main window before showing.
  TData* Data = nullptr;
  // Module address of every exchange, taken from the record when the window is shown.
  std::uint8_t AddressCopy = 0;

  virtual void FormShow();

 protected:
  TLiveForm(const qm90ui::TFormSpec& spec);

  // Runs `exchange` unless one is running, then carries out a close held back
  // meanwhile.
  template <typename F>
  void RunExchange(F&& exchange) {
    if (!gate_.Run(std::forward<F>(exchange))) return;
    if (gate_.TakePendingClose()) form_->Close();
  }

  // qm90live::LinkReady for this window's record and status bar.
  bool LinkReady();
  // The link of every exchange: the record's kind and handle, AddressCopy.
  TModuleLink Link() const;
  void SetStatus(const std::string& text);

  qm90ui::TStatusBar* StatusBar1 = nullptr;

 private:
  qm90live::TExchangeGate gate_;
};
