// sorvex-tool listen: the work tab live on the sound card, for a box left
// beside a line. Stops after a duration, a number of blocks or a signal.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/hooked_stream.h"
#include "audio/line_recorder.h"
#include "audio/modem_device_factory.h"
#include "metrics/metrics_server.h"
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "tool/commands.h"
#include "tool/monitor_output.h"
#include "tool/tool_input.h"
#include "util/clock.h"

namespace sorvex::tool {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;
extern "C" void OnStopSignal(int) {
  gStopRequested = 1;
}

struct ListenOptions {
  std::string Settings;
  std::string Levels = "0.1,0.1";
  std::string Device;
  double Duration = 0;
  int64_t Blocks = 0;
  std::string Poll;
  std::string Record;
  bool ListDevices = false;
  bool Measure = false;
  std::string Metrics;
  std::string Line;
};

// "m:ss.s" of a frame count at 8000 Hz.
std::string Duration(int64_t frames) {
  const int64_t tenths = frames * 10 / kAudioFrameRate;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
  return text;
}

// The names --device takes, one per line.
int ListDevices() {
  const std::vector<std::string> names = TPortAudioStream::DuplexDeviceNames();
  for (const std::string& name : names) std::printf("%s\n", name.c_str());
  if (names.empty()) {
    std::fprintf(stderr, "sorvex-tool listen: no sound device with 2 inputs and 2 outputs\n");
    return kExitNegative;
  }
  return kExitOk;
}

int RunListen(const ListenOptions& options) {
  double levels[2] = {0.1, 0.1};
  TPollRequest poll;
  std::string error;
  if (!ParseLevels(options.Levels, levels, error) ||
      (!options.Poll.empty() && !ParsePoll(options.Poll, poll, error))) {
    return Complain("listen", error);
  }
  if (!CheckSettings("listen", options.Settings)) return kExitUsage;
  // Nothing listens on a port unless asked; a port that cannot be had is
  // refused before the device opens.
  std::unique_ptr<TMetricsServer> metrics;
  if (!options.Metrics.empty()) {
    TMetricsAddress address;
    if (!ParseMetricsAddress(options.Metrics, address, error)) return Complain("listen", error);
    metrics =
        TMetricsServer::Start(address, options.Line.empty() ? HostName() : options.Line, error);
    if (!metrics) return Complain("listen", error);
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarted, not failed: a signal landing in a write to a slow stdout pipe
  // would otherwise make stdio drop the journal lines buffered there.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  TSystemClock clock;
  TPrintingObserver observer(stdout, options.Measure);
  TMonitor monitor(clock, observer);
  TAudioOptions audio;
  audio.PortAudio.DeviceName = options.Device;
  audio.PortAudio.MaxBlocks = options.Blocks;
  // The first block waits until reception is on: sound that arrives while
  // the monitor is still being set up is received, not dropped.
  auto gated = std::make_unique<THookedStream>(OpenAudioStream(audio), nullptr, true);
  THookedStream* gate = gated.get();
  monitor.StartDevice(std::make_unique<TModemDevice>(options.Settings, std::move(gated)), levels[0],
                      levels[1]);
  TModemDevice& device = *monitor.Device();
  if (device.GetStatus() != 0) {
    const auto* stream = dynamic_cast<const TPortAudioStream*>(&gate->Inner());
    return Complain("listen", std::string("no sound device could be opened") +
                                  (stream && !stream->LastError().empty() ? ": " : "") +
                                  (stream ? stream->LastError() : std::string()));
  }
  // The recording takes the first block on, as the analysis does.
  std::unique_ptr<TLineRecorder> recorder;
  if (!options.Record.empty()) {
    recorder = TLineRecorder::Create(options.Record, {}, error);
    if (!recorder) return Complain("listen", "cannot record to '" + options.Record + "': " + error);
    device.SetInputTap(recorder.get());
  }
  // A recording that stops says so once, at once; listening goes on.
  bool recordingFailed = false;
  const auto checkRecording = [&] {
    if (!recorder || recordingFailed || !recorder->Failed()) return;
    recordingFailed = true;
    device.SetInputTap(nullptr);
    recorder->Finish();
    Complain("listen", "the recording '" + options.Record + "' stopped after " +
                           Duration(recorder->FramesWritten()) + ": " + recorder->Error() +
                           "; listening goes on");
  };
  monitor.BtStartStopClick(true);
  if (!options.Poll.empty()) {
    monitor.SetSendRequest(poll.Kp, poll.Function, poll.Group);
    monitor.SbStartSendClick(true);
  }
  gate->Open();

  const int64_t started = clock.Counter();
  auto next = std::chrono::steady_clock::now();
  while (gStopRequested == 0) {
    next += std::chrono::milliseconds(10);
    std::this_thread::sleep_until(next);
    monitor.TimerRedrawTimer();
    if (metrics) metrics->Publish(monitor);
    checkRecording();
    std::fflush(stdout);
    if (options.Duration > 0 && ElapsedMs(clock, started) >= options.Duration * 1000) break;
    if (!device.Stream()->Running()) break;  // N blocks done, or the device went away
  }
  // The last blocks may still hold a telegram on each channel: one per tick.
  for (int i = 0; i < 3; ++i) monitor.TimerRedrawTimer();
  // A stream that stopped by itself before its --blocks count went away.
  const bool failed =
      gStopRequested == 0 && !device.Stream()->Running() &&
      !(options.Blocks > 0 && device.BlocksProcessed() >= options.Blocks) &&
      !(options.Duration > 0 && ElapsedMs(clock, started) >= options.Duration * 1000);
  PrintStatistics(monitor, stdout);
  device.SetInputTap(nullptr);
  if (recorder && !recorder->Finish()) checkRecording();
  monitor.StopDevice();
  std::fflush(stdout);
  if (failed) {
    return Complain("listen", "the sound device stopped");
  }
  // Asked for and not whole: not a success, though the journal is complete.
  return recordingFailed ? kExitUsage : kExitOk;
}

}  // namespace

void AddListenCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<ListenOptions>();
  CLI::App* cmd = app.add_subcommand(
      "listen",
      "Run the work tab live on the sound card (PortAudio) with the system clock. Prints journal "
      "entries and the final statistics as replay does; stops after --duration, after --blocks "
      "input blocks, or on SIGINT/SIGTERM, always closing the device cleanly.");
  cmd->add_flag("--measure", options->Measure,
                "After each received telegram's journal lines, an M line: side, KP, time stamp, "
                "measured tones (Hz), bit rate (bit/s), level and SNR (dB)");
  cmd->add_option("--settings", options->Settings,
                  "Modem settings file (default settings without it)");
  cmd->add_option("--levels", options->Levels, "Switch-on levels L1,L2 (0..1)")
      ->capture_default_str();
  cmd->add_option("--device", options->Device,
                  "Sound device name, as --list-devices prints it (default device without it)");
  cmd->add_flag("--list-devices", options->ListDevices,
                "Print the names of the sound devices with 2 inputs and 2 outputs, then exit "
                "(1 when there is none)");
  // A year is beyond any field session and far inside every counter.
  auto* duration = cmd->add_option("--duration", options->Duration, "Stop after this many seconds")
                       ->check(PositiveUpTo(366.0 * 24 * 3600));
  cmd->add_option("--blocks", options->Blocks, "Stop after this many 1024-frame input blocks")
      ->check(PositiveUpTo(366.0 * 24 * 3600 * 8000 / 1024))
      ->excludes(duration);
  cmd->add_option("--poll", options->Poll, "Poll KP,FUNCTION(hex),GROUP");
  cmd->add_option("--record", options->Record,
                  "Record both input channels as delivered to this WAV file (8000 Hz, 16-bit "
                  "stereo), readable at every moment; a full or slow disk stops the recording "
                  "with a message (exit status 2 at the end), never the listening");
  cmd->add_option("--metrics", options->Metrics,
                  "Serve Prometheus metrics at http://ADDRESS:PORT/metrics (ADDRESS:PORT, or :PORT "
                  "for 127.0.0.1); nothing listens without it");
  cmd->add_option("--line", options->Line,
                  "The line's name, the label line of every metric (default the host name)");
  cmd->callback(
      [options, &status] { status = options->ListDevices ? ListDevices() : RunListen(*options); });
}

}  // namespace sorvex::tool
