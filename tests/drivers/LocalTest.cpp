// Driver libraries without the emulator process: Init parameter checks, the
// error texts, and the in-process module of QBL311..QBL313.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/QBLxxx.h"
#include "tests/drivers/Harness.h"

namespace drvtest {
namespace {

namespace fs = std::filesystem;

class Local : public ::testing::Test {
 protected:
  void SetUp() override { UseBuiltDrivers(); }
  OwnFolders folder_;  // first member: goes after everything that uses it
};

struct InitCase {
  std::uint8_t kind;
  std::intptr_t param;  // COM number or ISA base
  std::int32_t code;
};

TEST_F(Local, InitChecksComNumberAndIsaBase) {
  // COM5 leads to something that is no serial line at all.
  fs::create_directories(folder_.path() + "/qm90");
  fs::create_symlink("/dev/null", folder_.path() + "/qm90/COM5");
  const std::vector<InitCase> cases = {
      {kSerial, 0, kInvalidParameter},
      {kSerial, 256, kInvalidParameter},
      {kSerial, -1, kInvalidParameter},
      {kSerial, 0x10001, kInvalidParameter},
      {kSerial, 5, kPortOpenFailed},
      {kSerial, 250, kPortOpenFailed},
      {kIsa, 0x0F0, kIsaBaseRange},
      {kIsa, 0x3F8, kIsaBaseRange},
      {kIsa, 0x305, kIsaBaseRange},
      {kIsa, 0x400, kIsaBaseRange},
      {kIsa, -0x300, kIsaBaseRange},
      {kIsa, 0x100, 0},
      {kIsa, 0x300, 0},
      {kIsa, 0x3F0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " / " + std::to_string(c.param));
    Session link(c.kind);
    TInitBlock block{};
    block[0] = c.param;
    EXPECT_EQ(link.Open(block), c.code);
    if (c.code != 0) {
      EXPECT_EQ(link.handle(), 0) << "handle left alone";
    }
  }
}

struct UdpInitCase {
  const char* ip;
  std::intptr_t port;
  std::intptr_t timeout;
  std::int32_t code;
};

TEST_F(Local, InitChecksTheLanBlock) {
  // Nothing is sent at Init, so no emulator is needed; only 127.0.0.1 is named.
  const std::vector<UdpInitCase> cases = {
      {"", 5000, 100, kInvalidIpAddress},
      {"127.0.0", 5000, 100, kInvalidIpAddress},
      {"127.0.0.256", 5000, 100, kInvalidIpAddress},
      {"localhost", 5000, 100, kInvalidIpAddress},
      {" 127.0.0.1", 5000, 100, kInvalidIpAddress},
      {"127.0.0.1 x", 5000, 100, kInvalidIpAddress},
      {"127.0.0.1", 0, 100, kUdpPortRange},
      {"127.0.0.1", 65536, 100, kUdpPortRange},
      {"127.0.0.1", -1, 100, kUdpPortRange},
      {"127.0.0.1", 5000, -1, kUdpTimeoutRange},
      {"127.0.0.1", 5000, 65536, kUdpTimeoutRange},
      {"127.0.0.1", 65535, 0, 0},  // time-out 0: the library's default
      {"127.0.0.1", 1, 65535, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ip) + " " + std::to_string(c.port) + " " +
                 std::to_string(c.timeout));
    Session link(kLan);
    EXPECT_EQ(link.OpenUdp(static_cast<int>(c.port), c.timeout, c.ip), c.code);
  }
  Session link(kLan);
  TInitBlock block{};  // no IP text at all
  block[1] = 5000;
  EXPECT_EQ(link.Open(block), kInvalidIpAddress);
  // An IP text with no end within reason is refused without reading on.
  const std::string endless(4096, '1');
  EXPECT_EQ(link.OpenUdp(5000, 100, endless), kInvalidIpAddress);
}

// A socket of our own on 127.0.0.1 that never answers; closed, nobody listens.
TEST_F(Local, LanTimesOutWhenNobodyAnswers) {
  for (const bool listening : {true, false}) {
    SCOPED_TRACE(listening ? "silent listener" : "nobody listening");
    const int silent = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size), 0);
    if (!listening) close(silent);
    Session link(kLan);
    ASSERT_EQ(link.OpenUdp(ntohs(address.sin_port), 50), 0);
    ASSERT_EQ(link.Configure(9600), 0);
    EXPECT_EQ(link.ReadRegister(63).status, kTimeout);
    EXPECT_EQ(link.ReadRegister(63).status, kTimeout) << "the second exchange alike";
    if (listening) close(silent);
  }
}

const std::vector<std::string> kExpectedTexts = {
    "komunikace v pořádku",
    "port nelze otevřít",
    "neplatný parametr",
    "modul neodpovídá",
    "poškozená odpověď modulu (chybný CRC)",
    "modul odmítl příkaz",
    "modul nezná požadovaný registr",
    "modul odmítl zapisovanou hodnotu",
    "neplatné číslo spojení",
    "chyba zápisu dat",
    "funkce knihovny není k dispozici",
    "nepodporovaná přenosová rychlost",
    "neplatná IP adresa",
    "číslo UDP portu mimo rozsah 1-65535",
    "časový limit UDP mimo rozsah 0-65535 ms",
    "bázová adresa karty mimo rozsah 100h-3F0h nebo není dělitelná 10h",
    "chyba síťového soketu",
    "chyba zápisu na port",
    "chyba čtení z portu",
    "příliš mnoho otevřených spojení",
    "konfiguraci modulu nelze uložit",
    "nelze nastavit parametry portu",
    "vnitřní chyba knihovny",
    "uložená konfigurace modulu je poškozená",
};
const char* const kUnknownText = "neznámý kód chyby knihovny";

TEST_F(Local, EveryLibraryNamesEveryCodeInCzech) {
  for (std::uint8_t kind = 0; kind <= 4; ++kind) {
    SCOPED_TRACE(static_cast<int>(kind));
    // Error needs a bound library; a failing Init leaves it bound.
    Session link(kind);
    TInitBlock block{};
    if (kind == kIsa) block[0] = 0x300;
    if (kind == kSerial) block[0] = 250;
    link.Open(block);
    ASSERT_TRUE(DrvLibraryLoaded());
    for (std::size_t code = 0; code < kExpectedTexts.size(); ++code) {
      EXPECT_EQ(ErrorText(kind, static_cast<std::int32_t>(code)), kExpectedTexts[code]) << code;
    }
    for (std::int32_t code : {24, 50, 99}) EXPECT_EQ(ErrorText(kind, code), kUnknownText);
    // The text starts in slot 0, in Windows-1250: "ř" is 0xF8.
    TSlotBuffer raw{};
    ASSERT_EQ(DrvErrorText(kind, 0, &raw), 0);
    EXPECT_EQ(raw[0], 'k');
    EXPECT_EQ(raw[15], 0xF8);
    EXPECT_EQ(raw[20], 0);
  }
}

TEST_F(Local, ErrorTextsAreDistinctLowerCaseWithoutFinalPeriod) {
  std::vector<std::string> all = kExpectedTexts;
  all.push_back(kUnknownText);
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i]);
    const unsigned char first = static_cast<unsigned char>(all[i][0]);
    EXPECT_TRUE((first >= 'a' && first <= 'z') || first >= 0x80);
    EXPECT_NE(all[i].back(), '.');
    for (std::size_t j = i + 1; j < all.size(); ++j) EXPECT_NE(all[i], all[j]);
  }
}

class InProcess : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  void SetUp() override {
    UseBuiltDrivers();
    ASSERT_EQ(Connect(), 0);
  }
  std::int32_t Connect() {
    const std::int32_t code = link_.OpenInProcess();
    return code != 0 ? code : link_.Configure(9600);
  }
  std::string EepromFile() const {
    return folder_.path() + "/state/qm90/" + DriverFileName(GetParam()).substr(0, 6) + ".eeprom";
  }
  OwnFolders folder_;  // first member: goes after everything that uses it
  Session link_{GetParam()};
};

TEST_P(InProcess, AnswersLikeAModuleAtAddressOne) {
  EXPECT_EQ(link_.Identify(), "QM-90    v.1.02");
  const Reply status = link_.Transact(1, 100, 0);
  ASSERT_EQ(status.status, 0);
  EXPECT_EQ(status.d[1] & 0x10, 0x10) << "PWR after power-up";
  EXPECT_EQ(link_.Transact(1, 101, 0).status, 0);
  EXPECT_EQ(link_.Transact(1, 100, 0).d[1], 0);
  EXPECT_EQ(link_.Transact(1, 0, 64).status, 0);
  EXPECT_EQ(link_.Transact(1, 1, 64, {0, 0xFF, 0, 0, 0}).status, 0);
  EXPECT_EQ(link_.Transact(1, 1, 0, {0, 0xFF, 0xFF, 0, 0}).status, 0);
  EXPECT_EQ(link_.Transact(1, 77, 0).status, kCommandRefused);
  EXPECT_EQ(link_.ReadRegister(40).status, kRegisterRefused);
  EXPECT_EQ(link_.WriteRegister(62, 9).status, kValueRefused);
  EXPECT_EQ(link_.ReadRegister(63, 2).status, kTimeout);
  ASSERT_EQ(link_.Configure(115200), 0);
  EXPECT_EQ(link_.ReadRegister(63).status, kTimeout) << "module listens at 9600 Bd";
}

TEST_P(InProcess, KeepsRegistersAcrossDoneAndInitLikeAnEeprom) {
  ASSERT_EQ(link_.WriteRegister(33, 0x0F).status, 0);
  ASSERT_EQ(link_.WriteRegister(63, 3).status, 0);
  ASSERT_EQ(link_.WriteRegister(62, 8).status, 0);
  EXPECT_EQ(link_.ReadRegister(33).d[3], 0x0F) << "address and baud wait for power-up";
  EXPECT_TRUE(fs::exists(EepromFile()));
  ASSERT_EQ(link_.Close(), 0);
  ASSERT_EQ(Connect(), 0);  // Init is the module's power-up
  EXPECT_EQ(link_.ReadRegister(33, 3).status, kTimeout) << "still 9600 Bd";
  ASSERT_EQ(link_.Configure(115200), 0);
  EXPECT_EQ(link_.ReadRegister(33, 3).d[3], 0x0F);
  EXPECT_EQ(link_.ReadRegister(33, 1).status, kTimeout);
}

TEST_P(InProcess, DamagedEepromFileIsReportedKeptAsideAndThenFactorySettings) {
  link_.Close();
  fs::create_directories(fs::path(EepromFile()).parent_path());
  std::ofstream(EepromFile()) << "32=zzz 99=1\n";
  EXPECT_EQ(Connect(), kStateDamaged);
  EXPECT_TRUE(fs::exists(EepromFile() + ".bad"));
  ASSERT_EQ(Connect(), 0);
  EXPECT_EQ(link_.ReadRegister(33).d[3], 0xFF);
}

TEST_P(InProcess, WriteThatCannotBeSavedIsReportedAndUndone) {
  ASSERT_EQ(link_.WriteRegister(34, 0x11).status, 0);
  link_.Close();
  // The state folder cannot be made: a plain file stands where it belongs.
  const std::string blocked = folder_.path() + "/blocked";
  std::ofstream(blocked) << "x";
  setenv("XDG_STATE_HOME", (blocked + "/state").c_str(), 1);
  ASSERT_EQ(Connect(), 0);
  EXPECT_EQ(link_.WriteRegister(34, 0x22).status, kEepromSaveFailed);
  EXPECT_EQ(link_.ReadRegister(34).d[3], 0xFF) << "factory value: nothing was written";
}

TEST_P(InProcess, HandlesOfOtherLinksAndLibrariesAreRefused) {
  const std::int32_t good = link_.handle();
  link_.Close();
  Session other(GetParam() == kPci ? kUsb : kPci);
  ASSERT_EQ(other.OpenInProcess(), 0);
  TSlotBuffer request{1, 102, 0, 0, 63, 63, 0, 0};
  TSlotBuffer answer{};
  std::int32_t returned = 0;
  std::int32_t status = 0;
  EXPECT_EQ(DrvSend(other.kind(), good, &request, &answer, &returned, &status), kInvalidHandle);
  EXPECT_EQ(DrvSend(other.kind(), other.handle(), &request, &answer, &returned, &status), 0);
  EXPECT_EQ(answer[2], 1) << "d3: address register";
}

INSTANTIATE_TEST_SUITE_P(
    Cards, InProcess, ::testing::Values(kIsa, kPci, kUsb), [](const auto& info) {
      return std::string(info.param == kIsa ? "Isa" : info.param == kPci ? "Pci" : "Usb");
    });

}  // namespace
}  // namespace drvtest
