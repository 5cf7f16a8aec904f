// sorvex-tool decode: one telegram through the request or answer decoder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "monitor/kp_record_list.h"
#include "protocol/answer_decoder.h"
#include "protocol/request_decoder.h"
#include "protocol/telegram.h"
#include "tool/bit_text.h"
#include "tool/commands.h"
#include "tool/tool_input.h"
#include "util/clock.h"

namespace sorvex::tool {

namespace {

constexpr int kDecodeMaxBits = 255 * 8;  // the longest hand-over of the modem engine

struct DecodeOptions {
  bool Request = false;
  bool Answer = false;
  std::string Bits;
  std::string Hex;
  int Count = -1;  // −1: every bit of --hex
};

void PrintTelemetry(const KpTelemetryBlock& b) {
  for (int g = 0; g < KpTelemetryBlock::kTsGroups; ++g) {
    if (b.TsTimes[g] != 0) std::printf("TS\t%d\t%.2X\n", g + 1, b.TsBytes[g]);
  }
  for (int g = 0; g < KpTelemetryBlock::kTitGroups; ++g) {
    if (b.TitTimes[g] == 0) continue;
    std::printf("TIT\t%d", g + 1);
    for (int k = 0; k < KpTelemetryBlock::kTitValues; ++k) std::printf("\t%d", b.TitValues[g][k]);
    std::printf("\n");
  }
  if (b.BoTime != 0) {
    std::printf("BO");
    for (int i = 0; i < KpTelemetryBlock::kBoBytes; ++i) std::printf("\t%.2X", b.BoBytes[i]);
    std::printf("\n");
  }
}

// What `encode` prints, piped in: the bit string is its first line; the hex
// and the description after it are the same telegram again.
std::string FirstLineOfStdin() {
  const std::string text{std::istreambuf_iterator<char>(std::cin), {}};
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos) return line;
    start = end + 1;
  }
  return "";
}

// The lead a request goes out with (nine 0 bits before the address, whose
// first bit is always 1) is line signal, not telegram: dropped when present.
void DropLead(std::vector<uint8_t>& bytes, int& count) {
  constexpr int kLead = 9;
  auto bit = [&](int i) { return (bytes[static_cast<size_t>(i / 8)] >> (7 - i % 8)) & 1; };
  if (count <= kLead) return;
  for (int i = 0; i < kLead; ++i) {
    if (bit(i)) return;
  }
  if (!bit(kLead)) return;
  std::vector<uint8_t> shifted(static_cast<size_t>((count - kLead + 7) / 8), 0);
  for (int i = kLead; i < count; ++i) {
    if (bit(i)) shifted[static_cast<size_t>((i - kLead) / 8)] |= 0x80 >> ((i - kLead) % 8);
  }
  bytes = std::move(shifted);
  count -= kLead;
}

int RunDecode(const DecodeOptions& o) {
  std::vector<uint8_t> bytes;
  int count = 0;
  std::string error;
  const bool fromStdin = o.Hex.empty() && (o.Bits.empty() || o.Bits == "-");
  // A terminal is not waited on: the user forgot the bits.
  if (fromStdin && o.Bits.empty() && isatty(0) != 0) {
    return Complain("decode", "a bit string, --hex or a bit string on standard input is required");
  }
  const std::string bits = fromStdin ? FirstLineOfStdin() : o.Bits;
  if (fromStdin && bits.empty()) return Complain("decode", "no bit string on standard input");
  const bool packed = o.Hex.empty()
                          ? ParseBitText(bits, "BITS", kDecodeMaxBits, bytes, count, error)
                          : ParseHexText(o.Hex, o.Count, kDecodeMaxBits, bytes, count, error);
  if (!packed) return Complain("decode", error);
  DropLead(bytes, count);
  bytes.resize(static_cast<size_t>(kDecodeMaxBits / 8 + 1), 0);
  std::string text;
  TelegramInfo info;
  TKpRecordList records;  // fresh: whatever it holds afterwards, the decoder stored
  TSystemClock clock;
  const bool ok =
      o.Request ? DecodeRequestTelegram(bytes.data(), static_cast<uint16_t>(count), text, info)
                : DecodeAnswerTelegram(bytes.data(), static_cast<uint16_t>(count), text, info,
                                       records, clock);
  std::printf("%s\t%u\t%.2X\t%d\t%s\n", ok ? "ok" : "fail", info.KpAddress, info.FunctionCode,
              info.LengthBits, text.c_str());
  if (ok && o.Answer) {
    if (const KpTelemetryBlock* block = records.FindKpRecord(info.KpAddress, false)) {
      PrintTelemetry(*block);
    }
  }
  return ok ? kExitOk : kExitNegative;
}

}  // namespace

void AddDecodeCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* cmd = app.add_subcommand("decode", "Check one telegram and print it as text");
  cmd->footer(
      "Output: ok|fail<TAB>KP<TAB>function (2 hex digits)<TAB>LengthBits<TAB>text.\n"
      "With --answer and ok, then one line per telemetry entry the answer stored:\n"
      "  TS<TAB>group 1..8<TAB>TS byte (2 hex digits)\n"
      "  TIT<TAB>group 1..4<TAB>8 signed values, tab-separated\n"
      "  BO<TAB>the block's 8 BO bytes (2 hex digits each, tab-separated; bytes\n"
      "     beyond the answer's count keep their earlier value, 00 here)\n"
      "TS groups 9..63 and TIT groups 5..63 are shown in the text only.\n"
      "A request's lead (nine 0 bits before the address), as `encode` prints it, is dropped.\n"
      "Exit status: 0 valid, 1 the telegram fails its checks, 2 bad usage.");
  CLI::Option* request = cmd->add_flag("--request", options->Request,
                                       "Decode as a request (channel 0, control centre)");
  CLI::Option* answer =
      cmd->add_flag("--answer", options->Answer, "Decode as an answer (channel 1, KP)");
  request->excludes(answer);
  CLI::Option* bits = cmd->add_option(
      "bits", options->Bits,
      "Bit string of 0/1 (blanks, . and _ ignored); - or nothing: the first line of standard "
      "input, so `encode` can be piped in");
  CLI::Option* hex = cmd->add_option("--hex", options->Hex, "Bit string as hex, MSB first");
  cmd->add_option("--count", options->Count, "Bits of --hex to decode (default: all)")
      ->needs(hex)
      ->check(CLI::Range(0, kDecodeMaxBits));
  bits->excludes(hex);
  cmd->callback([options, request, answer, &status] {
    if (request->count() == 0 && answer->count() == 0) {
      status = Complain("decode", "one of --request or --answer is required");
      return;
    }
    status = RunDecode(*options);
  });
}

}  // namespace sorvex::tool
