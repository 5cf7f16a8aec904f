#include "monitor/journal.h"

namespace sorvex {

const char* LogKindName(uint8_t kind) {
  switch (kind) {
    case lkExchangeProblem:
      return "lkExchangeProblem";
    case lkBadRequest:
      return "lkBadRequest";
    case lkBadAnswer:
      return "lkBadAnswer";
    case lkInfo:
      return "lkInfo";
    case lkRequest:
      return "lkRequest";
    case lkAnswer:
      return "lkAnswer";
    default:
      return "lk?";
  }
}

TLogEntry& TJournal::Add(TLogEntry entry) {
  Trim();
  return Append(std::move(entry));
}

size_t TJournal::Trim() {
  if (FEntries.size() <= MaxLogEntries) return 0;
  const size_t dropped = FEntries.size() - TrimLogEntries;
  FEntries.erase(FEntries.begin(), FEntries.begin() + static_cast<long>(dropped));
  return dropped;
}

TLogEntry& TJournal::Append(TLogEntry entry) {
  FEntries.push_back(std::move(entry));
  return FEntries.back();
}

}  // namespace sorvex
