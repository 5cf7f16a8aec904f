// Simulated line → sorvex-tool simulate → sorvex-tool replay → journal lines.
#include <gtest/gtest.h>

#include <cmath>
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

const char* const kModem1200 =
    "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\nSmoothing_Freq1=1500\n";

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

class ReplayPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = TestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    WriteFile(dir / "modem.ini", kModem1200);
  }
  // Simulates `scenario` and replays it; returns replay's stdout.
  std::string SimulateAndReplay(const std::string& scenario, const std::string& extra = "") {
    WriteFile(dir / "line.scn", "settings modem.ini\n" + scenario);
    const auto sim = RunTool(
        "simulate '" + (dir / "line.scn").string() + "' -o '" + (dir / "line.wav").string() + "'",
        true);
    EXPECT_EQ(sim.status, 0) << sim.out;
    const auto replay = RunTool("replay '" + (dir / "line.wav").string() + "' --settings '" +
                                (dir / "modem.ini").string() + "' " + extra);
    EXPECT_EQ(replay.status, 0);
    return replay.out;
  }
  std::filesystem::path dir;
};

TEST_F(ReplayPipeline, ExchangesFaultsAndMissingAnswersGiveTheirJournalLines) {
  const std::string out = SimulateAndReplay(
      "silence 200\n"
      "exchange 3 Gts 1 bytes=A5\n"
      "exchange 5 Gts 2 drop\n"
      "exchange 3 Gts 1 bytes=0F flip=20\n"
      "exchange 3 Ot kp=4\n");
  const std::vector<std::string> expected = {
      "lkInfo --- Старт приема ---",
      "lkRequest КП=3; ГTC; Группа=1",
      "lkAnswer КП=3; ГTC; Группа=1, Значение A5H",
      "lkRequest КП=5; ГTC; Группа=2",
      "lkExchangeProblem Не получен ответ от КП5. Ожидание приличного уровня.",
      "lkRequest КП=3; ГTC; Группа=1",
      "lkBadAnswer По запросу на КП3: КП=3; Ошибка паритета.",
      "lkExchangeProblem Повторный запрос КП3. Ожидание приличного уровня.",
      "lkRequest КП=3; ОТ; ",
      "lkExchangeProblem Ответ не в контексе запроса. Запрошен КП3. Ответ от КП4.",
      "lkAnswer КП=4; ОТ; ",
  };
  EXPECT_EQ(ExchangeLines(out), expected);
  // Statistics: two channels for each of KPs 3, 4 and 5, in KP order.
  std::vector<std::string> stats;
  for (const auto& line : Lines(out))
    if (line.rfind("S\t", 0) == 0) stats.push_back(line.substr(0, line.find('\t', 4)));
  EXPECT_EQ(stats, (std::vector<std::string>{"S\t0\t3", "S\t1\t3", "S\t0\t4", "S\t1\t4", "S\t0\t5",
                                             "S\t1\t5"}));
}

TEST_F(ReplayPipeline, NoisyLineStillPairsEveryExchange) {
  // Noise on the answer side only: left-channel noise above the cross-talk
  // gate's threshold would silence every answer.
  std::string scenario = "seed 11\nnoise 20 right\nsilence 200\n";
  for (int i = 0; i < 6; ++i)
    scenario += "exchange " + std::to_string(1 + i % 3) + " Gts 1 bytes=3C\n";
  // Switch-on levels of 0.3 for tones at 32000, scaled as the simulator
  // scales each side: the clean request side by one half, the noisy answer
  // side by ScenarioGain (0.311, −10.1 dB).
  const double sigma = 32000 * std::sqrt(8000.0 / 1200 / (4 * std::pow(10.0, 2.0)));
  const std::string levels =
      std::to_string(0.3 * ScenarioGain(0)) + "," + std::to_string(0.3 * ScenarioGain(sigma));
  const auto lines = ExchangeLines(SimulateAndReplay(scenario, "--levels " + levels));
  ASSERT_EQ(lines.size(), 13u);
  for (int i = 0; i < 6; ++i) {
    const std::string kp = std::to_string(1 + i % 3);
    EXPECT_EQ(lines[static_cast<size_t>(1 + 2 * i)], "lkRequest КП=" + kp + "; ГTC; Группа=1");
    EXPECT_EQ(lines[static_cast<size_t>(2 + 2 * i)],
              "lkAnswer КП=" + kp + "; ГTC; Группа=1, Значение 3CH");
  }
}

TEST_F(ReplayPipeline, SameRecordingSameOutputByteForByte) {
  const std::string first = SimulateAndReplay("seed 5\nnoise 20\nexchange 2 Gtit 1 words=1,2,3\n",
                                              "--start '2026-12-08 14:05:09.045' --levels 0.2,0.2");
  const auto again = RunTool("replay '" + (dir / "line.wav").string() + "' --settings '" +
                             (dir / "modem.ini").string() +
                             "' --start '2026-12-08 14:05:09.045' --levels 0.2,0.2");
  EXPECT_EQ(first, again.out);
  EXPECT_NE(first.find("\t8/12/26 14:05:09:045\t--- Старт приема ---"), std::string::npos);
}

TEST_F(ReplayPipeline, PollingWritesTheTransmittedRequests) {
  WriteFile(dir / "line.scn", "settings modem.ini\nsilence 1000\n");
  ASSERT_EQ(RunTool("simulate '" + (dir / "line.scn").string() + "' -o '" +
                    (dir / "quiet.wav").string() + "'")
                .status,
            0);
  const auto replay = RunTool("replay '" + (dir / "quiet.wav").string() + "' --settings '" +
                              (dir / "modem.ini").string() + "' --poll 3,90,2 --out '" +
                              (dir / "sent.wav").string() + "'");
  ASSERT_EQ(replay.status, 0);
  const auto lines = ExchangeLines(replay.out);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "lkRequest Запрос на КП3; Функция  ЗГТС, Группа=2.");
  // At 1200 baud a 45-bit request waits 37 + 266 ms: the KP stays silent, so
  // time-outs follow each request.
  EXPECT_EQ(lines[3], "lkExchangeProblem Тайм-аут ожидания ответа от КП3.");
  // What the device sent decodes back to the same request.
  const auto rx = RunTool("rx '" + (dir / "sent.wav").string() + "' --settings '" +
                          (dir / "modem.ini").string() + "' --channel 0");
  ASSERT_EQ(rx.status, 0);
  const auto telegrams = Lines(rx.out);
  ASSERT_FALSE(telegrams.empty());
  const std::string bits = telegrams[0].substr(telegrams[0].find('\t') + 1);
  const auto decoded = RunTool("decode --request " + bits.substr(0, 36));
  EXPECT_EQ(decoded.status, 0) << decoded.out;
  EXPECT_EQ(decoded.out.rfind("ok\t3\t90\t36\t", 0), 0u) << decoded.out;
}

TEST_F(ReplayPipeline, BadInputExitsTwoWithAMessage) {
  WriteFile(dir / "junk.wav", "this is not a sound file");
  const auto replay = RunTool("replay '" + (dir / "junk.wav").string() + "'", true);
  EXPECT_EQ(replay.status, 2);
  EXPECT_NE(replay.out.find("sorvex-tool replay:"), std::string::npos);
  EXPECT_EQ(RunTool("replay '" + (dir / "missing.wav").string() + "'").status, 2);
  WriteFile(dir / "bad.scn", "exchange 3 Gts\nfrobnicate 4\n");
  const auto sim = RunTool(
      "simulate '" + (dir / "bad.scn").string() + "' -o '" + (dir / "x.wav").string() + "'", true);
  EXPECT_EQ(sim.status, 2);
  EXPECT_NE(sim.out.find("bad.scn:2: unknown command 'frobnicate'"), std::string::npos) << sim.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
  EXPECT_EQ(RunTool("replay x.wav --levels 2,0.1").status, 2);
  EXPECT_EQ(RunTool("replay x.wav --poll 0,90,1").status, 2);
  EXPECT_EQ(RunTool("replay x.wav --start 2026-02-31").status, 2);
}

}  // namespace
}  // namespace sorvex
