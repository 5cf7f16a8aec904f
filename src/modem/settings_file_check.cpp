#include "modem/settings_file_check.h"

#include <algorithm>
#include <sstream>

#include "util/small_file.h"

namespace sorvex {
namespace {

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  const size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool Contains(const std::vector<std::string>& keys, const std::string& key) {
  const std::string lower = Lower(key);
  return std::any_of(keys.begin(), keys.end(),
                     [&](const std::string& k) { return Lower(k) == lower; });
}

}  // namespace

const std::vector<std::string>& KnownSettingsKeys(const std::string& section) {
  static const std::vector<std::string> general = {"Baudrate", "Freq0", "Freq1", "Receiver"};
  static const std::vector<std::string> filters = {
      "Band_Kind",      "Band_Order",      "Band_Freq1",      "Band_Freq2",      "Band_Ripp",
      "Smoothing_Kind", "Smoothing_Order", "Smoothing_Freq1", "Smoothing_Freq2", "Smoothing_Ripp"};
  static const std::vector<std::string> none;
  const std::string s = Lower(section);
  return s == "general" ? general : s == "filters" ? filters : none;
}

TSettingsFileCheck CheckSettingsFile(const std::string& path) {
  TSettingsFileCheck check;
  std::string text, reason;
  if (!ReadSmallFile(path, kTextFileLimit, text, reason)) {
    check.Error = "cannot read settings file '" + path + "': " + reason;
    return check;
  }
  check.Readable = true;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);

  std::istringstream lines(text);
  std::string line, section;
  bool inSection = false;
  int number = 0;
  auto warn = [&](const std::string& what) {
    check.Warnings.push_back("'" + path + "' line " + std::to_string(number) + ": " + what);
  };
  while (std::getline(lines, line)) {
    ++number;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      const size_t close = t.find(']');
      section = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = true;
      if (KnownSettingsKeys(section).empty()) {
        warn("section [" + section + "] is not a modem settings section; it is ignored");
      }
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos) {
      warn("'" + t + "' is not key=value; it is ignored");
      continue;
    }
    const std::string key = Trim(t.substr(0, eq));
    if (!inSection) {
      warn("key '" + key + "' stands before any section; it is ignored");
      continue;
    }
    const std::vector<std::string>& known = KnownSettingsKeys(section);
    if (known.empty()) continue;  // the section was reported once
    if (Contains(known, key)) {
      ++check.KnownKeys;
    } else {
      warn("[" + section + "] has no key '" + key + "'; it is ignored");
    }
  }
  return check;
}

}  // namespace sorvex
