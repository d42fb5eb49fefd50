// Replays the seed corpus and every input that once broke a property through
// the same checks the fuzz harnesses run, in the normal build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/Dekl.h"
#include "tests/fuzz/Checks.h"

namespace {

using Check = std::string (*)(const std::uint8_t*, std::size_t);

struct Harness {
  const char* name;
  Check check;
};

const Harness kHarnesses[] = {
    {"settings", qm90fuzz::CheckSettingsFile},
    {"inttext", qm90fuzz::CheckIntText},
    {"slottext", qm90fuzz::CheckSlotText},
    {"frames", qm90fuzz::CheckFrames},
};

std::vector<std::filesystem::path> InputsOf(const std::string& harness) {
  std::vector<std::filesystem::path> files;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path dir = std::filesystem::path(QM90_FUZZ_DIR) / kind / harness;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string RunCheck(Check check, const std::string& bytes) {
  return check(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

class StoredInputs : public testing::TestWithParam<Harness> {};

TEST_P(StoredInputs, EveryStoredInputKeepsItsProperties) {
  const auto files = InputsOf(GetParam().name);
  EXPECT_FALSE(files.empty()) << "no seed corpus for " << GetParam().name;
  for (const auto& file : files) EXPECT_EQ(RunCheck(GetParam().check, ReadBytes(file)), "") << file;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, StoredInputs, testing::ValuesIn(kHarnesses),
                         [](const auto& info) { return std::string(info.param.name); });

// A carriage return without a line feed (a file cut after its last CR, or
// an editor that wrote a lone CR) stays inside the value: the IP address then
// carries an invisible character and an integer is not read at all.
TEST(SettingsValues, CarriageReturnIsNotPartOfAValue) {
  struct Case {
    const char* file_tail;
    const char* expected_ip;
    std::int32_t expected_port;
  };
  const Case cases[] = {
      {"IP adresa=10.0.0.1\r", "10.0.0.1", 5000},
      {"UDP port=5001\r", kDefaultIpAddress, 5001},
      {"IP adresa=10.0.0.1\r\r\nUDP port=5001\r\r\n", "10.0.0.1", 5001},
  };
  const std::string path = (std::filesystem::temp_directory_path() / "qm90-fuzzreg.ini").string();
  for (const Case& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "[P\xF8ipojen\xED]\r\nRozhran\xED=QB-314\r\n[QB-314]\r\n"
        << c.file_tail;
    SetSettingsFilePath(path);
    TData data;
    SetDataDefaults(&data);
    EXPECT_TRUE(LoadSettings(&data));
    EXPECT_EQ(data.IpAddress, c.expected_ip) << c.file_tail;
    EXPECT_EQ(data.UdpPort, c.expected_port) << c.file_tail;
  }
  SetSettingsFilePath("");
  std::filesystem::remove(path);
}

}  // namespace
