#include "monitor/kp_record_list.h"

#include <algorithm>

namespace sorvex {

KpTelemetryBlock* TKpRecordList::FindKpRecord(uint8_t kp, bool create) {
  if (TKpRecord* record = FindRecord(kp)) return &record->Telemetry;
  if (!create) return nullptr;
  return &AddRecord(kp).Telemetry;
}

TKpRecord* TKpRecordList::FindRecord(uint8_t kp) {
  for (const auto& record : FRecords) {
    if (record->Kp == kp) return record.get();
  }
  return nullptr;
}

const TKpRecord* TKpRecordList::FindRecord(uint8_t kp) const {
  for (const auto& record : FRecords) {
    if (record->Kp == kp) return record.get();
  }
  return nullptr;
}

TKpRecord& TKpRecordList::AddRecord(uint8_t kp) {
  auto record = std::make_unique<TKpRecord>();
  record->Kp = kp;
  FRecords.push_back(std::move(record));
  return *FRecords.back();
}

void TKpRecordList::SortByKp() {
  std::stable_sort(FRecords.begin(), FRecords.end(),
                   [](const auto& a, const auto& b) { return a->Kp < b->Kp; });
}

}  // namespace sorvex
