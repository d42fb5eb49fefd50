#include <gtest/gtest.h>

#include "commission/Plan.h"

namespace {

using namespace qm90commission;

std::vector<std::string> Errors(const std::string& plan) {
  std::vector<PlanRow> rows;
  std::vector<std::string> texts;
  for (const PlanError& error : ParsePlan(plan, rows)) texts.push_back(PlanErrorText(error));
  return texts;
}

TEST(Plan, ReadsRowsWithDefaultsForWhatIsNotGiven) {
  std::vector<PlanRow> rows;
  const std::string plan =
      "\xEF\xBB\xBFtag;location;address;baud;dout_init;aout_init;now_address\n"
      "# cabinet A\n"
      "K1-IO1;\"hall; east\";2;19200;$81;0x8000;\n"
      "K1-IO2;;3;9600;0;65535;7\n";
  ASSERT_TRUE(ParsePlan(plan, rows).empty());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].line, 3);
  EXPECT_EQ(rows[0].location, "hall; east");
  EXPECT_EQ(rows[0].dout_init, 0x81);
  EXPECT_EQ(rows[0].aout_init, 0x8000);
  EXPECT_EQ(rows[0].now_address, 1);  // the factory setting
  EXPECT_EQ(rows[0].now_baud, 9600);
  EXPECT_TRUE(rows[0].ChangesLink());
  EXPECT_EQ(rows[1].now_address, 7);
}

TEST(Plan, EveryErrorIsListedWithLineAndColumn) {
  const struct {
    const char* name;
    std::string plan;
    std::vector<std::string> errors;
  } cases[] = {
      {"same address twice",
       "tag,address,baud\nA,5,9600\nB,6,9600\nC,5,19200\n",
       {"line 4, column 2: address 5 is given to \"A\" on line 2 too: two modules on one line "
        "cannot share it"}},
      {"bad values, all of them",
       "tag,address,baud,din_negation\nA,256,9601,x\n",
       {"line 2, column 2: address: \"256\" is not 0..255",
        "line 2, column 3: baud: \"9601\" is not one of the nine rates (600 .. 115200)",
        "line 2, column 4: din_negation: \"x\" is not 0..255"}},
      {"header faults",
       "tag,adress,tag\n",
       {"line 1: the column \"address\" is missing", "line 1: the column \"baud\" is missing",
        "line 1, column 2: unknown column \"adress\"",
        "line 1, column 3: column \"tag\" is given twice"}},
      {"row shape",
       "tag,address,baud\nA,1\nB,2,9600,\"x\n",
       {"line 2: 2 fields, the header has 3", "line 3: a quoted field is not closed"}},
      {"tag twice, tag empty",
       "tag,address,baud\nA,1,9600\nA,2,9600\n,3,9600\n",
       {"line 3, column 1: the tag \"A\" is on line 2 too",
        "line 4, column 1: tag: the tag is empty"}},
      {"tag with a tab",
       "tag,address,baud\nA\tB,1,9600\n",
       {"line 2, column 1: tag: the tag holds a control character"}},
      {"empty", "", {"line 1: the plan has no header row"}},
      {"no modules", "tag,address,baud\n", {"line 1: the plan has no modules"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Errors(c.plan), c.errors) << c.name;
}

TEST(Journal, RoundTripLastEntryWinsAndAnotherPlanIsRefused) {
  JournalEntry first{"K1", false, "t1", "QM-90 v.1.00", "not found", "", "", ""};
  JournalEntry again{"K1", true, "t2", "QM-90\tv.1", "configured\nok", "17 passed", "r.json", "ab"};
  const std::string text = JournalHeader("sha") + JournalLine(first) + JournalLine(again);
  std::map<std::string, JournalEntry> entries;
  std::string error;
  ASSERT_TRUE(ParseJournal(text, "sha", entries, error)) << error;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries["K1"].ok);
  EXPECT_EQ(entries["K1"].module_name, "QM-90 v.1");
  EXPECT_EQ(entries["K1"].message, "configured ok");
  EXPECT_EQ(entries["K1"].checkout_sha256, "ab");
  EXPECT_FALSE(ParseJournal(text, "other", entries, error));
  EXPECT_EQ(error, "the plan has changed since the journal was begun");
  EXPECT_FALSE(ParseJournal("tag\tok\n", "sha", entries, error));
  EXPECT_FALSE(ParseJournal(JournalHeader("sha") + "K2\tmaybe\n", "sha", entries, error));
  EXPECT_EQ(error, "line 2 of the journal is damaged");
}

}  // namespace
