// Replay throughput: makes a stereo 8000 Hz recording of realistic line
// traffic (an hour by default), then times, in-process, the pipeline of
// `sorvex-tool replay` on it (sound-file stream, two-channel device, monitor
// ticked every 10 ms of signal time, journal lines formatted as the tool
// prints them) and, to show where the time goes, two of its parts alone:
// reading the file, and the device's block processing on frames in memory.
//
//   replay_program [MINUTES [BAUD [KEEP.wav]]]   (default 60 minutes, 1200 baud)
//
// BAUD is 1200 (tones 1300/2100 Hz) or 2400 (1200/2400 Hz). With KEEP.wav
// the recording is kept there, e.g. to time `sorvex-tool replay` on it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/hooked_stream.h"
#include "audio/sound_file.h"
#include "audio/sound_file_stream.h"
#include "line_traffic.h"
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "sim/loopback_stream.h"
#include "sim/signal_time_driver.h"
#include "util/date_time.h"

namespace sorvex {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Formats every journal line as sorvex-tool replay prints it, into `out`.
class TFormattingObserver : public TMonitorObserver {
 public:
  explicit TFormattingObserver(std::FILE* out) : FOut(out) {}
  void EntryAdded(const TLogEntry& entry) override {
    std::fprintf(FOut, "%s\t%s\t%s\t%s\n", entry.logIndex ? "X" : "E", LogKindName(entry.kind),
                 FormatTimeStamp(entry.time).c_str(), entry.text.c_str());
    ++Lines;
    if (entry.logIndex == 1 && (entry.kind == lkRequest || entry.kind == lkBadRequest)) ++Requests;
    if (entry.logIndex == 1 && (entry.kind == lkAnswer || entry.kind == lkBadAnswer)) ++Answers;
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    ++Errors;
    std::fprintf(stderr, "%s %s\n", caption.c_str(), text.c_str());
  }

  int64_t Lines = 0, Requests = 0, Answers = 0, Errors = 0;

 private:
  std::FILE* FOut;
};

// The whole replay pipeline, as sorvex-tool replay runs it; false when the
// recording does not play.
bool TimeReplay(const std::string& wav, const std::string& settings, double& seconds,
                TFormattingObserver& observer) {
  const auto start = Clock::now();
  TManualClock clock(36526.0);  // 2000-01-01
  TMonitor monitor(clock, observer);
  TSignalTimeDriver driver(monitor, clock);
  TSoundFileStream::Options options;
  options.InputPath = wav;
  options.MonoChannel = 1;
  auto file = std::make_unique<TSoundFileStream>(options);
  TSoundFileStream* recording = file.get();
  auto hooked = std::make_unique<THookedStream>(
      std::move(file), [&] { driver.BlockDone(); }, true);
  THookedStream* gate = hooked.get();
  monitor.StartDevice(std::make_unique<TModemDevice>(settings, std::move(hooked)), 0.2, 0.2);
  if (monitor.Device()->GetStatus() != 0) {
    std::fprintf(stderr, "replay_program: %s\n", recording->Error().c_str());
    return false;
  }
  monitor.BtStartStopClick(true);
  gate->Open();
  while (!recording->WaitForEnd(1000)) {
  }
  monitor.StopDevice();
  seconds = Seconds(start);
  return recording->Error().empty();
}

// Reading and converting the file alone.
double TimeFileRead(const std::string& wav, int64_t& frames) {
  const auto start = Clock::now();
  TSoundFileReader reader;
  std::string error;
  frames = 0;
  if (!reader.Open(wav, 1, error)) return -1;
  std::vector<int16_t> block(2048);
  for (int n; (n = reader.ReadBlock(block.data(), 1024)) > 0;) frames += n;
  return Seconds(start);
}

// The device's block processing alone (gate, both receivers with their
// filters, both modulators), on the frames in memory, no monitor.
double TimeDeviceBlocks(const std::vector<int16_t>& frames, const std::string& settings) {
  const size_t blocks = frames.size() / 2048;
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  loop->SetInputSource([&](int64_t index, int16_t* input, int) {
    if (static_cast<size_t>(index) >= blocks) return false;
    const auto at = frames.begin() + static_cast<long>(index) * 2048;
    std::copy(at, at + 2048, input);
    return true;
  });
  loop->SetOutputSink([](int64_t, const int16_t*, int) {});
  TModemDevice device(settings, std::move(stream), [](TModemDevice& d) {
    d.ResetReceiver(0);
    d.ResetReceiver(1);
  });
  const auto start = Clock::now();
  while (loop->Pump(256) > 0) {
  }
  return Seconds(start);
}

int Run(double minutes, int baud, const std::string& keep) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("sorvex_replay_" + std::to_string(static_cast<long>(getpid())));
  std::filesystem::create_directories(dir);
  const std::string settings = (dir / "modem.ini").string();
  if (baud == 2400) {
    std::ofstream(settings) << "[GENERAL]\nBaudrate=2400\nFreq0=1200\nFreq1=2400\n"
                            << "[FILTERS]\nSmoothing_Freq1=2400\n";
  } else {
    std::ofstream(settings) << "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n"
                            << "[FILTERS]\nSmoothing_Freq1=1500\n";
  }
  const std::string wav = keep.empty() ? (dir / "line.wav").string() : keep;

  auto start = Clock::now();
  bench::TLineTraffic traffic(settings, 7, 25.0);
  std::vector<int16_t> frames;
  const auto wanted = static_cast<size_t>(minutes * 60 * 8000) * 2;
  while (frames.size() < wanted) {
    const std::vector<int16_t> batch = traffic.NextBatch();
    frames.insert(frames.end(), batch.begin(), batch.end());
  }
  frames.resize(wanted);
  traffic.Fed(static_cast<int64_t>(wanted / 2));
  const double made = Seconds(start);
  std::string error;
  if (!WriteStereoWav(wav, frames.data(), static_cast<int64_t>(frames.size() / 2), error)) {
    std::fprintf(stderr, "replay_program: %s\n", error.c_str());
    std::filesystem::remove_all(dir);
    return 2;
  }
  const double signal = static_cast<double>(frames.size() / 2) / 8000.0;
  std::printf(
      "recording: %.1f min at %d baud, %lld requests, %lld answers (%lld corrupted, %lld "
      "missing), made in %.2f s\n",
      signal / 60, baud, static_cast<long long>(traffic.RequestsSent),
      static_cast<long long>(traffic.AnswersSent), static_cast<long long>(traffic.Corrupted),
      static_cast<long long>(traffic.Dropped), made);

  std::FILE* sink = std::fopen("/dev/null", "w");
  TFormattingObserver observer(sink != nullptr ? sink : stdout);
  double replay = 0;
  const bool ok = TimeReplay(wav, settings, replay, observer);
  if (sink != nullptr) std::fclose(sink);
  int64_t readFrames = 0;
  const double read = TimeFileRead(wav, readFrames);
  const double device = TimeDeviceBlocks(frames, settings);
  std::printf("part\tseconds\tx real time\n");
  std::printf("replay pipeline\t%.3f\t%.0f\n", replay, signal / replay);
  std::printf("  file read alone\t%.3f\t%.0f\n", read, signal / read);
  std::printf("  device blocks alone\t%.3f\t%.0f\n", device, signal / device);
  std::printf("journal lines %lld (requests %lld, answers %lld), tick errors %lld\n",
              static_cast<long long>(observer.Lines), static_cast<long long>(observer.Requests),
              static_cast<long long>(observer.Answers), static_cast<long long>(observer.Errors));
  std::filesystem::remove_all(dir);
  return ok && readFrames * 2 == static_cast<int64_t>(frames.size()) && observer.Errors == 0 ? 0
                                                                                             : 1;
}

}  // namespace
}  // namespace sorvex

int main(int argc, char** argv) {
  double minutes = 60;
  int baud = 1200;
  char* end = nullptr;
  if (argc > 1) {
    minutes = std::strtod(argv[1], &end);
    if (*end != '\0' || !(minutes > 0) || minutes > 600) minutes = -1;
  }
  if (argc > 2) baud = std::atoi(argv[2]);
  if (minutes < 0 || (baud != 1200 && baud != 2400) || argc > 4) {
    std::fprintf(stderr, "usage: replay_program [MINUTES [1200|2400 [KEEP.wav]]]\n");
    return 2;
  }
  return sorvex::Run(minutes, baud, argc > 3 ? argv[3] : "");
}
