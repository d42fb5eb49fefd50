// The interface kinds the program can talk through, one row each: the driver
// library that serves the kind, its name in the settings file, the shape of
// the library's Init entry and the caption of the connection dialog's list.
// A new kind is a new row here, a transport in drivers/ and a line in
// drivers/CMakeLists.txt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/BoundEntries.h"

using TInitShape = qm90link::InitShape;

struct TInterfaceKind {
  std::uint8_t kind;
  const char* library_base;   // entry names are library_base + "_" + entry word
  const char* library_file;   // loaded by this exact name on every platform
  const char* settings_name;  // value of "Rozhraní" and name of the kind's own section
  TInitShape init_shape;
  const char* caption;  // item of the connection dialog's list (UTF-8)
};

// The kinds by name.
inline constexpr std::uint8_t kKindSerial = 0;  // COMx
inline constexpr std::uint8_t kKindIsa = 1;     // QB-311 card
inline constexpr std::uint8_t kKindPci = 2;     // QB-312 card
inline constexpr std::uint8_t kKindUsb = 3;     // QB-313 converter
inline constexpr std::uint8_t kKindLan = 4;     // QB-314 converter over UDP

// The rows, index = kind.
inline constexpr std::array<TInterfaceKind, 5> kInterfaceKinds = {{
    {kKindSerial, "QBL310", "QBL310.DLL", "COMx", TInitShape::kParam, "Standardní COMx"},
    {kKindIsa, "QBL311", "QBL311.DLL", "QB-311", TInitShape::kParam, "ISA karta QB-311"},
    {kKindPci, "QBL312", "QBL312.DLL", "QB-312", TInitShape::kPlain, "PCI karta QB-312"},
    {kKindUsb, "QBL313", "QBL313.DLL", "QB-313", TInitShape::kPlain, "USB konvertor QB-313"},
    {kKindLan, "QBL314", "QBL314.DLL", "QB-314", TInitShape::kBlock, "LAN konvertor QB-314"},
}};

// Number of kinds; every kind below it has a row.
inline constexpr std::uint8_t kInterfaceKindCount = kInterfaceKinds.size();

constexpr bool IsInterfaceKind(std::uint8_t kind) {
  return kind < kInterfaceKindCount;
}

// The row of a kind, or nullptr for a kind without one.
constexpr const TInterfaceKind* FindInterfaceKind(std::uint8_t kind) {
  return IsInterfaceKind(kind) ? &kInterfaceKinds[kind] : nullptr;
}

// The Init shape of a kind's library; kPlain for a kind without a row.
constexpr TInitShape InitShapeOf(std::uint8_t kind) {
  return IsInterfaceKind(kind) ? kInterfaceKinds[kind].init_shape : TInitShape::kPlain;
}

namespace interface_kinds_detail {
constexpr bool RowsInKindOrder() {
  for (std::size_t i = 0; i < kInterfaceKinds.size(); ++i)
    if (kInterfaceKinds[i].kind != i) return false;
  return true;
}
static_assert(RowsInKindOrder(), "a row's index must be its kind");
}  // namespace interface_kinds_detail
