#include "metrics/metrics_text.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "util/date_time.h"

namespace sorvex {
namespace {

const char* const kProblemNames[kExchangeProblemCount] = {"repeat", "no_answer", "out_of_context",
                                                          "bad_answer", "bad_request"};

// C's shortest round-trip form whatever the locale.
std::string Number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

struct TSeriesWriter {
  std::string& Out;
  std::string LineLabel;

  void Header(const char* name, const char* type, const char* help) {
    Out += "# HELP ";
    Out += name;
    Out += ' ';
    Out += help;
    Out += "\n# TYPE ";
    Out += name;
    Out += ' ';
    Out += type;
    Out += '\n';
  }
  void Sample(const char* name, const std::string& labels, const std::string& value) {
    Out += name;
    Out += "{line=\"" + LineLabel + "\"" + labels + "} " + value + "\n";
  }
};

std::string SideLabels(const TLineCounters::TKey& key) {
  return std::string(",side=\"") + (key.first ? "answer" : "request") + "\",kp=\"" +
         std::to_string(key.second) + "\"";
}

// A figure of the last telegram, per side and KP; a new one (tone, bit
// rate) is one more row.
struct TGauge {
  const char* Name;
  const char* Help;
  double TKpSideCounters::*Field;
};
const TGauge kFigures[] = {
    {"sorvex_level_db", "Mean bit level of the last telegram, dB against 0.7 of full scale.",
     &TKpSideCounters::LevelDb},
    {"sorvex_noise_db", "Noise measured with the last telegram, dB.", &TKpSideCounters::NoiseDb},
    {"sorvex_snr_db", "Signal to noise ratio of the last telegram, dB.", &TKpSideCounters::SnrDb},
};

}  // namespace

TMetricsSnapshot TakeMetricsSnapshot(const TMonitor& monitor, const std::string& line) {
  TMetricsSnapshot snapshot;
  snapshot.Line = line;
  if (const TModemDevice* device = monitor.Device()) {
    snapshot.DeviceOpen =
        device->GetStatus() == 0 && device->Stream() && device->Stream()->Running();
    snapshot.DroppedBlocks = device->DroppedBlocks();
  }
  snapshot.Receiving = monitor.Receiving();
  snapshot.Counters = monitor.LineCounters();
  return snapshot;
}

std::string EscapeLabelValue(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

double DateTimeToUnix(double dateTime) {
  const DateTimeParts parts = DecodeDateTime(dateTime);
  std::tm local{};
  local.tm_year = parts.year - 1900;
  local.tm_mon = parts.month - 1;
  local.tm_mday = parts.day;
  local.tm_hour = parts.hour;
  local.tm_min = parts.minute;
  local.tm_sec = parts.second;
  local.tm_isdst = -1;
  return static_cast<double>(std::mktime(&local)) + parts.millisecond / 1000.0;
}

std::string RenderMetrics(const TMetricsSnapshot& snapshot) {
  std::string out;
  TSeriesWriter w{out, EscapeLabelValue(snapshot.Line)};
  const auto& sides = snapshot.Counters.KpSides();

  w.Header("sorvex_telegrams_total", "counter", "Telegrams received, by side, KP and result.");
  for (const auto& [key, c] : sides) {
    w.Sample("sorvex_telegrams_total", SideLabels(key) + ",result=\"valid\"",
             std::to_string(c.Valid));
    w.Sample("sorvex_telegrams_total", SideLabels(key) + ",result=\"invalid\"",
             std::to_string(c.Invalid));
  }
  w.Header("sorvex_exchange_problems_total", "counter",
           "Exchange problems of the journal, by KP and problem.");
  for (const auto& [key, count] : snapshot.Counters.Problems()) {
    w.Sample("sorvex_exchange_problems_total",
             ",kp=\"" + std::to_string(key.first) + "\",problem=\"" +
                 kProblemNames[static_cast<int>(key.second)] + "\"",
             std::to_string(count));
  }
  for (const TGauge& gauge : kFigures) {
    w.Header(gauge.Name, "gauge", gauge.Help);
    for (const auto& [key, c] : sides) {
      if (c.HasFigures) w.Sample(gauge.Name, SideLabels(key), Number(c.*gauge.Field));
    }
  }
  w.Header("sorvex_tone_hz", "gauge",
           "Tone frequencies measured on the last telegram, Hz; tone 0 and 1 as the settings "
           "name them.");
  for (const auto& [key, c] : sides) {
    for (int tone = 0; tone < 2; ++tone) {
      if (std::isfinite(c.ToneHz[tone])) {
        w.Sample("sorvex_tone_hz", SideLabels(key) + ",tone=\"" + std::to_string(tone) + "\"",
                 Number(c.ToneHz[tone]));
      }
    }
  }
  w.Header("sorvex_bit_rate", "gauge", "Bit rate measured on the last telegram, bit/s.");
  for (const auto& [key, c] : sides) {
    if (std::isfinite(c.BitRate)) w.Sample("sorvex_bit_rate", SideLabels(key), Number(c.BitRate));
  }
  w.Header("sorvex_last_telegram_timestamp_seconds", "gauge",
           "Unix time of the last valid telegram.");
  for (const auto& [key, c] : sides) {
    if (c.LastValid != 0) {
      w.Sample("sorvex_last_telegram_timestamp_seconds", SideLabels(key),
               Number(DateTimeToUnix(c.LastValid)));
    }
  }
  w.Header("sorvex_device_open", "gauge", "1 while the sound device is open and delivering.");
  w.Sample("sorvex_device_open", "", snapshot.DeviceOpen ? "1" : "0");
  w.Header("sorvex_receiving", "gauge", "1 while reception is switched on.");
  w.Sample("sorvex_receiving", "", snapshot.Receiving ? "1" : "0");
  w.Header("sorvex_dropped_blocks_total", "counter", "Input blocks the sound path lost.");
  w.Sample("sorvex_dropped_blocks_total", "", std::to_string(snapshot.DroppedBlocks));
  return out;
}

}  // namespace sorvex
