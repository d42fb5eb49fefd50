// ConfigTransfer: what the three module settings dialogs share: the range
// checks of their edit fields, reading configuration registers with progress,
// writing them with a read-back check, and the guard that keeps a transfer
// from being interleaved with another one or with closing the dialog.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/Dekl.h"

class QDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace qm90cfg {

// Configuration register numbers.
inline constexpr std::uint8_t kRegDoutInit = 32;
inline constexpr std::uint8_t kRegDinNegation = 33;
inline constexpr std::uint8_t kRegDoutNegation = 34;
inline constexpr std::uint8_t kRegAoutLow = 35;
inline constexpr std::uint8_t kRegAoutHigh = 36;
inline constexpr std::uint8_t kRegBaudIndex = 62;
inline constexpr std::uint8_t kRegAddress = 63;

inline constexpr std::uint8_t kCmdReadRegister = 102;
inline constexpr std::uint8_t kCmdWriteRegister = 103;
// Status of a read-back that differs from the value written.
inline constexpr std::uint8_t kStatusReadBackMismatch = 9;

inline const QString kNoMessage = QStringLiteral(" ");
inline const QString kLinkNotOpen = QStringLiteral(" Připojení k modulu není inicializováno.");
inline const QString kReadDone = QStringLiteral(" Konfigurace přečtena.");
inline const QString kWriteDone = QStringLiteral(" Konfigurace zapsána.");
inline constexpr const char* kWriteMismatch = "Chyba zápisu dat.";

QString ReadProgress(int percent);   // " Probíhá čtení konfigurace z modulu (n %)"
QString WriteProgress(int percent);  // " Probíhá zápis konfigurace do modulu (n %)"

// True when the text is an integer (the program's one conversion) within
// minimum..maximum; only then is value written.
bool ParseByteInRange(std::string_view text, int minimum, int maximum, std::uint8_t& value);
bool ParseWordInRange(std::string_view text, int minimum, int maximum, std::uint16_t& value);

// The open link of a record: LinkOpen set and a non-zero handle.
bool LinkIsOpen(const TData* data);

struct TModuleLink {
  std::uint8_t kind = 0;
  std::int32_t handle = 0;
  std::uint8_t address = 0;
};
TModuleLink LinkOf(const TData& data);

// How a written register is checked. The default is the analog output
// dialog's: read back at once, the value repeated in d3 and d4 of the request.
struct TReadBack {
  bool pause_before = false;  // let window events through (and sleep 1 ms) first
  bool echoes_value = true;   // false: d3 = d4 = 0 in the read-back request
};

// Writes one register, reads it back and compares. Returns 0 with an empty
// message; the driver's status with its text; or 9 with "Chyba zápisu dat."
// when the module holds another value.
std::uint8_t WriteConfigRegister(std::uint8_t kind, std::int32_t handle, std::uint8_t address,
                                 std::uint8_t reg, std::uint8_t value, std::string& message,
                                 TReadBack read_back = {});

// When a transfer lets the window process its events (and sleeps 1 ms).
enum class TPause {
  kNone,
  kBeforeEachRequestAfterFirst,
  kAfterEachSuccess,  // after each write, and after each register's read (or read-back) is done
};

struct TTransferPlan {
  TPause pause = TPause::kNone;
  bool readback_echoes_value = false;        // read-back request carries the value in d3, d4
  std::function<void(const QString&)> show;  // status text sink
};

struct TRegisterStep {
  std::uint8_t reg = 0;
  int percent = 0;         // progress shown once this register is done
  std::uint8_t value = 0;  // what a write puts there
};

// Reads the registers in order; after each good answer store(reg, d3) and the
// progress. Stops at the first failing request with " " + its text.
// Returns true when all were read.
bool ReadRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                   const TTransferPlan& plan,
                   const std::function<void(std::uint8_t reg, std::uint8_t value)>& store);

// Writes the registers in order, each followed by its read-back check. Stops at
// the first failure; registers already written stay written.
bool WriteRegisters(const TModuleLink& link, std::span<const TRegisterStep> steps,
                    const TTransferPlan& plan);

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
  void Attach(QDialog* dialog);

  bool Running() const { return running_; }
  // Runs the transfer unless one is running already (then returns false).
  bool Run(const std::function<void()>& transfer);
  // For the dialog's reject(): true when the close must wait for the transfer.
  bool HoldClose();

 private:
  QDialog* dialog_ = nullptr;
  bool running_ = false;
  bool close_pending_ = false;
};

// Widens a label to its text when the platform's substitute font runs wider
// than the place given for it (labels size themselves to their text).
void FitLabelWidth(QLabel* label);

// Focus order: each widget follows the one before it.
void SetTabChain(std::initializer_list<QWidget*> widgets);

}  // namespace qm90cfg
