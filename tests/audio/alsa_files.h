#pragma once

// The real PortAudio path without a sound card: an ALSA configuration whose
// default device is an `asym` PCM, capture from a raw 16-bit stereo file
// (`file` plugin with `infile`, over `null`), playback into a raw file (`file`
// plugin over `null`). ALSA_CONFIG_PATH must name it before PortAudio
// initialises, so each scenario runs in a forked child process whose stderr
// goes to a file, and reports back a status and a message through a pipe.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_util.h"

namespace sorvex::test {

inline constexpr const char* kAlsaSystemConfig = "/usr/share/alsa/alsa.conf";

// Writes the routing configuration; returns its path.
inline std::string WriteAlsaFileConfig(const fs::path& dir, const fs::path& captureFile,
                                       const fs::path& playbackFile) {
  const fs::path conf = dir / "asound.conf";
  std::ofstream out(conf);
  out << "pcm.sorvex_capture {\n"
      << "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
      << "  infile \"" << captureFile.string() << "\"\n  format \"raw\"\n}\n"
      << "pcm.sorvex_playback {\n"
      << "  type file\n  slave.pcm \"null\"\n"
      << "  file \"" << playbackFile.string() << "\"\n  format \"raw\"\n}\n"
      << "pcm.!default {\n  type asym\n"
      << "  capture.pcm \"sorvex_capture\"\n  playback.pcm \"sorvex_playback\"\n}\n";
  return conf.string();
}

// A default device on a card that does not exist.
inline std::string WriteAlsaNoCardConfig(const fs::path& dir) {
  const fs::path conf = dir / "nocard.conf";
  std::ofstream out(conf);
  out << "pcm.!default {\n  type hw\n  card 29\n  device 0\n}\n"
      << "ctl.!default {\n  type hw\n  card 29\n}\n";
  return conf.string();
}

inline void WriteRaw(const fs::path& path, const std::vector<int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(samples.data()),
            static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
}

inline std::vector<int16_t> ReadRaw(const fs::path& path) {
  const std::string bytes = GetFile(path);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

struct ChildResult {
  int Status = -1;      // the body's return value; -1 if it crashed or timed out
  std::string Message;  // what the body reported
  std::string Stderr;   // everything the child printed on stderr
};

// Runs `body` in a forked child with ALSA_CONFIG_PATH set to the system
// configuration followed by `alsaConfig` (or left alone when empty), stderr
// into a file. The body returns 0 for success and fills `message`.
inline ChildResult RunInChild(const fs::path& dir, const std::string& alsaConfig,
                              const std::function<int(std::string& message)>& body,
                              int timeoutMs = 60000) {
  const fs::path errPath = dir / "child_stderr.txt";
  int pipeFds[2];
  ChildResult result;
  if (pipe(pipeFds) != 0) {
    result.Message = "pipe failed";
    return result;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    if (!alsaConfig.empty()) {
      setenv("ALSA_CONFIG_PATH", (std::string(kAlsaSystemConfig) + ":" + alsaConfig).c_str(), 1);
    }
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    close(err);
    std::string message;
    const int status = body(message);
    std::fflush(stderr);
    (void)!write(pipeFds[1], message.data(), message.size());
    close(pipeFds[1]);
    _exit(status & 0x7F);
  }
  close(pipeFds[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    result.Message.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!timedOut && WIFEXITED(status)) result.Status = WEXITSTATUS(status);
  if (timedOut) result.Message += " [timed out]";
  if (WIFSIGNALED(status))
    result.Message += " [killed by signal " + std::to_string(WTERMSIG(status)) + "]";
  result.Stderr = GetFile(errPath);
  return result;
}

// Waits until `done` holds or timeoutMs passes.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace sorvex::test
