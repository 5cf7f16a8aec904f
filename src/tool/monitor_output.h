#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "monitor/monitor.h"

namespace sorvex::tool {

// Prints each journal entry as it is added:
// E|X <TAB> kind name <TAB> time stamp <TAB> text. Errors go to stderr.
// With `measure`, each received telegram's measurement follows its journal
// lines: M <TAB> the MeasurementFields columns.
class TPrintingObserver : public TMonitorObserver {
 public:
  explicit TPrintingObserver(std::FILE* out, bool measure = false) : FOut(out), FMeasure(measure) {}
  void EntryAdded(const TLogEntry& entry) override;
  void TelegramMeasured(const TTelegramMeasurement& measurement) override;
  void ShowError(const std::string& caption, const std::string& text) override;

 private:
  std::FILE* FOut;
  bool FMeasure;
};

// One line per KP and channel: S <TAB> channel <TAB> the ten grid columns.
void PrintStatistics(const TMonitor& monitor, std::FILE* out);

// "L1,L2" switch-on levels, each 0..1.
bool ParseLevels(const std::string& text, double levels[2], std::string& error);
// "KP,FUNCTION,GROUP": KP 1..31, function code in hex, group 0..255.
struct TPollRequest {
  uint8_t Kp = 0;
  uint8_t Function = 0;
  uint8_t Group = 0;
};
bool ParsePoll(const std::string& text, TPollRequest& poll, std::string& error);
// "YYYY-MM-DD HH:MM:SS.mmm" (milliseconds optional) as a date-time.
bool ParseStart(const std::string& text, double& dateTime, std::string& error);

}  // namespace sorvex::tool
