// sorvex-tool encode: one request telegram as the poll scheduler sends it.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "protocol/request_encoder.h"
#include "tool/commands.h"
#include "tool/tool_input.h"

namespace sorvex::tool {

namespace {

struct EncodeOptions {
  int Kp = 0;
  std::string Function;
  int Group = 0;
  int Object = 0;
};

// "50", "0x50", "F0": one byte in hex.
bool ParseFunction(const std::string& text, uint8_t& code) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 2) return false;
  for (const char ch : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
  }
  code = static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16));
  return true;
}

int RunEncode(const EncodeOptions& o) {
  RequestDescriptor request;
  if (!ParseFunction(o.Function, request.FunctionCode)) {
    return Complain("encode", "--function: '" + o.Function + "' is not a hex byte (00..FF)");
  }
  request.KpAddress = static_cast<uint8_t>(o.Kp);
  request.Group = static_cast<uint8_t>(o.Group);
  request.Object = static_cast<uint8_t>(o.Object);
  uint8_t buffer[kRequestBufferBytes] = {};
  const int bits = EncodeRequestTelegram(buffer, request);
  std::string line;
  for (int i = 0; i < bits; ++i) line += ((buffer[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
  std::printf("%s\n", line.c_str());
  line.clear();
  for (int i = 0; i < (bits + 7) / 8; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i == 0 ? "%.2X" : " %.2X", buffer[i]);
    line += hex;
  }
  std::printf("%s\n", line.c_str());
  std::printf("%s\n", DescribeRequest(request).c_str());
  return kExitOk;
}

}  // namespace

void AddEncodeCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<EncodeOptions>();
  CLI::App* cmd = app.add_subcommand("encode", "Encode one request telegram");
  cmd->footer(
      "Output, one per line: the bit string (0/1, starting with the 00/0 lead\n"
      "character), the packed bytes in hex (MSB first, blank-separated), and the\n"
      "exchange-journal description. For ZUTIT/NUTIT (A0/B0) --group and --object\n"
      "are the 1-based TIT group and channel; TU (70/E0) takes the object 1..8.");
  cmd->add_option("--kp", options->Kp, "KP address")->required()->check(CLI::Range(1, 31));
  cmd->add_option("--function", options->Function, "Function code in hex, e.g. 50 or 0x90")
      ->required();
  cmd->add_option("--group", options->Group, "Group number (default 0)")->check(CLI::Range(0, 255));
  cmd->add_option("--object", options->Object, "TU object or TIT channel (default 0)")
      ->check(CLI::Range(0, 255));
  cmd->callback([options, &status] { status = RunEncode(*options); });
}

}  // namespace sorvex::tool
