#pragma once

#include <cstddef>
#include <string>

namespace sorvex {

// The most a settings file, an INI file or a scenario may hold. A settings
// file is a few hundred bytes; past this it is not one (/dev/zero named by
// mistake, a recording), and reading on would only eat memory.
inline constexpr size_t kTextFileLimit = 1 << 20;

// Reads the whole of a small text file. Only an ordinary file is read: a
// FIFO would wait for a writer and a device may never end, so both are
// refused before a byte is read, as is a file longer than `limit`. False
// with the reason in `reason` (no file name; "it is a FIFO", …).
bool ReadSmallFile(const std::string& path, size_t limit, std::string& text, std::string& reason);

// "1 MiB", "64 KiB" or "300 bytes", for messages about a limit.
std::string SizeText(size_t bytes);

}  // namespace sorvex
