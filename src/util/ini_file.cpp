#include "util/ini_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "util/replace_file.h"
#include "util/small_file.h"
#include "util/str_format.h"

namespace sorvex {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "[name]" → name; nullopt for any other line.
std::optional<std::string> SectionName(const std::string& line) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

bool IsComment(const std::string& line) {
  const std::string t = Trim(line);
  return t.empty() || t[0] == ';' || t[0] == '#';
}

// "key=value" → key; nullopt for lines without '='.
std::optional<std::string> KeyName(const std::string& line) {
  if (IsComment(line)) return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

}  // namespace

TIniFile::TIniFile(std::string path) : FPath(std::move(path)) {
  std::string text, reason;
  if (!ReadSmallFile(FPath, kTextFileLimit, text, reason)) {
    // A file that is there but was not read (a device, too long, no
    // permission) must not be replaced by what little this object holds.
    struct stat st {};
    FUnreadable = stat(FPath.c_str(), &st) == 0;
    return;
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    FBom = true;
    text.erase(0, 3);
  }
  size_t start = 0;
  bool sawCrlf = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      sawCrlf = true;
    }
    FLines.push_back(std::move(line));
    start = end + 1;
  }
  if (sawCrlf) FEol = "\r\n";
}

int TIniFile::FindSection(const std::string& section) const {
  for (size_t i = 0; i < FLines.size(); ++i) {
    const auto name = SectionName(FLines[i]);
    if (name && EqualNoCase(*name, section)) return static_cast<int>(i);
  }
  return -1;
}

int TIniFile::FindKey(int sectionLine, const std::string& key) const {
  for (size_t i = static_cast<size_t>(sectionLine) + 1; i < FLines.size(); ++i) {
    if (SectionName(FLines[i])) break;
    const auto name = KeyName(FLines[i]);
    if (name && EqualNoCase(*name, key)) return static_cast<int>(i);
  }
  return -1;
}

int TIniFile::SectionInsertPoint(int sectionLine) const {
  int point = sectionLine + 1;
  for (size_t i = static_cast<size_t>(sectionLine) + 1; i < FLines.size(); ++i) {
    if (SectionName(FLines[i])) break;
    if (KeyName(FLines[i])) point = static_cast<int>(i) + 1;
  }
  return point;
}

std::optional<std::string> TIniFile::Read(const std::string& section,
                                          const std::string& key) const {
  const int s = FindSection(section);
  if (s < 0) return std::nullopt;
  const int k = FindKey(s, key);
  if (k < 0) return std::nullopt;
  const std::string& line = FLines[static_cast<size_t>(k)];
  std::string value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

void TIniFile::Write(const std::string& section, const std::string& key, const std::string& value) {
  // A value cannot hold a line break: it would split into a second line.
  std::string clean = value;
  for (char& c : clean) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  const std::string line = key + "=" + clean;
  int s = FindSection(section);
  if (s < 0) {
    if (!FLines.empty() && !Trim(FLines.back()).empty()) FLines.emplace_back();
    FLines.push_back("[" + section + "]");
    FLines.push_back(line);
    return;
  }
  const int k = FindKey(s, key);
  if (k >= 0) {
    // Keep the key's original spelling.
    const std::string& old = FLines[static_cast<size_t>(k)];
    FLines[static_cast<size_t>(k)] = Trim(old.substr(0, old.find('='))) + "=" + clean;
    return;
  }
  FLines.insert(FLines.begin() + SectionInsertPoint(s), line);
}

bool TIniFile::Save() const {
  if (FUnreadable) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path target(FPath);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), error);

  std::string text = FBom ? "\xEF\xBB\xBF" : "";
  for (const auto& line : FLines) text += line + FEol;

  std::string reason;
  return ReplaceFile(FPath, text, reason);
}

std::optional<std::string> ProfileRead(const std::string& path, const std::string& section,
                                       const std::string& key) {
  return TIniFile(path).Read(section, key);
}

bool ProfileWrite(const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value) {
  TIniFile file(path);
  file.Write(section, key, value);
  return file.Save();
}

int32_t ParseLeadingInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

double ParseLeadingFloat(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const size_t begin = i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  // Only decimal forms: no "inf", "nan" or hexadecimal.
  if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0.0;
  const char* first = text.data() + begin + (text[begin] == '+' ? 1 : 0);
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Tiny magnitudes become 0, huge ones the largest finite value of their sign.
    const std::string digits(first, end);
    const double rough = StrToDouble(digits.c_str(), nullptr);
    if (rough == 0.0) return 0.0;
    return rough < 0 ? -DBL_MAX : DBL_MAX;
  }
  if (error != std::errc()) return 0.0;
  return value;
}

int32_t ProfileReadInt(const TIniFile& file, const std::string& section, const std::string& key,
                       int32_t fallback) {
  const auto value = file.Read(section, key);
  return value ? ParseLeadingInt(*value) : fallback;
}

}  // namespace sorvex
