// sorvex-tool response against independent reference designs (scipy.signal),
// tables in tests/data/filters made by make_reference.py beside them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "modem/modem.h"
#include "support/tool_runner.h"
#include "util/ini_file.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;

const std::string kDataDir = std::string(SORVEX_TEST_DATA_DIR) + "/filters";

using testing::RunTool;

std::string Quote(const std::string& path) {
  return "'" + path + "'";
}

// Parses the 4000 "f<TAB>value" lines; fails the test on any deviation.
std::vector<double> ParseResponse(const std::string& out) {
  std::vector<double> values;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos) << line;
    if (tab == std::string::npos) break;
    EXPECT_EQ(line.substr(0, tab), std::to_string(values.size()));
    char* end = nullptr;
    values.push_back(std::strtod(line.c_str() + tab + 1, &end));
    EXPECT_EQ(*end, '\0') << line;
  }
  EXPECT_EQ(values.size(), 4000u);
  values.resize(4000);
  return values;
}

std::vector<double> Response(const std::string& ini, const std::string& filter) {
  const testing::ToolResult r = RunTool("response " + Quote(ini) + " --filter " + filter);
  EXPECT_EQ(r.status, 0) << ini;
  return ParseResponse(r.out);
}

// NAME.tsv: f -> (band |H|, smoothing |H|).
std::map<int, std::pair<double, double>> ReadTable(const std::string& path) {
  std::map<int, std::pair<double, double>> table;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int f;
    double band, smoothing;
    fields >> f >> band >> smoothing;
    table[f] = {band, smoothing};
  }
  return table;
}

std::vector<std::string> SettingsFiles() {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(kDataDir)) {
    if (entry.path().extension() == ".ini") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The tolerance: |tool − reference| ≤ 1e-9 · max(|reference|, 1e-3), that is
// relative 1e-9 wherever |H| ≥ 1e-3 and absolute 1e-12 in the deep stop band.
// (The largest deviation seen is 1.3e-10 relative, at a 3990 Hz cut-off.)
constexpr double kTolerance = 1e-9;

TEST(ResponseToolTest, EqualsTheScipyReferenceForEverySettingsFile) {
  const std::vector<std::string> files = SettingsFiles();
  ASSERT_EQ(files.size(), 61u);
  int compared = 0;
  for (const std::string& ini : files) {
    const std::string tsv = ini.substr(0, ini.size() - 4) + ".tsv";
    const auto table = ReadTable(tsv);
    ASSERT_GE(table.size(), 400u) << tsv;
    const std::vector<double> band = Response(ini, "band");
    const std::vector<double> smoothing = Response(ini, "smoothing");
    if (HasFailure()) return;
    for (const auto& [f, ref] : table) {
      ASSERT_GE(f, 0);
      ASSERT_LT(f, 4000);
      EXPECT_NEAR(band[static_cast<size_t>(f)], ref.first, kTolerance * std::max(ref.first, 1e-3))
          << fs::path(ini).filename() << " band at " << f << " Hz";
      EXPECT_NEAR(smoothing[static_cast<size_t>(f)], ref.second,
                  kTolerance * std::max(ref.second, 1e-3))
          << fs::path(ini).filename() << " smoothing at " << f << " Hz";
      compared += 2;
    }
  }
  EXPECT_GT(compared, 50000);
}

// The reference files cover every order of both slots, both kinds, odd and
// even, and every whole ripple 1..3 dB.
TEST(ResponseToolTest, ReferenceFilesCoverEveryOrderKindAndRipple) {
  std::set<std::tuple<int, int, int>> band, smoothing;  // (kind, order, ripple or 0)
  for (const std::string& path : SettingsFiles()) {
    const TIniFile ini(path);
    auto get = [&](const std::string& key) { return ProfileReadInt(ini, "FILTERS", key, -1); };
    const int bk = get("Band_Kind"), sk = get("Smoothing_Kind");
    band.insert({bk, get("Band_Order"), bk == 1 ? get("Band_Ripp") : 0});
    smoothing.insert({sk, get("Smoothing_Order"), sk == 1 ? get("Smoothing_Ripp") : 0});
  }
  for (int order = 1; order <= 12; ++order) {
    EXPECT_TRUE(band.count({0, order, 0})) << "Butterworth band-pass order " << order;
    for (int ripple = 1; ripple <= 3; ++ripple) {
      EXPECT_TRUE(band.count({1, order, ripple}))
          << "Chebyshev band-pass " << order << "/" << ripple;
    }
  }
  for (int order = 1; order <= 25; ++order) {
    EXPECT_TRUE(smoothing.count({0, order, 0})) << "Butterworth low-pass order " << order;
    bool chebyshev = false;
    for (int ripple = 1; ripple <= 3; ++ripple)
      chebyshev |= smoothing.count({1, order, ripple}) > 0;
    EXPECT_TRUE(chebyshev) << "Chebyshev low-pass order " << order;
  }
  for (int ripple = 1; ripple <= 3; ++ripple) {
    for (int parity = 0; parity < 2; ++parity) {
      bool found = false;
      for (int order = 1 + parity; order <= 25; order += 2) {
        found |= smoothing.count({1, order, ripple}) > 0;
      }
      EXPECT_TRUE(found) << "Chebyshev low-pass ripple " << ripple << " parity " << parity;
    }
  }
}

TEST(ResponseToolTest, PrintsTheModemsResponseExactlyAndBandByDefault) {
  const std::string ini = kDataDir + "/cheby_07.ini";
  const TModem modem(ini, 1024);
  std::vector<double> expected(4000);
  modem.GetFilterResponse(TModem::kBandSlot, expected.data());
  const testing::ToolResult r = RunTool("response " + Quote(ini));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(ParseResponse(r.out), expected);  // %.17g round-trips every double
  EXPECT_EQ(r.out, RunTool("response " + Quote(ini) + " --filter band").out);
  modem.GetFilterResponse(TModem::kSmoothingSlot, expected.data());
  EXPECT_EQ(Response(ini, "smoothing"), expected);
}

TEST(ResponseToolTest, NoFileGivesTheDefaultsAndAMissingOneIsRefused) {
  const std::string absent = (fs::temp_directory_path() / "sorvex_no_such_modem.ini").string();
  fs::remove(absent);
  EXPECT_EQ(RunTool("response " + Quote(absent)).status, 2);
  EXPECT_FALSE(fs::exists(absent));
  const std::vector<double> band = Response("", "band");
  const std::vector<double> smoothing = Response("", "smoothing");
  EXPECT_EQ(band[0], 0.0);
  EXPECT_NEAR(band[500], std::sqrt(0.5), 1e-12);  // Butterworth order 2, 500..3000 Hz
  EXPECT_NEAR(band[3000], std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(smoothing[0], 1.0, 1e-15);  // Butterworth order 2 low-pass at 500 Hz
  EXPECT_NEAR(smoothing[500], 0.70710678118654752, 1e-12);
}

TEST(ResponseToolTest, DbIsTwentyLog10WithAFloorOfMinus300) {
  const std::string ini = kDataDir + "/butter_03.ini";
  const std::vector<double> linear = Response(ini, "band");
  const testing::ToolResult r = RunTool("response " + Quote(ini) + " --filter band --db");
  ASSERT_EQ(r.status, 0);
  const std::vector<double> db = ParseResponse(r.out);
  EXPECT_EQ(linear[0], 0.0);
  EXPECT_EQ(db[0], -300.0);
  for (size_t f = 0; f < 4000; ++f) {
    const double expected = 20.0 * std::log10(std::max(linear[f], 1e-15));
    ASSERT_NEAR(db[f], expected, 1e-12) << f;
    ASSERT_TRUE(std::isfinite(db[f]));
  }
  const std::vector<double> smoothingDb =
      ParseResponse(RunTool("response " + Quote(ini) + " --db --filter smoothing").out);
  EXPECT_NEAR(smoothingDb[0], 0.0, 1e-12);
}

TEST(ResponseToolTest, BadUsageExitsWithTwo) {
  EXPECT_EQ(RunTool("response").status, 2);
  EXPECT_EQ(RunTool("response x.ini --filter highpass").status, 2);
  EXPECT_EQ(RunTool("response x.ini --bogus").status, 2);
  EXPECT_EQ(RunTool("response --help").status, 0);
}

}  // namespace
}  // namespace sorvex
