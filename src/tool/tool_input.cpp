#include "tool/tool_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "modem/settings_file_check.h"
#include "tool/commands.h"
#include "util/str_format.h"

namespace sorvex::tool {
namespace {

std::string Number(double v) {
  return StrFormat("%g", v);
}

// The whole of `text` as a double; false when anything is left over.
bool ParseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = StrToDouble(text.c_str(), &end);
  return *end == '\0';
}

}  // namespace

int Complain(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "sorvex-tool %s: %s\n", command.c_str(), message.c_str());
  return kExitUsage;
}

void Warn(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "sorvex-tool %s: warning: %s\n", command.c_str(), message.c_str());
}

bool CheckSettings(const std::string& command, const std::string& path) {
  if (path.empty()) return true;
  const TSettingsFileCheck check = CheckSettingsFile(path);
  if (!check.Readable) {
    Complain(command, check.Error);
    return false;
  }
  for (const std::string& w : check.Warnings) Warn(command, w);
  if (check.KnownKeys == 0) {
    Warn(command, "'" + path +
                      "' holds no modem setting (no key of [GENERAL] or [FILTERS]); the defaults "
                      "are used");
  }
  return true;
}

CLI::Validator FiniteRange(double min, double max) {
  return CLI::Validator(
      [min, max](std::string& text) -> std::string {
        double v = 0;
        if (!ParseDouble(text, v)) return "'" + text + "' is not a number";
        if (!std::isfinite(v)) return "'" + text + "' is not a finite number";
        if (v < min || v > max) {
          return "'" + text + "' is outside " + Number(min) + ".." + Number(max);
        }
        return {};
      },
      "NUMBER in " + Number(min) + ".." + Number(max));
}

CLI::Validator PositiveUpTo(double max) {
  return CLI::Validator(
      [max](std::string& text) -> std::string {
        double v = 0;
        if (!ParseDouble(text, v)) return "'" + text + "' is not a number";
        if (!std::isfinite(v)) return "'" + text + "' is not a finite number";
        if (!(v > 0) || v > max) {
          return "'" + text + "' is not above 0 and at most " + Number(max);
        }
        return {};
      },
      "NUMBER above 0, at most " + Number(max));
}

CLI::Option* AddChannelOption(CLI::App* cmd, int& channel, const std::string& help) {
  return cmd->add_option("--channel", channel, help + " (0 or left, 1 or right)")
      ->transform(CLI::Validator(
          [](std::string& text) -> std::string {
            if (text == "left" || text == "0") {
              text = "0";
            } else if (text == "right" || text == "1") {
              text = "1";
            } else {
              return "'" + text + "' is not 0, 1, left or right";
            }
            return {};
          },
          "0|1|left|right"))
      ->capture_default_str();
}

bool CheckWritable(const std::string& path, std::string& error) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = "cannot write '" + path + "': it is a directory";
    return false;
  }
  std::string scratch = path + ".tmp.XXXXXX";
  std::vector<char> name(scratch.begin(), scratch.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  close(fd);
  unlink(name.data());
  return true;
}

}  // namespace sorvex::tool
