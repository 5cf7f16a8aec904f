#include "sim/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include "modem/settings_file_check.h"
#include "protocol/telegram.h"
#include "sim/line_simulator.h"
#include "util/number_text.h"

namespace sorvex {
namespace {

struct FunctionName {
  const char* name;
  uint8_t code;
};
constexpr FunctionName kFunctionNames[] = {
    {"GtiiReset", 0x00}, {"Gtit", 0x10}, {"Gkds", 0x20},  {"GtiiNoReset", 0x30},
    {"Ot", 0x50},        {"TuOn", 0x70}, {"Gts", 0x90},   {"Zutit", 0xA0},
    {"Nutit", 0xB0},     {"Bo", 0xD0},   {"TuOff", 0xE0}, {"Tsm", 0xF0},
};

bool ParseFunction(const std::string& word, uint8_t& code) {
  for (const auto& f : kFunctionNames) {
    if (word == f.name) {
      code = f.code;
      return true;
    }
  }
  long v = 0;
  const std::string digits = word.rfind("0x", 0) == 0 ? word.substr(2) : word;
  if (!ParseWholeNumber(digits, 16, 0, 255, v)) return false;
  code = static_cast<uint8_t>(v);
  return true;
}

bool ParseList(const std::string& text, int base, long min, long max, std::vector<long>& values) {
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    long v = 0;
    if (!ParseWholeNumber(item, base, min, max, v)) return false;
    values.push_back(v);
  }
  return !values.empty();
}

// The words of one scenario line after the command: key=value options, the
// flags "short" and "drop", and positional values in order.
// What a function's telegrams carry, for refusing options that would be
// silently ignored.
struct FunctionUse {
  bool group = false;   // a group number
  bool object = false;  // an object (TU) or a channel (Zutit, Nutit)
  bool bytes = false;
  bool words = false;
  bool shortForm = false;
};

FunctionUse UseOf(uint8_t code) {
  switch (static_cast<TelegramFunction>(code)) {
    case TelegramFunction::Gts:
    case TelegramFunction::Gkds:
      return {true, false, true, false, true};
    case TelegramFunction::Gtit:
      return {true, false, false, true, true};
    case TelegramFunction::GtiiReset:
    case TelegramFunction::GtiiNoReset:
      return {true, false, false, true, false};
    case TelegramFunction::Zutit:
      return {true, true, false, true, false};
    case TelegramFunction::Nutit:
      return {true, true, false, false, false};
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      return {true, true, false, false, false};
    case TelegramFunction::Ot:
      return {};
    case TelegramFunction::Tsm:
    case TelegramFunction::Bo:
      return {false, false, true, false, false};
    default:  // a code of no known layout: header, group, bytes
      return {true, false, true, false, false};
  }
}

// Control bytes of a refused word (a NUL inside a number) as \xNN, so the
// message stays one readable line.
std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
    }
  }
  return shown;
}

// The data bytes an answer of `function` carries, as the answer layout has
// them; what the encoder would cut or leave out is refused instead.
bool BodyFits(const std::string& name, uint8_t function, const AnswerDescriptor& answer, bool words,
              std::string& reason) {
  const size_t n = answer.Bytes.size();
  size_t min = 0, max = 64;  // a code of no known layout: up to 64 bytes
  switch (static_cast<TelegramFunction>(function)) {
    case TelegramFunction::Gts:
    case TelegramFunction::Gkds:
      max = 1;  // the group's TS byte
      break;
    case TelegramFunction::Tsm:
      max = 63;  // one TS byte per group
      break;
    case TelegramFunction::Bo:
      min = 2;
      max = 8;
      break;
    default:
      break;
  }
  if (answer.ShortForm && (n > 0 || words)) {
    reason = "the short form carries no bytes or words";
    return false;
  }
  if (n >= min && n <= max) return true;
  reason = "an answer to " + name + " carries " +
           (min == 0 ? "at most " + std::to_string(max)
                     : std::to_string(min) + ".." + std::to_string(max)) +
           (max == 1 ? " data byte" : " data bytes") + " (bytes=), not " + std::to_string(n);
  return false;
}

int RequestBits(long kp, uint8_t function, long group, long object) {
  uint8_t buffer[kRequestBufferBytes] = {};
  return EncodeRequestTelegram(
      buffer, RequestDescriptor{static_cast<uint8_t>(kp), function, static_cast<uint8_t>(group),
                                static_cast<uint8_t>(object)});
}

int AnswerBits(AnswerDescriptor answer, long kp) {
  answer.KpAddress = static_cast<uint8_t>(kp);
  uint8_t buffer[kAnswerBufferBytes] = {};
  return EncodeAnswerTelegram(buffer, answer);
}

// Longest recording a scenario may describe: an hour of 8000 Hz stereo is
// 115 MB in memory and on disk.
constexpr int64_t kMaxFrames = 3600LL * 8000;

struct Line {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
};

class Runner {
 public:
  Runner(std::string baseDir, const double gain[2])
      : FBaseDir(std::move(baseDir)), FGain{gain[0], gain[1]} {}

  bool Run(const std::string& text, std::string& error) {
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
      ++number;
      const size_t hash = raw.find('#');
      if (hash != std::string::npos) raw.resize(hash);
      std::istringstream words(raw);
      std::string command;
      if (!(words >> command)) continue;
      Line line;
      for (std::string word; words >> word;) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos) {
          line.options.emplace_back(word.substr(0, eq), word.substr(eq + 1));
        } else if (word == "short" || word == "drop") {
          line.options.emplace_back(word, "");
        } else {
          line.positional.push_back(word);
        }
      }
      std::string reason;
      if (!Execute(command, line, reason)) {
        error = "line " + std::to_string(number) + ": " + Printable(reason);
        return false;
      }
    }
    return true;
  }

  bool HasSignal() const { return FSimulator != nullptr; }
  std::vector<int16_t> Frames() { return Simulator().Frames(); }
  double MaxNoiseSigma(int channel) { return Simulator().MaxNoiseSigma(channel); }

 private:
  TLineSimulator& Simulator() {
    if (!FSimulator) {
      FSimulator = std::make_unique<TLineSimulator>(FSettings, FSeed);
      FSimulator->SetNoise(FNoiseDb, FNoiseChannel);
      FSimulator->SetGain(FGain[0], 0);
      FSimulator->SetGain(FGain[1], 1);
    }
    return *FSimulator;
  }

  // Whether `more` frames still fit under the bound, refused before any
  // memory is taken for them.
  bool Fits(int64_t more, std::string& reason) {
    const int64_t now = FSimulator ? FSimulator->FrameCount() : 0;
    if (now + more <= kMaxFrames) return true;
    reason = "the recording would be longer than 1 hour, the longest simulate writes";
    return false;
  }

  bool Number(const Line& line, size_t index, long min, long max, long& value, std::string& reason,
              const char* what) {
    if (index >= line.positional.size()) {
      reason = std::string("missing ") + what;
      return false;
    }
    if (!ParseWholeNumber(line.positional[index], 10, min, max, value)) {
      reason = std::string("bad ") + what + " '" + line.positional[index] + "'";
      return false;
    }
    return true;
  }

  bool Execute(const std::string& command, const Line& line, std::string& reason) {
    if (command == "settings" || command == "seed") {
      if (FSimulator) {
        reason = command + " must come before the first signal";
        return false;
      }
      if (line.positional.size() != 1) {
        reason = command + " takes one value";
        return false;
      }
      if (command == "settings") {
        const std::string& path = line.positional[0];
        FSettings = path[0] == '/' || FBaseDir.empty() ? path : FBaseDir + "/" + path;
        const TSettingsFileCheck check = CheckSettingsFile(FSettings);
        if (!check.Readable) {
          reason = check.Error;
          return false;
        }
        return true;
      }
      long seed = 0;
      if (!Number(line, 0, 0, 0xFFFFFFFFL, seed, reason, "seed")) return false;
      FSeed = static_cast<uint32_t>(seed);
      return true;
    }
    if (command == "noise") {
      int channel = -1;
      if (line.positional.size() == 2) {
        const std::string& side = line.positional[1];
        channel = side == "left" ? 0 : side == "right" ? 1 : side == "both" ? -1 : -2;
      }
      if (line.positional.empty() || line.positional.size() > 2 || channel == -2) {
        reason = "noise takes an Eb/N0 in dB or 'off', then optionally left, right or both";
        return false;
      }
      if (line.positional[0] == "off") {
        FNoiseDb = NAN;
        channel = -1;
      } else {
        double db = 0;
        if (!ParseWholeDouble(line.positional[0], db) || db < -20 || db > 100) {
          reason = "bad Eb/N0 '" + line.positional[0] + "'";
          return false;
        }
        FNoiseDb = db;
      }
      FNoiseChannel = channel;
      if (FSimulator) FSimulator->SetNoise(FNoiseDb, channel);
      return true;
    }
    if (command == "silence" || command == "gap" || command == "reply") {
      long ms = 0;
      if (!Number(line, 0, 0, 24L * 3600 * 1000, ms, reason, "duration in ms")) return false;
      if (command == "silence") {
        if (!Fits(static_cast<int64_t>(ms) * 8, reason)) return false;
        Simulator().Silence(static_cast<double>(ms));
      }
      if (command == "gap") FGapMs = static_cast<double>(ms);
      if (command == "reply") FReplyMs = static_cast<double>(ms);
      return true;
    }
    if (command == "modem") {
      long kp = 0;
      if (!Number(line, 0, 1, 31, kp, reason, "KP")) return false;
      if (line.positional.size() > 1) {
        reason = "modem takes a KP, then tones= and rate=";
        return false;
      }
      TDrift drift;
      for (const auto& [key, value] : line.options) {
        if (!DriftOption(key, value, drift, reason)) {
          if (reason.empty()) reason = "option '" + key + "' does not apply to modem";
          return false;
        }
      }
      FKpDrift[kp] = drift;
      return true;
    }
    if (command == "request" || command == "answer" || command == "exchange") {
      if (!FSimulator) {
        // The receiver arms only after silence: a first telegram straight
        // from the start would be lost.
        Simulator().Silence(std::max(100.0, 4 * Simulator().BitMs()));
      }
      if (!Telegram(command, line, reason)) return false;
      return Fits(0, reason);
    }
    reason = "unknown command '" + command + "'";
    return false;
  }

  struct TDrift {
    double tones = 0;  // Hz, both tones
    double rate = 1;   // bit rate factor
  };

  // tones=HZ and rate=FACTOR; false with an empty reason for any other key.
  static bool DriftOption(const std::string& key, const std::string& value, TDrift& drift,
                          std::string& reason) {
    reason.clear();
    double v = 0;
    if (key == "tones") {
      if (ParseWholeDouble(value, v) && v >= -500 && v <= 500) {
        drift.tones = v;
        return true;
      }
      reason = "bad option 'tones=" + value + "' (a tone offset in Hz, -500..500)";
      return false;
    }
    if (key == "rate") {
      if (ParseWholeDouble(value, v) && v >= 0.9 && v <= 1.1) {
        drift.rate = v;
        return true;
      }
      reason = "bad option 'rate=" + value + "' (a bit rate factor, 0.9..1.1)";
      return false;
    }
    return false;
  }

  bool Telegram(const std::string& command, const Line& line, std::string& reason) {
    long kp = 0, group = 0, object = 0;
    uint8_t function = 0;
    if (!Number(line, 0, 1, 31, kp, reason, "KP")) return false;
    if (line.positional.size() < 2 || !ParseFunction(line.positional[1], function)) {
      reason = "missing or bad function (hex code or name)";
      return false;
    }
    const FunctionUse use = UseOf(function);
    const std::string& name = line.positional[1];
    // Zutit and Nutit name a TIT group and channel, each 1..8, as encode does.
    const bool channel = use.object && !(function == 0x70 || function == 0xE0);
    if (line.positional.size() > 2) {
      if (!use.group) {
        reason = "function " + name + " takes no group";
        return false;
      }
      if (!Number(line, 2, channel ? 1 : 0, channel ? 8 : 255, group, reason,
                  channel ? "group (1..8)" : "group")) {
        return false;
      }
    }
    if (line.positional.size() > 3) {
      if (!use.object) {
        reason = "function " + name + " takes no object";
        return false;
      }
      // TU objects are the eight bits of the object mask.
      if (!Number(line, 3, 1, 8, object, reason, channel ? "channel (1..8)" : "object (1..8)")) {
        return false;
      }
    }
    if (line.positional.size() > 4) {
      reason = "too many numbers";
      return false;
    }
    if (channel && line.positional.size() < 4) {
      reason = "function " + name + " needs a group and a channel, each 1..8";
      return false;
    }
    if (use.object && !channel && line.positional.size() < 4) {
      reason = "function " + name + " needs a group and an object 1..8";
      return false;
    }
    long flip = -1, answerKp = kp;
    bool drop = false, wordsGiven = false;
    AnswerDescriptor answer;
    answer.FunctionCode = function;
    // The answer to Zutit and Nutit carries the channel address the request
    // sent: (group − 1) × 8 + channel − 1.
    answer.Group = static_cast<uint8_t>(channel ? (group - 1) * 8 + (object - 1) : group);
    answer.Object = static_cast<uint8_t>(object);
    // This telegram's sender off its settings: what the options give, the
    // rest from the answering KP's modem line.
    TDrift given;
    bool tonesGiven = false, rateGiven = false;
    for (const auto& [key, value] : line.options) {
      std::vector<long> list;
      if (key == "tones" || key == "rate") {
        if (!DriftOption(key, value, given, reason)) return false;
        (key == "tones" ? tonesGiven : rateGiven) = true;
        continue;
      }
      const bool applies = key == "flip" ||
                           ((key == "kp" || key == "drop") && command == "exchange") ||
                           (key == "kp" && command == "answer") ||
                           (command != "request" &&
                            ((key == "bytes" && use.bytes) || (key == "words" && use.words) ||
                             (key == "short" && use.shortForm)));
      if (!applies) {
        reason = "option '" + key + "' does not apply to " + command + " " + name;
        return false;
      }
      if (key == "flip" && ParseWholeNumber(value, 10, 0, 2039, flip)) continue;
      if (key == "kp" && ParseWholeNumber(value, 10, 1, 31, answerKp)) continue;
      if (key == "drop" && value.empty()) {
        drop = true;
        continue;
      }
      if (key == "short" && value.empty()) {
        answer.ShortForm = true;
        continue;
      }
      if (key == "bytes" && ParseList(value, 16, 0, 255, list)) {
        for (long v : list) answer.Bytes.push_back(static_cast<uint8_t>(v));
        continue;
      }
      if (key == "words" && ParseList(value, 0, 0, 0xFFFF, list) && list.size() <= 8) {
        for (size_t i = 0; i < list.size(); ++i) answer.Words[i] = static_cast<uint16_t>(list[i]);
        wordsGiven = true;
        continue;
      }
      reason = "bad option '" + key + (value.empty() ? "" : "=" + value) + "'";
      return false;
    }
    if (command != "request" && !BodyFits(name, function, answer, wordsGiven, reason)) return false;
    if (flip >= 0) {
      // In an exchange the fault hits the answer; a request's bits count
      // after its lead character.
      const bool onRequest = command == "request";
      if (drop) {
        reason = "flip hits the answer, which drop leaves out";
        return false;
      }
      const int bits =
          onRequest ? RequestBits(kp, function, group, object) - 9 : AnswerBits(answer, answerKp);
      if (flip >= bits) {
        reason = "flip=" + std::to_string(flip) + " is past the " +
                 (onRequest ? "request's " : "answer's ") + std::to_string(bits) + " bits (0.." +
                 std::to_string(bits - 1) + ")";
        return false;
      }
    }
    if (command == "request" || command == "exchange") {
      RequestDescriptor request;
      request.KpAddress = static_cast<uint8_t>(kp);
      request.FunctionCode = function;
      request.Group = static_cast<uint8_t>(group);
      request.Object = static_cast<uint8_t>(object);
      // In an exchange a fault hits the answer; a lone request takes it itself.
      const TDrift sent = command == "request" ? given : TDrift{};
      Simulator().SetDrift(sent.tones, sent.rate);
      Simulator().SendRequest(request, command == "request" ? static_cast<int>(flip) : -1);
      if (command == "request") return true;
      Simulator().Silence(FReplyMs);
    }
    answer.KpAddress = static_cast<uint8_t>(answerKp);
    if (!drop) {
      // The answering KP's own modem, unless the line says otherwise.
      const auto own = FKpDrift.find(answerKp);
      TDrift sent = own != FKpDrift.end() ? own->second : TDrift{};
      if (tonesGiven) sent.tones = given.tones;
      if (rateGiven) sent.rate = given.rate;
      Simulator().SetDrift(sent.tones, sent.rate);
      Simulator().SendAnswer(answer, static_cast<int>(flip));
    }
    if (command == "exchange") Simulator().Silence(FGapMs);
    return true;
  }

  std::string FBaseDir;
  double FGain[2];
  std::string FSettings;
  uint32_t FSeed = 1;
  double FNoiseDb = NAN;
  int FNoiseChannel = -1;
  double FGapMs = 100;
  double FReplyMs = 30;
  std::unique_ptr<TLineSimulator> FSimulator;
  std::map<long, TDrift> FKpDrift;  // the KPs' modems off their settings
};

}  // namespace

double ScenarioGain(double noiseSigma) {
  return std::min(0.5, kScenarioPeak / (32000.0 + TLineSimulator::kNoiseBound * noiseSigma));
}

bool RunScenario(const std::string& text, const std::string& baseDir, std::vector<int16_t>& frames,
                 std::string& error) {
  // A first run finds each channel's strongest noise; the second makes the
  // line at the level that keeps its loudest sample under kScenarioPeak.
  double gain[2] = {1, 1};
  {
    Runner measure(baseDir, gain);
    if (!measure.Run(text, error)) return false;
    if (!measure.HasSignal()) {
      error = "the scenario holds no silence, request, answer or exchange";
      return false;
    }
    for (int ch = 0; ch < 2; ++ch) gain[ch] = ScenarioGain(measure.MaxNoiseSigma(ch));
  }
  Runner runner(baseDir, gain);
  if (!runner.Run(text, error)) return false;
  frames = runner.Frames();
  return true;
}

}  // namespace sorvex
