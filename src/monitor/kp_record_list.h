#pragma once

// FKpStats, the owned list of owned KP records; at most one record
// per address, in insertion order until the statistics sort it by Kp.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "monitor/kp_record.h"
#include "protocol/telemetry_block.h"

namespace sorvex {

class TKpRecordList : public TTelemetryStore {
 public:
  // The block of KP `kp`, searched in list order. When absent: nullptr, or,
  // with `create`, a zero-filled record appended at the end (no sorting).
  KpTelemetryBlock* FindKpRecord(uint8_t kp, bool create) override;

  // The whole record of KP `kp`, or nullptr (list order, no creation).
  TKpRecord* FindRecord(uint8_t kp);
  const TKpRecord* FindRecord(uint8_t kp) const;
  // Appends a zero-filled record for `kp` (the caller knows it is absent).
  TKpRecord& AddRecord(uint8_t kp);
  // Ascending by Kp; records keep their addresses.
  void SortByKp();
  // Frees every record with its block.
  void Clear() { FRecords.clear(); }

  size_t Size() const { return FRecords.size(); }
  bool Empty() const { return FRecords.empty(); }
  TKpRecord& operator[](size_t index) { return *FRecords[index]; }
  const TKpRecord& operator[](size_t index) const { return *FRecords[index]; }

 private:
  std::vector<std::unique_ptr<TKpRecord>> FRecords;
};

}  // namespace sorvex
