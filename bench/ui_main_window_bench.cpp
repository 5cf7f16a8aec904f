// One TimerRedrawTimer of the main window with its views attached (shown,
// offscreen) and both journals full (551 entries): goal under 1 ms when no
// telegram arrives, under 5 ms when one does. The telegram is a 1200 bit/s
// request from the line simulator, fed through the loopback device before
// each timed tick; the same KP asked again each time, so every tick writes
// a repeat line into both journals and the request line, trimming them as
// they fill. A third figure adds the repaint that the tick caused.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "sim/line_simulator.h"
#include "sim/loopback_stream.h"
#include "ui/window/main_window.h"
#include "ui/window/prompts.h"
#include "ui/work/work_tab.h"
#include "ui_bench_main.h"
#include "util/config.h"

namespace {

using namespace sorvex;

class TBenchWindow {
 public:
  TBenchWindow()
      : FDir(std::filesystem::temp_directory_path() /
             ("sorvex_ui_bench_" + std::to_string(getpid()))) {
    std::filesystem::create_directories(FDir);
    const std::string modem = (FDir / "modem.ini").string();
    std::ofstream(modem) << "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n"
                            "[FILTERS]\nSmoothing_Freq1=1500\n";
    const std::string ini = (FDir / "Sorvex.ini").string();
    IniWriteString(ini, "DefModemName", modem);
    TLineSimulator line(modem, 3);
    line.Silence(50);
    RequestDescriptor request;
    request.KpAddress = 3;
    request.FunctionCode = 0x90;
    request.Group = 1;
    line.SendRequest(request);
    line.Silence(50);
    FTelegram = line.Frames();

    TForm1::Options options;
    options.IniFileName = ini;
    options.Prompts = std::make_shared<TScriptedPrompts>();
    options.Clock = &FClock;
    options.OpenDevice = [this](const std::string& file) {
      auto stream = std::make_unique<TLoopbackStream>();
      FLoop = stream.get();
      return std::make_unique<TModemDevice>(file, std::move(stream));
    };
    Form = std::make_unique<TForm1>(std::move(options));
    Form->TimerRedraw->stop();
    Form->resize(1000, 700);
    Form->show();
    QCoreApplication::processEvents();
    Form->TabSheet1->SBtStartStop->click();
    // Both journals at their largest: the next line trims them.
    for (int log = 0; log < 2; ++log) {
      while (Form->Monitor().Log(log).Size() < TJournal::MaxLogEntries + 1)
        Form->Monitor().AddLogEntry(static_cast<uint8_t>(log), lkInfo, false,
                                    "journal line " + std::to_string(JournalSize(log)));
    }
    QCoreApplication::processEvents();
  }
  ~TBenchWindow() {
    Form.reset();
    std::filesystem::remove_all(FDir);
  }

  void Tick() {
    FClock.AdvanceMs(10);
    Form->TimerRedrawTimer();
  }
  // Plays the request into the device: its receiver holds the telegram
  // until the next tick takes it.
  void FeedTelegram() {
    const int64_t frames = static_cast<int64_t>(FTelegram.size() / 2);
    FLoop->QueueInput(FTelegram.data(), frames);
    FLoop->Pump(static_cast<int>((frames + 1023) / 1024) + 1);
  }
  uint32_t RequestsCounted() {
    const TKpRecord* record = Form->Monitor().KpStats().FindRecord(3);
    return record ? record->Accepted[0] : 0;
  }
  size_t JournalSize(int log) { return Form->Monitor().Log(log).Size(); }

  std::unique_ptr<TForm1> Form;

 private:
  std::filesystem::path FDir;
  TManualClock FClock{45000.0};
  TLoopbackStream* FLoop = nullptr;
  std::vector<int16_t> FTelegram;
};

TBenchWindow& Window() {
  static TBenchWindow window;
  return window;
}

void BM_TimerRedrawTimerNoTelegram(benchmark::State& state) {
  TBenchWindow& w = Window();
  for (auto _ : state) w.Tick();
  state.counters["journal0"] = static_cast<double>(w.JournalSize(0));
  state.counters["journal1"] = static_cast<double>(w.JournalSize(1));
}
BENCHMARK(BM_TimerRedrawTimerNoTelegram)->Unit(benchmark::kMicrosecond);

void TelegramTicks(benchmark::State& state, bool paint) {
  TBenchWindow& w = Window();
  const uint32_t before = w.RequestsCounted();
  for (auto _ : state) {
    state.PauseTiming();
    w.FeedTelegram();
    state.ResumeTiming();
    w.Tick();
    if (paint) QCoreApplication::processEvents();
  }
  // Every timed tick took its telegram.
  state.counters["telegrams_per_tick"] =
      static_cast<double>(w.RequestsCounted() - before) / static_cast<double>(state.iterations());
  state.counters["journal1"] = static_cast<double>(w.JournalSize(1));
}

void BM_TimerRedrawTimerOneTelegram(benchmark::State& state) {
  TelegramTicks(state, false);
}
BENCHMARK(BM_TimerRedrawTimerOneTelegram)->Unit(benchmark::kMicrosecond);

void BM_TimerRedrawTimerOneTelegramAndRepaint(benchmark::State& state) {
  TelegramTicks(state, true);
}
BENCHMARK(BM_TimerRedrawTimerOneTelegramAndRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return sorvex::bench::RunUiBenchmarks(argc, argv, [] { Window().Form.reset(); });
}
