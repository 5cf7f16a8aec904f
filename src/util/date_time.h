#pragma once

#include <cstdint>
#include <string>

namespace sorvex {

// A date-time is a double counting days since 1899-12-30 00:00 local time,
// the fraction being the time of day; 0 means "never".
struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

double EncodeDateTime(const DateTimeParts& parts);
// Rounds to the nearest millisecond; a carry into the next day moves the date.
DateTimeParts DecodeDateTime(double dateTime);

// The local wall-clock time now.
double SystemNow();

// "d/mm/yy hh:mm:ss:mmm" (day without a leading zero), or
// "??/??/?? ??:??:??:???" for 0.
std::string FormatTimeStamp(double dateTime);

// 20·log10(x / 0.7); exactly -100 below 7e-6 (negative and NaN included).
double AmplitudeToDb(double x);

}  // namespace sorvex
