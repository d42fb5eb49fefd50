#include "link/QBLxxx.h"

#include <cstring>

#include "base/Files.h"
#include "link/BoundEntries.h"
#include "link/DriverHost.h"
#include "link/InterfaceKinds.h"
#include "link/Platform.h"

namespace {

using namespace qm90link;

// The one bound library of the process.
struct Binding {
  platform::LibraryHandle library = nullptr;
  void* entries[kEntryCount] = {};
  std::uint8_t kind = 0;
  TInitBlock block{};
};
Binding binding;
std::string driver_dir_override;
std::string host_dir_override;
DriverIsolation isolation = DriverIsolation::kWhenNeeded;

void ClearEntries() {
  for (void*& entry : binding.entries) entry = nullptr;
}

void Unbind() {
  ClearEntries();
  platform::UnloadLibrary(binding.library);
  binding.library = nullptr;
  qm90link::hostbinding::Release();
}

// The copy in the executable's folder, by full path, whenever one is there:
// if that copy will not load, the failure stands, rather than another copy
// found elsewhere running in its place. Only a library absent from that folder
// is left to the platform's own search.
platform::LibraryHandle LoadKindLibrary(std::uint8_t kind) {
  const std::string file = DriverFileName(kind);
  const std::string dir =
      driver_dir_override.empty() ? platform::ExecutableDir() : driver_dir_override;
  const std::string beside = platform::JoinPath(dir, file);
  if (base::PathExists(beside)) return platform::LoadLibraryFile(beside);
  return platform::LoadLibraryFile(file);
}

bool ResolveEntries(std::uint8_t kind) {
  const std::string base = FindInterfaceKind(kind)->library_base;
  for (int i = 0; i < kEntryCount; ++i) {
    const std::string name = base + "_" + kEntryWords[i];
    binding.entries[i] = platform::FindSymbol(binding.library, name.c_str());
    if (!binding.entries[i]) return false;
  }
  return true;
}

template <typename Fn>
Fn Entry(EntryIndex index) {
  return reinterpret_cast<Fn>(binding.entries[index]);
}

std::int32_t CallInit(std::uint8_t kind, std::int32_t* handle) {
  switch (FindInterfaceKind(kind)->init_shape) {
    case TInitShape::kParam:
      return Entry<InitParamFn>(kInit)(handle, static_cast<std::int32_t>(binding.block[0]));
    case TInitShape::kBlock:
      return Entry<InitBlockFn>(kInit)(handle, binding.block.data());
    case TInitShape::kPlain:
      break;
  }
  return Entry<InitPlainFn>(kInit)(handle);
}

// Codes 100 + kind and 110 + kind exist for the kinds that have a row.
bool IsKindCode(std::uint32_t code, std::int32_t first) {
  return code >= static_cast<std::uint32_t>(first) &&
         code < static_cast<std::uint32_t>(first) + kInterfaceKindCount;
}

// The library through the driver host: when isolation asks for it, or when
// the platform refused the library for its word size.
std::int32_t BindThroughHost(std::uint8_t kind) {
  const std::string file = DriverFileName(kind);
  const std::string dir =
      driver_dir_override.empty() ? platform::ExecutableDir() : driver_dir_override;
  const std::string beside = platform::JoinPath(dir, file);
  const bool present = base::PathExists(beside);
  const bool other_word_size = present && platform::IsLibraryOfOtherWordSize(beside);
  if (isolation == DriverIsolation::kWhenNeeded && !other_word_size) return kDrvLoadFailed + kind;
  const std::string host_dir =
      host_dir_override.empty() ? platform::ExecutableDir() : host_dir_override;
  return qm90link::hostbinding::Bind(kind, host_dir, present ? beside : file, other_word_size,
                                     binding.entries);
}

std::string BindingText(std::uint32_t code) {
  if (IsKindCode(code, kDrvLoadFailed))
    return "chyba inicializace knihovny " +
           DriverFileName(static_cast<std::uint8_t>(code - kDrvLoadFailed));
  if (IsKindCode(code, kDrvBadLibrary))
    return "chybná knihovna " + DriverFileName(static_cast<std::uint8_t>(code - kDrvBadLibrary));
  if (code == static_cast<std::uint32_t>(kDrvHostEnded))
    return "knihovna ovladače havarovala nebo skončila, spojení je uzavřeno";
  if (code == static_cast<std::uint32_t>(kDrvHostHung))
    return "knihovna ovladače přestala odpovídat, spojení je uzavřeno";
  if (code == static_cast<std::uint32_t>(kDrvHostGarbled))
    return "chybná odpověď pomocného procesu ovladače, spojení je uzavřeno";
  return "neznámý chybový kód";
}

}  // namespace

std::string DriverFileName(std::uint8_t kind) {
  const TInterfaceKind* row = FindInterfaceKind(kind);
  return row ? row->library_file : std::string();
}

void SetDriverDirectory(const std::string& dir) {
  driver_dir_override = dir;
}

bool DrvLibraryLoaded() {
  return binding.library != nullptr || qm90link::hostbinding::Bound();
}

void SetDriverIsolation(DriverIsolation chosen) {
  isolation = chosen;
}

void SetDriverHostDirectory(const std::string& dir) {
  host_dir_override = dir;
}

bool DrvThroughHost() {
  return qm90link::hostbinding::Bound();
}

bool DrvLinkLost() {
  return qm90link::hostbinding::Failed();
}

std::int32_t DrvOpen(std::uint8_t kind, std::int32_t* handle, const TInitBlock* block) {
  binding.block = block ? *block : TInitBlock{};
  // A library left bound (by a failed Init) goes before anything else: with
  // its entries cleared nothing could ever unload it again.
  Unbind();
  if (!IsInterfaceKind(kind)) return kDrvNotBound;
  if (isolation == DriverIsolation::kWhenNeeded) binding.library = LoadKindLibrary(kind);
  if (!binding.library) {
    const std::int32_t code = BindThroughHost(kind);
    if (code != 0) return code;
  } else if (!ResolveEntries(kind)) {
    Unbind();
    return kDrvBadLibrary + kind;
  }
  binding.kind = kind;
  std::int32_t scratch = 0;
  return CallInit(kind, handle ? handle : &scratch);
}

std::int32_t DrvSetConfig(std::uint8_t kind, std::int32_t handle, std::int32_t baud,
                          std::int32_t timing, std::int32_t mode) {
  if (!IsInterfaceKind(kind) || !binding.entries[kSetConfig]) return kDrvNotBound;
  return Entry<SetConfigFn>(kSetConfig)(handle, baud, timing, mode);
}

std::int32_t DrvSend(std::uint8_t kind, std::int32_t handle, TSlotBuffer* request,
                     TSlotBuffer* answer, std::int32_t* returned, std::int32_t* status) {
  if (!IsInterfaceKind(kind) || !binding.entries[kSend]) return kDrvNotBound;
  return Entry<SendFn>(kSend)(handle, request ? request->data() : nullptr,
                              answer ? answer->data() : nullptr, returned, status);
}

std::int32_t DrvClose(std::uint8_t kind, std::int32_t* handle) {
  if (!IsInterfaceKind(kind) || !binding.entries[kDone]) return kDrvNotBound;
  std::int32_t scratch = 0;
  const std::int32_t result = Entry<DoneFn>(kDone)(handle ? handle : &scratch);
  Unbind();
  return result;
}

std::int32_t DrvErrorText(std::uint8_t kind, std::int32_t code, TSlotBuffer* buffer) {
  const auto unsigned_code = static_cast<std::uint32_t>(code);
  if (unsigned_code >= 100) {
    if (buffer) TextToBuffer(BindingText(unsigned_code), *buffer);
    return 0;
  }
  if (!IsInterfaceKind(kind) || !binding.entries[kError] || !buffer) return kDrvNotBound;
  return Entry<ErrorFn>(kError)(code, buffer->data());
}

std::int32_t DrvVersion(std::uint8_t kind) {
  if (!IsInterfaceKind(kind) || !binding.entries[kVersion] || DrvThroughHost()) return 0;
  return Entry<QblVersionFn>(kVersion)();
}

bool DrvIsEmulation(std::uint8_t kind) {
  return (DrvVersion(kind) & QBL_VERSION_EMULATION) != 0;
}

std::string ErrorText(std::uint8_t kind, std::int32_t code) {
  TSlotBuffer buffer{};
  DrvErrorText(kind, code, &buffer);
  return BufferToText(buffer);
}

void ModuleTransact(std::uint8_t kind, std::int32_t handle, std::uint8_t address,
                    std::uint8_t command, std::uint8_t subcode, std::uint8_t& d0, std::uint8_t& d1,
                    std::uint8_t& d2, std::uint8_t& d3, std::uint8_t& d4, std::uint8_t& status,
                    TSlotBuffer& answer, std::int32_t listen_ms) {
  if (handle == 0) return;
  TSlotBuffer request{};
  const std::uint8_t bytes[8] = {address, command, subcode, d0, d1, d2, d3, d4};
  for (int i = 0; i < 8; ++i) request[i] = bytes[i];
  request[QBL_REQUEST_LISTEN_SLOT] = listen_ms;

  std::int32_t exchange_status = 0;
  std::int32_t returned = 0;
  const std::int32_t result = DrvSend(kind, handle, &request, &answer, &returned, &exchange_status);
  if (result != 0) exchange_status = result;

  if (exchange_status == 0) {
    status = 0;
    d0 = static_cast<std::uint8_t>(returned & 0xFF);
    d1 = static_cast<std::uint8_t>(answer[0] & 0xFF);
    d2 = static_cast<std::uint8_t>(answer[1] & 0xFF);
    d3 = static_cast<std::uint8_t>(answer[2] & 0xFF);
    d4 = static_cast<std::uint8_t>(answer[3] & 0xFF);
    return;
  }
  // A failure never comes out as success, nor as another code's text.
  status = (exchange_status >= 1 && exchange_status <= 255)
               ? static_cast<std::uint8_t>(exchange_status)
               : static_cast<std::uint8_t>(kStatusUnknownCode);
  d0 = d1 = d2 = d3 = d4 = 0;
}
