// The sorvex program itself: without a display it says so and exits 2; with
// one it opens its window (here on a private X server) and writes a
// complete INI section beside the executable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/tool_runner.h"

namespace sorvex {
namespace {

using testing::GetFile;
using testing::Lines;

// A child process started with an environment of its own, its stderr in
// `errFile`; killed (by its id) and reaped when the object goes.
class TChild {
 public:
  TChild(const std::vector<std::string>& args, const std::vector<std::string>& env,
         const std::string& errFile, int stdoutFd = -1) {
    // Everything the child needs is made before the fork: between fork and
    // exec only async-signal-safe calls.
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FPid = fork();
    if (FPid == 0) {
      if (stdoutFd >= 0) dup2(stdoutFd, 1);
      if (err >= 0) dup2(err, 2);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    if (err >= 0) close(err);
  }
  ~TChild() {
    if (FPid > 0 && !FReaped) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
  }
  bool Alive() {
    if (FReaped) return false;
    if (waitpid(FPid, &FStatus, WNOHANG) == FPid) FReaped = true;
    return !FReaped;
  }
  // How it ended: "exit N", "signal N", or "running".
  std::string Ended() {
    if (Alive()) return "running";
    return WIFEXITED(FStatus) ? "exit " + std::to_string(WEXITSTATUS(FStatus))
                              : "signal " + std::to_string(WTERMSIG(FStatus));
  }

 private:
  pid_t FPid = -1;
  bool FReaped = false;
  int FStatus = 0;
};

// Waits up to `seconds` for `done`.
template <typename Done>
bool WaitFor(Done done, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

std::string Shell(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return std::string(name) + "=" + (value ? value : "");
}

TEST(SorvexProgram, WithoutADisplayItSaysSoInOneLineAndExitsTwo) {
  int status = -1;
  const std::string out = Shell(
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" SORVEX_APP_PATH "' 2>&1", status);
  EXPECT_EQ(status, 2);
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 1u) << out;
  EXPECT_EQ(lines[0].rfind("sorvex: no display", 0), 0u) << out;
  // An empty DISPLAY is no display either.
  Shell("env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY= '" SORVEX_APP_PATH "' 2>&1", status);
  EXPECT_EQ(status, 2);
}

// On a private X server (Xvfb picks a free display and tells us its
// number): the window appears with its title and size, and the INI beside
// the executable holds every key of the first run.
TEST(SorvexProgram, OpensItsWindowOnAnXServerAndWritesItsKeys) {
  testing::TTempDir dir("sorvex_app");
  const std::filesystem::path program = dir.Path() / "sorvex";
  std::filesystem::copy_file(SORVEX_APP_PATH, program);

  int displayPipe[2];
  ASSERT_EQ(pipe(displayPipe), 0);
  TChild xvfb(
      {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
      {Environment("PATH")}, (dir.Path() / "xvfb.err").string(), displayPipe[1]);
  close(displayPipe[1]);
  std::string number;
  char c = 0;
  while (read(displayPipe[0], &c, 1) == 1 && c != '\n') number += c;
  close(displayPipe[0]);
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";
  const std::string display = ":" + number;

  const std::filesystem::path runtime = dir.Path() / "runtime";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  TChild app(
      {program.string()},
      {"DISPLAY=" + display, Environment("PATH"), "LANG=C.UTF-8", "HOME=" + dir.Path().string(),
       "XDG_RUNTIME_DIR=" + runtime.string(), "ASAN_OPTIONS=detect_leaks=0"},
      (dir.Path() / "sorvex.err").string());
  int status = -1;
  std::string window;
  EXPECT_TRUE(WaitFor(
      [&] {
        window = Shell("DISPLAY=" + display +
                           " xdotool search --name 'Анализ канала ТМ' getwindowgeometry 2>&1",
                       status);
        return status == 0 && window.find("Geometry: 640x480") != std::string::npos;
      },
      90))
      << window << "\nsorvex: " << app.Ended() << "\n"
      << GetFile((dir.Path() / "sorvex.err").string()) << "\nXvfb: " << xvfb.Ended() << "\n"
      << GetFile((dir.Path() / "xvfb.err").string());
  EXPECT_TRUE(app.Alive());
  const std::string ini = GetFile((dir.Path() / "Sorvex.ini").string());
  for (const char* key : {"TestData=00; ff; 55; 55;", "DefModemName=", "ScaleX=0", "GraphMarkers=1",
                          "GraphQuest=1", "GraphAnswer=1", "StatQuest=0", "SendKp=1", "SendFuncs=0",
                          "SendGroup=1", "LevelStart1=0.1", "LevelStart2=0.1", "Top=0", "Left=0",
                          "Height=480", "Width=640", "HeightOs=100", "HeightSt=100"})
    EXPECT_NE(ini.find(std::string("\n") + key + "\n"), std::string::npos) << key << "\n" << ini;
  // The two KP windows were built after it, each reading its keys.
  for (const char* key :
       {"FormKpTop=0", "FormKpLeft=0", "FormKpHeight=480", "FormKpWidth=640", "FormKpAddr=1",
        "FormTitTop=0", "FormTitLeft=0", "FormTitWidth=640", "FormTitHeight=480", "FormTitKp=1"})
    EXPECT_NE(ini.find(std::string("\n") + key + "\n"), std::string::npos) << key << "\n" << ini;
}

}  // namespace
}  // namespace sorvex
