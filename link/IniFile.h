// A small INI reader/writer that keeps a file as it found it: lines it does
// not change stay byte for byte, comments and unknown sections included.
// On disk names and values are Windows-1250; through this interface UTF-8.
#pragma once

#include <string>
#include <vector>

class IniFile {
 public:
  // Takes the raw bytes of a file; any bytes are accepted.
  void Parse(const std::string& bytes);
  // Returns the raw bytes to write back.
  std::string Serialize() const;

  // Returns true and sets value when [section] holds key (names compared with
  // ASCII case folded, blanks around names and the value trimmed).
  bool ReadString(const std::string& section, const std::string& key, std::string& value) const;

  // Replaces the key's line in place, or adds the key at the end of its
  // section, or adds the section at the end of the file. Line breaks in the
  // value become blanks, so a value can never start a line of its own.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
  };
  std::vector<Line> lines_;
  std::string new_line_end_ = "\r\n";

  // Index range [first, last) of a section's body; false when absent.
  bool FindSection(const std::string& raw_name, std::size_t& first, std::size_t& last) const;
  // Index of a key's line in a range; false when absent.
  bool FindKey(const std::string& raw_key, std::size_t first, std::size_t last,
               std::size_t& index) const;
};
