#pragma once

// Runs the built sorvex-tool and captures what it prints.

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sorvex::testing {

struct ToolResult {
  int status = -1;
  std::string out;
};

// `args` is appended to the tool path as it is (quote paths yourself);
// stderr is discarded unless `withStderr`.
inline ToolResult RunTool(const std::string& args, bool withStderr = false) {
  const std::string command =
      std::string(SORVEX_TOOL_PATH) + " " + args + (withStderr ? " 2>&1" : " 2>/dev/null");
  ToolResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A fresh directory for one test's files.
inline std::filesystem::path TestDir(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("sorvex_e2e_" + std::to_string(getpid()) + "_" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace sorvex::testing
