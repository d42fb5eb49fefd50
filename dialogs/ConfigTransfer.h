// ConfigTransfer: what the three module settings dialogs share around the
// register transfers of link/RegisterTransfer.h: the texts the windows show
// for them, the range checks of their edit fields, the window's pause, and
// the guard that keeps a transfer from being interleaved with another one or
// with closing the dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "link/Dekl.h"
#include "link/RegisterTransfer.h"

namespace qm90ui {
class TForm;
}

namespace qm90cfg {

inline const std::string kNoMessage = " ";
inline const std::string kLinkNotOpen = kLinkNotOpenText;
inline const std::string kReadDone = " Konfigurace přečtena.";
inline const std::string kWriteDone = " Konfigurace zapsána.";

std::string ReadProgress(int percent);   // " Probíhá čtení konfigurace z modulu (n %)"
std::string WriteProgress(int percent);  // " Probíhá zápis konfigurace do modulu (n %)"
// What the status bar shows when a transfer has ended: the done text, or " "
// and the failing status's text (a read-back mismatch: " Chyba zápisu dat.").
std::string TransferResultText(std::uint8_t kind, TTransferDirection direction,
                               const TTransferResult& result);

// True when the text is an integer (the program's one conversion) within
// minimum..maximum; only then is value written.
bool ParseByteInRange(std::string_view text, int minimum, int maximum, std::uint8_t& value);
bool ParseWordInRange(std::string_view text, int minimum, int maximum, std::uint16_t& value);

// The pause of a transfer: lets the window process its pending events, then
// sleeps 1 ms.
void PauseForEvents();

// Keeps transfers apart. The window processes its events between the requests
// of a transfer, so clicks, Escape and the close box can arrive in the middle
// of one. The buttons stay enabled; while a transfer runs a second transfer or
// "Ok" is refused, and a request to close ("Cancel", Escape, the close box) is
// remembered and carried out as soon as the transfer has ended, so the dialog
// never goes away under a running exchange and the user's wish to leave is
// not lost.
class TTransferGuard {
 public:
  // The dialog to close once a held close is carried out.
  void Attach(qm90ui::TForm* dialog);

  bool Running() const { return running_; }
  // Runs the transfer unless one is running already (then returns false).
  bool Run(const std::function<void()>& transfer);
  // For the dialog's reject(): true when the close must wait for the transfer.
  bool HoldClose();

 private:
  qm90ui::TForm* dialog_ = nullptr;
  bool running_ = false;
  bool close_pending_ = false;
};

}  // namespace qm90cfg
