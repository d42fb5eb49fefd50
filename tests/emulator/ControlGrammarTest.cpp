// The control text of qm90-sim: what one side formats the other parses.
#include <gtest/gtest.h>

#include "emulator/ControlGrammar.h"

namespace qm90emulator {
namespace {

TEST(ControlGrammar, ReadyLineRoundTripsAndNamesOnlyWhatIsServed) {
  const ReadyLine full{"127.0.0.1:47090", "/dev/pts/3", "COM5", "127.0.0.1:40001"};
  const std::optional<ReadyLine> parsed = ParseReady(FormatReady(full));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->udp, full.udp);
  EXPECT_EQ(parsed->pty, full.pty);
  EXPECT_EQ(parsed->com, full.com);
  EXPECT_EQ(PortOf(parsed->control), 40001);
  EXPECT_EQ(FormatReady({"", "", "", "127.0.0.1:9"}), "qm90-sim ready control=127.0.0.1:9");
  for (const char* line : {"qm90-sim readyx udp=1:2", "qm90-sim", "ready udp=1:2", ""}) {
    EXPECT_FALSE(ParseReady(line)) << line;
  }
  for (const auto& [text, port] : std::vector<std::pair<const char*, int>>{{"127.0.0.1:0", 0},
                                                                           {"h:65535", 65535},
                                                                           {"h:65536", 0},
                                                                           {"h:", 0},
                                                                           {"h:1x", 0},
                                                                           {"", 0}}) {
    EXPECT_EQ(PortOf(text), port) << text;
  }
}

TEST(ControlGrammar, RepliesAreOkOrErrorAndNothingElse) {
  struct Case {
    const char* line;
    bool is_reply, ok;
    const char* text;
  };
  for (const Case& c :
       {Case{"ok", true, true, ""}, Case{"ok 255", true, true, "255"},
        Case{"error no module at address 9", true, false, "no module at address 9"},
        Case{"okay", false, false, ""}, Case{"event faults 0 0 0", false, false, ""},
        Case{"ok 1\r", true, true, "1"}}) {
    SCOPED_TRACE(c.line);
    const std::optional<Reply> reply = ParseReply(c.line);
    ASSERT_EQ(reply.has_value(), c.is_reply);
    if (!reply) continue;
    EXPECT_EQ(reply->ok, c.ok);
    EXPECT_EQ(reply->text, c.text);
    EXPECT_EQ(ParseReply(FormatReply(*reply))->text, reply->text);
  }
}

TEST(ControlGrammar, EventsAreReadByNameAndMalformedOnesRefused) {
  const std::optional<Event> exchange =
      ParseEvent("event exchange 1700000000000 pty 1 0 64 0 0 0 0 0 ok 0 0 170 0 0 0");
  ASSERT_TRUE(exchange);
  EXPECT_EQ(exchange->Field("line"), "pty");
  EXPECT_EQ(exchange->Field("result"), "ok");
  EXPECT_EQ(exchange->Number("a1"), 170);
  EXPECT_EQ(exchange->Number("time"), 1700000000000LL);
  EXPECT_EQ(exchange->Number("nosuchfield"), -1);

  const Event stuck{"stuck", {"1", "din", "4", "0"}};
  EXPECT_EQ(FormatEvent(stuck), "event stuck 1 din 4 0");
  EXPECT_EQ(ParseEvent(FormatEvent(stuck))->Number("low"), 4);
  for (const char* bad : {"event stuck 1 din 4", "event inputs 1 2 3", "event nosuch 1", "event",
                          "events inputs 1 2", "ok 1"}) {
    EXPECT_FALSE(ParseEvent(bad)) << bad;
  }
  EXPECT_EQ(FormatEvent({"inputs", {"1"}}), "");
  EXPECT_EQ(ParseEvent("event inputs 1 x")->Number("terminals"), -1);
}

TEST(ControlGrammar, CommandsSplitIntoVerbAndArguments) {
  const std::optional<Command> command = ParseCommand("  stuck  #3 dout 7 none\r");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->verb, "stuck");
  EXPECT_EQ(command->args, (std::vector<std::string>{"#3", "dout", "7", "none"}));
  EXPECT_EQ(FormatCommand(*command), "stuck #3 dout 7 none");
  EXPECT_FALSE(ParseCommand(" \t "));
}

}  // namespace
}  // namespace qm90emulator
