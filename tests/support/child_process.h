#pragma once

// Child processes for end-to-end tests: a program with an environment of
// its own, a private X server, waiting and shell helpers.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace sorvex::testing {

// A child process started with an environment of its own, its stderr (and
// its stdout unless `stdoutFd` names where) in `errFile`; killed (by its id)
// and reaped when the object goes. Nothing of the test's own output is
// inherited: a child outliving an aborted test would keep the test runner
// waiting on the pipe until its timeout.
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
      if (stdoutFd >= 0) {
        dup2(stdoutFd, 1);
      } else if (err >= 0) {
        dup2(err, 1);
      }
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
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  void Signal(int signal) const { kill(FPid, signal); }
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

inline std::string Shell(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

// A private X server; empty Display() when it could not start. The display
// number is drawn at random from a wide range rather than left to Xvfb's
// lowest-free choice: tests run side by side, and a server that is still
// shutting down removes the socket of one that just took its number. No
// reset when the last client leaves: a program connecting while a polling
// xdotool disconnects would find the server regenerating and give up.
class TXServer {
 public:
  explicit TXServer(const std::filesystem::path& dir) {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 20 && FDisplay.empty(); ++attempt) {
      const std::string number = std::to_string(std::uniform_int_distribution(100, 30000)(random));
      int displayPipe[2];
      if (pipe(displayPipe) != 0) return;
      auto server = std::make_unique<TChild>(
          std::vector<std::string>{"/usr/bin/Xvfb", ":" + number, "-displayfd", "1", "-screen", "0",
                                   "1024x768x24", "-nolisten", "tcp", "-noreset"},
          std::vector<std::string>{"PATH=" +
                                   std::string(std::getenv("PATH") ? std::getenv("PATH") : "")},
          (dir / "xvfb.err").string(), displayPipe[1]);
      close(displayPipe[1]);
      std::string written;
      char c = 0;
      while (read(displayPipe[0], &c, 1) == 1 && c != '\n') written += c;
      close(displayPipe[0]);
      // A display in use makes Xvfb exit without writing its number.
      if (written == number) {
        FDisplay = ":" + number;
        FServer = std::move(server);
      }
    }
  }
  // Ended by SIGTERM, so it removes its socket and lock.
  ~TXServer() {
    if (!FServer) return;
    FServer->Signal(SIGTERM);
    for (int i = 0; i < 100 && FServer->Alive(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::string& Display() const { return FDisplay; }

 private:
  std::unique_ptr<TChild> FServer;
  std::string FDisplay;
};

}  // namespace sorvex::testing
