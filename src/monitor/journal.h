#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "modem/modem.h"

namespace sorvex {

enum LogKind : uint8_t {
  lkExchangeProblem = 1,
  lkBadRequest = 2,
  lkBadAnswer = 3,
  lkInfo = 4,
  lkRequest = 5,
  lkAnswer = 6,
};

// "lkInfo", "lkRequest", …; "lk?" for values no caller uses.
const char* LogKindName(uint8_t kind);

struct TLogEntry {
  uint8_t logIndex = 0;  // 0 events, 1 exchange
  uint8_t kind = 0;      // LogKind
  double time = 0;       // local date-time of addition
  std::string text;
  // The telegram's signal, when attached. Entries about the same telegram
  // (its failure line and its statistics events) share one copy.
  std::shared_ptr<const std::vector<TSignalRecord>> records;
  int32_t recordCount = 0;
};

// One journal: entries oldest first. More than MaxLogEntries at the moment
// of an addition trims the oldest down to TrimLogEntries, so the journal
// never holds more than MaxLogEntries + 1 and its memory stays bounded.
class TJournal {
 public:
  static constexpr size_t MaxLogEntries = 550;
  static constexpr size_t TrimLogEntries = 500;

  // Trim, then Append. Returns the appended entry (valid until the next
  // change).
  TLogEntry& Add(TLogEntry entry);
  // Makes room for one more entry: over MaxLogEntries, drops the oldest down
  // to TrimLogEntries. Returns how many were dropped.
  size_t Trim();
  TLogEntry& Append(TLogEntry entry);
  void Clear() { FEntries.clear(); }

  size_t Size() const { return FEntries.size(); }
  const TLogEntry& operator[](size_t i) const { return FEntries[i]; }
  const std::deque<TLogEntry>& Entries() const { return FEntries; }

 private:
  std::deque<TLogEntry> FEntries;
};

}  // namespace sorvex
