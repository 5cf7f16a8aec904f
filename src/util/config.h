#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvex {

// The main INI file: "Sorvex.ini" beside the executable, one section "System".
// When that directory is not writable, or the program is installed (its
// desktop entry is in ../share/applications/), the file lives in
// $XDG_CONFIG_HOME/sorvex/ (default ~/.config/sorvex/) instead.
std::string ChooseIniFileName(const std::string& executableDir);

inline constexpr const char* kIniSection = "System";
inline constexpr int kIniListCapacity = 155;

// Keys of section "System" in the main INI file `iniFileName`, which whoever
// owns the file (the window, a tool, a test) passes in; each call reads or
// writes the file afresh. A read of an absent or empty key writes the
// default back at once. Writes return false when the file could not be saved.
std::string IniReadString(const std::string& iniFileName, const std::string& key,
                          const std::string& fallback);
bool IniWriteString(const std::string& iniFileName, const std::string& key,
                    const std::string& value);
int32_t IniReadInt(const std::string& iniFileName, const std::string& key, int32_t fallback);
bool IniWriteInt(const std::string& iniFileName, const std::string& key, int32_t value);
double IniReadFloat(const std::string& iniFileName, const std::string& key, double fallback);
bool IniWriteFloat(const std::string& iniFileName, const std::string& key, double value);
// "35; 216; 64;". Reads at most kIniListCapacity values (the rest are
// ignored); an absent or empty key gives 0 values and writes nothing.
int IniReadIntList(const std::string& iniFileName, const std::string& key,
                   std::vector<int32_t>& values);
bool IniWriteIntList(const std::string& iniFileName, const std::string& key, const int32_t* values,
                     int count);

// Column widths of a grid, one entry per column. Saving writes them all;
// loading sets the first min(stored, columns) widths and leaves the others
// (and everything, when the key is absent). Returns the widths set.
bool SaveGridColumns(const std::string& iniFileName, const std::string& key,
                     const std::vector<int32_t>& widths);
int LoadGridColumns(const std::string& iniFileName, const std::string& key,
                    std::vector<int32_t>& widths);

// The formats, shared with anything else that stores such values.
std::string FormatIniFloat(double value);  // "%g" as C writes it
std::string FormatIniIntList(const int32_t* values, int count);
std::vector<int32_t> ParseIniIntList(const std::string& text, int capacity);

}  // namespace sorvex
