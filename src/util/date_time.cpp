#include "util/date_time.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace sorvex {
namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const int64_t kEpochOffsetDays = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDateTime(const DateTimeParts& p) {
  const int64_t days =
      DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
      kEpochOffsetDays;
  const int64_t ms =
      ((static_cast<int64_t>(p.hour) * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond;
  return static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay;
}

DateTimeParts DecodeDateTime(double dateTime) {
  DateTimeParts p;
  // Dates beyond the year ±1e6 are nonsense; keep the arithmetic defined.
  if (!std::isfinite(dateTime) || std::fabs(dateTime) > 4e8) return p;
  // As the framework does it: whole days, then the fraction's magnitude as time of day.
  int64_t days = static_cast<int64_t>(std::trunc(dateTime));
  int64_t ms = std::llround(std::fabs(dateTime - std::trunc(dateTime)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += dateTime < 0 ? -1 : 1;
  }
  CivilFromDays(days + kEpochOffsetDays, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

double SystemNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  DateTimeParts p;
  p.year = local.tm_year + 1900;
  p.month = local.tm_mon + 1;
  p.day = local.tm_mday;
  p.hour = local.tm_hour;
  p.minute = local.tm_min;
  p.second = local.tm_sec;
  p.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return EncodeDateTime(p);
}

std::string FormatTimeStamp(double dateTime) {
  if (dateTime == 0) return "??/??/?? ??:??:??:???";
  const DateTimeParts p = DecodeDateTime(dateTime);
  char text[64];
  std::snprintf(text, sizeof text, "%u/%.2u/%.2u %.2u:%.2u:%.2u:%.3u", static_cast<unsigned>(p.day),
                static_cast<unsigned>(p.month), static_cast<unsigned>(((p.year % 100) + 100) % 100),
                static_cast<unsigned>(p.hour), static_cast<unsigned>(p.minute),
                static_cast<unsigned>(p.second), static_cast<unsigned>(p.millisecond));
  return text;
}

double AmplitudeToDb(double x) {
  if (!(x >= 7e-6)) return -100.0;
  return 20.0 * std::log10(x * 1.4285714285714286);
}

}  // namespace sorvex
