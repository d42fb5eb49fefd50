#include "commission/Plan.h"

#include <algorithm>
#include <sstream>

#include "base/Baud.h"
#include "link/IntText.h"

namespace qm90commission {

namespace {

std::vector<PlanError> Sorted(std::vector<PlanError> errors) {
  std::stable_sort(errors.begin(), errors.end(), [](const PlanError& a, const PlanError& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  return errors;
}

constexpr const char* kJournalMagic = "qm90 commission journal, plan sha256 ";
constexpr std::size_t kColumnCount = std::size(kPlanColumns);

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One CSV line into fields; quoted fields may hold the separator and "".
bool SplitCsv(const std::string& line, char separator, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == separator) {
      fields.push_back(Trim(field));
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(Trim(field));
  return !quoted;
}

int ColumnIndex(const std::string& name) {
  for (std::size_t i = 0; i < kColumnCount; ++i)
    if (name == kPlanColumns[i]) return static_cast<int>(i);
  return -1;
}

bool Integer(const std::string& text, std::int32_t low, std::int32_t high, std::int32_t& value) {
  std::int32_t parsed = 0;
  if (!TryStrToInt(text, parsed) || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

// Stores one field of a row; an empty text on success, else the reason.
std::string StoreField(int column, const std::string& text, PlanRow& row) {
  std::int32_t value = 0;
  switch (column) {
    case 0:
      if (text.empty()) return "the tag is empty";
      // The journal keys its lines by the tag: it must come back as written.
      for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20) return "the tag holds a control character";
      row.tag = text;
      return {};
    case 1:
      row.location = text;
      return {};
    case 3:
    case 9:
      if (!Integer(text, 0, 1000000, value) || base::BaudIndexOf(value) < 0)
        return "\"" + text + "\" is not one of the nine rates (600 .. 115200)";
      (column == 3 ? row.baud : row.now_baud) = value;
      return {};
    case 7:
      if (!Integer(text, 0, 65535, value)) return "\"" + text + "\" is not 0..65535";
      row.aout_init = static_cast<std::uint16_t>(value);
      return {};
    default:
      break;
  }
  if (!Integer(text, 0, 255, value)) return "\"" + text + "\" is not 0..255";
  const auto byte = static_cast<std::uint8_t>(value);
  std::uint8_t* targets[kColumnCount] = {nullptr,        nullptr,           &row.address,
                                         nullptr,        &row.din_negation, &row.dout_negation,
                                         &row.dout_init, nullptr,           &row.now_address};
  *targets[column] = byte;
  return {};
}

std::string Flatten(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

}  // namespace

std::string PlanErrorText(const PlanError& error) {
  std::string where = "line " + std::to_string(error.line);
  if (error.column > 0) where += ", column " + std::to_string(error.column);
  return where + ": " + error.text;
}

std::vector<PlanError> ParsePlan(const std::string& text, std::vector<PlanRow>& rows) {
  std::vector<PlanError> errors;
  std::vector<PlanRow> parsed;
  std::istringstream lines(text);
  std::string line;
  std::vector<int> columns;  // plan column of each field of the header
  char separator = ',';
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (Trim(line).empty() || Trim(line)[0] == '#') continue;
    std::vector<std::string> fields;
    if (columns.empty()) {
      separator = line.find(';') != std::string::npos ? ';' : ',';
      SplitCsv(line, separator, fields);
      std::vector<bool> seen(kColumnCount, false);
      for (std::size_t i = 0; i < fields.size(); ++i) {
        const int column = ColumnIndex(fields[i]);
        const int at = static_cast<int>(i) + 1;
        if (column < 0)
          errors.push_back({number, at, "unknown column \"" + fields[i] + "\""});
        else if (seen[column])
          errors.push_back({number, at, "column \"" + fields[i] + "\" is given twice"});
        else
          seen[column] = true;
        columns.push_back(column);
      }
      for (const char* required : {"tag", "address", "baud"})
        if (!seen[ColumnIndex(required)])
          errors.push_back({number, 0, std::string("the column \"") + required + "\" is missing"});
      if (!errors.empty()) return Sorted(errors);
      continue;
    }
    if (!SplitCsv(line, separator, fields)) {
      errors.push_back({number, 0, "a quoted field is not closed"});
      continue;
    }
    if (fields.size() != columns.size()) {
      errors.push_back({number, 0,
                        std::to_string(fields.size()) + " fields, the header has " +
                            std::to_string(columns.size())});
      continue;
    }
    PlanRow row;
    row.line = number;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const bool optional_empty =
          fields[i].empty() && columns[i] != 0 && columns[i] != 2 && columns[i] != 3;
      if (optional_empty) continue;
      const std::string problem = StoreField(columns[i], fields[i], row);
      if (!problem.empty())
        errors.push_back({number, static_cast<int>(i) + 1,
                          std::string(kPlanColumns[columns[i]]) + ": " + problem});
    }
    parsed.push_back(row);
  }
  if (columns.empty()) errors.push_back({std::max(number, 1), 0, "the plan has no header row"});
  const auto column_of = [&columns](const char* name) {
    const auto at = std::find(columns.begin(), columns.end(), ColumnIndex(name));
    return static_cast<int>(at - columns.begin()) + 1;
  };
  for (std::size_t i = 0; i < parsed.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) {
      if (!parsed[i].tag.empty() && parsed[i].tag == parsed[j].tag)
        errors.push_back({parsed[i].line, column_of("tag"),
                          "the tag \"" + parsed[i].tag + "\" is on line " +
                              std::to_string(parsed[j].line) + " too"});
      if (parsed[i].address == parsed[j].address)
        errors.push_back({parsed[i].line, column_of("address"),
                          "address " + std::to_string(parsed[i].address) + " is given to \"" +
                              parsed[j].tag + "\" on line " + std::to_string(parsed[j].line) +
                              " too: two modules on one line cannot share it"});
    }
  if (errors.empty() && parsed.empty()) errors.push_back({number, 0, "the plan has no modules"});
  if (errors.empty()) rows = parsed;
  return Sorted(errors);
}

std::string JournalPath(const std::string& plan_path) {
  return plan_path + ".journal";
}

std::string JournalHeader(const std::string& plan_sha256) {
  return kJournalMagic + plan_sha256 + "\n";
}

std::string JournalLine(const JournalEntry& e) {
  const std::vector<std::string> fields = {
      e.tag,      e.ok ? "ok" : "failed", e.finished,       e.module_name, e.message,
      e.checkout, e.checkout_report,      e.checkout_sha256};
  std::string line;
  for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + Flatten(field);
  return line + "\n";
}

bool ParseJournal(const std::string& text, const std::string& plan_sha256,
                  std::map<std::string, JournalEntry>& entries, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line.rfind(kJournalMagic, 0) != 0) {
    error = "not a journal of qm90 commission";
    return false;
  }
  if (line.substr(std::string(kJournalMagic).size()) != plan_sha256) {
    error = "the plan has changed since the journal was begun";
    return false;
  }
  std::map<std::string, JournalEntry> read;
  for (int number = 2; std::getline(lines, line); ++number) {
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    fields.resize(8);
    if (fields[0].empty() || (fields[1] != "ok" && fields[1] != "failed")) {
      error = "line " + std::to_string(number) + " of the journal is damaged";
      return false;
    }
    read[fields[0]] = {fields[0], fields[1] == "ok", fields[2], fields[3],
                       fields[4], fields[5],         fields[6], fields[7]};
  }
  entries = read;
  return true;
}

}  // namespace qm90commission
