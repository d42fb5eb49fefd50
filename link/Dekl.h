// Dekl: the one connection record of a run, the module configuration image,
// the slot buffers that carry requests, answers and texts to and from the
// driver libraries, the settings file W_qm90.ini and the baud-rate tables.
// Free of Qt: texts are UTF-8 std::string.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/DriverEntries.h"

#pragma pack(push, 1)
struct TModuleConfig {
  std::uint8_t Address;          // module address stored in the module (kRegAddress)
  std::uint8_t BaudIndex;        // baud-rate list index stored in the module (kRegBaudIndex)
  std::uint16_t AoutInit;        // analog output initial value (kRegAoutLow, kRegAoutHigh)
  std::uint8_t DinNegation[4];   // bit k of byte 0 = DINk (kRegDinNegation)
  std::uint8_t DoutNegation[4];  // bit k of byte 0 = DOUTk (kRegDoutNegation)
  std::uint8_t DoutInit[4];      // bit k of byte 0 = DOUTk (kRegDoutInit)
};
#pragma pack(pop)
static_assert(sizeof(TModuleConfig) == 16);
static_assert(offsetof(TModuleConfig, BaudIndex) == 1);
static_assert(offsetof(TModuleConfig, AoutInit) == 2);
static_assert(offsetof(TModuleConfig, DinNegation) == 4);
static_assert(offsetof(TModuleConfig, DoutNegation) == 8);
static_assert(offsetof(TModuleConfig, DoutInit) == 12);

// 100 int32 slots. As text: one Windows-1250 code per slot, a zero slot ends it.
using TSlotBuffer = std::array<std::int32_t, QBL_SLOTS>;

// Parameter block for a driver library's Init entry. Slots are pointer-sized so
// that slot 0 can carry the address of the IP text on 64-bit platforms too.
using TInitBlock = std::array<std::intptr_t, QBL_INIT_SLOTS>;

struct TData {
  std::uint8_t InterfaceKind = 0;  // 0 COMx, 1 QB-311, 2 QB-312, 3 QB-313, 4 QB-314
  std::uint8_t ModuleAddress = 0;
  std::int32_t BaudRate = 9600;
  std::uint16_t IsaBaseAddress = 0x300;
  std::uint8_t ComPort = 1;
  std::string IpAddress;
  std::int32_t UdpPort = 5000;
  std::int32_t UdpTimeout = 100;
  std::string ConnectionStatus;
  std::int32_t LinkHandle = 0;
  bool LinkOpen = false;
  std::string ModuleName;
  TInitBlock InitBlock{};
  TModuleConfig Config{};
};

// Default of IpAddress: a private address, never contacted by tests.
inline constexpr const char* kDefaultIpAddress = "192.168.1.254";
inline constexpr const char* kDefaultConnectionStatus = "Připojení modulu dosud neinicializováno";

// Returns the factory image 01 04 00 00 FF FF FF FF FF FF FF FF 00 00 00 00.
TModuleConfig DefaultModuleConfig();

// Fills every field with its default; a null record is ignored.
void SetDataDefaults(TData* data);

// Where W_qm90.ini is read at start and written at the end.
struct SettingsLocation {
  std::string read;
  std::string write;  // empty when no place can be written
};

// Beside the program where its folder can be written; otherwise the user's
// own copy in user_folder, read from beside the program until it exists.
// user_folder may be empty (none) and need not exist yet.
SettingsLocation ChooseSettingsLocation(const std::string& program_folder,
                                        const std::string& user_folder);

// The location of this run: the path set by SetSettingsFilePath for both
// reading and writing, else the choice for the executable's folder and
// base::UserConfigFolder(). An empty path restores the default.
SettingsLocation CurrentSettingsLocation();
std::string SettingsFilePath();  // CurrentSettingsLocation().read
void SetSettingsFilePath(const std::string& path);

// Returns true when the file held an interface entry and the values were read;
// false for a null record or when the entry is absent (record unchanged).
bool LoadSettings(TData* data);

// Writes the keys of the record's kind, keeping everything else in the file;
// the file is replaced atomically. Returns true after writing; false for a null
// record or when the file could not be written (the old file then stands).
bool SaveSettings(TData* data);

// The same at a given location. Saving keeps the other sections of the file
// read at start when the file written is new, and creates its folder.
bool LoadSettingsAt(const SettingsLocation& location, TData* data);
bool SaveSettingsAt(const SettingsLocation& location, TData* data);

// Puts the first 99 characters of a UTF-8 text into slots 1..99 as Windows-1250
// codes (characters without a code become '?'). Always returns 0.
std::int32_t TextToBuffer(const std::string& text, TSlotBuffer& buffer);

// Returns the UTF-8 text a slot buffer holds (slot 0 inspected, first zero slot
// after it ends the text; slots whose low byte is 0 are skipped).
std::string BufferToText(const TSlotBuffer& buffer);

// Baud-rate list: index 0..8 = 600 .. 115200 Bd.
std::int32_t BaudFromIndex(std::uint8_t index);    // other index: 9600
std::uint8_t IndexFromBaud(std::int32_t baud);     // other rate: 4
std::int32_t TimingFromIndex(std::uint8_t index);  // other index: 13
