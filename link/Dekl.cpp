#include "link/Dekl.h"

#include <algorithm>

#include "base/Baud.h"
#include "base/Cp1250.h"
#include "base/Files.h"
#include "base/Folders.h"
#include "link/IniFile.h"
#include "link/IntText.h"
#include "link/InterfaceKinds.h"
#include "link/Platform.h"

namespace {

constexpr const char* kSettingsFileName = "W_qm90.ini";
constexpr const char* kSectionConnection = "Připojení";
constexpr const char* kSectionCom = kInterfaceKinds[kKindSerial].settings_name;
constexpr const char* kSectionIsa = kInterfaceKinds[kKindIsa].settings_name;
constexpr const char* kSectionLan = kInterfaceKinds[kKindLan].settings_name;
constexpr const char* kNoInterface = "jkl";

// Far above any settings file a person writes; a larger one is left alone
// (neither read into memory nor replaced).
constexpr std::size_t kLargestSettingsFile = 1 << 20;

std::string settings_path_override;

// Reads an integer key; the field keeps its value when the key is missing or
// is not an integer.
template <typename Field>
void ReadInteger(const IniFile& ini, const char* section, const char* key, Field& field) {
  std::string text;
  std::int32_t value = 0;
  if (ini.ReadString(section, key, text) && TryStrToInt(text, value))
    field = static_cast<Field>(value);  // cut to the field's width
}

void WriteInteger(IniFile& ini, const char* section, const char* key, std::int64_t value) {
  ini.WriteString(section, key, std::to_string(value));
}

}  // namespace

TModuleConfig DefaultModuleConfig() {
  TModuleConfig config{};
  config.Address = 1;
  config.BaudIndex = 4;
  config.AoutInit = 0;
  for (int i = 0; i < 4; ++i) {
    config.DinNegation[i] = 0xFF;
    config.DoutNegation[i] = 0xFF;
    config.DoutInit[i] = 0x00;
  }
  return config;
}

void SetDataDefaults(TData* data) {
  if (!data) return;
  data->InterfaceKind = 0;
  data->ModuleAddress = 0;
  data->BaudRate = base::kBaudRates[base::kDefaultBaudIndex];
  data->IsaBaseAddress = 0x300;
  data->ComPort = 1;
  data->IpAddress = kDefaultIpAddress;
  data->UdpPort = 5000;
  data->UdpTimeout = 100;
  data->ConnectionStatus = kDefaultConnectionStatus;
  data->LinkHandle = 0;
  data->LinkOpen = false;
  data->ModuleName.clear();
  data->InitBlock.fill(0);
  data->Config = DefaultModuleConfig();
}

namespace {

// True when a file can be made at the folder: it can be written, or the
// nearest folder above it that exists can.
bool FolderCanBeMade(const std::string& folder) {
  std::string at = folder;
  while (!at.empty() && !base::PathExists(at)) {
    const std::size_t cut = at.find_last_of("/\\");
    if (cut == std::string::npos || cut == 0) return false;
    at.erase(cut);
  }
  return !at.empty() && base::FolderWritable(at);
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? "." : path.substr(0, cut);
}

}  // namespace

SettingsLocation ChooseSettingsLocation(const std::string& program_folder,
                                        const std::string& user_folder) {
  const std::string beside = platform::JoinPath(program_folder, kSettingsFileName);
  if (base::FolderWritable(program_folder)) return {beside, beside};
  if (user_folder.empty()) return {beside, ""};
  const std::string own = platform::JoinPath(user_folder, kSettingsFileName);
  return {base::PathExists(own) ? own : beside, FolderCanBeMade(user_folder) ? own : ""};
}

SettingsLocation CurrentSettingsLocation() {
  if (!settings_path_override.empty()) {
    const bool writable = base::FolderWritable(FolderOf(settings_path_override));
    return {settings_path_override, writable ? settings_path_override : ""};
  }
  return ChooseSettingsLocation(platform::ExecutableDir(), base::UserConfigFolder());
}

std::string SettingsFilePath() {
  return CurrentSettingsLocation().read;
}

void SetSettingsFilePath(const std::string& path) {
  settings_path_override = path;
}

bool LoadSettings(TData* data) {
  return LoadSettingsAt(CurrentSettingsLocation(), data);
}

bool SaveSettings(TData* data) {
  return SaveSettingsAt(CurrentSettingsLocation(), data);
}

bool LoadSettingsAt(const SettingsLocation& location, TData* data) {
  if (!data) return false;
  std::string bytes;
  if (base::ReadRegularFile(location.read, kLargestSettingsFile, bytes) != base::ReadStatus::kOk)
    return false;
  IniFile ini;
  ini.Parse(bytes);

  std::string kind_name = kNoInterface;
  ini.ReadString(kSectionConnection, "Rozhraní", kind_name);
  if (kind_name == kNoInterface) return false;

  ReadInteger(ini, kSectionConnection, "Adresa", data->ModuleAddress);
  ReadInteger(ini, kSectionConnection, "Rychlost", data->BaudRate);
  ReadInteger(ini, kSectionIsa, "Bázová adresa", data->IsaBaseAddress);
  ReadInteger(ini, kSectionCom, "Číslo portu", data->ComPort);
  ini.ReadString(kSectionLan, "IP adresa", data->IpAddress);
  ReadInteger(ini, kSectionLan, "UDP port", data->UdpPort);
  ReadInteger(ini, kSectionLan, "UDP timeout", data->UdpTimeout);

  for (const TInterfaceKind& row : kInterfaceKinds)
    if (kind_name == row.settings_name) data->InterfaceKind = row.kind;
  return true;
}

bool SaveSettingsAt(const SettingsLocation& location, TData* data) {
  if (!data || location.write.empty()) return false;
  const std::string& path = location.write;
  // A missing file starts from the one read at start (or empty); one that
  // exists but cannot be read (or is too large to be a settings file) is left
  // alone, or its other sections would be lost.
  std::string bytes;
  base::ReadStatus read = base::ReadRegularFile(path, kLargestSettingsFile, bytes);
  if (read == base::ReadStatus::kMissing && location.read != path) {
    read = base::ReadRegularFile(location.read, kLargestSettingsFile, bytes);
    if (read != base::ReadStatus::kOk) bytes.clear();
    read = base::ReadStatus::kMissing;
  }
  if (read != base::ReadStatus::kOk && read != base::ReadStatus::kMissing) return false;
  if (read == base::ReadStatus::kMissing && !base::MakeFolders(FolderOf(path))) return false;
  IniFile ini;
  ini.Parse(bytes);

  const std::uint8_t kind =
      IsInterfaceKind(data->InterfaceKind) ? data->InterfaceKind : kKindSerial;
  ini.WriteString(kSectionConnection, "Rozhraní", kInterfaceKinds[kind].settings_name);
  switch (kind) {
    case kKindSerial:
      WriteInteger(ini, kSectionCom, "Číslo portu", data->ComPort);
      break;
    case kKindIsa:
      WriteInteger(ini, kSectionIsa, "Bázová adresa", data->IsaBaseAddress);
      break;
    case kKindLan:
      ini.WriteString(kSectionLan, "IP adresa", data->IpAddress);
      WriteInteger(ini, kSectionLan, "UDP port", data->UdpPort);
      WriteInteger(ini, kSectionLan, "UDP timeout", data->UdpTimeout);
      break;
    default:
      break;
  }
  WriteInteger(ini, kSectionConnection, "Adresa", data->ModuleAddress);
  WriteInteger(ini, kSectionConnection, "Rychlost", data->BaudRate);
  return base::ReplaceFileAtomically(path, ini.Serialize(), base::NewFileAccess::kShared);
}

std::int32_t TextToBuffer(const std::string& text, TSlotBuffer& buffer) {
  TSlotBuffer local{};
  const std::u32string chars = DecodeUtf8(text);
  const std::size_t n = std::min<std::size_t>(chars.size(), 99);
  for (std::size_t i = 0; i < n; ++i) local[i + 1] = UnicodeToCp1250(chars[i]);
  buffer = local;
  return 0;
}

std::string BufferToText(const TSlotBuffer& buffer) {
  std::string text;
  std::size_t i = 0;
  do {
    const auto code = static_cast<std::uint8_t>(buffer[i] & 0xFF);
    if (buffer[i] != 0 && code != 0) text += EncodeUtf8(Cp1250ToUnicode(code));
    ++i;
  } while (i < buffer.size() && buffer[i] != 0);
  return text;
}

std::int32_t BaudFromIndex(std::uint8_t index) {
  return base::kBaudRates[index < base::kBaudCount ? index : base::kDefaultBaudIndex];
}

std::uint8_t IndexFromBaud(std::int32_t baud) {
  const int index = base::BaudIndexOf(baud);
  return index < 0 ? base::kDefaultBaudIndex : static_cast<std::uint8_t>(index);
}

std::int32_t TimingFromIndex(std::uint8_t index) {
  return base::kBaudTimings[index < base::kBaudCount ? index : base::kDefaultBaudIndex];
}
