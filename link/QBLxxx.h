// QBLxxx: binding of the driver library of one interface kind, loaded at run
// time, and the one request/answer exchange with the module.
#pragma once

#include <cstdint>
#include <string>

#include "Dekl.h"
#include "base/ReservedCodes.h"

// Result codes of the binding (0 is success everywhere).
inline constexpr std::int32_t kDrvNotBound = qm90codes::kNotBound;  // kind above 4, entry not bound
inline constexpr std::int32_t kDrvLoadFailed = 100;      // + kind: library cannot be loaded
inline constexpr std::int32_t kDrvBadLibrary = 110;      // + kind: an entry is missing
inline constexpr std::int32_t kStatusUnknownCode = 255;  // exchange status with no byte of its own
// Codes of the driver host (a library served by qm90-drvhost). After any of
// them the host is gone and every call gives the same code until DrvOpen.
inline constexpr std::int32_t kDrvHostEnded = 120;    // the host ended during a call
inline constexpr std::int32_t kDrvHostHung = 121;     // a call got no answer in time
inline constexpr std::int32_t kDrvHostGarbled = 122;  // the host's answer was malformed

// File name of the kind's library, "QBL310.DLL" .. "QBL314.DLL"; empty above 4.
std::string DriverFileName(std::uint8_t kind);

// Folder searched first for the libraries (default: the executable's folder).
// Tests point it at their own folder; an empty text restores the default.
void SetDriverDirectory(const std::string& dir);

// Loads and binds the kind's library and calls its Init. Returns Init's result,
// 10, 100 + kind or 110 + kind. A library bound earlier is unloaded first. When
// Init fails the library stays bound so its Error entry can name the code.
std::int32_t DrvOpen(std::uint8_t kind, std::int32_t* handle, const TInitBlock* block);
std::int32_t DrvSetConfig(std::uint8_t kind, std::int32_t handle, std::int32_t baud,
                          std::int32_t timing, std::int32_t mode);
std::int32_t DrvSend(std::uint8_t kind, std::int32_t handle, TSlotBuffer* request,
                     TSlotBuffer* answer, std::int32_t* returned, std::int32_t* status);
// Calls Done, then unloads whatever Done returned; returns Done's result or 10.
std::int32_t DrvClose(std::uint8_t kind, std::int32_t* handle);
// Codes 0..99 ask the bound library (10 when none: buffer untouched); 100 and
// above get the binding's own texts. Returns 0 or the library's result.
std::int32_t DrvErrorText(std::uint8_t kind, std::int32_t code, TSlotBuffer* buffer);

// Text of a code through a zeroed buffer: what every window shows.
std::string ErrorText(std::uint8_t kind, std::int32_t code);

// The bound library's Version; 0 when none is bound or it runs in the driver
// host (which does not pass Version on).
std::int32_t DrvVersion(std::uint8_t kind);
// True when the bound library says it is the bundled emulation.
bool DrvIsEmulation(std::uint8_t kind);

// True while a library is loaded (for tests and the closing path).
bool DrvLibraryLoaded();

// Where the driver library runs. kWhenNeeded: in this process, and in the
// driver host only when the platform refuses it for being of the other word
// size (32 / 64 bit). kAlways: always in the driver host, so that a library
// that crashes or hangs cannot take the program with it. An internal setting
// for tests and the command-line tool; the window program keeps the default.
enum class DriverIsolation { kWhenNeeded, kAlways };
void SetDriverIsolation(DriverIsolation isolation);
// Folder of qm90-drvhost (default: the executable's folder); empty restores it.
void SetDriverHostDirectory(const std::string& dir);
// True while the bound library runs in the driver host.
bool DrvThroughHost();
// True once the driver host crashed, hung or answered garbage (codes 120..122):
// the link is closed, and every call gives that code until the next DrvOpen.
bool DrvLinkLost();

// One exchange. With handle 0 nothing is sent and nothing written. On success
// d0..d4 hold the answer; on failure they are 0 and status is the code. A code
// outside 1..255 (256, a negative one) comes out as 255, never as success or
// as another code. `listen_ms` goes into the request's QBL_REQUEST_LISTEN_SLOT
// (a search asks the library to listen for a second answer; 0 otherwise).
void ModuleTransact(std::uint8_t kind, std::int32_t handle, std::uint8_t address,
                    std::uint8_t command, std::uint8_t subcode, std::uint8_t& d0, std::uint8_t& d1,
                    std::uint8_t& d2, std::uint8_t& d3, std::uint8_t& d4, std::uint8_t& status,
                    TSlotBuffer& answer, std::int32_t listen_ms = 0);
