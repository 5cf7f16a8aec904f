#pragma once

#include <cstddef>
#include <string>

#include "modem/modem.h"
#include "monitor/journal.h"
#include "monitor/telegram_measurement.h"

namespace sorvex {

enum class TraceColour { Blue, Red, Black };

// What the work tab tells its views. Every call comes from the thread that
// runs the monitor's tick; the defaults do nothing, so a view overrides only
// what it shows.
class TMonitorObserver {
 public:
  virtual ~TMonitorObserver() = default;
  // Journal logIndex dropped its `count` oldest entries to make room; the
  // new entry's EntryAdded follows.
  virtual void EntriesTrimmed(int logIndex, size_t count) {
    (void)logIndex;
    (void)count;
  }
  // An entry was appended to journal entry.logIndex (after any trimming).
  virtual void EntryAdded(const TLogEntry& entry) { (void)entry; }
  virtual void JournalCleared(int logIndex) { (void)logIndex; }
  virtual void StatisticsChanged() {}
  // Input levels of both channels, normalised to full scale 1.0.
  virtual void LevelsChanged(double left, double right) {
    (void)left;
    (void)right;
  }
  // A telegram's signal records for the oscillograph, with its caption.
  virtual void ShowTelegram(const TSignalRecord* records, int count, TraceColour colour,
                            const std::string& title) {
    (void)records;
    (void)count;
    (void)colour;
    (void)title;
  }
  // Every received telegram's measurement, in the order they arrive.
  virtual void TelegramMeasured(const TTelegramMeasurement& measurement) { (void)measurement; }
  // The measurement of the telegram ShowTelegram just showed; follows that
  // call when the shown telegram was measured.
  virtual void ShowMeasurement(const TTelegramMeasurement& measurement) { (void)measurement; }
  // A valid answer stored new telemetry, or the records were reset: the KP
  // state window should repaint.
  virtual void KpWindowChanged() {}
  // The tick caught a failure; the GUI shows a box with this caption.
  virtual void ShowError(const std::string& caption, const std::string& text) {
    (void)caption;
    (void)text;
  }
};

// For tools and tests that watch nothing.
class TNullObserver : public TMonitorObserver {};

}  // namespace sorvex
