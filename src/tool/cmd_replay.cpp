// sorvex-tool replay: the whole work tab over a recording, on signal time.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "audio/hooked_stream.h"
#include "audio/sound_file_stream.h"
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "monitor/statistics_text.h"
#include "sim/signal_time_driver.h"
#include "tool/commands.h"
#include "tool/monitor_output.h"
#include "tool/tool_input.h"
#include "util/date_time.h"

namespace sorvex::tool {
namespace {

struct ReplayOptions {
  std::string Input;
  std::string Settings;
  std::string Levels = "0.1,0.1";
  std::string Start = "2000-01-01 00:00:00.000";
  std::string Poll;
  std::string Output;
  std::string Side;  // of a mono recording: "request" or "answer"
  bool Header = false;
  bool Measure = false;
};

class TProgress {
 public:
  explicit TProgress(int64_t totalBlocks) : FTotal(totalBlocks), FShow(isatty(2) != 0) {}
  void Update(int64_t blocks) {
    if (!FShow || FTotal <= 0) return;
    const int percent = static_cast<int>(blocks * 100 / FTotal);
    if (percent == FLast) return;
    FLast = percent;
    const int filled = percent * 40 / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 40 - filled, "", percent);
  }
  void Done() {
    if (FShow && FLast >= 0) std::fprintf(stderr, "\n");
  }

 private:
  int64_t FTotal;
  bool FShow;
  int FLast = -1;
};

int RunReplay(const ReplayOptions& options) {
  double levels[2] = {0.1, 0.1};
  double start = 0;
  TPollRequest poll;
  std::string error;
  if (!ParseLevels(options.Levels, levels, error) || !ParseStart(options.Start, start, error) ||
      (!options.Poll.empty() && !ParsePoll(options.Poll, poll, error))) {
    return Complain("replay", error);
  }
  if (!CheckSettings("replay", options.Settings)) return kExitUsage;
  // The output is written at the end of the run: a path it cannot go to is
  // refused now, not after an hour of recording.
  if (!options.Output.empty() && !CheckWritable(options.Output, error)) {
    return Complain("replay", error);
  }

  TManualClock clock(start);
  TPrintingObserver observer(stdout, options.Measure);
  TMonitor monitor(clock, observer);
  // The dispatch runs in step with the file: measuring beside it, not in it,
  // keeps a long recording's replay about as quick as reception alone.
  monitor.SetToneMeasuring(options.Measure ? TMonitor::TToneMeasuring::OnThread
                                           : TMonitor::TToneMeasuring::Off);
  TSignalTimeDriver driver(monitor, clock);

  TSoundFileStream::Options fileOptions;
  fileOptions.InputPath = options.Input;
  fileOptions.MonoChannel = options.Side == "request" ? 0 : 1;
  fileOptions.OutputPath = options.Output;
  auto file = std::make_unique<TSoundFileStream>(fileOptions);
  TSoundFileStream* recording = file.get();
  std::unique_ptr<TProgress> progress;
  auto hooked = std::make_unique<THookedStream>(
      std::move(file),
      [&] {
        driver.BlockDone();
        if (progress) progress->Update(driver.Blocks());
      },
      true);
  THookedStream* gate = hooked.get();

  monitor.StartDevice(std::make_unique<TModemDevice>(options.Settings, std::move(hooked)),
                      levels[0], levels[1]);
  if (monitor.Device()->GetStatus() != 0) return Complain("replay", recording->Error());
  if (!recording->Warning().empty()) Warn("replay", recording->Warning());
  const TSoundFileInfo& info = recording->Info();
  // A recording of the answer side alone never carries the request that
  // answers wait for: they are shown as they come.
  const bool answersAlone = info.Channels == 1 && fileOptions.MonoChannel == 1;
  const int64_t frames8k =
      info.SampleRate > 0 ? info.Frames * kAudioFrameRate / info.SampleRate : 0;
  progress = std::make_unique<TProgress>((frames8k + kAudioBlockFrames - 1) / kAudioBlockFrames);

  // Everything is set before the first block is let through, so the same
  // recording always gives the same journal.
  monitor.BtStartStopClick(true);
  if (answersAlone) monitor.SkipFirstRequestWait();
  if (!options.Poll.empty()) {
    monitor.SetSendRequest(poll.Kp, poll.Function, poll.Group);
    monitor.SbStartSendClick(true);
  }
  gate->Open();
  while (!recording->WaitForEnd(1000)) {
  }
  progress->Done();
  monitor.FinishMeasuring();
  const std::string streamError = recording->Error();
  if (options.Header) {
    std::printf("#S\tchannel");
    for (int column = 0; column < kStatisticsColumns; ++column) {
      std::printf("\t%s", StatisticsColumnTitle(column));
    }
    std::printf("\n");
  }
  PrintStatistics(monitor, stdout);
  monitor.StopDevice();
  std::fflush(stdout);
  if (!streamError.empty()) return Complain("replay", streamError);
  return kExitOk;
}

}  // namespace

void AddReplayCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<ReplayOptions>();
  CLI::App* cmd = app.add_subcommand(
      "replay",
      "Run the work tab over a recording: the file plays through the two-channel device block "
      "by block, reception is on from the start and the dispatch ticks every 10 ms of signal "
      "time. Prints each journal entry as it is added (E|X, kind, time stamp, text, "
      "tab-separated), then the statistics: S, channel, the ten grid columns.");
  cmd->add_option("IN", options->Input,
                  "Sound file (any rate or channel count; a mono file is one side, see --side)")
      ->required();
  cmd->add_option("--side", options->Side,
                  "Side a mono recording holds: answer (the default; its answers are shown "
                  "without waiting for a request) or request")
      ->check(CLI::IsMember({"request", "answer"}));
  cmd->add_flag("--header", options->Header,
                "Print a header line (#S, channel, the column titles) before the statistics");
  cmd->add_flag("--measure", options->Measure,
                "After each received telegram's journal lines, an M line: side, KP, time stamp, "
                "measured tones (Hz), bit rate (bit/s), level and SNR (dB)");
  cmd->add_option("--settings", options->Settings,
                  "Modem settings file (default settings without it)");
  cmd->add_option("--levels", options->Levels, "Switch-on levels L1,L2 (0..1)")
      ->capture_default_str();
  cmd->add_option("--start", options->Start,
                  "Date-time of the first sample, YYYY-MM-DD HH:MM:SS.mmm")
      ->capture_default_str();
  cmd->add_option("--poll", options->Poll, "Poll KP,FUNCTION(hex),GROUP while replaying");
  cmd->add_option("--out", options->Output, "Write what the device transmitted to this WAV file");
  cmd->callback([options, &status] { status = RunReplay(*options); });
}

}  // namespace sorvex::tool
