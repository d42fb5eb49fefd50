// Opening the link to a module: what the connection dialog does once it has
// read its fields, as one operation any front end can call.
#pragma once

#include <cstdint>
#include <string>

#include "link/Commands.h"
#include "link/Dekl.h"

// What to open: the kind, the module's address and the baud-rate list index.
struct TLinkRequest {
  std::uint8_t kind = 0;
  std::uint8_t address = 0;
  std::uint8_t baud_index = 4;
  // Kind 0: the serial port number handed to the library, kept to 16 bits;
  // the record's ComPort holds only its low 8 bits.
  std::uint16_t com_port = 1;
  // SetConfig's timing value; 0: the list index's own.
  std::int32_t timing = 0;
  // False: the line is opened and configured only, no module is asked (a
  // search asks its addresses itself).
  bool identify = true;
  // Sees the identification's exchanges; may be null.
  const TExchangeObserver* observer = nullptr;
};

// The step at which opening stopped.
enum class TOpenStep { kNone, kOpen, kSetConfig, kIdentify };

struct TOpenResult {
  TOpenStep failed = TOpenStep::kNone;  // kNone: the module answered, the link is open
  std::int32_t code = 0;  // DrvOpen's or DrvSetConfig's result, or the identification status
  std::string name;       // the module's identification text on success
  // On failure the code's text (ErrorText), asked before the library was
  // closed again: once it is unloaded no library could name its code.
  std::string text;
  bool ok() const { return failed == TOpenStep::kNone; }
};

// SetConfig's last argument: every library is handed 2 there; what it selects
// is the library's business, so the program never varies it.
inline constexpr std::int32_t kSetConfigMode = 2;

// When the record's link is open (LinkOpen and a non-zero handle): closes it
// with the kind still stored, keeps the handle Done left in LinkHandle and
// clears LinkOpen. Returns DrvClose's result, or 0 when nothing was open.
std::int32_t CloseLink(TData& data);

// Zeroes InitBlock and fills it from the record for the kind: 0 the serial
// port number, 1 the ISA base address, 4 the address of the IpAddress
// characters, UdpPort and UdpTimeout; the other kinds leave it zero. The IP
// address slot stays valid while IpAddress is not changed.
void FillInitBlock(TData& data, std::uint8_t kind, std::uint16_t com_port);

// Opens the link of the request with the record's per-kind parameters: closes
// an open link, fills InitBlock, DrvOpen (LinkOpen set once it succeeds),
// DrvSetConfig with the list index's rate and timing, then the three
// identification requests. On success stores ModuleName, ModuleAddress,
// BaudRate, ConnectionStatus "V pořádku" and LinkHandle. A failing SetConfig
// or identification closes the library again (LinkHandle as Done left it,
// LinkOpen cleared) after asking it for the code's text; a failing DrvOpen
// clears LinkOpen and leaves LinkHandle.
// InterfaceKind becomes the request's kind once the old link is closed.
TOpenResult OpenLink(TData& data, const TLinkRequest& request);

// Configures the open link for another list index (timing 0: the index's
// own). Returns DrvSetConfig's result; on success BaudRate holds the rate.
std::int32_t SetLinkRate(TData& data, std::uint8_t baud_index, std::int32_t timing = 0);
