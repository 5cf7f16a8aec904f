#include "util/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace sorvex {

std::string SizeText(size_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

bool ReadSmallFile(const std::string& path, size_t limit, std::string& text, std::string& reason) {
  text.clear();
  // Non-blocking, so that opening a FIFO does not wait for its writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    reason = std::strerror(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = S_ISDIR(st.st_mode)    ? "it is a directory"
             : S_ISFIFO(st.st_mode) ? "it is a FIFO, not a file"
             : S_ISSOCK(st.st_mode) ? "it is a socket, not a file"
                                    : "it is a device, not a file";
    close(fd);
    return false;
  }
  const std::string tooLong = "it is longer than " + SizeText(limit) + ", the most it may hold";
  if (static_cast<uint64_t>(st.st_size) > limit) {
    reason = tooLong;
    close(fd);
    return false;
  }
  // Read to the end, but never past the limit: the file may have grown.
  text.resize(limit + 1);
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      close(fd);
      text.clear();
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (got > limit) {
    reason = tooLong;
    text.clear();
    return false;
  }
  text.resize(got);
  return true;
}

}  // namespace sorvex
