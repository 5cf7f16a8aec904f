#pragma once

// Makes every write past `bytes` into a file fail with EFBIG for the
// lifetime of the object: a disk that fills up in the middle of a write,
// without a full disk. SIGXFSZ is ignored meanwhile, so the write returns
// the error instead of ending the process.

#include <sys/resource.h>

#include <csignal>

namespace sorvex::testing {

class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &FSaved);
    FHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FSaved;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FSaved);
    std::signal(SIGXFSZ, FHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FSaved{};
  void (*FHandler)(int) = SIG_DFL;
};

}  // namespace sorvex::testing
