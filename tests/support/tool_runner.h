#pragma once

// Runs the built sorvex-tool and captures what it prints.

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sorvex::testing {

struct ToolResult {
  int status = -1;  // exit status; −1000 − signal when killed by one
  std::string out;
  std::string err;  // with StderrMode::Capture
};

enum class StderrMode { Discard, Merge, Capture };

// `args` is appended to the tool path as it is (quote paths yourself).
inline ToolResult RunTool(const std::string& args, StderrMode mode = StderrMode::Discard) {
  static std::atomic<int> serial{0};
  const std::filesystem::path errFile =
      std::filesystem::temp_directory_path() /
      ("sorvex_tool_stderr_" + std::to_string(getpid()) + "_" + std::to_string(serial++));
  std::string redirect = " 2>/dev/null";
  if (mode == StderrMode::Merge) redirect = " 2>&1";
  if (mode == StderrMode::Capture) redirect = " 2>'" + errFile.string() + "'";
  const std::string command = "'" + std::string(SORVEX_TOOL_PATH) + "' " + args + redirect;
  ToolResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 65536> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  if (WIFEXITED(raw)) {
    result.status = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    result.status = -1000 - WTERMSIG(raw);
  }
  if (mode == StderrMode::Capture) {
    std::ifstream in(errFile);
    std::ostringstream text;
    text << in.rdbuf();
    result.err = text.str();
    std::filesystem::remove(errFile);
  }
  return result;
}

// Kept for call sites that only want stdout merged with stderr.
inline ToolResult RunTool(const std::string& args, bool withStderr) {
  return RunTool(args, withStderr ? StderrMode::Merge : StderrMode::Discard);
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
