#include "ui/work/oscillograph.h"

#include <QString>
#include <vector>

#include "ui/controls/graphic_panel.h"
#include "ui/work/measurement_caption.h"

namespace sorvex {

void ShowElementsOnGraph(TGraphicPanel& panel, const TSignalRecord* records, int32_t count,
                         const QColor& colour, bool markersVisible) {
  if (records == nullptr || count < 0) count = 0;
  panel.ClearMarkers();
  // Another telegram: the last one's measurement goes with it.
  panel.SetCaptionParts({});
  std::vector<double> values(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) values[static_cast<size_t>(i)] = records[i].Value;
  panel.SetSeries(0, values.data(), colour, count);
  int32_t bit = 0;
  std::vector<double> bitSamples;
  for (int32_t i = 0; i < count; ++i) {
    if (records[i].Kind == skStrobe) {
      panel.AddMarker(0, 0, nullptr, QString(), kStrobeMarkerColour, i);
    } else if (records[i].Kind == skBitSample) {
      panel.AddMarker(0, 0, nullptr, QString::number(bit), kBitMarkerColour, i);
      bitSamples.push_back(i);
      ++bit;
    }
  }
  // The telegram's own bit period: the cursors count its bits even when its
  // rate is off the settings'.
  panel.cursorBitPeriod = MeanSpacing(bitSamples);
  panel.SetMarkersVisible(markersVisible);
}

void ShowMeasurementOnGraph(TGraphicPanel& panel, const TTelegramMeasurement& m, int bits) {
  std::vector<TCaptionText> parts;
  for (const TCaptionPart& part : MeasurementCaption(m, bits))
    parts.push_back({QString::fromStdString(part.text),
                     part.beyond ? kBeyondToleranceColour : panel.textColor});
  panel.SetCaptionParts(std::move(parts));
}

}  // namespace sorvex
