#include "util/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "util/config.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;

class IniTest : public ::testing::Test {
 protected:
  void Put(const std::string& text) { testing::PutFile(path, text); }
  std::string Get() const { return testing::GetFile(path); }

  testing::TTempDir temp{"sorvex_ini"};
  fs::path dir = temp.Path();
  std::string path = temp.File("test.ini");
};

TEST_F(IniTest, NamesAreCaseInsensitiveAndFirstMatchWins) {
  Put("; comment\n[General]\n  BaudRate = 600 \nbaudrate=1200\n[general]\nFreq0=1\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.Read("GENERAL", "baudrate"), "600");
  EXPECT_EQ(ini.Read("general", "Freq0"), std::nullopt);  // only the first section counts
  EXPECT_EQ(ini.Read("Missing", "x"), std::nullopt);
}

TEST_F(IniTest, QuotesAndBlanksAreStripped) {
  Put("[S]\na=\"  spaced  \"\nb=   \nc=x=y\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.Read("S", "a"), "  spaced  ");
  EXPECT_EQ(ini.Read("S", "b"), "");
  EXPECT_EQ(ini.Read("S", "c"), "x=y");
}

TEST_F(IniTest, WritePreservesEverythingElse) {
  Put("; top comment\r\n[A]\r\nKey=1\r\n; inside\r\nOther=2\r\n\r\n[B]\r\nX=3\r\n");
  TIniFile ini(path);
  ini.Write("a", "KEY", "10");  // replaced in place, spelling kept
  ini.Write("A", "New", "11");  // appended after the last key of A
  ini.Write("C", "Z", "12");    // new section at the end
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(Get(),
            "; top comment\r\n[A]\r\nKey=10\r\n; inside\r\nOther=2\r\nNew=11\r\n\r\n[B]\r\nX=3\r\n"
            "\r\n[C]\r\nZ=12\r\n");
}

TEST_F(IniTest, FirstWriteCreatesFileAndDirectory) {
  const std::string nested = (dir / "sub" / "deeper" / "x.ini").string();
  EXPECT_TRUE(ProfileWrite(nested, "System", "Key", "v"));
  EXPECT_EQ(ProfileRead(nested, "system", "key"), "v");
}

TEST_F(IniTest, FailedWriteReportsFalseAndLeavesFileIntact) {
  Put("[S]\nk=old\n");
  chmod(dir.c_str(), 0500);
  const bool ok = ProfileWrite(path, "S", "k", "new");
  chmod(dir.c_str(), 0700);
  if (geteuid() != 0) {  // root ignores directory permissions
    EXPECT_FALSE(ok);
    EXPECT_EQ(Get(), "[S]\nk=old\n");
  }
  // A path whose parent is a file can never be written, root or not.
  EXPECT_FALSE(ProfileWrite(path + "/below", "S", "k", "v"));
  EXPECT_EQ(ProfileRead(path, "S", "k"), ok ? "new" : "old");
  for (const auto& entry : fs::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().filename().string().find(".XXXXXX"), std::string::npos);
    EXPECT_EQ(entry.path().filename().string().find("test.ini."), std::string::npos);
  }
}

// A file that is there but not read (too long, a FIFO) reads as empty and
// is never replaced by the little this object then holds.
TEST_F(IniTest, WhatIsNotReadIsNotOverwritten) {
  const std::string huge = "[S]\nk=old\n" + std::string(1 << 20, ';');
  Put(huge);
  EXPECT_FALSE(ProfileWrite(path, "S", "k", "new"));
  EXPECT_EQ(Get(), huge);
  const std::string fifo = temp.File("fifo.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ProfileRead(fifo, "S", "k"), std::nullopt);  // at once: no writer is waited for
  EXPECT_FALSE(ProfileWrite(fifo, "S", "k", "new"));
  struct stat st {};
  EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

TEST_F(IniTest, ValuesCannotInjectLines) {
  TIniFile ini(path);
  ini.Write("S", "k", "a\n[Evil]\nx=1");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ProfileRead(path, "Evil", "x"), std::nullopt);
}

TEST_F(IniTest, BinaryGarbageLoadsWithoutHarm) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  Put(junk);
  TIniFile ini(path);
  (void)ini.Read("GENERAL", "Baudrate");
  ini.Write("GENERAL", "Baudrate", "200");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ProfileRead(path, "GENERAL", "Baudrate"), "200");
}

TEST(ParseLeading, IntegersAsThePlatformReadsThem) {
  EXPECT_EQ(ParseLeadingInt("2540abc"), 2540);
  EXPECT_EQ(ParseLeadingInt("abc"), 0);
  EXPECT_EQ(ParseLeadingInt(""), 0);
  EXPECT_EQ(ParseLeadingInt("  -15"), -15);
  EXPECT_EQ(ParseLeadingInt("+7"), 7);
  EXPECT_EQ(ParseLeadingInt("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), INT32_MIN);
  EXPECT_EQ(ParseLeadingInt("-2147483648"), INT32_MIN);
}

TEST(ParseLeading, FloatsAreDecimalAndFinite) {
  EXPECT_DOUBLE_EQ(ParseLeadingFloat("0.25"), 0.25);
  EXPECT_DOUBLE_EQ(ParseLeadingFloat(" 1e-3xyz"), 0.001);
  EXPECT_DOUBLE_EQ(ParseLeadingFloat("+.5"), 0.5);
  EXPECT_DOUBLE_EQ(ParseLeadingFloat("-2"), -2.0);
  EXPECT_EQ(ParseLeadingFloat("inf"), 0.0);
  EXPECT_EQ(ParseLeadingFloat("nan"), 0.0);
  EXPECT_EQ(ParseLeadingFloat("0x10"), 0.0);
  EXPECT_EQ(ParseLeadingFloat("1e999"), DBL_MAX);
  EXPECT_EQ(ParseLeadingFloat("-1e999"), -DBL_MAX);
  EXPECT_EQ(ParseLeadingFloat("1e-999"), 0.0);
}

using MainIniTest = IniTest;

TEST_F(MainIniTest, AbsentKeysWriteTheirDefaultsBack) {
  EXPECT_EQ(IniReadString(path, "TestData", "00; ff; 55; 55;"), "00; ff; 55; 55;");
  EXPECT_EQ(IniReadInt(path, "Height", 480), 480);
  EXPECT_DOUBLE_EQ(IniReadFloat(path, "LevelStart1", 0.1), 0.1);
  EXPECT_EQ(ProfileRead(path, "System", "TestData"), "00; ff; 55; 55;");
  EXPECT_EQ(ProfileRead(path, "System", "Height"), "480");
  EXPECT_EQ(ProfileRead(path, "System", "LevelStart1"), "0.1");
}

TEST_F(MainIniTest, EmptyValuesCountAsAbsent) {
  Put("[System]\nTestData=\nScaleX=\n");
  EXPECT_EQ(IniReadString(path, "TestData", "00; ff;"), "00; ff;");
  EXPECT_EQ(IniReadInt(path, "ScaleX", 3), 3);
  EXPECT_EQ(ProfileRead(path, "System", "TestData"), "00; ff;");
}

TEST_F(MainIniTest, NumbersRoundTripInTheirFormats) {
  EXPECT_TRUE(IniWriteFloat(path, "LevelStart1", 0.25));
  EXPECT_EQ(ProfileRead(path, "System", "LevelStart1"), "0.25");
  EXPECT_DOUBLE_EQ(IniReadFloat(path, "LevelStart1", 0.1), 0.25);
  EXPECT_TRUE(IniWriteFloat(path, "X", 1.0 / 3.0));
  EXPECT_EQ(ProfileRead(path, "System", "X"), "0.333333");  // six significant digits
  EXPECT_TRUE(IniWriteInt(path, "Top", -20));
  EXPECT_EQ(IniReadInt(path, "Top", 0), -20);
  Put("[System]\nTop=12px\nLeft=px\n");
  EXPECT_EQ(IniReadInt(path, "Top", 0), 12);
  EXPECT_EQ(IniReadInt(path, "Left", 5), 0);
}

TEST_F(MainIniTest, StringsAreClippedToTheReadBuffer) {
  const std::string longText(2000, 'a');
  EXPECT_TRUE(IniWriteString(path, "TestData", longText));
  EXPECT_EQ(IniReadString(path, "TestData", "x").size(), 1022u);
  // A clip never splits a two-byte UTF-8 character.
  std::string cyrillic;
  for (int i = 0; i < 600; ++i) cyrillic += "ж";
  EXPECT_TRUE(IniWriteString(path, "TestData", cyrillic));
  EXPECT_EQ(IniReadString(path, "TestData", "x").size(), 1022u);
  EXPECT_TRUE(IniWriteString(path, "TestData", "a" + cyrillic));
  EXPECT_EQ(IniReadString(path, "TestData", "x").size(), 1021u);
}

TEST_F(MainIniTest, IntListFormatAndParse) {
  const int32_t widths[] = {35, 216, 64};
  EXPECT_TRUE(IniWriteIntList(path, "StatisticGrid", widths, 3));
  EXPECT_EQ(ProfileRead(path, "System", "StatisticGrid"), "35; 216; 64;");
  std::vector<int32_t> read;
  EXPECT_EQ(IniReadIntList(path, "StatisticGrid", read), 3);
  EXPECT_EQ(read, std::vector<int32_t>({35, 216, 64}));

  EXPECT_TRUE(IniWriteIntList(path, "Empty", widths, 0));
  EXPECT_EQ(ProfileRead(path, "System", "Empty"), "");
  EXPECT_EQ(IniReadIntList(path, "Empty", read), 0);
  EXPECT_EQ(IniReadIntList(path, "Absent", read), 0);
  EXPECT_EQ(ProfileRead(path, "System", "Absent"), std::nullopt);  // nothing written
}

TEST_F(MainIniTest, GridColumnsRoundTripIntoTheLeadingColumns) {
  std::vector<int32_t> widths = {35, 216, 64};
  EXPECT_TRUE(SaveGridColumns(path, "StatisticGrid", widths));
  EXPECT_EQ(ProfileRead(path, "System", "StatisticGrid"), "35; 216; 64;");
  // Ten columns: the first three take the stored widths, the rest keep theirs.
  std::vector<int32_t> grid(10, 50);
  EXPECT_EQ(LoadGridColumns(path, "StatisticGrid", grid), 3);
  EXPECT_EQ(grid, std::vector<int32_t>({35, 216, 64, 50, 50, 50, 50, 50, 50, 50}));
  // More stored widths than columns: the surplus is ignored.
  std::vector<int32_t> two = {1, 2};
  EXPECT_EQ(LoadGridColumns(path, "StatisticGrid", two), 2);
  EXPECT_EQ(two, std::vector<int32_t>({35, 216}));
  // An absent key changes nothing and writes nothing.
  EXPECT_EQ(LoadGridColumns(path, "NoGrid", grid), 0);
  EXPECT_EQ(grid[0], 35);
  EXPECT_EQ(ProfileRead(path, "System", "NoGrid"), std::nullopt);
}

// The file is whatever the caller passes: two main INI files side by side
// (a window and a test, two test fixtures) never see each other's keys.
TEST_F(MainIniTest, EachCallUsesTheFileItIsGiven) {
  const std::string other = temp.File("other.ini");
  EXPECT_TRUE(IniWriteInt(path, "Top", 7));
  EXPECT_EQ(IniReadInt(other, "Top", 3), 3);  // absent there: default written there
  EXPECT_EQ(IniReadInt(path, "Top", 0), 7);
  EXPECT_EQ(ProfileRead(other, "System", "Top"), "3");
  EXPECT_EQ(ProfileRead(path, "System", "Top"), "7");
}

TEST(IniIntList, ParserStopsWhereTheFormatEnds) {
  EXPECT_EQ(ParseIniIntList("1;2;3", 155), std::vector<int32_t>({1, 2, 3}));
  EXPECT_EQ(ParseIniIntList("1; 2 ;3;", 155), std::vector<int32_t>({1, 2}));
  EXPECT_EQ(ParseIniIntList("x;1;", 155), std::vector<int32_t>());
  EXPECT_EQ(ParseIniIntList("7;;8;", 155), std::vector<int32_t>({7}));
  std::string many;
  for (int i = 0; i < 300; ++i) many += std::to_string(i) + ";";
  const auto values = ParseIniIntList(many, 155);
  ASSERT_EQ(values.size(), 155u);  // surplus values are ignored
  EXPECT_EQ(values.back(), 154);
}

TEST(IniIntList, WriterStopsNearAThousandCharacters) {
  std::vector<int32_t> values(400, 123456);
  const std::string text = FormatIniIntList(values.data(), static_cast<int>(values.size()));
  EXPECT_GE(text.size(), 1000u - 8);
  EXPECT_LT(text.size(), 1010u);
  EXPECT_EQ(text.back(), ';');
}

TEST(IniLocation, UnwritableDirectoryFallsBackToXdg) {
  const fs::path base = fs::temp_directory_path() / ("sorvex_xdg_" + std::to_string(getpid()));
  setenv("XDG_CONFIG_HOME", base.c_str(), 1);
  EXPECT_EQ(ChooseIniFileName(base.string() + "/does/not/exist"),
            base.string() + "/sorvex/Sorvex.ini");
  EXPECT_EQ(ChooseIniFileName(fs::temp_directory_path().string()),
            fs::temp_directory_path().string() + "/Sorvex.ini");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace sorvex
