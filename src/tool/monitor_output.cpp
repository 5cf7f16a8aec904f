#include "tool/monitor_output.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "monitor/journal_text.h"
#include "monitor/measurement_text.h"
#include "monitor/statistics_text.h"
#include "util/date_time.h"
#include "util/number_text.h"
#include "util/str_format.h"

namespace sorvex::tool {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

}  // namespace

void TPrintingObserver::EntryAdded(const TLogEntry& entry) {
  std::fprintf(FOut, "%s\n", JournalLine(entry).c_str());
}

void TPrintingObserver::TelegramMeasured(const TTelegramMeasurement& measurement) {
  if (!FMeasure) return;
  std::string line = "M";
  for (const std::string& field : MeasurementFields(measurement)) line += "\t" + field;
  std::fprintf(FOut, "%s\n", line.c_str());
}

void TPrintingObserver::ShowError(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s %s\n", caption.c_str(), text.c_str());
}

void PrintStatistics(const TMonitor& monitor, std::FILE* out) {
  const TKpRecordList& list = monitor.KpStats();
  for (size_t i = 0; i < list.Size(); ++i) {
    for (int channel = 0; channel < 2; ++channel) {
      std::fprintf(out, "S\t%d", channel);
      for (int column = 0; column < kStatisticsColumns; ++column) {
        std::fprintf(out, "\t%s", StatisticsCellText(list[i], column, channel).c_str());
      }
      std::fprintf(out, "\n");
    }
  }
}

bool ParseLevels(const std::string& text, double levels[2], std::string& error) {
  const auto parts = Split(text, ',');
  if (parts.size() != 2) {
    error = "--levels takes two values, L1,L2";
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    char* end = nullptr;
    const double v = StrToDouble(parts[static_cast<size_t>(i)].c_str(), &end);
    if (parts[static_cast<size_t>(i)].empty() || *end != '\0' || !(v >= 0.0 && v <= 1.0)) {
      error = "--levels: '" + parts[static_cast<size_t>(i)] + "' is not a level in 0..1";
      return false;
    }
    levels[i] = v;
  }
  return true;
}

bool ParsePoll(const std::string& text, TPollRequest& poll, std::string& error) {
  const auto parts = Split(text, ',');
  long kp = 0, function = 0, group = 0;
  if (parts.size() != 3 || !ParseWholeNumber(parts[0], 10, 1, 31, kp) ||
      !ParseWholeNumber(parts[1], 16, 0, 255, function) ||
      !ParseWholeNumber(parts[2], 10, 0, 255, group)) {
    error = "--poll takes KP,FUNCTION,GROUP: KP 1..31, function in hex, group 0..255";
    return false;
  }
  poll.Kp = static_cast<uint8_t>(kp);
  poll.Function = static_cast<uint8_t>(function);
  poll.Group = static_cast<uint8_t>(group);
  return true;
}

bool ParseStart(const std::string& text, double& dateTime, std::string& error) {
  DateTimeParts p;
  int consumed = 0;
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &p.year, &p.month,
                                 &p.day, &p.hour, &p.minute, &p.second, &consumed);
  bool ok = fields == 6;
  if (ok && text[static_cast<size_t>(consumed)] == '.') {
    int ms = 0, more = 0;
    ok = std::sscanf(text.c_str() + consumed, ".%3d%n", &ms, &more) == 1 &&
         static_cast<size_t>(consumed + more) == text.size();
    p.millisecond = ms;
  } else {
    ok = ok && static_cast<size_t>(consumed) == text.size();
  }
  ok = ok && p.year >= 1900 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
       p.day <= 31 && p.hour <= 23 && p.minute <= 59 && p.second <= 59 && p.hour >= 0 &&
       p.minute >= 0 && p.second >= 0 && p.millisecond >= 0;
  if (ok) {
    // Reject dates such as 31 February: they would not decode back.
    const DateTimeParts back = DecodeDateTime(EncodeDateTime(p));
    ok = back.day == p.day && back.month == p.month;
  }
  if (!ok) {
    error = "--start: '" + text + "' is not a date-time YYYY-MM-DD HH:MM:SS.mmm";
    return false;
  }
  dateTime = EncodeDateTime(p);
  return true;
}

}  // namespace sorvex::tool
