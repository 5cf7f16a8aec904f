#pragma once

// A simulated line through a real TModemDevice on the loopback backend, with
// the monitor ticking on signal time: the fixture of the exchange tests.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "sim/line_simulator.h"
#include "sim/loopback_stream.h"
#include "sim/signal_time_driver.h"
#include "util/date_time.h"
#include "util/str_format.h"

namespace sorvex::testing {

struct RateSetup {
  int32_t Baud, Freq0, Freq1, Smoothing;
};

inline std::string WriteSettings(const RateSetup& s, const std::string& name) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("sorvex_rig_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / name).string();
  std::ofstream(path) << "[GENERAL]\nBaudrate=" << s.Baud << "\nFreq0=" << s.Freq0
                      << "\nFreq1=" << s.Freq1 << "\n[FILTERS]\nSmoothing_Freq1=" << s.Smoothing
                      << "\n";
  return path;
}

// Records every journal line as "E|X<TAB>kind<TAB>text", and among them each
// telegram's measurement as "M<TAB>side<TAB>f0<TAB>f1<TAB>rate".
struct JournalRecorder : TMonitorObserver {
  void TelegramMeasured(const TTelegramMeasurement& m) override {
    lines.push_back(StrFormat("M\t%d\t%.9g\t%.9g\t%.9g", m.channel, m.f0Hz, m.f1Hz, m.bitRate));
  }
  void EntryAdded(const TLogEntry& e) override {
    lines.push_back(std::string(e.logIndex ? "X" : "E") + "\t" + LogKindName(e.kind) + "\t" +
                    e.text);
    entries.push_back(e);
  }
  void ShowTelegram(const TSignalRecord*, int count, TraceColour colour,
                    const std::string& title) override {
    shown.push_back({count, colour, title});
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    errors.push_back(caption + " " + text);
  }
  void KpWindowChanged() override { ++kpWindowChanges; }
  // The lines of one journal ("E" or "X"), without the journal letter.
  std::vector<std::string> Journal(const char* which) const {
    std::vector<std::string> out;
    for (const auto& l : lines)
      if (l[0] == which[0]) out.push_back(l.substr(2));
    return out;
  }
  struct Shown {
    int count;
    TraceColour colour;
    std::string title;
  };
  std::vector<std::string> lines;
  std::vector<TLogEntry> entries;
  std::vector<Shown> shown;
  std::vector<std::string> errors;
  int kpWindowChanges = 0;
};

class LineRig {
 public:
  explicit LineRig(const RateSetup& setup, const std::string& name = "rig.ini")
      : FSettings(WriteSettings(setup, name)), FLine(FSettings, 7) {
    auto stream = std::make_unique<TLoopbackStream>();
    FLoop = stream.get();
    FLoop->SetOutputSink([this](int64_t, const int16_t* out, int frames) {
      FOutput.insert(FOutput.end(), out, out + 2 * frames);
    });
    monitor.StartDevice(std::make_unique<TModemDevice>(FSettings, std::move(stream)), 0.1, 0.1);
  }

  TLineSimulator& Line() { return FLine; }

  // Plays what the simulator has produced since the last call, then `idleMs`
  // of silence, block by block, ticking the monitor on signal time.
  void Play(double idleMs = 300) {
    const auto& frames = FLine.Frames();
    const int64_t total = static_cast<int64_t>(frames.size() / 2);
    if (total > FPlayed) FLoop->QueueInput(frames.data() + 2 * FPlayed, total - FPlayed);
    const int64_t queued = total - FPlayed;
    FPlayed = total;
    const int64_t blocks =
        (queued + 1023) / 1024 + static_cast<int64_t>(idleMs * 8000 / 1000 / 1024) + 1;
    for (int64_t b = 0; b < blocks; ++b) {
      FLoop->Pump(1);
      driver.BlockDone();
    }
  }
  // Interleaved output frames the device has produced so far.
  const std::vector<int16_t>& Output() const { return FOutput; }
  const std::string& Settings() const { return FSettings; }

  TManualClock clock{EncodeDateTime({2026, 12, 8, 10, 0, 0, 0})};
  JournalRecorder observer;
  TMonitor monitor{clock, observer};
  TSignalTimeDriver driver{monitor, clock};

 private:
  std::string FSettings;
  TLineSimulator FLine;
  TLoopbackStream* FLoop = nullptr;
  int64_t FPlayed = 0;
  std::vector<int16_t> FOutput;
};

}  // namespace sorvex::testing
