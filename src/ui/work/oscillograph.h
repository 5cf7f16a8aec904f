#pragma once

#include <QColor>
#include <cstdint>

#include "modem/modem.h"
#include "monitor/telegram_measurement.h"

namespace sorvex {

class TGraphicPanel;

// Marker colours of the oscillograph.
inline const QColor kStrobeMarkerColour(0, 0, 0xFF);
inline const QColor kBitMarkerColour(0, 0x80, 0);
// A measured figure past what the receiver tolerates.
inline const QColor kBeyondToleranceColour(0xFF, 0, 0);

// Shows a telegram's signal on the oscillograph: the records' values as
// series 0 in `colour`, a blue unlabelled marker at every strobe record and a
// green marker numbered 0, 1, … at every bit sample (at the record's index);
// markers shown as `markersVisible` says; the bit samples' mean spacing is
// the bit period the panel's cursors count bits by. No records (null or
// count ≤ 0) empties the curve.
void ShowElementsOnGraph(TGraphicPanel& panel, const TSignalRecord* records, int32_t count,
                         const QColor& colour, bool markersVisible);

// The shown telegram's measurement beside the caption (the caption itself
// unchanged), a deviation past the receiver's tolerance in red; `bits`: the
// telegram's length, which the rate's tolerance depends on. Showing another
// telegram clears it.
void ShowMeasurementOnGraph(TGraphicPanel& panel, const TTelegramMeasurement& m, int bits);

}  // namespace sorvex
