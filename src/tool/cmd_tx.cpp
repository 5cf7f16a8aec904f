// sorvex-tool tx: one transmission of the channel modem's FSK transmitter
// into an 8000 Hz 16-bit stereo WAV file, the other channel silent.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "modem/modem.h"
#include "tool/bit_text.h"
#include "tool/commands.h"
#include "tool/tool_input.h"

namespace sorvex::tool {

namespace {

struct TxOptions {
  std::string Settings;
  std::string Bits;
  std::string Hex;
  int Count = -1;  // −1: all hex digits
  std::string Output;
  double LeadMs = 100;
  double TailMs = 100;
  int Channel = 0;
};

int RunTx(const TxOptions& o) {
  std::vector<uint8_t> bytes;
  int bitCount = 0;
  std::string error;
  // Longer strings are cut to what the transmitter takes, with a warning.
  const bool parsed = o.Hex.empty() ? ParseBitText(o.Bits, "--bits", -1, bytes, bitCount, error)
                                    : ParseHexText(o.Hex, o.Count, -1, bytes, bitCount, error);
  if (!parsed) return Complain("tx", error);
  if (!CheckSettings("tx", o.Settings)) return kExitUsage;
  if (!CheckWritable(o.Output, error)) return Complain("tx", error);

  TModem modem(o.Settings, 1024);
  int32_t baudrate = 0, freq0 = 0, freq1 = 0;
  modem.GetGeneral(baudrate, freq0, freq1);
  if (baudrate <= 0) {
    return Complain("tx",
                    o.Settings + ": Baudrate " + std::to_string(baudrate) + " is not positive");
  }
  if (bitCount > kMaxTelegramBits) {
    Warn("tx", std::to_string(bitCount) + " bits cut to " + std::to_string(kMaxTelegramBits));
  }
  bytes.resize(kMaxTelegramBytes, 0);
  modem.StartTransmit(bytes.data(), bitCount);

  const int side = o.Channel;
  const int64_t lead = static_cast<int64_t>(o.LeadMs * 8.0);  // 8 samples per ms at 8000 Hz
  const int64_t tail = static_cast<int64_t>(o.TailMs * 8.0);
  std::vector<int16_t> frames(static_cast<size_t>(2 * lead), 0);
  // Every sample emitted while the transmitter is busy is tone; it stops dead
  // after the last bit. The bound only guards against a runaway loop.
  const int64_t bound = (static_cast<int64_t>(kMaxTelegramBits) + 2) * 8000 / baudrate + 16;
  for (int64_t i = 0; modem.Transmitting() && i < bound; ++i) {
    double sample = 0;
    modem.Modulate(&sample, 1);
    int16_t pair[2] = {0, 0};
    pair[side] = static_cast<int16_t>(sample * 32000.0);  // truncated toward zero
    frames.push_back(pair[0]);
    frames.push_back(pair[1]);
  }
  frames.resize(frames.size() + static_cast<size_t>(2 * tail), 0);

  if (!WriteStereoWav(o.Output, frames.data(), static_cast<int64_t>(frames.size() / 2), error)) {
    return Complain("tx", error);
  }
  return kExitOk;
}

}  // namespace

void AddTxCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<TxOptions>();
  CLI::App* cmd = app.add_subcommand(
      "tx", "Synthesise one FSK transmission into an 8000 Hz 16-bit stereo WAV file");
  cmd->add_option("settings,--settings", options->Settings,
                  "Modem settings file (without it: the defaults)");
  CLI::Option* bits =
      cmd->add_option("--bits", options->Bits, "Bit string of 0/1 (blanks, . and _ ignored)");
  CLI::Option* hex = cmd->add_option("--hex", options->Hex, "Bit string as hex, MSB first");
  cmd->add_option("--count", options->Count, "Bits of --hex to send (default: all)")
      ->needs(hex)
      ->check(CLI::Range(0, 1 << 20));
  bits->excludes(hex);
  cmd->add_option("-o,--output", options->Output, "Output WAV file")->required();
  cmd->add_option("--lead-ms", options->LeadMs, "Silence before the transmission, ms")
      ->check(FiniteRange(0, 3.6e6))
      ->capture_default_str();
  cmd->add_option("--tail-ms", options->TailMs, "Silence after the transmission, ms")
      ->check(FiniteRange(0, 3.6e6))
      ->capture_default_str();
  AddChannelOption(cmd, options->Channel, "Channel that carries the signal");
  cmd->callback([options, bits, hex, &status] {
    if (bits->count() == 0 && hex->count() == 0) {
      status = Complain("tx", "one of --bits or --hex is required");
      return;
    }
    status = RunTx(*options);
  });
}

}  // namespace sorvex::tool
