#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Files.h"
#include "commission/Report.h"
#include "commission/Sha256.h"
#include "tests/support/TempDir.h"

namespace {

using namespace qm90commission;

TEST(Sha256, KnownDigests) {
  const struct {
    std::string text;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56: a second padding block
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.text), c.digest) << c.text.size();
}

CheckoutRecord Sample() {
  CheckoutRecord record;
  record.header.tag = "K1<IO>";
  record.header.location = "hall 2; \"east\"";
  record.header.address = 7;
  record.points.push_back(
      {"output", "DOUT0", "DOUT0=1", "DIN0=1", "DIN0=1", Verdict::kPass, 0, ""});
  record.points.push_back(
      {"output", "DOUT1", "DOUT1=1", "DIN1=1", "DIN1=0", Verdict::kFail, 2, "line\nbreak"});
  record.ending = Ending::kInterrupted;
  record.restored = true;
  return record;
}

TEST(Report, CsvQuotesWhatTheSeparatorOrQuotesWouldBreak) {
  const std::string csv = CheckoutCsv(Sample(), ';');
  std::istringstream lines(csv);
  std::string header, first;
  std::getline(lines, header);
  std::getline(lines, first);
  EXPECT_EQ(header,
            "tag;location;address;group;channel;commanded;expected;observed;verdict;"
            "retries;comment\r");
  EXPECT_EQ(first,
            "K1<IO>;\"hall 2; \"\"east\"\"\";7;output;DOUT0;DOUT0=1;DIN0=1;DIN0=1;pass;0;\r");
  EXPECT_NE(csv.find("fail;2;\"line\nbreak\""), std::string::npos);
  EXPECT_EQ(CsvField("a,b", ';'), "a,b");
  EXPECT_EQ(CsvField("a,b", ','), "\"a,b\"");
}

TEST(Report, HtmlIsSelfContainedEscapedAndMarksAnInterruptedRun) {
  const std::string html = CheckoutHtml(Sample());
  EXPECT_EQ(html.find("K1<IO>"), std::string::npos);
  EXPECT_NE(html.find("K1&lt;IO&gt;"), std::string::npos);
  for (const char* external : {"src=", "href=", "@import", "url("})
    EXPECT_EQ(html.find(external), std::string::npos) << external;
  EXPECT_NE(html.find("Run interrupted"), std::string::npos);
  EXPECT_NE(html.find("Witness"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"fail\">fail</td>"), std::string::npos);
}

TEST(Report, JsonNamesTheFilesWithTheirDigestsAndTheInterruption) {
  const std::string json = CheckoutJson(Sample(), {{"r.html", "abc"}, {"r.csv", "def"}});
  EXPECT_NE(json.find("\"interrupted\":true"), std::string::npos);
  EXPECT_NE(json.find("\"exit\":130"), std::string::npos);
  EXPECT_NE(json.find("\"report_files\":[{\"path\":\"r.html\",\"sha256\":\"abc\"}"),
            std::string::npos);
  EXPECT_NE(json.find("\"comment\":\"line\\u000abreak\""), std::string::npos);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Report, WrittenFilesMatchTheirDigestsAndAreNeverReplaced) {
  qm90test::TempDir dir;
  const std::string base = dir.File("report");
  std::string error;
  const auto json = [](const std::vector<ReportFile>& files) {
    return "{\"files\":" + std::to_string(files.size()) + "}";
  };
  const auto files = WriteReportFiles(base, "<html>", "a,b\r\n", json, error);
  ASSERT_EQ(files.size(), 3u) << error;
  for (const ReportFile& file : files) EXPECT_EQ(Sha256Hex(Contents(file.path)), file.sha256);
  EXPECT_EQ(Contents(base + ".json"), "{\"files\":2}");
  std::ofstream(base + "2.csv") << "mine";
  EXPECT_TRUE(WriteReportFiles(base + "2", "x", "y", json, error).empty());
  EXPECT_NE(error.find("exists already"), std::string::npos);
  EXPECT_EQ(Contents(base + "2.csv"), "mine");
  EXPECT_FALSE(base::PathExists(base + "2.html"));
}

}  // namespace
