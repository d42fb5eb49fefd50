#include "drivers/Codes.h"

#include <cstddef>
#include <cstring>

#include "base/Cp1250.h"
#include "base/DriverEntries.h"

namespace qm90drivers {
namespace {

struct CodeEntry {
  std::int32_t code;
  const char* text;
};

constexpr CodeEntry kTexts[] = {
    {kOk, "komunikace v pořádku"},
    {kPortOpenFailed, "port nelze otevřít"},
    {kInvalidParameter, "neplatný parametr"},
    {kTimeout, "modul neodpovídá"},
    {kDamagedAnswer, "poškozená odpověď modulu (chybný CRC)"},
    {kCommandRefused, "modul odmítl příkaz"},
    {kRegisterRefused, "modul nezná požadovaný registr"},
    {kValueRefused, "modul odmítl zapisovanou hodnotu"},
    {kInvalidHandle, "neplatné číslo spojení"},
    {qm90codes::kReadBackMismatch, "chyba zápisu dat"},
    {qm90codes::kNotBound, "funkce knihovny není k dispozici"},
    {kUnsupportedBaud, "nepodporovaná přenosová rychlost"},
    {kInvalidIpAddress, "neplatná IP adresa"},
    {kUdpPortRange, "číslo UDP portu mimo rozsah 1-65535"},
    {kUdpTimeoutRange, "časový limit UDP mimo rozsah 0-65535 ms"},
    {kIsaBaseRange, "bázová adresa karty mimo rozsah 100h-3F0h nebo není dělitelná 10h"},
    {kSocketError, "chyba síťového soketu"},
    {kPortWriteFailed, "chyba zápisu na port"},
    {kPortReadFailed, "chyba čtení z portu"},
    {kTooManyLinks, "příliš mnoho otevřených spojení"},
    {kEepromSaveFailed, "konfiguraci modulu nelze uložit"},
    {kPortSetupFailed, "nelze nastavit parametry portu"},
    {kInternalError, "vnitřní chyba knihovny"},
    {kStateDamaged, "uložená konfigurace modulu je poškozená"},
};

constexpr const char* kUnknownCodeText = "neznámý kód chyby knihovny";

}  // namespace

const char* CodeText(std::int32_t code) {
  for (const auto& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  return kUnknownCodeText;
}

void TextToSlots(const char* utf8, std::int32_t* slots) {
  constexpr std::size_t kSlots = QBL_SLOTS;
  std::memset(slots, 0, kSlots * sizeof(std::int32_t));
  const std::u32string text = DecodeUtf8(utf8);
  for (std::size_t out = 0; out + 1 < kSlots && out < text.size(); ++out) {
    slots[out] = UnicodeToCp1250(text[out]);
  }
}

}  // namespace qm90drivers
