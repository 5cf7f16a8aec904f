// Where an installed program keeps its INI: per user, even when it could
// write beside itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "util/config.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;

TEST(IniLocation, AnInstalledProgramKeepsItsIniInTheUsersConfigDirectory) {
  const fs::path base = fs::temp_directory_path() / ("sorvex_prefix_" + std::to_string(getpid()));
  fs::remove_all(base);
  fs::create_directories(base / "bin");
  setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
  // A build tree: writable, no desktop entry beside it.
  EXPECT_EQ(ChooseIniFileName((base / "bin").string()), (base / "bin").string() + "/Sorvex.ini");
  fs::create_directories(base / "share" / "applications");
  std::ofstream(base / "share" / "applications" / "sorvex.desktop") << "[Desktop Entry]\n";
  EXPECT_EQ(ChooseIniFileName((base / "bin").string()),
            (base / "config").string() + "/sorvex/Sorvex.ini");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", base.c_str(), 1);
  EXPECT_EQ(ChooseIniFileName((base / "bin").string()),
            base.string() + "/.config/sorvex/Sorvex.ini");
  fs::remove_all(base);
}

}  // namespace
}  // namespace sorvex
