#pragma once

#include <cstdint>
#include <string>

#include "monitor/journal.h"

namespace sorvex {

// One journal entry as a text line, without the line end:
// E|X <TAB> kind name <TAB> time stamp <TAB> text (UTF-8).
std::string JournalLine(const TLogEntry& entry);

// A transcript of the journals on disk: each entry appended as a line as it
// is added, written through at once, the file opened for appending so earlier runs
// stay. A failed write is remembered, never thrown: the analyser goes on.
class TJournalFile {
 public:
  TJournalFile() = default;
  ~TJournalFile();
  TJournalFile(const TJournalFile&) = delete;
  TJournalFile& operator=(const TJournalFile&) = delete;

  // Closes the current file; an empty name leaves the transcript off.
  // False (and Error() says why) when the file cannot be opened.
  bool Open(const std::string& fileName);
  void Close();
  // Appends one line; false when it could not be written whole.
  bool Write(const TLogEntry& entry);

  const std::string& FileName() const { return FFileName; }
  bool IsOpen() const { return FFd >= 0; }
  // Why the last open or write failed; empty once a later write succeeds.
  const std::string& Error() const { return FError; }
  // Lines that could not be written since the file was named.
  int64_t LostLines() const { return FLost; }

 private:
  bool Reopen();

  std::string FFileName;
  int FFd = -1;
  std::string FError;
  int64_t FLost = 0;
};

}  // namespace sorvex
