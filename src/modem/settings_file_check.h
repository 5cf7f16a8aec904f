#pragma once

#include <string>
#include <vector>

namespace sorvex {

// What a modem settings file holds, judged before a command trusts it: the
// modem itself reads a missing file or foreign keys as its defaults, which
// on a line turns into every telegram failing without a word.
struct TSettingsFileCheck {
  bool Readable = false;
  std::string Error;                  // why it cannot be read (when not Readable)
  int KnownKeys = 0;                  // keys of [GENERAL] and [FILTERS] the modem reads
  std::vector<std::string> Warnings;  // one line each: unknown sections and keys, stray lines
};

// Reads `path` as the modem does (sections and keys compare case-insensitively,
// ';' and '#' start comments) and reports what it would take from it.
TSettingsFileCheck CheckSettingsFile(const std::string& path);

// The keys the modem reads, section by section, for messages and documentation.
const std::vector<std::string>& KnownSettingsKeys(const std::string& section);

}  // namespace sorvex
