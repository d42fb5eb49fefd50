// Integer text conversion, baud-rate tables and the slot-buffer texts.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "link/Dekl.h"
#include "link/IntText.h"

namespace {

struct IntCase {
  const char* text;
  bool ok;
  std::int32_t value;
};

class IntTextTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntTextTest, ConvertsOrRefuses) {
  const IntCase& c = GetParam();
  constexpr std::int32_t kUntouched = 0x5A5A5A5A;
  std::int32_t value = kUntouched;
  EXPECT_EQ(TryStrToInt(c.text, value), c.ok);
  EXPECT_EQ(value, c.ok ? c.value : kUntouched) << "value must stay untouched on failure";
  EXPECT_EQ(StrToIntDef(c.text, -77), c.ok ? c.value : -77);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntTextTest,
    ::testing::Values(IntCase{"0", true, 0}, IntCase{"42", true, 42}, IntCase{"   42", true, 42},
                      IntCase{"+7", true, 7}, IntCase{"-7", true, -7}, IntCase{"  -0", true, 0},
                      IntCase{"007", true, 7}, IntCase{"$1F", true, 31}, IntCase{"$1f", true, 31},
                      IntCase{"x1f", true, 31}, IntCase{"X1F", true, 31},
                      IntCase{"0x320", true, 800}, IntCase{"0X320", true, 800},
                      IntCase{" $320", true, 800}, IntCase{"$FFFFFFFF", true, -1},
                      IntCase{"$80000000", true, INT_MIN}, IntCase{"2147483647", true, INT_MAX},
                      IntCase{"-2147483648", true, INT_MIN},
                      // Not integers.
                      IntCase{"", false, 0}, IntCase{"   ", false, 0}, IntCase{"12 ", false, 0},
                      IntCase{"12a", false, 0}, IntCase{"a12", false, 0}, IntCase{"1 2", false, 0},
                      IntCase{"+", false, 0}, IntCase{"-", false, 0}, IntCase{"+-1", false, 0},
                      IntCase{"$", false, 0}, IntCase{"x", false, 0}, IntCase{"0x", false, 0},
                      IntCase{"0X", false, 0}, IntCase{"$G", false, 0}, IntCase{"0x1G", false, 0},
                      IntCase{"1.5", false, 0}, IntCase{"2147483648", false, 0},
                      IntCase{"-2147483649", false, 0}, IntCase{"99999999999999999999", false, 0},
                      IntCase{"$100000000", false, 0}, IntCase{"0x1FFFFFFFF", false, 0}));

TEST(IntTextTest, TextWithEmbeddedNulIsNotAnInteger) {
  std::int32_t value = 3;
  EXPECT_FALSE(TryStrToInt(std::string_view("12\0"
                                            "3",
                                            4),
                           value));
  EXPECT_EQ(value, 3);
}

struct BaudRow {
  std::uint8_t index;
  std::int32_t baud;
  std::int32_t timing;
};

// The range check every field and option shares: bounds inclusive, the value
// untouched on refusal, hexadecimal compared as the number it gives.
TEST(IntTextTest, RangeCheckKeepsTheValueOnRefusal) {
  const struct {
    const char* text;
    bool ok;
    std::int32_t value;
  } rows[] = {{"0", true, 0},   {"255", true, 255},  {"256", false, 7},
              {"-1", false, 7}, {"0xFF", true, 255}, {"$100", false, 7},
              {"", false, 7},   {" 5", true, 5},     {"$FFFFFFFF", false, 7}};
  for (const auto& row : rows) {
    std::int32_t value = 7;
    EXPECT_EQ(TryStrToIntInRange(row.text, 0, 255, value), row.ok) << row.text;
    EXPECT_EQ(value, row.value) << row.text;
  }
}

TEST(BaudTablesTest, ListEntriesMapBothWays) {
  const BaudRow rows[] = {{0, 600, 100}, {1, 1200, 100}, {2, 2400, 50},
                          {3, 4800, 25}, {4, 9600, 13},  {5, 19200, 7},
                          {6, 38400, 5}, {7, 57600, 5},  {8, 115200, 5}};
  for (const BaudRow& r : rows) {
    SCOPED_TRACE(r.index);
    EXPECT_EQ(BaudFromIndex(r.index), r.baud);
    EXPECT_EQ(IndexFromBaud(r.baud), r.index);
    EXPECT_EQ(TimingFromIndex(r.index), r.timing);
  }
}

TEST(BaudTablesTest, ValuesOutsideTheListFallBackTo9600) {
  for (std::uint8_t index : {9, 10, 100, 255}) {
    SCOPED_TRACE(static_cast<int>(index));
    EXPECT_EQ(BaudFromIndex(index), 9600);
    EXPECT_EQ(TimingFromIndex(index), 13);
  }
  for (std::int32_t baud : {14400, 0, -9600, 9601, 300, 230400, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(baud);
    EXPECT_EQ(IndexFromBaud(baud), 4);
  }
}

TSlotBuffer Slots(std::initializer_list<std::int32_t> first) {
  TSlotBuffer b{};
  std::size_t i = 0;
  for (std::int32_t v : first) b[i++] = v;
  return b;
}

TEST(TextToBufferTest, KeepsFirst99CharactersFromSlot1) {
  std::string text;
  for (int i = 0; i < 150; ++i) text += static_cast<char>('A' + i % 26);
  TSlotBuffer buffer;
  buffer.fill(0x7777);  // leftovers must not survive
  EXPECT_EQ(TextToBuffer(text, buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  for (std::size_t i = 1; i < 100; ++i) ASSERT_EQ(buffer[i], text[i - 1]) << "slot " << i;
  EXPECT_EQ(BufferToText(buffer), text.substr(0, 99));
}

TEST(TextToBufferTest, ShortTextIsFollowedByZeroSlots) {
  TSlotBuffer buffer;
  buffer.fill(0x7777);
  TextToBuffer("ab", buffer);
  EXPECT_EQ(buffer[1], 'a');
  EXPECT_EQ(buffer[2], 'b');
  for (std::size_t i = 3; i < 100; ++i) ASSERT_EQ(buffer[i], 0) << "slot " << i;
  EXPECT_EQ(BufferToText(buffer), "ab");
}

TEST(TextToBufferTest, CzechLettersTravelAsWindows1250Codes) {
  const std::string text = "Příliš žluťoučký kůň úpěl ďábelské ódy ČŘŠŽŤĎŇÚŮ";
  TSlotBuffer buffer{};
  TextToBuffer(text, buffer);
  EXPECT_EQ(buffer[1], 'P');
  EXPECT_EQ(buffer[2], 0xF8);  // ř
  EXPECT_EQ(buffer[3], 0xED);  // í
  EXPECT_EQ(buffer[6], 0x9A);  // š
  EXPECT_EQ(BufferToText(buffer), text);
}

TEST(TextToBufferTest, CharacterWithoutCodeBecomesQuestionMark) {
  TSlotBuffer buffer{};
  TextToBuffer(
      "a\xE2\x82\xAC"
      "b\xE6\x97\xA5",
      buffer);  // a€b + a CJK character
  EXPECT_EQ(buffer[1], 'a');
  EXPECT_EQ(buffer[2], 0x80);  // € has a code
  EXPECT_EQ(buffer[3], 'b');
  EXPECT_EQ(buffer[4], '?');
  EXPECT_EQ(buffer[5], 0);
}

TEST(TextToBufferTest, MalformedUtf8NeverOverrunsOrCrashes) {
  std::string text(200, '\xC5');  // lead bytes without continuation
  TSlotBuffer buffer{};
  EXPECT_EQ(TextToBuffer(text, buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  for (std::size_t i = 1; i < 100; ++i) ASSERT_NE(buffer[i], 0) << "slot " << i;
}

struct BufferCase {
  const char* name;
  TSlotBuffer buffer;
  std::string text;
};

TEST(BufferToTextTest, ReadsSlotsByTheTextRules) {
  TSlotBuffer all_x;
  all_x.fill('X');
  const BufferCase cases[] = {
      {"all zero", Slots({}), ""},
      {"slot 0 alone", Slots({65, 0, 66}), "A"},
      {"text from slot 1", Slots({0, 66, 67, 0, 68}), "BC"},
      {"text from slot 0", Slots({0x6B, 0x6F, 0x64, 0}), "kod"},
      {"high bits ignored", Slots({0x141, 0x7FFFFF42}), "AB"},
      {"low byte 0 skipped", Slots({0x41, 0x100, 0x42, 0}), "AB"},
      {"only low byte 0 slots", Slots({0x100, 0x200, 0}), ""},
      {"negative slot", Slots({-24}), "\xC4\x8D"},  // low byte 0xE8: č
      {"Windows-1250 codes", Slots({0xE8, 0x61, 0x73, 0x20, 0x9A}),
       "\xC4\x8D"
       "as \xC5\xA1"},
      {"no zero slot at all", all_x, std::string(100, 'X')},
  };
  for (const BufferCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = BufferToText(c.buffer);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(text.find('\0'), std::string::npos);
  }
}

}  // namespace
