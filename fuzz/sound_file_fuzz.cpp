// Any bytes given to TSoundFileReader as a file: Open either fails with a
// one-line message naming the file, or every block read is within bounds and
// the reader ends (0) or fails (−1 with a message); never a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/sound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("sorvex_sound_file_fuzz_" + std::to_string(getpid()) + ".snd"))
                                      .string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (int side = 0; side < 2; ++side) {
    sorvex::TSoundFileReader reader;
    std::string error;
    if (!reader.Open(path, side, error)) {
      if (error.rfind("cannot read '" + path + "': ", 0) != 0) abort();
      if (error.find('\n') != std::string::npos) abort();
      break;
    }
    std::vector<int16_t> block(2 * 1024 + 2, 0x5A5A);
    // At most 10 minutes of sound at 8000 Hz: a header may claim far more.
    for (int blocks = 0; blocks < 4700; ++blocks) {
      const int n = reader.ReadBlock(block.data(), 1024);
      if (n < -1 || n > 1024) abort();
      if (block[2048] != 0x5A5A || block[2049] != 0x5A5A) abort();  // wrote past the block
      if (n == -1 && reader.LastError().empty()) abort();
      if (n <= 0) break;
    }
  }
  std::remove(path.c_str());
  return 0;
}
