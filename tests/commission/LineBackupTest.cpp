#include "commission/LineBackup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "commission/NewFile.h"
#include "commission/Sha256.h"

namespace qm90commission {
namespace {

namespace fs = std::filesystem;

TEST(Sha256, KnownDigests) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 56 bytes: the padding needs a second block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size();
}

TEST(Manifest, RoundTripsAndKeepsIdentificationBlanks) {
  TManifest manifest;
  manifest.link = "LAN converter QB-314 (127.0.0.1:5000)";
  manifest.time = "2026-12-10T04:00:00Z";
  manifest.modules = {{1, 9600, ModuleFileName(1, 9600), std::string(64, 'a'), "QM-90    v.1.02"},
                      {77, 19200, ModuleFileName(77, 19200), std::string(64, 'b'), " x\ty "}};
  TManifest read;
  ASSERT_EQ(ParseManifest(FormatManifest(manifest), read), "");
  EXPECT_EQ(read.link, manifest.link);
  EXPECT_EQ(read.time, manifest.time);
  ASSERT_EQ(read.modules.size(), 2u);
  EXPECT_EQ(read.modules[0], manifest.modules[0]);
  EXPECT_EQ(read.modules[1].file, "module-077-19200.qm90");
  EXPECT_EQ(read.modules[1].identification, " x?y ") << "a control character stays out";
}

TEST(Manifest, RefusesWhatCouldMisleadARestore) {
  const std::string sha(64, 'c');
  const struct {
    const char* why;
    std::string text;
    const char* problem;
  } cases[] = {
      {"other file", "hello\n", "line 1: not a qm90 line backup"},
      {"empty", "", "not a qm90 line backup (empty)"},
      {"no module", "qm90-line-backup 1\n", "it lists no module"},
      {"folder part", "qm90-line-backup 1\nmodule: 1 9600 ../x " + sha + " Q\n",
       "line 2: \"../x\" is not a plain file name"},
      {"absolute", "qm90-line-backup 1\nmodule: 1 9600 /etc/x " + sha + " Q\n",
       "line 2: \"/etc/x\" is not a plain file name"},
      {"address", "qm90-line-backup 1\nmodule: 256 9600 a " + sha + " Q\n",
       "line 2: the address is not 0..255"},
      {"rate", "qm90-line-backup 1\nmodule: 1 14400 a " + sha + " Q\n",
       "line 2: the rate is not one of the nine"},
      {"digest", "qm90-line-backup 1\nmodule: 1 9600 a abc Q\n",
       "line 2: the SHA-256 is not 64 hex digits"},
      {"twice",
       "qm90-line-backup 1\nmodule: 1 9600 a " + sha + " Q\nmodule: 1 9600 b " + sha + " Q\n",
       "line 3: address 1 at 9600 Bd appears twice"},
      {"unknown key", "qm90-line-backup 1\nfoo: bar\n", "line 2: expected"},
      {"nul", std::string("qm90-line-backup 1\n\0", 20), "damaged: it holds NUL bytes"},
  };
  for (const auto& c : cases) {
    TManifest manifest;
    const std::string problem = ParseManifest(c.text, manifest);
    EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.why << ": " << problem;
  }
}

TEST(NewFile, NeverReplacesWhatStandsThere) {
  const fs::path folder = fs::temp_directory_path() / ("qm90-newfile-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string path = (folder / "a.qm90").string();
  std::string reason;
  EXPECT_EQ(WriteNewFile(path, "first", reason), NewFileResult::kWritten);
  EXPECT_EQ(WriteNewFile(path, "second", reason), NewFileResult::kExists);
  {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "first");
  }
  // Not even through a link to elsewhere (where the system lets us make one).
  std::error_code no_links;
  fs::create_symlink(folder / "elsewhere", folder / "link.qm90", no_links);
  if (!no_links) {
    EXPECT_NE(WriteNewFile((folder / "link.qm90").string(), "x", reason), NewFileResult::kWritten);
    EXPECT_FALSE(fs::exists(folder / "elsewhere"));
  }
  EXPECT_EQ(WriteNewFile((folder / "missing" / "b").string(), "x", reason), NewFileResult::kFailed);
  // The system's own words: "No such file or directory", "Path not found".
  EXPECT_TRUE(reason.find("No such file") != std::string::npos ||
              reason.find("not found") != std::string::npos)
      << reason;
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qm90commission
