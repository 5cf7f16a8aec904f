// Measured tones and bit rate end to end: a simulated line with one KP's
// modem off its settings, replayed with --measure through either receiver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "support/tool_runner.h"

namespace sorvex {
namespace {

using testing::Lines;
using testing::RunTool;
using testing::TestDir;
using testing::WriteFile;

struct TMLine {
  std::string side;
  int kp = 0;
  double f0 = 0, f1 = 0, rate = 0;
};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
  return fields;
}

struct TCase {
  int rate;
  int f0, f1;
  double f0Tolerance, f1Tolerance;  // Hz
  double rateTolerance;             // fraction
};

// KP 5 runs 18 Hz high and 0.9 % fast; KP 3 and the control centre as set.
// Noise at 20 dB Eb/N0 on the answer side.
TEST(Measurement, DriftedKpReadsAsDriftedWithEitherReceiver) {
  const TCase cases[] = {{200, 2540, 2760, 2.0, 2.0, 0.001}, {1200, 1300, 2100, 5.0, 5.0, 0.003}};
  for (const TCase& c : cases) {
    const auto dir = TestDir("measurement_" + std::to_string(c.rate));
    // The preset for the rate, and the same with the sensitive receiver.
    std::ifstream preset(std::string(SORVEX_PRESETS_DIR) + "/modem-" + std::to_string(c.rate) +
                         ".ini");
    std::stringstream text;
    text << preset.rdbuf();
    std::string settings = text.str();
    ASSERT_NE(settings.find("Receiver=0"), std::string::npos);
    WriteFile(dir / "modem.ini", settings);
    WriteFile(dir / "sensitive.ini",
              settings.replace(settings.find("Receiver=0"), 10, "Receiver=1"));
    WriteFile(dir / "line.scn",
              "settings modem.ini\nseed 5\nnoise 20 right\nmodem 5 tones=+18 rate=1.009\n"
              "silence 200\nexchange 5 Gtit 1 words=1,2,3\nexchange 3 Gts 1 bytes=A5\n"
              "exchange 5 Tsm bytes=1,2,3,4\nexchange 5 Gts 2 bytes=3C\n");
    const auto sim = RunTool(
        "simulate '" + (dir / "line.scn").string() + "' -o '" + (dir / "line.wav").string() + "'",
        true);
    ASSERT_EQ(sim.status, 0) << sim.out;
    for (const char* settings : {"modem.ini", "sensitive.ini"}) {
      SCOPED_TRACE(std::to_string(c.rate) + " bit/s, " + settings);
      const std::string replay = "replay '" + (dir / "line.wav").string() + "' --settings '" +
                                 (dir / settings).string() + "'";
      const auto plain = RunTool(replay);
      const auto measured = RunTool(replay + " --measure");
      ASSERT_EQ(measured.status, 0);
      // --measure only adds the M lines, each after its telegram's journal lines.
      std::string withoutM;
      std::vector<TMLine> lines;
      std::string previous;
      for (const auto& line : Lines(measured.out)) {
        if (line.rfind("M\t", 0) != 0) {
          withoutM += line + "\n";
          if (line.rfind("X\t", 0) == 0) previous = line;
          continue;
        }
        const auto f = Fields(line);
        ASSERT_EQ(f.size(), 9u) << line;
        // Valid or not (the standard receiver's free-running clock loses
        // KP 5's fast answers): lkRequest/lkBadRequest, lkAnswer/lkBadAnswer.
        EXPECT_NE(previous.find(f[1] == "request" ? "Request\t" : "Answer\t"), std::string::npos)
            << previous << " / " << line;
        lines.push_back({f[1], std::atoi(f[2].c_str()), std::strtod(f[4].c_str(), nullptr),
                         std::strtod(f[5].c_str(), nullptr), std::strtod(f[6].c_str(), nullptr)});
      }
      EXPECT_EQ(withoutM, plain.out);
      ASSERT_EQ(lines.size(), 8u);
      for (const TMLine& m : lines) {
        SCOPED_TRACE(m.side + " KP" + std::to_string(m.kp));
        const bool drifted = m.side == "answer" && m.kp == 5;
        const double offset = drifted ? 18 : 0, factor = drifted ? 1.009 : 1;
        // The clean request side is held to the tight figures whatever the rate.
        const bool clean = m.side == "request";
        EXPECT_NEAR(m.f0, c.f0 + offset, clean ? 2.0 : c.f0Tolerance);
        EXPECT_NEAR(m.f1, c.f1 + offset, clean ? 2.0 : c.f1Tolerance);
        EXPECT_NEAR(m.rate / (c.rate * factor), 1.0, c.rateTolerance);
      }
    }
  }
}

TEST(Measurement, ScenarioRefusesBadDrift) {
  const struct {
    const char* line;
    const char* reason;
  } cases[] = {
      {"modem 5 tones=abc", "line 1: bad option 'tones=abc' (a tone offset in Hz, -500..500)"},
      {"modem 5 tones=501", "line 1: bad option 'tones=501' (a tone offset in Hz, -500..500)"},
      {"modem 5 rate=1.2", "line 1: bad option 'rate=1.2' (a bit rate factor, 0.9..1.1)"},
      {"modem 0 rate=1.01", "line 1: bad KP '0'"},
      {"modem 5 7", "line 1: modem takes a KP, then tones= and rate="},
      {"modem 5 flip=3", "line 1: option 'flip' does not apply to modem"},
      {"exchange 5 Gts 1 rate=0.5", "line 1: bad option 'rate=0.5' (a bit rate factor, 0.9..1.1)"},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> frames;
    std::string error;
    EXPECT_FALSE(RunScenario(std::string(c.line) + "\n", "", frames, error)) << c.line;
    EXPECT_EQ(error, c.reason);
  }
}

}  // namespace
}  // namespace sorvex
