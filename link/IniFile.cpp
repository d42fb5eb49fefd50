#include "link/IniFile.h"

#include "base/Cp1250.h"

namespace {

// A carriage return without its line feed counts as a blank too.
std::string Trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const auto end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// "[name]" -> name; false for any other line.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.empty() || t.front() != '[') return false;
  const auto close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsComment(const std::string& line) {
  const std::string t = Trim(line);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// "key = value" -> key, value; false for lines without '='.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  if (IsComment(line)) return false;
  const auto eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return !key.empty();
}

std::string OneLine(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  return value;
}

}  // namespace

void IniFile::Parse(const std::string& bytes) {
  lines_.clear();
  new_line_end_ = "\r\n";
  bool end_style_known = false;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto nl = bytes.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      line.text = bytes.substr(pos);
      pos = bytes.size();
    } else {
      const bool crlf = nl > pos && bytes[nl - 1] == '\r';
      line.text = bytes.substr(pos, nl - pos - (crlf ? 1 : 0));
      line.end = crlf ? "\r\n" : "\n";
      if (!end_style_known) {
        new_line_end_ = line.end;
        end_style_known = true;
      }
      pos = nl + 1;
    }
    lines_.push_back(std::move(line));
  }
}

std::string IniFile::Serialize() const {
  std::string out;
  for (const Line& line : lines_) out += line.text + line.end;
  return out;
}

bool IniFile::FindSection(const std::string& raw_name, std::size_t& first,
                          std::size_t& last) const {
  std::string name;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!SectionName(lines_[i].text, name) || !SameName(name, raw_name)) continue;
    first = i + 1;
    last = first;
    while (last < lines_.size() && !SectionName(lines_[last].text, name)) ++last;
    return true;
  }
  return false;
}

bool IniFile::FindKey(const std::string& raw_key, std::size_t first, std::size_t last,
                      std::size_t& index) const {
  std::string key, value;
  for (std::size_t i = first; i < last; ++i) {
    if (KeyValue(lines_[i].text, key, value) && SameName(key, raw_key)) {
      index = i;
      return true;
    }
  }
  return false;
}

bool IniFile::ReadString(const std::string& section, const std::string& key,
                         std::string& value) const {
  std::size_t first = 0, last = 0, index = 0;
  if (!FindSection(Utf8ToCp1250(section), first, last)) return false;
  if (!FindKey(Utf8ToCp1250(key), first, last, index)) return false;
  std::string raw_key, raw_value;
  KeyValue(lines_[index].text, raw_key, raw_value);
  value = Cp1250ToUtf8(raw_value);
  return true;
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  const std::string raw_section = Utf8ToCp1250(section);
  const std::string raw_line = Utf8ToCp1250(key) + "=" + Utf8ToCp1250(OneLine(value));
  if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = new_line_end_;

  std::size_t first = 0, last = 0, index = 0;
  if (!FindSection(raw_section, first, last)) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back({"", new_line_end_});
    lines_.push_back({"[" + raw_section + "]", new_line_end_});
    lines_.push_back({raw_line, new_line_end_});
    return;
  }
  if (FindKey(Utf8ToCp1250(key), first, last, index)) {
    lines_[index].text = raw_line;
    return;
  }
  // After the section's last non-blank line, so blank separators stay below it.
  std::size_t insert_at = last;
  while (insert_at > first && Trim(lines_[insert_at - 1].text).empty()) --insert_at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), {raw_line, new_line_end_});
}
