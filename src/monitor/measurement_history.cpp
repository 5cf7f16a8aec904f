#include "monitor/measurement_history.h"

#include <algorithm>

#include "monitor/measurement_text.h"

namespace sorvex {

TMeasurementHistory::TMeasurementHistory(size_t cap) : FCap(std::max<size_t>(cap, 4)) {}

void TMeasurementHistory::Add(const TTelegramMeasurement& m) {
  if (m.kp >= kKpCount) return;
  std::vector<TTelegramMeasurement>& points = FPoints[m.kp];
  if (points.size() >= FCap) Thin(points);
  points.push_back(m);
  ++FRevision;
}

// Of each pair of the older half one point stays: the invalid one when
// there is one, so a failure never thins away behind good telegrams.
void TMeasurementHistory::Thin(std::vector<TTelegramMeasurement>& points) const {
  const size_t older = points.size() / 2;
  size_t kept = 0;
  for (size_t i = 0; i + 1 < older; i += 2)
    points[kept++] = points[i].valid ? points[i + 1] : points[i];
  if (older % 2 != 0) points[kept++] = points[older - 1];
  points.erase(points.begin() + static_cast<ptrdiff_t>(kept),
               points.begin() + static_cast<ptrdiff_t>(older));
}

void TMeasurementHistory::Clear() {
  for (auto& points : FPoints) points.clear();
  ++FRevision;
}

const std::vector<TTelegramMeasurement>& TMeasurementHistory::Points(int kp) const {
  static const std::vector<TTelegramMeasurement> kNone;
  return kp >= 0 && kp < kKpCount ? FPoints[static_cast<size_t>(kp)] : kNone;
}

size_t TMeasurementHistory::Count() const {
  size_t count = 0;
  for (const auto& points : FPoints) count += points.size();
  return count;
}

std::string TMeasurementHistory::Csv() const {
  std::vector<const TTelegramMeasurement*> rows;
  rows.reserve(Count());
  for (const auto& points : FPoints)
    for (const TTelegramMeasurement& m : points) rows.push_back(&m);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto* a, const auto* b) { return a->time < b->time; });
  const auto line = [](const auto& fields) {
    std::string text;
    for (const auto& field : fields) {
      if (!text.empty()) text += ',';
      text += field;
    }
    return text + "\n";
  };
  std::string csv = line(kMeasurementColumnNames);
  for (const TTelegramMeasurement* m : rows) csv += line(MeasurementFields(*m));
  return csv;
}

}  // namespace sorvex
