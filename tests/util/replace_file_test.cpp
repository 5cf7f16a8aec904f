#include "util/replace_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;
using testing::GetFile;
using testing::PutFile;

size_t FilesIn(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(ReplaceFileTest, ReplacesWholeAndKeepsThePermissions) {
  testing::TTempDir dir("sorvex_replace");
  const std::string path = dir.File("out.csv");
  std::string reason;
  ASSERT_TRUE(ReplaceFile(path, "first\n", reason)) << reason;
  EXPECT_EQ(GetFile(path), "first\n");
  chmod(path.c_str(), 0600);
  ASSERT_TRUE(ReplaceFile(path, "second, longer\n", reason)) << reason;
  EXPECT_EQ(GetFile(path), "second, longer\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(FilesIn(dir.Path()), 1u);  // no temporary file left
}

TEST(ReplaceFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  testing::TTempDir dir("sorvex_replace");
  const std::string path = dir.File("out.csv");
  PutFile(path, "old\n");
  std::string reason;
  {
    // The disk "fills" after 1 KiB of the 64 KiB text.
    const testing::TFileSizeLimit limit(1024);
    EXPECT_FALSE(ReplaceFile(path, std::string(64 * 1024, 'x'), reason));
  }
  EXPECT_EQ(reason, std::strerror(EFBIG));
  EXPECT_EQ(GetFile(path), "old\n");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);

  // A folder that does not exist, and a directory in the target's place.
  EXPECT_FALSE(ReplaceFile(dir.File("missing/out.csv"), "x", reason));
  EXPECT_EQ(reason, std::strerror(ENOENT));
  fs::create_directory(dir.File("taken"));
  EXPECT_FALSE(ReplaceFile(dir.File("taken"), "x", reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_TRUE(fs::is_directory(dir.File("taken")));
  EXPECT_EQ(FilesIn(dir.Path()), 2u);
}

}  // namespace
}  // namespace sorvex
