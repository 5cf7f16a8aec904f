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
  if (FEntries.size() > MaxLogEntries) {
    FEntries.erase(FEntries.begin(),
                   FEntries.begin() + static_cast<long>(FEntries.size() - TrimLogEntries));
  }
  FEntries.push_back(std::move(entry));
  return FEntries.back();
}

}  // namespace sorvex
