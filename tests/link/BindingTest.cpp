// Binding of the driver libraries, against the scripted driver library.
#ifndef _WIN32
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/QBLxxx.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/scripted/ScriptedDriver.h"

namespace {

using scripted::Entry;
using scripted::Script;

constexpr std::int32_t kHandle = 4711;  // what the scripted Init stores

std::string LibraryName(int kind) {
  return "QBL31" + std::to_string(kind) + ".DLL";
}

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
  }
  void TearDown() override {
    if (DrvLibraryLoaded()) {
      std::int32_t handle = kHandle;
      DrvClose(0, &handle);
    }
    SetDriverDirectory("");
    EXPECT_FALSE(DrvLibraryLoaded());
    EXPECT_EQ(Script().loads, Script().unloads) << "a library stayed loaded";
  }

  std::int32_t Open(std::uint8_t kind) {
    handle_ = 0;
    return DrvOpen(kind, &handle_, &block_);
  }

  TInitBlock block_{};
  std::int32_t handle_ = 0;
};

TEST_F(BindingTest, FileNamesPerKind) {
  for (int kind = 0; kind <= 4; ++kind) EXPECT_EQ(DriverFileName(kind), LibraryName(kind));
  EXPECT_EQ(DriverFileName(5), "");
  EXPECT_EQ(DriverFileName(255), "");
}

TEST_F(BindingTest, KindAboveFourLoadsNothing) {
  for (std::uint8_t kind : {5, 6, 255}) {
    SCOPED_TRACE(static_cast<int>(kind));
    handle_ = 99;
    EXPECT_EQ(DrvOpen(kind, &handle_, &block_), kDrvNotBound);
    EXPECT_EQ(handle_, 99);
    EXPECT_FALSE(DrvLibraryLoaded());
  }
  EXPECT_EQ(Script().loads, 0);
}

TEST_F(BindingTest, MissingLibraryGivesLoadCodeAndItsText) {
  linktest::TempDir empty;
  SetDriverDirectory(empty.Path().string());
  for (std::uint8_t kind = 0; kind <= 4; ++kind) {
    SCOPED_TRACE(static_cast<int>(kind));
    EXPECT_EQ(Open(kind), kDrvLoadFailed + kind);
    EXPECT_FALSE(DrvLibraryLoaded());
    EXPECT_EQ(ErrorText(kind, kDrvLoadFailed + kind),
              "chyba inicializace knihovny " + LibraryName(kind));
  }
}

TEST_F(BindingTest, LibraryWithoutGetConfigIsRefusedAndUnloaded) {
  SetDriverDirectory(QM90_BROKEN_DIR);
  EXPECT_EQ(Open(2), 112);
  EXPECT_FALSE(DrvLibraryLoaded());
  EXPECT_EQ(Script().loads, 1);
  EXPECT_EQ(Script().unloads, 1);
  EXPECT_TRUE(Script().calls.empty()) << "no entry of a refused library may be called";
  EXPECT_EQ(ErrorText(2, 112), "chybná knihovna QBL312.DLL");

  TSlotBuffer request{}, answer{};
  std::int32_t returned = 0, status = 0;
  EXPECT_EQ(DrvSend(2, kHandle, &request, &answer, &returned, &status), kDrvNotBound);
}

TEST_F(BindingTest, FileThatIsNoLibraryGivesLoadCode) {
  SetDriverDirectory(QM90_BROKEN_DIR);
  EXPECT_EQ(Open(3), 103);
  EXPECT_FALSE(DrvLibraryLoaded());
}

#ifndef _WIN32  // holds a library through dlopen
// Files beside the program that only look like the library: the loader would
// block on a FIFO for ever, and die of SIGBUS on a copy cut short inside its
// segments (an interrupted copy).
TEST_F(BindingTest, FilesBesideTheProgramThatCannotBeLoadedGiveTheLoadCode) {
  std::ifstream whole(std::string(QM90_SCRIPTED_DIR) + "/QBL313.DLL", std::ios::binary);
  const std::string library((std::istreambuf_iterator<char>(whole)), {});
  ASSERT_GT(library.size(), 3000u);
  const struct {
    const char* name;
    void (*make)(const std::filesystem::path& file, const std::string& library);
  } rows[] = {
      {"FIFO", [](const auto& file, const auto&) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }},
      {"folder", [](const auto& file, const auto&) { std::filesystem::create_directory(file); }},
      {"cut short",
       [](const auto& file, const auto& library) {
         std::ofstream(file, std::ios::binary) << library.substr(0, 3000);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    linktest::TempDir dir;
    row.make(dir.Path() / "QBL313.DLL", library);
    SetDriverDirectory(dir.Path().string());
    EXPECT_EQ(Open(3), 103);
    EXPECT_FALSE(DrvLibraryLoaded());
  }
}

// A copy beside the program that will not load is a failure of its own, never
// bypassed; only a library absent from that folder is looked for elsewhere
// (here: one the process already holds, which a search by bare name finds).
TEST_F(BindingTest, OnlyALibraryAbsentFromTheFolderIsSearchedForElsewhere) {
  void* elsewhere =
      dlopen((std::string(QM90_SCRIPTED_DIR) + "/QBL313.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(elsewhere, nullptr) << dlerror();
  linktest::TempDir empty;
  const struct {
    const char* name;
    std::string dir;
    std::int32_t code;
  } rows[] = {
      {"present but no library", QM90_BROKEN_DIR, 103},
      {"absent", empty.Path().string(), 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetDriverDirectory(row.dir);
    EXPECT_EQ(Open(3), row.code);
    if (DrvLibraryLoaded()) DrvClose(3, &handle_);
  }
  dlclose(elsewhere);
}

#endif

TEST_F(BindingTest, BindingCodesHaveTheirOwnTexts) {
  struct Row {
    std::uint8_t kind;
    std::int32_t code;
    const char* text;
  };
  const Row rows[] = {
      {0, 100, "chyba inicializace knihovny QBL310.DLL"},
      {0, 101, "chyba inicializace knihovny QBL311.DLL"},
      {0, 102, "chyba inicializace knihovny QBL312.DLL"},
      {3, 103, "chyba inicializace knihovny QBL313.DLL"},
      {0, 104, "chyba inicializace knihovny QBL314.DLL"},
      {5, 104, "chyba inicializace knihovny QBL314.DLL"},
      {0, 105, "neznámý chybový kód"},
      {0, 109, "neznámý chybový kód"},
      {0, 110, "chybná knihovna QBL310.DLL"},
      {0, 111, "chybná knihovna QBL311.DLL"},
      {0, 112, "chybná knihovna QBL312.DLL"},
      {0, 113, "chybná knihovna QBL313.DLL"},
      {2, 114, "chybná knihovna QBL314.DLL"},
      {0, 115, "neznámý chybový kód"},
      {0, 255, "neznámý chybový kód"},
      {0, 256, "neznámý chybový kód"},
      {0, INT_MAX, "neznámý chybový kód"},
      {0, -1, "neznámý chybový kód"},
      {0, -110, "neznámý chybový kód"},
      {0, INT_MIN, "neznámý chybový kód"},
  };
  // A bound library must not be asked for any of these.
  ASSERT_EQ(Open(0), 0);
  Script().calls.clear();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    TSlotBuffer buffer;
    buffer.fill(0x55);
    EXPECT_EQ(DrvErrorText(row.kind, row.code, &buffer), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(BufferToText(buffer), row.text);
    EXPECT_EQ(ErrorText(row.kind, row.code), row.text);
  }
  EXPECT_TRUE(Script().CallsOf(Entry::Error).empty());
}

TEST_F(BindingTest, LibraryCodesAreAskedOfTheLibraryEvenZero) {
  Script().error_texts[7] =
      "\xE8"
      "as vypr\x9A"
      "el";  // Windows-1250 bytes
  ASSERT_EQ(Open(4), 0);
  struct Row {
    std::int32_t code;
    const char* text;
  };
  for (const Row& row : {Row{0, "kod 0"}, Row{7, "čas vypršel"}, Row{99, "kod 99"}}) {
    SCOPED_TRACE(row.code);
    Script().calls.clear();
    TSlotBuffer buffer{};
    EXPECT_EQ(DrvErrorText(4, row.code, &buffer), 0);
    EXPECT_EQ(BufferToText(buffer), row.text);
    const auto calls = Script().CallsOf(Entry::Error);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], row.code);
    EXPECT_EQ(calls[0].kind, 4);
  }
  Script().hostile.unterminated_error = true;
  EXPECT_EQ(ErrorText(4, 3), std::string(100, 'X'));
}

TEST_F(BindingTest, ErrorTextWithoutLibraryLeavesTheBufferAlone) {
  TSlotBuffer buffer;
  buffer.fill(0x55);
  EXPECT_EQ(DrvErrorText(0, 5, &buffer), kDrvNotBound);
  for (std::int32_t slot : buffer) ASSERT_EQ(slot, 0x55);
  EXPECT_EQ(ErrorText(0, 5), "");
  EXPECT_EQ(ErrorText(0, 0), "");

  ASSERT_EQ(Open(1), 0);
  Script().calls.clear();
  EXPECT_EQ(DrvErrorText(5, 5, &buffer), kDrvNotBound);
  for (std::int32_t slot : buffer) ASSERT_EQ(slot, 0x55);
  EXPECT_TRUE(Script().calls.empty());
}

TEST_F(BindingTest, InitGetsTheParameterOfItsKind) {
  const std::string ip = "127.0.0.1";
  struct Row {
    std::uint8_t kind;
    TInitBlock block;
    std::int32_t param;  // Init's int argument, kinds 0 and 1
  };
  TInitBlock lan{};
  lan[0] = reinterpret_cast<std::intptr_t>(ip.c_str());
  lan[1] = 6000;
  lan[2] = 250;
  const Row rows[] = {{0, {7}, 7}, {1, {0x320}, 0x320}, {2, {}, 0}, {3, {}, 0}, {4, lan, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.kind));
    Script().calls.clear();
    block_ = row.block;
    ASSERT_EQ(Open(row.kind), 0);
    EXPECT_EQ(handle_, kHandle);
    EXPECT_TRUE(DrvLibraryLoaded());
    const auto inits = Script().CallsOf(Entry::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].kind, row.kind);
    if (row.kind <= 1) {
      EXPECT_EQ(inits[0].args[0], row.param);
    }
    if (row.kind == 4) {
      EXPECT_EQ(inits[0].ip_text, ip);
      for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(inits[0].init_block[i], lan[i]) << i;
    }
    EXPECT_EQ(DrvClose(row.kind, &handle_), 0);
  }
}

TEST_F(BindingTest, SetConfigForwardsItsArgumentsInOrder) {
  ASSERT_EQ(Open(0), 0);
  Script().set_config_result = 3;
  EXPECT_EQ(DrvSetConfig(0, kHandle, 19200, 7, 2), 3);
  const auto calls = Script().CallsOf(Entry::SetConfig);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].handle, kHandle);
  EXPECT_EQ(calls[0].args[0], 19200);
  EXPECT_EQ(calls[0].args[1], 7);
  EXPECT_EQ(calls[0].args[2], 2);
}

TEST_F(BindingTest, ForwardingWithoutBoundEntriesGivesTen) {
  TSlotBuffer request{}, answer{};
  std::int32_t returned = 0, status = 0, handle = kHandle;
  EXPECT_EQ(DrvSetConfig(0, kHandle, 9600, 13, 2), kDrvNotBound);
  EXPECT_EQ(DrvSend(0, kHandle, &request, &answer, &returned, &status), kDrvNotBound);
  EXPECT_EQ(DrvClose(0, &handle), kDrvNotBound);

  ASSERT_EQ(Open(2), 0);
  Script().calls.clear();
  EXPECT_EQ(DrvSetConfig(5, kHandle, 9600, 13, 2), kDrvNotBound);
  EXPECT_EQ(DrvSend(5, kHandle, &request, &answer, &returned, &status), kDrvNotBound);
  EXPECT_EQ(DrvClose(5, &handle), kDrvNotBound);
  EXPECT_TRUE(DrvLibraryLoaded()) << "a refused close must not unload";
  EXPECT_TRUE(Script().calls.empty());
}

TEST_F(BindingTest, CloseCallsDoneOnceAndUnloadsWhateverDoneSays) {
  struct Row {
    std::int32_t done_result;
    std::int32_t done_handle;
  };
  for (const Row& row : {Row{0, 0}, Row{7, 0}, Row{-1, 99}}) {
    SCOPED_TRACE(row.done_result);
    scripted::Reset();
    Script().done_result = row.done_result;
    Script().done_handle = row.done_handle;
    ASSERT_EQ(Open(1), 0);
    EXPECT_EQ(DrvClose(1, &handle_), row.done_result);
    EXPECT_EQ(handle_, row.done_handle);
    const auto dones = Script().CallsOf(Entry::Done);
    ASSERT_EQ(dones.size(), 1u);
    EXPECT_EQ(dones[0].handle, kHandle);
    EXPECT_FALSE(DrvLibraryLoaded());
    EXPECT_EQ(Script().unloads, Script().loads);

    // Nothing may call into the unloaded library any more.
    std::int32_t handle = kHandle;
    TSlotBuffer buffer{};
    EXPECT_EQ(DrvSetConfig(1, kHandle, 9600, 13, 2), kDrvNotBound);
    EXPECT_EQ(DrvErrorText(1, 3, &buffer), kDrvNotBound);
    EXPECT_EQ(DrvClose(1, &handle), kDrvNotBound);
  }
}

TEST_F(BindingTest, FailedInitKeepsLibraryForItsTextAndReopenLoadsOnlyOne) {
  struct Row {
    std::uint8_t first, second;
  };
  for (const Row& row : {Row{0, 0}, Row{0, 4}, Row{3, 2}}) {
    SCOPED_TRACE(std::to_string(row.first) + " then " + std::to_string(row.second));
    scripted::Reset();
    Script().init_result = 5;
    EXPECT_EQ(Open(row.first), 5);
    EXPECT_TRUE(DrvLibraryLoaded());
    EXPECT_EQ(ErrorText(row.first, 5), "kod 5");

    Script().init_result = 0;
    ASSERT_EQ(Open(row.second), 0);
    EXPECT_EQ(Script().loads - Script().unloads, 1);
    Script().calls.clear();
    EXPECT_EQ(DrvSetConfig(row.second, kHandle, 9600, 13, 2), 0);
    ASSERT_EQ(Script().calls.size(), 1u);
    EXPECT_EQ(Script().calls[0].kind, row.second) << "calls go to the library opened last";

    EXPECT_EQ(DrvClose(row.second, &handle_), 0);
    EXPECT_EQ(Script().loads, Script().unloads);
  }
}

TEST_F(BindingTest, OpenWhileBoundUnloadsThePreviousLibraryFirst) {
  ASSERT_EQ(Open(1), 0);
  ASSERT_EQ(Open(1), 0);
  EXPECT_EQ(Script().loads, 2) << "the same library must be loaded afresh";
  EXPECT_EQ(Script().unloads, 1);
  ASSERT_EQ(Open(2), 0);
  EXPECT_EQ(Script().loads - Script().unloads, 1);
  EXPECT_EQ(DrvClose(2, &handle_), 0);
  EXPECT_EQ(Script().loads, Script().unloads);
}

TEST_F(BindingTest, FailedLoadAfterABoundLibraryLeavesNoneBound) {
  ASSERT_EQ(Open(0), 0);
  linktest::TempDir empty;
  SetDriverDirectory(empty.Path().string());
  EXPECT_EQ(Open(1), 101);
  EXPECT_FALSE(DrvLibraryLoaded());
  EXPECT_EQ(Script().loads, Script().unloads);
  TSlotBuffer buffer{};
  EXPECT_EQ(DrvErrorText(1, 3, &buffer), kDrvNotBound);
}

TEST_F(BindingTest, NullArgumentsNeverCrash) {
  handle_ = 0;
  const std::int32_t open = DrvOpen(4, &handle_, nullptr);
  EXPECT_TRUE(open == 0 || open == kDrvNotBound) << open;
  DrvErrorText(0, 104, nullptr);
  DrvErrorText(4, 3, nullptr);
  EXPECT_EQ(ErrorText(0, 104), "chyba inicializace knihovny QBL314.DLL");
}

}  // namespace
