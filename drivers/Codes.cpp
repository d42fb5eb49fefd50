#include "drivers/Codes.h"

#include <cstddef>
#include <cstring>

namespace qbl {
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
    {kWriteVerifyFailed, "chyba zápisu dat"},
    {kEntryMissing, "funkce knihovny není k dispozici"},
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
};

constexpr const char* kUnknownCodeText = "neznámý kód chyby knihovny";

// Windows-1250 codes of the letters above 127 that Czech texts use.
struct Cp1250Entry {
  char32_t unicode;
  std::uint8_t code;
};
constexpr Cp1250Entry kCp1250[] = {
    {U'Š', 0x8A}, {U'Ť', 0x8D}, {U'Ž', 0x8E}, {U'š', 0x9A}, {U'ť', 0x9D}, {U'ž', 0x9E},
    {U'Á', 0xC1}, {U'Č', 0xC8}, {U'É', 0xC9}, {U'Ě', 0xCC}, {U'Í', 0xCD}, {U'Ď', 0xCF},
    {U'Ň', 0xD2}, {U'Ó', 0xD3}, {U'Ř', 0xD8}, {U'Ů', 0xD9}, {U'Ú', 0xDA}, {U'Ý', 0xDD},
    {U'á', 0xE1}, {U'č', 0xE8}, {U'é', 0xE9}, {U'ě', 0xEC}, {U'í', 0xED}, {U'ď', 0xEF},
    {U'ň', 0xF2}, {U'ó', 0xF3}, {U'ř', 0xF8}, {U'ů', 0xF9}, {U'ú', 0xFA}, {U'ý', 0xFD},
};

std::uint8_t Cp1250Code(char32_t c) {
  if (c < 0x80) return static_cast<std::uint8_t>(c);
  for (const auto& entry : kCp1250) {
    if (entry.unicode == c) return entry.code;
  }
  return '?';
}

// Decodes one UTF-8 sequence at text[i]; advances i. Our own texts are valid
// UTF-8, so a malformed byte simply stands for itself.
char32_t NextCodePoint(const unsigned char* text, std::size_t& i) {
  const unsigned char lead = text[i++];
  if (lead < 0x80) return lead;
  const int extra = (lead >= 0xF0) ? 3 : (lead >= 0xE0) ? 2 : (lead >= 0xC0) ? 1 : 0;
  char32_t c = lead & (0x3F >> extra);
  for (int k = 0; k < extra && (text[i] & 0xC0) == 0x80; ++k) c = (c << 6) | (text[i++] & 0x3F);
  return c;
}

}  // namespace

const char* CodeText(std::int32_t code) {
  for (const auto& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  return kUnknownCodeText;
}

void TextToSlots(const char* utf8, std::int32_t* slots) {
  constexpr std::size_t kSlots = 100;
  std::memset(slots, 0, kSlots * sizeof(std::int32_t));
  const auto* text = reinterpret_cast<const unsigned char*>(utf8);
  std::size_t in = 0;
  for (std::size_t out = 0; out + 1 < kSlots && text[in] != 0; ++out) {
    slots[out] = Cp1250Code(NextCodePoint(text, in));
  }
}

}  // namespace qbl
