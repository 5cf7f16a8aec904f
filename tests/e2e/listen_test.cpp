// sorvex-tool listen on the real PortAudio path without a sound card: ALSA's
// default device (the routing of audio/alsa_files.h) captures from a named
// pipe that the test fills at real-time pace (one 1024-frame block per
// 128 ms) and plays into a raw file. What listen prints must be what replay
// prints for the same recording.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/alsa_files.h"
#include "audio/sound_file.h"
#include "sim/scenario.h"
#include "support/child_process.h"
#include "support/tool_runner.h"

extern char** environ;

namespace sorvex {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::RunTool;
using testing::StderrMode;
using testing::TestDir;
using testing::WriteFile;

constexpr int kBlockBytes = 1024 * 2 * 2;  // 1024 stereo 16-bit frames
constexpr auto kBlockPeriod = std::chrono::milliseconds(128);

const char* const kModem1200 =
    "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\nSmoothing_Freq1=1500\n";

// About 3.3 s of line: every kind of exchange line, a little noise on the
// answer side (left-channel noise would trip the cross-talk gate).
const char* const kScenario =
    "settings modem.ini\n"
    "seed 9\n"
    "noise 22 right\n"
    "silence 300\n"
    "exchange 3 Gts 1 bytes=A5\n"
    "exchange 5 Gts 2 drop\n"
    "exchange 3 Gts 1 bytes=0F flip=20\n"
    "exchange 3 Ot kp=4\n"
    "exchange 2 Gtit 1 words=100,200\n"
    "exchange 1 Gts 3 bytes=5A\n"
    "silence 400\n";

// The lines of one journal ("X" or "E"): kind and text, without time stamps.
std::vector<std::string> JournalLines(const std::string& out, char journal) {
  std::vector<std::string> lines;
  for (const auto& line : Lines(out)) {
    if (line.size() < 2 || line[0] != journal || line[1] != '\t') continue;
    const size_t kind = 2;
    const size_t stamp = line.find('\t', kind);
    const size_t text = stamp == std::string::npos ? stamp : line.find('\t', stamp + 1);
    if (text == std::string::npos) {
      lines.push_back("malformed: " + line);
      continue;
    }
    lines.push_back(line.substr(kind, stamp - kind) + " " + line.substr(text + 1));
  }
  return lines;
}

// The statistics lines without their last column (the time of the last
// telegram, which is wall-clock time under listen).
std::vector<std::string> StatisticsLines(const std::string& out) {
  std::vector<std::string> lines;
  for (const auto& line : Lines(out)) {
    if (line.rfind("S\t", 0) == 0) lines.push_back(line.substr(0, line.rfind('\t')));
  }
  return lines;
}

// Feeds a FIFO the way a sound card delivers: one block at a time, each at
// least 128 ms after the capture side read the one before, from its own
// thread; then closes it so that a reader asking for more sees the end of
// the file. The first block waits in the pipe until the capture really
// reads, so a tool that is slow to start (a sanitizer build on a loaded
// machine) finds no backlog that it would take in one burst, faster than
// its 10 ms dispatch re-arms the receivers. The FIFO is opened read-write:
// PortAudio opens and closes the capture device while it lists devices, and
// a write-only end would fail with EPIPE in between. Writes are non-blocking
// (a 4096-byte write to an empty pipe goes in whole), so the writer can be
// stopped when nobody reads any more.
class TPacedPipeWriter {
 public:
  TPacedPipeWriter(const fs::path& fifo, std::string bytes) : FBytes(std::move(bytes)) {
    FFd = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    FOpened = FFd >= 0;
    if (FOpened) FThread = std::thread([this] { Run(); });
  }
  ~TPacedPipeWriter() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    if (FFd >= 0) close(FFd);
  }
  TPacedPipeWriter(const TPacedPipeWriter&) = delete;
  TPacedPipeWriter& operator=(const TPacedPipeWriter&) = delete;

  bool Opened() const { return FOpened; }
  bool Failed() const { return FFailed; }
  int BlocksWritten() const { return FBlocks; }
  // Waits up to timeoutMs until every block is in the pipe.
  bool WaitAllWritten(int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (FBlocks < BlockCount() && !FFailed) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !FFailed;
  }
  int BlockCount() const { return static_cast<int>(FBytes.size() / kBlockBytes); }

 private:
  // Waits until the reader has taken everything written; false when stopped.
  bool WaitEmpty() const {
    for (;;) {
      if (FStop) return false;
      int queued = 0;
      if (ioctl(FFd, FIONREAD, &queued) != 0 || queued == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  void Run() {
    for (size_t offset = 0; offset + kBlockBytes <= FBytes.size(); offset += kBlockBytes) {
      if (offset > 0) {
        if (!WaitEmpty()) return;
        const auto due = std::chrono::steady_clock::now() + kBlockPeriod;
        while (!FStop && std::chrono::steady_clock::now() < due) {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }
      if (FStop) return;
      if (write(FFd, FBytes.data() + offset, kBlockBytes) != kBlockBytes) {
        FFailed = true;
        return;
      }
      ++FBlocks;
    }
    close(FFd);
    FFd = -1;
  }

  std::string FBytes;
  int FFd = -1;  // the thread's alone once it runs
  bool FOpened = false;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FFailed{false};
  std::atomic<int> FBlocks{0};
  std::thread FThread;
};

// sorvex-tool as a child process (no shell) with ALSA routed through
// `alsaConfig`, stdout and stderr into files; with `fileLimit`, no file it
// writes may grow beyond that many bytes (a full disk, as far as it can tell).
class TToolProcess {
 public:
  TToolProcess(const std::vector<std::string>& args, const std::string& alsaConfig,
               const fs::path& outPath, const fs::path& errPath, rlim_t fileLimit = 0) {
    // Everything the child needs is built before fork: the test process has
    // threads, so the child may only make async-signal-safe calls.
    std::vector<std::string> argStrings{SORVEX_TOOL_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "ALSA_CONFIG_PATH=", 17) != 0) envStrings.emplace_back(*e);
    }
    envStrings.push_back("ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" + alsaConfig);
    std::vector<char*> argv, envp;
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string out = outPath.string(), err = errPath.string();
    std::fflush(stdout);
    std::fflush(stderr);
    FPid = fork();
    if (FPid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0) _exit(126);
      dup2(o, 1);
      dup2(e, 2);
      if (fileLimit > 0) {
        const rlimit limit{fileLimit, fileLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
      }
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }
  ~TToolProcess() {
    if (FPid > 0 && !FExited) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
  }
  TToolProcess(const TToolProcess&) = delete;
  TToolProcess& operator=(const TToolProcess&) = delete;

  bool Started() const { return FPid > 0; }
  void Signal(int signal) const { kill(FPid, signal); }
  // Waits up to timeoutMs for the exit; the exit status, or −1 for a child
  // killed by a signal or still running (then killed).
  int Wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int raw = 0;
    while (waitpid(FPid, &raw, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FExited = true;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

 private:
  pid_t FPid = -1;
  bool FExited = false;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ListenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = TestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    WriteFile(dir / "modem.ini", kModem1200);
    std::string error;
    ASSERT_TRUE(RunScenario(kScenario, dir.string(), frames, error)) << error;
    // Whole blocks of silence-padded frames: listen gets exactly what replay reads.
    frames.resize((frames.size() + 2047) / 2048 * 2048, 0);
    blocks = static_cast<int>(frames.size() / 2048);
    ASSERT_TRUE(WriteStereoWav((dir / "line.wav").string(), frames.data(),
                               static_cast<int64_t>(frames.size() / 2), error))
        << error;
    const auto replay = RunTool("replay '" + (dir / "line.wav").string() + "' --settings '" +
                                (dir / "modem.ini").string() + "'");
    ASSERT_EQ(replay.status, 0);
    replayOut = replay.out;

    fifo = dir / "capture.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    alsaConfig = test::WriteAlsaFileConfig(dir, fifo, dir / "playback.raw");
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string FrameBytes() const {
    return std::string(reinterpret_cast<const char*>(frames.data()), frames.size() * 2);
  }
  std::vector<std::string> ListenArgs() const {
    return {"listen", "--settings", (dir / "modem.ini").string()};
  }

  fs::path dir, fifo;
  std::string alsaConfig;
  std::vector<int16_t> frames;
  int blocks = 0;
  std::string replayOut;
};

TEST_F(ListenTest, PrintsWhatReplayPrintsForTheSameRecording) {
  // The replay itself must show every case, or the comparison proves little.
  const auto expected = JournalLines(replayOut, 'X');
  ASSERT_EQ(expected.size(), 15u) << replayOut;
  EXPECT_EQ(expected[4], "lkExchangeProblem Не получен ответ от КП5. Ожидание приличного уровня.");

  // The writer goes first: PortAudio blocks while it lists devices until the
  // capture pipe has a writer.
  TPacedPipeWriter writer(fifo, FrameBytes());
  ASSERT_TRUE(writer.Opened()) << std::strerror(errno);
  auto args = ListenArgs();
  args.insert(args.end(), {"--blocks", std::to_string(blocks)});
  TToolProcess tool(args, alsaConfig, dir / "out.txt", dir / "err.txt");
  ASSERT_TRUE(tool.Started());
  const int status = tool.Wait(blocks * 128 + 10000);
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_EQ(status, 0) << ReadFile(dir / "err.txt");
  EXPECT_TRUE(writer.WaitAllWritten(1000));
  EXPECT_EQ(writer.BlocksWritten(), blocks);

  EXPECT_EQ(JournalLines(out, 'X'), expected);
  // Same samples, same levels: the events and statistics agree as well.
  EXPECT_EQ(JournalLines(out, 'E'), JournalLines(replayOut, 'E'));
  EXPECT_EQ(StatisticsLines(out), StatisticsLines(replayOut));
  EXPECT_EQ(ReadFile(dir / "err.txt"), "");
}

// With GENERAL/Receiver=1 listen runs the sensitive receiver: its journal
// and statistics are replay's with the same settings, and the statistics
// (bit levels, noise) are not those of the standard receiver.
TEST_F(ListenTest, RunsTheReceiverTheSettingsFileNames) {
  const std::string general = "[GENERAL]\n";
  WriteFile(dir / "modem.ini",
            general + "Receiver=1\n" + std::string(kModem1200).substr(general.size()));
  const auto replay = RunTool("replay '" + (dir / "line.wav").string() + "' --settings '" +
                              (dir / "modem.ini").string() + "'");
  ASSERT_EQ(replay.status, 0);
  ASSERT_EQ(JournalLines(replay.out, 'X'), JournalLines(replayOut, 'X'));
  ASSERT_NE(StatisticsLines(replay.out), StatisticsLines(replayOut));

  TPacedPipeWriter writer(fifo, FrameBytes());
  ASSERT_TRUE(writer.Opened()) << std::strerror(errno);
  auto args = ListenArgs();
  args.insert(args.end(), {"--blocks", std::to_string(blocks)});
  TToolProcess tool(args, alsaConfig, dir / "out.txt", dir / "err.txt");
  ASSERT_TRUE(tool.Started());
  EXPECT_EQ(tool.Wait(blocks * 128 + 10000), 0) << ReadFile(dir / "err.txt");
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_EQ(JournalLines(out, 'X'), JournalLines(replay.out, 'X'));
  EXPECT_EQ(JournalLines(out, 'E'), JournalLines(replay.out, 'E'));
  EXPECT_EQ(StatisticsLines(out), StatisticsLines(replay.out));
}

TEST_F(ListenTest, SigtermMidRunStopsCleanlyWithTheStatistics) {
  TPacedPipeWriter writer(fifo, FrameBytes());
  ASSERT_TRUE(writer.Opened()) << std::strerror(errno);
  TToolProcess tool(ListenArgs(), alsaConfig, dir / "out.txt", dir / "err.txt");
  ASSERT_TRUE(tool.Started());
  // Mid-run: once the first answer is printed (about 0.5 s into the line).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadFile(dir / "out.txt").find("X\tlkAnswer\t") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_LT(writer.BlocksWritten(), writer.BlockCount()) << "the line ended before the signal";
  tool.Signal(SIGTERM);
  EXPECT_EQ(tool.Wait(5000), 0) << ReadFile(dir / "err.txt");
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_EQ(ReadFile(dir / "err.txt"), "");

  // What was journalled before the signal is the start of replay's journal.
  const auto got = JournalLines(out, 'X');
  const auto full = JournalLines(replayOut, 'X');
  ASSERT_GE(got.size(), 3u) << out;
  ASSERT_LE(got.size(), full.size()) << out;
  EXPECT_EQ(got, std::vector<std::string>(full.begin(), full.begin() + got.size()));
  // The statistics end the output: one line per channel for each KP so far.
  const auto lines = Lines(out);
  const auto stats = StatisticsLines(out);
  ASSERT_GE(stats.size(), 2u) << out;
  EXPECT_EQ(stats.size() % 2, 0u);
  EXPECT_EQ(lines.back().rfind("S\t1\t", 0), 0u) << lines.back();
  EXPECT_EQ(stats[0].rfind("S\t0\t3\t", 0), 0u) << stats[0];
  EXPECT_EQ(stats[1].rfind("S\t1\t3\t", 0), 0u) << stats[1];
}

// A disk that fills up mid-run: the recording stops with a message and
// keeps what it wrote, as a WAV that replays without a warning; the
// listening goes on, so the journal and statistics are replay's whole.
TEST_F(ListenTest, AFullDiskStopsTheRecordingWithAMessageWhileTheAnalysisGoesOn) {
  // The played output goes nowhere: it must not be what fills the disk.
  const std::string quiet = test::WriteAlsaFileConfig(dir, fifo, "/dev/null");
  TPacedPipeWriter writer(fifo, FrameBytes());
  ASSERT_TRUE(writer.Opened()) << std::strerror(errno);
  const fs::path recording = dir / "recording.wav";
  auto args = ListenArgs();
  args.insert(args.end(), {"--blocks", std::to_string(blocks), "--record", recording.string()});
  constexpr rlim_t kLimit = 64 * 1024;  // 2 s of line: the recording stops half way
  TToolProcess tool(args, quiet, dir / "out.txt", dir / "err.txt", kLimit);
  ASSERT_TRUE(tool.Started());
  EXPECT_EQ(tool.Wait(blocks * 128 + 10000), 2);
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_EQ(JournalLines(out, 'X'), JournalLines(replayOut, 'X'));
  EXPECT_EQ(JournalLines(out, 'E'), JournalLines(replayOut, 'E'));
  EXPECT_EQ(StatisticsLines(out), StatisticsLines(replayOut));
  const std::string err = ReadFile(dir / "err.txt");
  EXPECT_EQ(
      err.rfind("sorvex-tool listen: the recording '" + recording.string() + "' stopped after 0:0",
                0),
      0u)
      << err;
  EXPECT_NE(err.find(std::strerror(EFBIG)), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;

  const auto replay = RunTool("replay '" + recording.string() + "'", StderrMode::Capture);
  EXPECT_EQ(replay.status, 0);
  EXPECT_EQ(replay.err, "");
  const uintmax_t size = fs::file_size(recording);
  EXPECT_LE(size, kLimit);
  EXPECT_GT(size, kLimit / 2);
  // The line's first frames, as they came.
  TSoundFileReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(recording.string(), 0, error)) << error;
  std::vector<int16_t> recorded(static_cast<size_t>(reader.Info().Frames) * 2);
  ASSERT_EQ(reader.ReadBlock(recorded.data(), static_cast<int>(reader.Info().Frames)),
            reader.Info().Frames);
  EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), frames.begin()));
}

TEST_F(ListenTest, UnknownDeviceExitsTwoWithAMessage) {
  TPacedPipeWriter writer(fifo, FrameBytes());
  ASSERT_TRUE(writer.Opened());
  auto args = ListenArgs();
  args.insert(args.end(), {"--device", "no such card", "--blocks", "4"});
  TToolProcess tool(args, alsaConfig, dir / "out.txt", dir / "err.txt");
  ASSERT_TRUE(tool.Started());
  EXPECT_EQ(tool.Wait(10000), 2);
  // One line, naming the device that was asked for.
  const std::string err = ReadFile(dir / "err.txt");
  EXPECT_EQ(err.rfind("sorvex-tool listen: no sound device could be opened", 0), 0u) << err;
  EXPECT_NE(err.find("'no such card'"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  // Nothing was listened to, so no statistics are claimed.
  EXPECT_TRUE(StatisticsLines(ReadFile(dir / "out.txt")).empty());
}

// A loopback port free at the moment of asking.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// Connects to 127.0.0.1:port; −1 when nobody listens.
int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends `request` as it is; the whole answer.
std::string HttpExchange(int port, const std::string& request) {
  const int fd = Connect(port);
  if (fd < 0) return "";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  close(fd);
  return answer;
}

// The value of a one-sample instant query through Prometheus's HTTP API,
// "" while it has none.
std::string PrometheusValue(int port, const std::string& query) {
  std::string encoded;
  for (const unsigned char c : query) {
    if (std::isalnum(c) || c == '_') {
      encoded += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += hex;
    }
  }
  const std::string answer =
      HttpExchange(port, "GET /api/v1/query?query=" + encoded + " HTTP/1.0\r\n\r\n");
  const size_t value = answer.find("\"value\":[");
  if (value == std::string::npos) return "";
  const size_t start = answer.find(",\"", value);
  const size_t end = answer.find('"', start + 2);
  return start == std::string::npos || end == std::string::npos
             ? ""
             : answer.substr(start + 2, end - start - 2);
}

// listen --metrics on the recording, scraped every second by a real
// Prometheus: its counts are the journal's. Bad requests meanwhile change
// nothing of what listen prints.
TEST_F(ListenTest, PrometheusScrapesTheJournalsCounts) {
  const auto x = JournalLines(replayOut, 'X');
  const auto count = [&](const char* kind) {
    return std::to_string(std::count_if(x.begin(), x.end(), [&](const std::string& line) {
      return line.rfind(std::string(kind) + " ", 0) == 0;
    }));
  };
  // Request and answer kinds of the exchange journal, and what the query
  // for each must return.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"request", "valid"}, {"answer", "valid"}, {"request", "invalid"}, {"answer", "invalid"}};
  const std::vector<std::string> counts = {count("lkRequest"), count("lkAnswer"),
                                           count("lkBadRequest"), count("lkBadAnswer")};
  ASSERT_EQ(counts[1], "4") << replayOut;

  // 40 s of silence after the line keep the device open while Prometheus scrapes.
  std::string bytes = FrameBytes() + std::string(40 * 8000 * 4, '\0');
  bytes.resize(bytes.size() / kBlockBytes * kBlockBytes);
  TPacedPipeWriter writer(fifo, bytes);
  ASSERT_TRUE(writer.Opened()) << std::strerror(errno);
  const int metricsPort = FreePort();
  auto args = ListenArgs();
  args.insert(args.end(),
              {"--metrics", "127.0.0.1:" + std::to_string(metricsPort), "--line", "e2e \"line\""});
  TToolProcess tool(args, alsaConfig, dir / "out.txt", dir / "err.txt");
  ASSERT_TRUE(tool.Started());

  const int prometheusPort = FreePort();
  WriteFile(dir / "prometheus.yml",
            "global:\n  scrape_interval: 1s\nscrape_configs:\n"
            "  - job_name: sorvex\n    static_configs:\n"
            "      - targets: ['127.0.0.1:" +
                std::to_string(metricsPort) + "']\n");
  testing::TChild prometheus(
      {"/usr/bin/prometheus", "--config.file=" + (dir / "prometheus.yml").string(),
       "--storage.tsdb.path=" + (dir / "tsdb").string(),
       "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort)},
      {"PATH=/usr/bin:/bin"}, (dir / "prometheus.err").string());
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        return HttpExchange(prometheusPort, "GET /-/ready HTTP/1.0\r\n\r\n").find(" 200 ") !=
                   std::string::npos ||
               !prometheus.Alive();
      },
      30))
      << "Prometheus did not start: " << ReadFile(dir / "prometheus.err");
  ASSERT_TRUE(prometheus.Alive()) << "Prometheus could not start (" << prometheus.Ended()
                                  << "): " << ReadFile(dir / "prometheus.err");

  // Another path, a malformed request line, once listen serves; it goes on.
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        return HttpExchange(metricsPort, "GET /metrics HTTP/1.0\r\n\r\n").find(" 200 ") !=
               std::string::npos;
      },
      20))
      << ReadFile(dir / "err.txt");
  EXPECT_NE(HttpExchange(metricsPort, "GET /other HTTP/1.0\r\n\r\n").find(" 404 "),
            std::string::npos);
  EXPECT_NE(HttpExchange(metricsPort, "\x01\x02 nonsense\r\n\r\n").find(" 400 "),
            std::string::npos);

  // Meanwhile: garbage, a huge header, many connections at once, a client
  // that sends a byte every 100 ms.
  // Joined on every way out of the test, an assertion's early return too.
  std::jthread abuse([&] {
    HttpExchange(metricsPort, std::string("\x16\x03\x01garbage\r\n\r\n"));
    HttpExchange(metricsPort,
                 "GET /metrics HTTP/1.1\r\nX-Big: " + std::string(200000, 'a') + "\r\n\r\n");
    std::vector<int> many;
    for (int i = 0; i < 100; ++i) many.push_back(Connect(metricsPort));
    const int slow = Connect(metricsPort);
    for (const char c : std::string("GET /metrics HTTP/1.1\r\nHost: x\r\n")) {
      send(slow, &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (const int fd : many)
      if (fd >= 0) close(fd);
    if (slow >= 0) close(slow);
  });
  // The line is over once the writer is past it.
  const int lineBlocks = blocks;
  ASSERT_TRUE(testing::WaitFor([&] { return writer.BlocksWritten() >= lineBlocks + 10; }, 60))
      << writer.BlocksWritten() << " blocks of " << lineBlocks + 10 << " taken; "
      << ReadFile(dir / "err.txt");
  std::vector<std::string> got(expected.size());
  const bool scraped = testing::WaitFor(
      [&] {
        for (size_t i = 0; i < expected.size(); ++i) {
          got[i] = PrometheusValue(
              prometheusPort, "sum(sorvex_telegrams_total{line=\"e2e \\\"line\\\"\",side=\"" +
                                  expected[i].first + "\",result=\"" + expected[i].second + "\"})");
        }
        return got == counts;
      },
      30);
  abuse.join();
  EXPECT_TRUE(scraped) << "Prometheus: " << ::testing::PrintToString(got)
                       << ", the journal: " << ::testing::PrintToString(counts);
  EXPECT_EQ(PrometheusValue(prometheusPort, "sorvex_device_open"), "1");

  tool.Signal(SIGTERM);
  EXPECT_EQ(tool.Wait(5000), 0) << ReadFile(dir / "err.txt");
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_EQ(JournalLines(out, 'X'), JournalLines(replayOut, 'X'));
  EXPECT_EQ(JournalLines(out, 'E'), JournalLines(replayOut, 'E'));
  EXPECT_EQ(StatisticsLines(out), StatisticsLines(replayOut));
  EXPECT_EQ(ReadFile(dir / "err.txt"), "");
}

}  // namespace
}  // namespace sorvex
