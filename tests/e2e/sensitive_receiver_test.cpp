// The sensitive receiver end to end: a noisy simulated line through
// `sorvex-tool replay` with each receiver, and recordings at 44.1 and 48 kHz
// through `sorvex-tool rx` and the resampler.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "modem/fsk_signal.h"
#include "sim/scenario.h"
#include "support/tool_runner.h"

namespace sorvex {
namespace {

using testing::Lines;
using testing::RunTool;
using testing::TestDir;
using testing::WriteFile;

const char* const kModem1200 =
    "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\nSmoothing_Freq1=1500\n";

// The settings with the sensitive receiver chosen.
std::string Sensitive(const std::string& settings) {
  const std::string general = "[GENERAL]\n";
  return general + "Receiver=1\n" + settings.substr(settings.find(general) + general.size());
}

// The exchange journal's kind and text, without the time stamps.
std::vector<std::string> ExchangeLines(const std::string& out) {
  std::vector<std::string> lines;
  for (const auto& line : Lines(out)) {
    if (line.rfind("X\t", 0) != 0) continue;
    const size_t kind = line.find('\t') + 1;
    const size_t stamp = line.find('\t', kind);
    const size_t text = line.find('\t', stamp + 1);
    lines.push_back(line.substr(kind, stamp - kind) + " " + line.substr(text + 1));
  }
  return lines;
}

// Sixteen answers under white noise at 14 dB Eb/N0 on the answer side,
// silences included: the sensitive receiver pairs every exchange, the
// standard one (at 1200 baud it needs about 19 dB) loses answers.
TEST(SensitiveReceiverPipeline, NoisyLineGivesTheScenariosJournalLines) {
  const auto dir = TestDir("sensitive_noisy_line");
  WriteFile(dir / "modem.ini", kModem1200);
  WriteFile(dir / "sensitive.ini", Sensitive(kModem1200));
  std::string scenario = "settings modem.ini\nseed 17\nnoise 14 right\nsilence 300\n";
  const char* const answers[] = {"Gts 1 bytes=3C",
                                 "Gts 2 bytes=A5",
                                 "Ot",
                                 "Gts 3 bytes=0F",
                                 "Gts 1 bytes=81",
                                 "Bo bytes=12,34",
                                 "Gts 2 bytes=7E",
                                 "Gtit 1 words=1,2,3,4,5,6,7,8"};
  for (int i = 0; i < 16; ++i) {
    scenario += "exchange " + std::to_string(1 + i % 4) + " " + answers[i % 8] + "\n";
  }
  WriteFile(dir / "line.scn", scenario);
  const auto sim = RunTool(
      "simulate '" + (dir / "line.scn").string() + "' -o '" + (dir / "line.wav").string() + "'",
      true);
  ASSERT_EQ(sim.status, 0) << sim.out;

  auto replay = [&](const char* settings, const char* levels) {
    const auto r = RunTool("replay '" + (dir / "line.wav").string() + "' --settings '" +
                           (dir / settings).string() + "' --levels " + levels);
    EXPECT_EQ(r.status, 0);
    return ExchangeLines(r.out);
  };
  // The simulator puts the clean request side's tones at half scale and the
  // noisy answer side lower still (ScenarioGain): the switch-on levels, once
  // 0.3 and 0.5 for tones at 32000, follow them by the same factors.
  const double sigma = 32000 * std::sqrt(8000.0 / 1200 / (4 * std::pow(10.0, 1.4)));
  const double answerGain = ScenarioGain(sigma);  // 0.224, −13.0 dB
  auto levels = [&](double request, double answer) {
    return std::to_string(request * ScenarioGain(0)) + "," + std::to_string(answer * answerGain);
  };
  const auto sensitive = replay("sensitive.ini", levels(0.3, 0.5).c_str());
  ASSERT_EQ(sensitive.size(), 33u);
  EXPECT_EQ(sensitive[0], "lkInfo --- Старт приема ---");
  const std::vector<std::string> expected = {
      "lkAnswer КП=1; ГTC; Группа=1, Значение 3CH",
      "lkAnswer КП=2; ГTC; Группа=2, Значение A5H",
      "lkAnswer КП=3; ОТ; ",
      "lkAnswer КП=4; ГTC; Группа=3, Значение 0FH",
      "lkAnswer КП=1; ГTC; Группа=1, Значение 81H",
  };
  int answers0 = 0, requests = 0;
  for (size_t i = 1; i < sensitive.size(); ++i) {
    if (i % 2 == 1) {
      EXPECT_EQ(sensitive[i].rfind("lkRequest КП=" + std::to_string(1 + (i / 2) % 4) + ";", 0), 0u)
          << sensitive[i];
      ++requests;
    } else {
      EXPECT_EQ(sensitive[i].rfind("lkAnswer КП=" + std::to_string(1 + (i / 2 - 1) % 4) + ";", 0),
                0u)
          << sensitive[i];
      ++answers0;
    }
  }
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sensitive[2 + 2 * i], expected[i]);
  EXPECT_EQ(requests, 16);
  EXPECT_EQ(answers0, 16);

  // The same recording through the standard receiver: answers are lost
  // (parity errors, missing answers).
  const auto standard = replay("modem.ini", levels(0.3, 0.3).c_str());
  int answers1 = 0, problems = 0;
  for (const auto& line : standard) {
    answers1 += line.rfind("lkAnswer ", 0) == 0;
    problems += line.rfind("lkBadAnswer ", 0) == 0 || line.rfind("lkExchangeProblem ", 0) == 0;
  }
  EXPECT_LE(answers1, 14);
  EXPECT_GE(problems, 2);
}

// A mono 16-bit WAV at `rate`.
void WriteWav(const std::filesystem::path& path, const std::vector<double>& x, uint32_t rate) {
  std::vector<uint8_t> wav;
  auto put = [&wav](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) wav.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const auto data = static_cast<uint32_t>(2 * x.size());
  wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
  put(36 + data, 4);
  wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(rate, 4);
  put(2 * rate, 4);
  put(2, 2);
  put(16, 2);
  wav.insert(wav.end(), {'d', 'a', 't', 'a'});
  put(data, 4);
  for (const double v : x) put(static_cast<uint16_t>(testing::ToPcm(v)), 2);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
}

TEST(SensitiveReceiverPipeline, RecordingsAt44100And48000HzThroughTheResampler) {
  const auto dir = TestDir("sensitive_resampled");
  for (const int32_t baud : {200, 1200, 2400}) {
    const auto s = testing::SettingsForRate(baud);
    WriteFile(dir / "sensitive.ini", Sensitive(testing::SettingsIni(s)));
    const std::vector<int> bits = testing::RandomBits(150, 60 + baud, 0);
    testing::FskBurst b;
    b.Baud = baud;
    b.Freq0 = s.Freq0;
    b.Freq1 = s.Freq1;
    b.Bits = bits;
    b.Silence = 0.05;
    b.Lead = 6.0 / baud;
    b.Tail = 0.1;
    b.Amplitude = 12000;
    for (const uint32_t rate : {44100u, 48000u}) {
      SCOPED_TRACE(std::to_string(baud) + " baud at " + std::to_string(rate) + " Hz");
      WriteWav(dir / "line.wav", testing::GenerateFsk(b, rate), rate);
      const auto rx = RunTool("rx '" + (dir / "line.wav").string() + "' --settings '" +
                              (dir / "sensitive.ini").string() + "'");
      ASSERT_EQ(rx.status, 0);
      const auto lines = Lines(rx.out);
      ASSERT_EQ(lines.size(), 1u) << rx.out;
      std::string sent;
      for (const int bit : bits) sent += bit ? '1' : '0';
      EXPECT_EQ(lines[0].substr(lines[0].find('\t') + 1, sent.size()), sent);
    }
  }
}

}  // namespace
}  // namespace sorvex
