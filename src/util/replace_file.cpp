#include "util/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sorvex {

bool ReplaceFile(const std::string& path, std::string_view text, std::string& reason) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat old {};
  fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
  size_t written = 0;
  int error = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temp.c_str());
    reason = std::strerror(error);
    return false;
  }
  return true;
}

}  // namespace sorvex
