#include "monitor/journal_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/date_time.h"

namespace sorvex {

std::string JournalLine(const TLogEntry& entry) {
  std::string line = entry.logIndex ? "X" : "E";
  line += '\t';
  line += LogKindName(entry.kind);
  line += '\t';
  line += FormatTimeStamp(entry.time);
  line += '\t';
  line += entry.text;
  return line;
}

TJournalFile::~TJournalFile() {
  Close();
}

void TJournalFile::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

bool TJournalFile::Reopen() {
  FFd = ::open(FFileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (FFd < 0) FError = std::strerror(errno);
  return FFd >= 0;
}

bool TJournalFile::Open(const std::string& fileName) {
  Close();
  FFileName = fileName;
  FError.clear();
  FLost = 0;
  return fileName.empty() || Reopen();
}

bool TJournalFile::Write(const TLogEntry& entry) {
  if (FFileName.empty()) return true;
  // A file that would not open is tried again with each line: the folder
  // may appear or become writable while the analyser runs.
  if (FFd < 0 && !Reopen()) {
    ++FLost;
    return false;
  }
  // One write per line, unbuffered: each line is on disk as it is added,
  // and nothing held back can land later in the middle of another.
  const std::string line = JournalLine(entry) + "\n";
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(FFd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      FError = n < 0 ? std::strerror(errno) : "nothing written";
      ++FLost;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  FError.clear();
  return true;
}

}  // namespace sorvex
