// The connection record's defaults and its settings file W_qm90.ini.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/Files.h"
#include "link/Dekl.h"
#include "tests/link/LinkTestSupport.h"

namespace {

using linktest::kKeyInterface;
using linktest::kKeyIsaBase;
using linktest::kKeyPort;
using linktest::kSecConnection;
using linktest::ReadBytes;
using linktest::TempDir;
using linktest::WriteBytes;

// Lines of a file without their line ends, empty lines dropped.
std::vector<std::string> NonEmptyLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string Section(const char* name) {
  return std::string("[") + name + "]";
}
std::string Line(const char* key, const std::string& value) {
  return std::string(key) + "=" + value;
}

TData Defaults() {
  TData d;
  SetDataDefaults(&d);
  return d;
}

void ExpectSameSettings(const TData& a, const TData& b) {
  EXPECT_EQ(a.InterfaceKind, b.InterfaceKind);
  EXPECT_EQ(a.ModuleAddress, b.ModuleAddress);
  EXPECT_EQ(a.BaudRate, b.BaudRate);
  EXPECT_EQ(a.IsaBaseAddress, b.IsaBaseAddress);
  EXPECT_EQ(a.ComPort, b.ComPort);
  EXPECT_EQ(a.IpAddress, b.IpAddress);
  EXPECT_EQ(a.UdpPort, b.UdpPort);
  EXPECT_EQ(a.UdpTimeout, b.UdpTimeout);
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    path_ = dir_.File("W_qm90.ini");
    SetSettingsFilePath(path_);
  }
  void TearDown() override { SetSettingsFilePath(""); }

  // Loads a file of the given bytes into a defaulted record.
  TData LoadFrom(const std::string& bytes, bool* loaded = nullptr) {
    WriteBytes(path_, bytes);
    TData d = Defaults();
    const bool ok = LoadSettings(&d);
    if (loaded) *loaded = ok;
    return d;
  }

  TempDir dir_;
  std::string path_;
};

TEST(RecordDefaultsTest, DefaultsAreTheFactoryValues) {
  TData d;
  d.InterfaceKind = 4;
  d.ModuleAddress = 9;
  d.BaudRate = 1;
  d.IsaBaseAddress = 1;
  d.ComPort = 9;
  d.UdpPort = 1;
  d.UdpTimeout = 1;
  d.ConnectionStatus = "x";
  d.LinkHandle = 5;
  d.LinkOpen = true;
  d.ModuleName = "x";
  d.InitBlock.fill(3);
  std::memset(&d.Config, 0xAB, sizeof d.Config);

  SetDataDefaults(&d);
  EXPECT_EQ(d.InterfaceKind, 0);
  EXPECT_EQ(d.ModuleAddress, 0);
  EXPECT_EQ(d.BaudRate, 9600);
  EXPECT_EQ(d.IsaBaseAddress, 0x300);
  EXPECT_EQ(d.ComPort, 1);
  EXPECT_EQ(d.IpAddress, kDefaultIpAddress);
  EXPECT_EQ(d.UdpPort, 5000);
  EXPECT_EQ(d.UdpTimeout, 100);
  EXPECT_EQ(d.ConnectionStatus, "Připojení modulu dosud neinicializováno");
  EXPECT_EQ(d.LinkHandle, 0);
  EXPECT_FALSE(d.LinkOpen);
  EXPECT_EQ(d.ModuleName, "");
  for (std::intptr_t slot : d.InitBlock) EXPECT_EQ(slot, 0);

  const std::uint8_t factory[16] = {0x01, 0x04, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(&d.Config, factory, 16), 0);
  const TModuleConfig config = DefaultModuleConfig();
  EXPECT_EQ(std::memcmp(&config, factory, 16), 0);
}

TEST(RecordDefaultsTest, NullRecordIsRefusedEverywhere) {
  SetDataDefaults(nullptr);
  EXPECT_FALSE(LoadSettings(nullptr));
  EXPECT_FALSE(SaveSettings(nullptr));
}

#ifndef _WIN32  // the program's own path read independently, from /proc
TEST(RecordDefaultsTest, SettingsFileLiesBesideTheExecutable) {
  SetSettingsFilePath("");
  const auto exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(SettingsFilePath(), (exe.parent_path() / "W_qm90.ini").string());
}
#endif

TEST_F(SettingsTest, NoFileLeavesTheRecordUnchanged) {
  TData d = Defaults();
  d.ModuleAddress = 17;
  EXPECT_FALSE(LoadSettings(&d));
  EXPECT_EQ(d.ModuleAddress, 17);
  TData expected = Defaults();
  expected.ModuleAddress = 17;
  ExpectSameSettings(d, expected);
}

TEST_F(SettingsTest, FirstSaveWritesConnectionAndComSectionsOnly) {
  TData d = Defaults();
  ASSERT_TRUE(SaveSettings(&d));
  const std::string bytes = ReadBytes(path_);

  const std::vector<std::string> expected = {Section(kSecConnection), Line(kKeyInterface, "COMx"),
                                             Line("Adresa", "0"),     Line("Rychlost", "9600"),
                                             Section("COMx"),         Line(kKeyPort, "1")};
  EXPECT_EQ(NonEmptyLines(bytes), expected);
  // The section name as Windows-1250 bytes, not UTF-8.
  EXPECT_NE(bytes.find("[\x50\xF8\x69\x70\x6F\x6A\x65\x6E\xED]"), std::string::npos);
  EXPECT_EQ(bytes.find("\xC5\x99"), std::string::npos) << "UTF-8 ř in the file";
  // One kind of line end throughout.
  const bool crlf = bytes.find("\r\n") != std::string::npos;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n') continue;
    ASSERT_EQ(crlf, i > 0 && bytes[i - 1] == '\r') << "offset " << i;
  }
  EXPECT_EQ(dir_.Entries(), std::set<std::string>{"W_qm90.ini"}) << "temporary file left";
}

TEST_F(SettingsTest, EachKindWritesItsOwnKeys) {
  struct Row {
    std::uint8_t kind;
    std::vector<std::string> lines;
  };
  const std::string connection = Section(kSecConnection);
  const std::string address = Line("Adresa", "12");
  const std::string baud = Line("Rychlost", "19200");
  const Row rows[] = {
      {0,
       {connection, Line(kKeyInterface, "COMx"), address, baud, Section("COMx"),
        Line(kKeyPort, "3")}},
      {1,
       {connection, Line(kKeyInterface, "QB-311"), address, baud, Section("QB-311"),
        Line(kKeyIsaBase, "800")}},
      {2, {connection, Line(kKeyInterface, "QB-312"), address, baud}},
      {3, {connection, Line(kKeyInterface, "QB-313"), address, baud}},
      {4,
       {connection, Line(kKeyInterface, "QB-314"), address, baud, Section("QB-314"),
        Line("IP adresa", "127.0.0.1"), Line("UDP port", "6001"), Line("UDP timeout", "250")}},
      {5,
       {connection, Line(kKeyInterface, "COMx"), address, baud, Section("COMx"),
        Line(kKeyPort, "3")}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.kind));
    std::filesystem::remove(path_);
    TData d = Defaults();
    d.InterfaceKind = row.kind;
    d.ModuleAddress = 12;
    d.BaudRate = 19200;
    d.ComPort = 3;
    d.IsaBaseAddress = 0x320;
    d.IpAddress = "127.0.0.1";
    d.UdpPort = 6001;
    d.UdpTimeout = 250;
    ASSERT_TRUE(SaveSettings(&d));
    EXPECT_EQ(NonEmptyLines(ReadBytes(path_)), row.lines);
  }
}

TEST_F(SettingsTest, SavedValuesLoadBackForEveryKind) {
  for (std::uint8_t kind = 0; kind <= 4; ++kind) {
    SCOPED_TRACE(static_cast<int>(kind));
    std::filesystem::remove(path_);
    TData saved = Defaults();
    saved.InterfaceKind = kind;
    saved.ModuleAddress = 255;
    saved.BaudRate = 115200;
    saved.ComPort = 200;
    saved.IsaBaseAddress = 0xFFFF;
    saved.IpAddress = "127.0.0.1";
    saved.UdpPort = 65535;
    saved.UdpTimeout = 0;
    ASSERT_TRUE(SaveSettings(&saved));

    TData loaded = Defaults();
    ASSERT_TRUE(LoadSettings(&loaded));
    TData expected = Defaults();
    expected.InterfaceKind = kind;
    expected.ModuleAddress = 255;
    expected.BaudRate = 115200;
    if (kind == 0) expected.ComPort = 200;
    if (kind == 1) expected.IsaBaseAddress = 0xFFFF;
    if (kind == 4) {
      expected.IpAddress = "127.0.0.1";
      expected.UdpPort = 65535;
      expected.UdpTimeout = 0;
    }
    ExpectSameSettings(loaded, expected);
  }
}

TEST_F(SettingsTest, SwitchingKindsKeepsTheOtherKindsParameters) {
  TData d = Defaults();
  d.InterfaceKind = 1;
  d.IsaBaseAddress = 0x2A0;
  ASSERT_TRUE(SaveSettings(&d));
  d.InterfaceKind = 4;
  d.IpAddress = "127.0.0.2";
  ASSERT_TRUE(SaveSettings(&d));
  d.InterfaceKind = 0;
  d.ComPort = 4;
  ASSERT_TRUE(SaveSettings(&d));

  TData loaded = Defaults();
  ASSERT_TRUE(LoadSettings(&loaded));
  EXPECT_EQ(loaded.InterfaceKind, 0);
  EXPECT_EQ(loaded.ComPort, 4);
  EXPECT_EQ(loaded.IsaBaseAddress, 0x2A0);
  EXPECT_EQ(loaded.IpAddress, "127.0.0.2");
}

// One file per row: what LoadSettings returns and the fields it sets.
struct LoadRow {
  const char* name;
  std::string body;  // lines after the "[Připojení]" header
  std::string more;  // further sections
  bool loaded;
  std::uint8_t kind;
  std::uint8_t address;
  std::int32_t baud;
  std::uint16_t isa;
  std::uint8_t port;
};

TEST_F(SettingsTest, LoadsValuesByTheFileRules) {
  const std::string iface = kKeyInterface;
  const std::string isa = std::string("[QB-311]\n") + kKeyIsaBase;
  const std::string com = std::string("[COMx]\n") + kKeyPort;
  const LoadRow rows[] = {
      {"jkl means no entry", iface + "=jkl\nAdresa=5\n", "", false, 0, 0, 9600, 0x300, 1},
      {"no interface key", "Adresa=5\n", "", false, 0, 0, 9600, 0x300, 1},
      {"empty interface", iface + "=\nAdresa=5\n", "", true, 0, 5, 9600, 0x300, 1},
      {"unknown kind name", iface + "=qb-314\nAdresa=6\n", "", true, 0, 6, 9600, 0x300, 1},
      {"QB-313", iface + "=QB-313\nAdresa=7\nRychlost=600\n", "", true, 3, 7, 600, 0x300, 1},
      {"address cut to 8 bits", iface + "=COMx\nAdresa=300\n", "", true, 0, 44, 9600, 0x300, 1},
      {"negative address", iface + "=COMx\nAdresa=-1\n", "", true, 0, 255, 9600, 0x300, 1},
      {"port cut to 8 bits", iface + "=COMx\n", com + "=257\n", true, 0, 0, 9600, 0x300, 1},
      {"base cut to 16 bits", iface + "=QB-311\n", isa + "=70000\n", true, 1, 0, 9600, 4464, 1},
      {"base as 0x320", iface + "=QB-311\n", isa + "=0x320\n", true, 1, 0, 9600, 800, 1},
      {"base as $320", iface + "=QB-311\n", isa + "=$320\n", true, 1, 0, 9600, 800, 1},
      {"not an integer", iface + "=COMx\nAdresa=12a\nRychlost=\n", com + "=x\n", true, 0, 0, 9600,
       0x300, 1},
      {"blanks around =", iface + " = QB-312 \nAdresa = 9\nRychlost =  38400\n", "", true, 2, 9,
       38400, 0x300, 1},
      {"CRLF lines", iface + "=QB-311\r\nAdresa=3\r\n", isa + "=$2A0\r\n", true, 1, 3, 9600, 0x2A0,
       1},
      {"no final line end", iface + "=COMx\n", com + "=6", true, 0, 0, 9600, 0x300, 6},
      {"comments and strangers", "; note\n" + iface + "=COMx\n[Jin\xE9]\nAdresa=99\n", "", true, 0,
       0, 9600, 0x300, 1},
  };
  for (const LoadRow& row : rows) {
    SCOPED_TRACE(row.name);
    bool loaded = false;
    const TData d =
        LoadFrom("[" + std::string(kSecConnection) + "]\n" + row.body + row.more, &loaded);
    EXPECT_EQ(loaded, row.loaded);
    EXPECT_EQ(d.InterfaceKind, row.kind);
    EXPECT_EQ(d.ModuleAddress, row.address);
    EXPECT_EQ(d.BaudRate, row.baud);
    EXPECT_EQ(d.IsaBaseAddress, row.isa);
    EXPECT_EQ(d.ComPort, row.port);
  }
}

TEST_F(SettingsTest, ValueThatIsNotAnIntegerKeepsThePresentValue) {
  WriteBytes(path_, std::string("[") + kSecConnection + "]\n" + kKeyInterface +
                        "=QB-314\nAdresa=abc\n[QB-314]\nUDP port=0x\nIP adresa=127.0.0.9\n");
  TData d = Defaults();
  d.ModuleAddress = 33;
  d.UdpPort = 7000;
  d.InterfaceKind = 2;
  ASSERT_TRUE(LoadSettings(&d));
  EXPECT_EQ(d.ModuleAddress, 33);
  EXPECT_EQ(d.UdpPort, 7000);
  EXPECT_EQ(d.IpAddress, "127.0.0.9");
  EXPECT_EQ(d.InterfaceKind, 4);
}

TEST_F(SettingsTest, UnknownKindNameKeepsThePresentKind) {
  WriteBytes(path_, std::string("[") + kSecConnection + "]\n" + kKeyInterface + "=USB\n");
  TData d = Defaults();
  d.InterfaceKind = 3;
  EXPECT_TRUE(LoadSettings(&d));
  EXPECT_EQ(d.InterfaceKind, 3);
}

TEST_F(SettingsTest, HexBaseAddressIsSavedInDecimal) {
  const TData d = LoadFrom(std::string("[") + kSecConnection + "]\n" + kKeyInterface +
                           "=QB-311\n[QB-311]\n" + kKeyIsaBase + "=$320\n");
  TData copy = d;
  ASSERT_TRUE(SaveSettings(&copy));
  const std::vector<std::string> lines = NonEmptyLines(ReadBytes(path_));
  EXPECT_NE(std::find(lines.begin(), lines.end(), Line(kKeyIsaBase, "800")), lines.end());
}

TEST_F(SettingsTest, SavingAfterALastLineWithoutLineEndKeepsThatLine) {
  WriteBytes(path_, "[Jin\xE9]\nkl\xED\xE8=hodnota");
  TData d = Defaults();
  ASSERT_TRUE(SaveSettings(&d));
  const std::vector<std::string> lines = NonEmptyLines(ReadBytes(path_));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[Jin\xE9]");
  EXPECT_EQ(lines[1], "kl\xED\xE8=hodnota");
  TData loaded = Defaults();
  loaded.ComPort = 9;
  EXPECT_TRUE(LoadSettings(&loaded));
  EXPECT_EQ(loaded.ComPort, 1);
}

TEST_F(SettingsTest, ValueWithLineBreakCannotInjectLines) {
  TData d = Defaults();
  d.InterfaceKind = 4;
  d.IpAddress = "127.0.0.1\n[COMx]\r\nAdresa=99";
  ASSERT_TRUE(SaveSettings(&d));
  const std::vector<std::string> lines = NonEmptyLines(ReadBytes(path_));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "[COMx]"), 0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Adresa=99"), 0);
  TData loaded = Defaults();
  ASSERT_TRUE(LoadSettings(&loaded));
  EXPECT_EQ(loaded.ModuleAddress, 0);
  EXPECT_EQ(loaded.InterfaceKind, 4);
}

// Golden files: a file written by hand, loaded, changed as the row says and
// saved must come out as the expected file, byte for byte; in both LF and
// CRLF form.
struct GoldenRow {
  const char* input;
  const char* expected;
  void (*change)(TData&);
};

std::string WithCrlf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST_F(SettingsTest, GoldenFilesKeepEverythingElseByteForByte) {
  const GoldenRow rows[] = {
      {"edited.ini", "edited_unchanged.expected.ini", [](TData&) {}},
      {"edited.ini", "edited_to_isa.expected.ini",
       [](TData& d) {
         d.InterfaceKind = 1;
         d.IsaBaseAddress = 0x320;
         d.ModuleAddress = 7;
         d.BaudRate = 57600;
       }},
  };
  const std::string golden = QM90_GOLDEN_DIR;
  for (const GoldenRow& row : rows) {
    for (bool crlf : {false, true}) {
      SCOPED_TRACE(std::string(row.expected) + (crlf ? " CRLF" : " LF"));
      std::string input = ReadBytes(golden + "/" + row.input);
      std::string expected = ReadBytes(golden + "/" + row.expected);
      ASSERT_FALSE(input.empty());
      if (crlf) {
        input = WithCrlf(input);
        expected = WithCrlf(expected);
      }
      WriteBytes(path_, input);
      TData d = Defaults();
      ASSERT_TRUE(LoadSettings(&d));
      EXPECT_EQ(d.IsaBaseAddress, 0x300);
      EXPECT_EQ(d.UdpTimeout, 250);
      row.change(d);
      ASSERT_TRUE(SaveSettings(&d));
      EXPECT_EQ(ReadBytes(path_), expected);
    }
  }
}

#ifndef _WIN32  // file size limits and permission bits are POSIX's
TEST_F(SettingsTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  const std::string old = std::string("[") + kSecConnection + "]\n" + kKeyInterface +
                          "=QB-312\nAdresa=5\n; " + std::string(4000, 'k') + "\n";
  WriteBytes(path_, old);
  TData d = Defaults();
  d.ModuleAddress = 6;

  // A full disk: no file of this process may grow beyond 100 bytes.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = SaveSettings(&d);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(ok) << "a write that did not happen reported as done";
  EXPECT_EQ(ReadBytes(path_), old);
  EXPECT_EQ(dir_.Entries(), std::set<std::string>{"W_qm90.ini"});
}

TEST_F(SettingsTest, SaveIntoReadOnlyFolderFailsAndKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string old = std::string("[") + kSecConnection + "]\n" + kKeyInterface + "=COMx\n";
  WriteBytes(path_, old);
  std::filesystem::permissions(
      dir_.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  TData d = Defaults();
  d.ModuleAddress = 8;
  EXPECT_FALSE(SaveSettings(&d));
  std::filesystem::permissions(dir_.Path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadBytes(path_), old);
  EXPECT_EQ(dir_.Entries(), std::set<std::string>{"W_qm90.ini"});
}

TEST_F(SettingsTest, SaveOverAnUnreadableFileFailsAndKeepsIt) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string old = "[Jin\xE9]\nkl\xED\xE8=hodnota\n";
  WriteBytes(path_, old);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_write);
  TData d = Defaults();
  EXPECT_FALSE(SaveSettings(&d)) << "the other sections would be lost";
  std::filesystem::permissions(
      path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(ReadBytes(path_), old);
}

#endif

TEST_F(SettingsTest, SaveFailsWhereNoFileCanBe) {
  TData d = Defaults();
  SetSettingsFilePath(dir_.File("missing/W_qm90.ini"));
  EXPECT_FALSE(SaveSettings(&d));

  // The settings path names a folder.
  std::filesystem::create_directory(dir_.File("W_qm90.ini"));
  WriteBytes(dir_.File("W_qm90.ini/keep"), "x");
  SetSettingsFilePath(dir_.File("W_qm90.ini"));
  EXPECT_FALSE(SaveSettings(&d));
  EXPECT_FALSE(LoadSettings(&d));
  EXPECT_EQ(ReadBytes(dir_.File("W_qm90.ini/keep")), "x");
  EXPECT_EQ(dir_.Entries(), std::set<std::string>{"W_qm90.ini"});
}

#ifndef _WIN32  // symbolic links, flock and file times set through POSIX
// Only a file of exactly the writer's temporary form, old, and held by no
// living writer is a leftover; everything else in the folder is the user's.
TEST_F(SettingsTest, SaveRemovesOnlyItsOwnAbandonedTemporaryFiles) {
  const std::string ours = base::TempFileName("W_qm90.ini", 0x0123456789abcdefull);
  const struct {
    std::string name;
    bool symlink, aged, locked, removed;
  } rows[] = {
      {"W_qm90.ini.backup", false, true, false, false},
      {"W_qm90.ini.201212", false, true, false, false},
      {"W_qm90.ini.tmp", false, true, false, false},
      {base::TempFileName("W_qm90.ini", 1), false, true, false, true},
      {base::TempFileName("W_qm90.ini", 2), false, false, false, false},
      {base::TempFileName("W_qm90.ini", 3), false, true, true, false},
      {base::TempFileName("W_qm90.ini", 4), true, true, false, false},
      {base::TempFileName("other.ini", 5), false, true, false, false},
      {ours.substr(0, ours.size() - 4) + ".TMP", false, true, false, false},
  };
  std::vector<int> writers;
  for (const auto& row : rows) {
    const std::string path = dir_.File(row.name);
    if (row.symlink) {
      WriteBytes(dir_.File("target"), "target");
      ASSERT_EQ(symlink("target", path.c_str()), 0);
    } else {
      WriteBytes(path, row.name);
    }
    if (row.locked) {
      writers.push_back(open(path.c_str(), O_RDONLY));
      ASSERT_EQ(flock(writers.back(), LOCK_EX), 0);
    }
    const timespec long_ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    if (row.aged) {
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), long_ago, AT_SYMLINK_NOFOLLOW), 0);
    }
  }
  TData d = Defaults();
  ASSERT_TRUE(SaveSettings(&d));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(dir_.File(row.name))),
              !row.removed);
  }
  for (int fd : writers) close(fd);
}

#endif

// A settings file far larger than any real one is left exactly as it is.
TEST_F(SettingsTest, OversizedFileIsNeitherLoadedNorReplaced) {
  const std::string head =
      Section(kSecConnection) + "\n" + Line(kKeyInterface, "QB-312") + "\nAdresa=5\n;";
  const struct {
    std::size_t size;
    bool used;
  } rows[] = {{1 << 20, true}, {(1 << 20) + 1, false}, {8 << 20, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    const std::string bytes = head + std::string(row.size - head.size(), 'x');
    bool loaded = false;
    const TData d = LoadFrom(bytes, &loaded);
    EXPECT_EQ(loaded, row.used);
    EXPECT_EQ(d.ModuleAddress, row.used ? 5 : 0);
    TData changed = Defaults();
    changed.ModuleAddress = 9;
    EXPECT_EQ(SaveSettings(&changed), row.used);
    if (!row.used) {
      EXPECT_TRUE(ReadBytes(path_) == bytes) << "the file was changed";
    }
  }
}

}  // namespace

// An installed program's folder cannot be written: the settings then live in
// the user's own folder. A folder that does not exist stands for one that
// cannot be written (root may write anywhere else).
class SettingsLocationTest : public ::testing::Test {
 protected:
  static std::filesystem::path Normal(const std::string& path) {
    return std::filesystem::path(path).lexically_normal();
  }
  std::string Program() const { return dir_.File("program"); }
  std::string Beside() const { return dir_.File("program/W_qm90.ini"); }
  std::string Own() const { return dir_.File("config/qm90/W_qm90.ini"); }

  TempDir dir_;
};

TEST_F(SettingsLocationTest, ReadsAndWritesWhereTheRulesSay) {
  WriteBytes(dir_.File("file"), "not a folder");
  enum Place { kNowhere, kBeside, kOwn };
  const struct {
    const char* name;
    bool program_writable, own_exists;
    std::string user_folder;
    Place read, write;
  } rows[] = {
      {"writable program folder", true, true, dir_.File("config/qm90"), kBeside, kBeside},
      {"read-only folder, user file", false, true, dir_.File("config/qm90"), kOwn, kOwn},
      {"read-only folder, no user file", false, false, dir_.File("config/qm90"), kBeside, kOwn},
      {"user folder under a file", false, false, dir_.File("file/qm90"), kBeside, kNowhere},
      {"no user folder", false, false, "", kBeside, kNowhere},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(dir_.File("program"));
    std::filesystem::remove_all(dir_.File("config"));
    if (row.program_writable) std::filesystem::create_directories(Program());
    if (row.own_exists) {
      std::filesystem::create_directories(dir_.File("config/qm90"));
      WriteBytes(Own(), "");
    }
    const SettingsLocation at = ChooseSettingsLocation(Program(), row.user_folder);
    const std::string places[] = {"", Beside(), Own()};
    EXPECT_EQ(Normal(at.read), Normal(places[row.read]));
    EXPECT_EQ(Normal(at.write), Normal(places[row.write]));
  }
}

TEST_F(SettingsLocationTest, FirstSaveToTheUserFolderKeepsTheShippedFileAndItsOtherSections) {
  std::filesystem::create_directories(Program());
  const std::string shipped = std::string("[Jin\xE9]\nkl\xED\xE8=hodnota\n[") + kSecConnection +
                              "]\n" + kKeyInterface + "=QB-312\n";
  WriteBytes(Beside(), shipped);
  const SettingsLocation at{Beside(), Own()};
  TData d = Defaults();
  ASSERT_TRUE(LoadSettingsAt(at, &d));
  EXPECT_EQ(d.InterfaceKind, 2);
  d.InterfaceKind = 4;
  d.UdpPort = 47090;
  ASSERT_TRUE(SaveSettingsAt(at, &d));
  EXPECT_EQ(ReadBytes(Beside()), shipped);
  const std::string own = ReadBytes(Own());
  EXPECT_NE(own.find("kl\xED\xE8=hodnota"), std::string::npos);  // same code page
  TData again = Defaults();
  ASSERT_TRUE(LoadSettingsAt({Own(), Own()}, &again));
  ExpectSameSettings(again, d);
  EXPECT_FALSE(SaveSettingsAt({Beside(), ""}, &d));
}

#ifndef _WIN32
// The run's own location follows XDG_CONFIG_HOME (a decoy folder here, never
// the real home) only where the program's folder cannot be written: the
// test program's folder can, so the choice stays beside it.
TEST_F(SettingsLocationTest, TheRunsLocationStaysBesideAWritableProgram) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
  const SettingsLocation at = CurrentSettingsLocation();
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(at.read, at.write);
  EXPECT_EQ(at.read.find(dir_.File("config")), std::string::npos);
  EXPECT_EQ(Normal(at.read).filename(), "W_qm90.ini");
}
#endif
