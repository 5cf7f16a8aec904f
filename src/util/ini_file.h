#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvex {

// An INI file with private-profile semantics: section and key names compare
// case-insensitively (ASCII), the first matching section and key win, and a
// write keeps every other line (sections, keys, comments, blank lines) as it
// was. Saving replaces the file atomically, so a failed write never leaves a
// half-written file behind.
class TIniFile {
 public:
  // Reads the file now; a missing or unreadable file reads as empty, as does
  // anything but an ordinary file or a file longer than kTextFileLimit.
  explicit TIniFile(std::string path);

  const std::string& Path() const { return FPath; }

  // The stored value with blanks around it trimmed and one pair of enclosing
  // double quotes removed; nullopt when the section or key is absent.
  std::optional<std::string> Read(const std::string& section, const std::string& key) const;

  // Replaces the key's value, or adds the key at the end of its section, or
  // adds the section at the end of the file.
  void Write(const std::string& section, const std::string& key, const std::string& value);

  // Writes the whole file (temporary file beside it, then rename).
  // Creates the parent directory when it is missing. False when it failed,
  // and at once when the file exists but could not be read.
  bool Save() const;

 private:
  // Index of the "[section]" line, or -1.
  int FindSection(const std::string& section) const;
  // Index of the key's line inside the section starting at sectionLine, or -1.
  int FindKey(int sectionLine, const std::string& key) const;
  // One past the last key line of the section (where a new key goes).
  int SectionInsertPoint(int sectionLine) const;

  std::string FPath;
  std::vector<std::string> FLines;
  std::string FEol = "\n";
  bool FBom = false;
  bool FUnreadable = false;
};

// One-call private-profile operations, each reading the file afresh.
std::optional<std::string> ProfileRead(const std::string& path, const std::string& section,
                                       const std::string& key);
bool ProfileWrite(const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value);

// Leading decimal integer after optional blanks ("2540abc" → 2540, "abc" → 0),
// saturated to the int32 range.
int32_t ParseLeadingInt(const std::string& text);
// Leading decimal floating-point number after optional blanks; 0 when none.
// Values beyond the double range saturate to ±max; never inf or NaN.
double ParseLeadingFloat(const std::string& text);
// A private-profile integer key: leading decimal integer, or `fallback` when absent.
int32_t ProfileReadInt(const TIniFile& file, const std::string& section, const std::string& key,
                       int32_t fallback);

}  // namespace sorvex
