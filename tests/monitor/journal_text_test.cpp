// The journal transcript: the line format sorvex-tool prints, appending to
// an existing file, and write failures that are reported and survived.
#include "monitor/journal_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "util/date_time.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;

TLogEntry Entry(uint8_t log, uint8_t kind, const std::string& text) {
  TLogEntry e;
  e.logIndex = log;
  e.kind = kind;
  e.time = EncodeDateTime({2026, 12, 7, 14, 5, 9, 45});
  e.text = text;
  return e;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path Dir() {
  const fs::path dir =
      fs::temp_directory_path() / ("sorvex_journal_text_" + std::to_string(getpid()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(JournalLine, JournalKindStampAndTextTabSeparated) {
  const std::string stamp = FormatTimeStamp(Entry(0, lkInfo, "").time);
  EXPECT_EQ(JournalLine(Entry(1, lkAnswer, "КП=3; ГTC; Группа=1")),
            "X\tlkAnswer\t" + stamp + "\tКП=3; ГTC; Группа=1");
  EXPECT_EQ(JournalLine(Entry(0, lkExchangeProblem, "a\tb")),
            "E\tlkExchangeProblem\t" + stamp + "\ta\tb");
  // Any journal index but 0 is the exchange journal, as the monitor reads it.
  EXPECT_EQ(JournalLine(Entry(7, 99, "")).substr(0, 6), "X\tlk?\t");
}

TEST(JournalFile, AppendsToWhatIsThereOneWholeLineAtATime) {
  const fs::path dir = Dir();
  const fs::path file = dir / "log.txt";
  std::ofstream(file) << "earlier run\n";
  TJournalFile journal;
  ASSERT_TRUE(journal.Open(file.string()));
  EXPECT_TRUE(journal.Write(Entry(1, lkRequest, "первая")));
  // On disk at once, with nothing held back in a buffer.
  EXPECT_EQ(Read(file), "earlier run\n" + JournalLine(Entry(1, lkRequest, "первая")) + "\n");
  EXPECT_TRUE(journal.Write(Entry(0, lkInfo, "вторая")));
  journal.Close();
  EXPECT_EQ(Read(file), "earlier run\n" + JournalLine(Entry(1, lkRequest, "первая")) + "\n" +
                            JournalLine(Entry(0, lkInfo, "вторая")) + "\n");
  EXPECT_EQ(journal.LostLines(), 0);
  EXPECT_EQ(journal.Error(), "");
  fs::remove_all(dir);
}

TEST(JournalFile, WithoutANameNothingIsWrittenAndNothingFails) {
  TJournalFile journal;
  EXPECT_TRUE(journal.Open(""));
  EXPECT_FALSE(journal.IsOpen());
  EXPECT_TRUE(journal.Write(Entry(1, lkRequest, "x")));
  EXPECT_EQ(journal.LostLines(), 0);
}

TEST(JournalFile, AFullDiskIsReportedCountedAndSurvived) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TJournalFile journal;
  ASSERT_TRUE(journal.Open("/dev/full"));
  EXPECT_FALSE(journal.Write(Entry(1, lkRequest, "a")));
  EXPECT_FALSE(journal.Write(Entry(1, lkRequest, "b")));
  EXPECT_EQ(journal.LostLines(), 2);
  EXPECT_NE(journal.Error().find("space"), std::string::npos) << journal.Error();
}

TEST(JournalFile, AFolderThatAppearsLaterIsWrittenFromThenOn) {
  const fs::path dir = Dir();
  const fs::path file = dir / "later" / "log.txt";
  TJournalFile journal;
  EXPECT_FALSE(journal.Open(file.string()));
  EXPECT_FALSE(journal.Error().empty());
  EXPECT_EQ(journal.FileName(), file.string());  // kept: tried again per line
  EXPECT_FALSE(journal.Write(Entry(1, lkRequest, "lost")));
  EXPECT_EQ(journal.LostLines(), 1);
  fs::create_directories(file.parent_path());
  EXPECT_TRUE(journal.Write(Entry(1, lkRequest, "kept")));
  EXPECT_EQ(journal.Error(), "");
  EXPECT_EQ(journal.LostLines(), 1);
  EXPECT_EQ(Read(file), JournalLine(Entry(1, lkRequest, "kept")) + "\n");
  // Reopening under a new name starts the count afresh.
  EXPECT_TRUE(journal.Open((dir / "other.txt").string()));
  EXPECT_EQ(journal.LostLines(), 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace sorvex
