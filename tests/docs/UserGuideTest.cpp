// Every code the driver libraries and the binding give a text of their own has
// its row in the user guide's message table, with that exact text, and the
// table has no row for a code nobody defines.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/Codes.h"
#include "link/QBLxxx.h"

namespace {

std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  std::stringstream in(row.substr(1));
  std::string cell;
  while (std::getline(in, cell, '|')) {
    const auto first = cell.find_first_not_of(' ');
    const auto last = cell.find_last_not_of(' ');
    cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
  }
  return cells;
}

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

struct Table {
  std::map<std::int32_t, std::string> by_code;  // rows whose first cell is a code
  std::vector<std::string> texts;               // the text cell of every row
};

Table MessageTable() {
  std::ifstream guide(QM90_USER_GUIDE);
  EXPECT_TRUE(guide.good()) << QM90_USER_GUIDE;
  Table table;
  std::string line;
  while (std::getline(guide, line)) {
    if (line.rfind("| ", 0) != 0) continue;
    const std::vector<std::string> cells = Cells(line);
    if (cells.size() < 2) continue;
    table.texts.push_back(cells[1]);
    if (IsNumber(cells[0])) table.by_code[std::stoi(cells[0])] = cells[1];
  }
  return table;
}

// The text a window shows for a code: a library's below 100, the binding's above.
struct Source {
  const char* name;
  std::int32_t first, last;
  std::string (*text)(std::int32_t);
  std::string unknown;  // the common text of codes without one of their own
};

std::string LibraryText(std::int32_t code) {
  return qm90drivers::CodeText(code);
}
std::string BindingText(std::int32_t code) {
  return ErrorText(0, code);
}

TEST(UserGuide, MessageTableCoversExactlyTheDefinedCodes) {
  const Table table = MessageTable();
  const Source sources[] = {
      {"libraries", 0, 99, LibraryText, LibraryText(-1)},
      {"binding", 100, 999, BindingText, BindingText(0x7FFFFFFF)},
  };
  for (const Source& source : sources) {
    SCOPED_TRACE(source.name);
    for (std::int32_t code = source.first; code <= source.last; ++code) {
      const std::string text = source.text(code);
      const auto row = table.by_code.find(code);
      if (text == source.unknown) {
        EXPECT_EQ(row, table.by_code.end()) << "row for undefined code " << code;
        continue;
      }
      if (row == table.by_code.end()) {
        ADD_FAILURE() << "no row for code " << code << " (" << text << ")";
      } else {
        EXPECT_EQ(row->second, text) << "code " << code;
      }
    }
    bool unknown_listed = false;
    for (const std::string& text : table.texts) unknown_listed |= text == source.unknown;
    EXPECT_TRUE(unknown_listed) << source.unknown;
  }
}

}  // namespace
