#include "util/config.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "util/ini_file.h"
#include "util/str_format.h"

namespace sorvex {
namespace {

// The platform's read buffers: 1023 characters for strings, 31 for numbers,
// terminator included. Never cut a UTF-8 character in two.
std::string Clip(std::string text, size_t bufferSize) {
  if (text.size() < bufferSize) return text;
  size_t n = bufferSize - 1;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.resize(n);
  return text;
}

std::string ReadRaw(const std::string& iniFileName, const std::string& key, size_t bufferSize) {
  const auto value = ProfileRead(iniFileName, kIniSection, key);
  return value ? Clip(*value, bufferSize) : std::string();
}

}  // namespace

std::string ChooseIniFileName(const std::string& executableDir) {
  const std::string dir = executableDir.empty() ? "." : executableDir;
  // An installed program (its desktop entry beside it under share/) keeps
  // its settings per user, even where the user may write into bin/.
  const bool installed = access((dir + "/../share/applications/sorvex.desktop").c_str(), F_OK) == 0;
  if (!installed && access(dir.c_str(), W_OK) == 0) return dir + "/Sorvex.ini";
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = dir;
  }
  return base + "/sorvex/Sorvex.ini";
}

std::string IniReadString(const std::string& iniFileName, const std::string& key,
                          const std::string& fallback) {
  const std::string value = ReadRaw(iniFileName, key, 1023);
  if (!value.empty()) return value;
  IniWriteString(iniFileName, key, fallback);
  return fallback;
}

bool IniWriteString(const std::string& iniFileName, const std::string& key,
                    const std::string& value) {
  return ProfileWrite(iniFileName, kIniSection, key, value);
}

int32_t IniReadInt(const std::string& iniFileName, const std::string& key, int32_t fallback) {
  const std::string value = ReadRaw(iniFileName, key, 31);
  if (!value.empty()) return ParseLeadingInt(value);
  IniWriteInt(iniFileName, key, fallback);
  return fallback;
}

bool IniWriteInt(const std::string& iniFileName, const std::string& key, int32_t value) {
  return IniWriteString(iniFileName, key, std::to_string(value));
}

double IniReadFloat(const std::string& iniFileName, const std::string& key, double fallback) {
  const std::string value = ReadRaw(iniFileName, key, 31);
  if (!value.empty()) return ParseLeadingFloat(value);
  IniWriteFloat(iniFileName, key, fallback);
  return fallback;
}

bool IniWriteFloat(const std::string& iniFileName, const std::string& key, double value) {
  return IniWriteString(iniFileName, key, FormatIniFloat(value));
}

std::string FormatIniFloat(double value) {
  return StrFormat("%g", value);
}

std::string FormatIniIntList(const int32_t* values, int count) {
  std::string text;
  for (int i = 0; i < count && text.size() < 1000; ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "%u; ", static_cast<unsigned>(values[i]));
    text += item;
  }
  const size_t last = text.rfind(';');
  text.resize(last == std::string::npos ? 0 : last + 1);
  return text;
}

std::vector<int32_t> ParseIniIntList(const std::string& text, int capacity) {
  std::vector<int32_t> values;
  size_t i = 0;
  while (static_cast<int>(values.size()) < capacity) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t digits = i;
    if (digits < text.size() && (text[digits] == '-' || text[digits] == '+')) ++digits;
    if (digits >= text.size() || text[digits] < '0' || text[digits] > '9') break;
    values.push_back(ParseLeadingInt(text.substr(i)));
    i = digits;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i >= text.size() || text[i] != ';') break;
    ++i;
  }
  return values;
}

int IniReadIntList(const std::string& iniFileName, const std::string& key,
                   std::vector<int32_t>& values) {
  values = ParseIniIntList(ReadRaw(iniFileName, key, 1023), kIniListCapacity);
  return static_cast<int>(values.size());
}

bool IniWriteIntList(const std::string& iniFileName, const std::string& key, const int32_t* values,
                     int count) {
  return IniWriteString(iniFileName, key, FormatIniIntList(values, count));
}

bool SaveGridColumns(const std::string& iniFileName, const std::string& key,
                     const std::vector<int32_t>& widths) {
  return IniWriteIntList(iniFileName, key, widths.data(), static_cast<int>(widths.size()));
}

int LoadGridColumns(const std::string& iniFileName, const std::string& key,
                    std::vector<int32_t>& widths) {
  std::vector<int32_t> stored;
  IniReadIntList(iniFileName, key, stored);
  const size_t count = std::min(stored.size(), widths.size());
  std::copy_n(stored.begin(), count, widths.begin());
  return static_cast<int>(count);
}

}  // namespace sorvex
