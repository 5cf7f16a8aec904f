// sorvex-tool rx: one channel's telegram receiver over a sound file, re-armed
// after each telegram; one line per telegram, "<bit count>\t<bits as 0/1>".
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "modem/modem.h"
#include "tool/commands.h"
#include "tool/tool_input.h"

namespace sorvex::tool {

namespace {

constexpr int kBlockFrames = 1024;

struct RxOptions {
  std::string Input;
  std::string Settings;
  int Channel = 0;
  double StartLevel = 0.1;
};

void PrintTelegram(const uint8_t* bytes, int bitCount) {
  std::string bits;
  bits.reserve(static_cast<size_t>(bitCount));
  for (int i = 0; i < bitCount; ++i) {
    bits += (bytes[i / 8] & (0x80 >> (i % 8))) ? '1' : '0';
  }
  std::printf("%d\t%s\n", bitCount, bits.c_str());
}

int RunRx(const RxOptions& o) {
  if (!CheckSettings("rx", o.Settings)) return kExitUsage;
  TSoundFileReader reader;
  std::string error;
  if (!reader.Open(o.Input, o.Channel, error)) return Complain("rx", error);
  if (!reader.Warning().empty()) Warn("rx", reader.Warning());
  TModem modem(o.Settings, kBlockFrames);
  modem.SetStartLevel(o.StartLevel);
  modem.ResetReceiver();

  std::vector<int16_t> frames(2 * kBlockFrames);
  uint8_t bytes[256];
  auto take = [&] {
    const int bitCount = modem.TakeTelegram(bytes, 0);
    if (bitCount > 0) {
      PrintTelegram(bytes, bitCount);
      modem.ResetReceiver();  // re-armed: waits for silence again
    }
  };
  for (;;) {
    const int got = reader.ReadBlock(frames.data(), kBlockFrames);
    if (got < 0) {
      std::fflush(stdout);
      return Complain("rx", reader.LastError());
    }
    if (got == 0) break;
    modem.ProcessBlock(o.Channel, frames.data(), got);
    take();
  }
  // A telegram that runs to the end of the file is closed by the silence that
  // would follow on a line: more than 4 bit periods plus the filters' tails.
  if (modem.ReceiverState() == rsReceiving) {
    int32_t baudrate = 0, freq0 = 0, freq1 = 0;
    modem.GetGeneral(baudrate, freq0, freq1);
    const double seconds = baudrate > 0 ? 4.0 / baudrate + 0.5 : 0.5;
    const int blocks = static_cast<int>(seconds * 8000 / kBlockFrames) + 2;
    std::fill(frames.begin(), frames.end(), int16_t{0});
    for (int b = 0; b < blocks && modem.ReceiverState() == rsReceiving; ++b) {
      modem.ProcessBlock(o.Channel, frames.data(), kBlockFrames);
    }
    take();
  }
  return kExitOk;
}

}  // namespace

void AddRxCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<RxOptions>();
  CLI::App* cmd = app.add_subcommand(
      "rx", "Receive the telegrams of one channel of a sound file (any rate or channel count)");
  cmd->add_option("input", options->Input, "Sound file")->required();
  cmd->add_option("--settings", options->Settings, "Modem settings file (default: defaults)");
  AddChannelOption(cmd, options->Channel, "Channel to receive: requests left, answers right");
  cmd->add_option("--start-level", options->StartLevel, "Receiver switch-on level, full scale 1.0")
      ->check(FiniteRange(0.0, 10.0))
      ->capture_default_str();
  cmd->callback([options, &status] { status = RunRx(*options); });
}

}  // namespace sorvex::tool
