// The sorvex program itself: without a display it says so and exits 2; with
// one it opens its window (here on a private X server) and writes a
// complete INI section beside the executable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/alsa_files.h"
#include "audio/sound_file.h"
#include "support/child_process.h"
#include "support/russian_locale.h"
#include "support/temp_dir.h"
#include "support/tool_runner.h"

namespace sorvex {
namespace {

using testing::GetFile;
using testing::Lines;
using testing::Shell;
using testing::TChild;
using testing::TXServer;
using testing::WaitFor;

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

  TXServer xvfb(dir.Path());
  ASSERT_FALSE(xvfb.Display().empty()) << "Xvfb did not start";
  const std::string& display = xvfb.Display();

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
      << GetFile((dir.Path() / "sorvex.err").string())
      << "\nXvfb: " << GetFile((dir.Path() / "xvfb.err").string());
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

// A stored source the program cannot open (here a WAV whose LIST chunk
// claims 0xFFFFFFF8 bytes, which once spun the header walk forever) and a
// device named as the settings file: the window still comes up, and the
// stored source is kept for the user to change.
TEST(SorvexProgram, ASourceThatCannotBeOpenedLeavesTheWindowUp) {
  int status = -1;
  if (!std::filesystem::exists("/usr/bin/Xvfb") || Shell("command -v xdotool", status).empty())
    GTEST_SKIP() << "Xvfb or xdotool is not installed";
  testing::TTempDir dir("sorvex_app_bad_source");
  const std::filesystem::path program = dir.Path() / "sorvex";
  std::filesystem::copy_file(SORVEX_APP_PATH, program);
  std::string error;
  const std::vector<int16_t> frames(512, 100);
  ASSERT_TRUE(WriteStereoWav(dir.File("good.wav"), frames.data(), 256, error)) << error;
  const std::string wav = GetFile(dir.File("good.wav"));
  testing::PutFile(dir.File("huge.wav"), wav.substr(0, 12) + "LIST" +
                                             std::string("\xF8\xFF\xFF\xFF", 4) + wav.substr(12));
  const std::string source = "AudioSource=file:" + dir.File("huge.wav") + "\n";
  testing::PutFile(dir.File("Sorvex.ini"), "[System]\nDefModemName=/dev/zero\n" + source);

  TXServer x(dir.Path());
  ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start";
  const std::filesystem::path runtime = dir.Path() / "runtime";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  TChild app(
      {program.string()},
      {"DISPLAY=" + x.Display(), Environment("PATH"), "LANG=C.UTF-8", "HOME=" + dir.Path().string(),
       "XDG_RUNTIME_DIR=" + runtime.string(), "ASAN_OPTIONS=detect_leaks=0"},
      dir.File("sorvex.err"));
  std::string out;
  EXPECT_TRUE(WaitFor(
      [&] {
        out = Shell("DISPLAY=" + x.Display() +
                        " xdotool search --onlyvisible --name 'Анализ канала ТМ' 2>&1",
                    status);
        return status == 0;
      },
      60))
      << out << "\n"
      << app.Ended() << "\n"
      << GetFile(dir.File("sorvex.err"));
  EXPECT_TRUE(app.Alive());
  app.Signal(SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return !app.Alive(); }, 20));
  EXPECT_EQ(app.Ended(), "exit 0") << GetFile(dir.File("sorvex.err"));
  EXPECT_NE(GetFile(dir.File("Sorvex.ini")).find("\n" + source), std::string::npos);
}

// The lines of one journal ("X" or "E") of a transcript or of replay's
// output: kind and text, without the time stamps.
std::vector<std::string> JournalLines(const std::string& out, char journal) {
  std::vector<std::string> lines;
  for (const auto& line : Lines(out)) {
    if (line.size() < 2 || line[0] != journal || line[1] != '\t') continue;
    const size_t stamp = line.find('\t', 2);
    const size_t text = stamp == std::string::npos ? stamp : line.find('\t', stamp + 1);
    if (text == std::string::npos) {
      lines.push_back("malformed: " + line);
      continue;
    }
    lines.push_back(line.substr(2, stamp - 2) + " " + line.substr(text + 1));
  }
  return lines;
}

// Feeds a FIFO as a sound card's capture delivers: the next 1024-frame
// block once the reader has taken the last one and 128 ms have passed. The
// FIFO is opened read-write, so PortAudio's opening and closing of the
// capture device while it lists devices never sees a missing writer.
class TPacedFifo {
 public:
  TPacedFifo(const std::string& fifo, std::string bytes) : FBytes(std::move(bytes)) {
    FFd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (FFd >= 0) FThread = std::thread([this] { Run(); });
  }
  ~TPacedFifo() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    if (FFd >= 0) ::close(FFd);
  }
  bool Opened() const { return FFd >= 0; }
  int Blocks() const { return FBlocks; }

 private:
  static constexpr size_t kBlockBytes = 1024 * 4;
  // After the recording, silence, as a quiet line gives, until the end.
  void Run() {
    const std::string silence(kBlockBytes, '\0');
    for (size_t at = 0; !FStop; at += kBlockBytes) {
      const char* block = at + kBlockBytes <= FBytes.size() ? FBytes.data() + at : silence.data();
      int queued = 1;
      while (!FStop && ioctl(FFd, FIONREAD, &queued) == 0 && queued > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (at > 0) {
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(128);
        while (!FStop && std::chrono::steady_clock::now() < due)
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      if (FStop || write(FFd, block, kBlockBytes) != static_cast<ssize_t>(kBlockBytes)) return;
      ++FBlocks;
    }
  }
  std::string FBytes;
  int FFd = -1;
  std::atomic<bool> FStop{false};
  std::atomic<int> FBlocks{0};
  std::thread FThread;
};

// How the program is run: on which signal source, in which locale, with
// which switch-on levels stored in its INI (empty: none stored, 0.1 each).
struct TLineRun {
  bool PortAudio = false;
  std::string Lang = "C.UTF-8";
  std::string Levels;  // "L1,L2"
};

// A line left running: the program takes a recording of `sorvex-tool
// simulate` as its signal (a file source, or the PortAudio default device
// with ALSA routed to files and the capture fed at real-time pace), F5 typed
// on a real X server switches reception on, the transcript file gets what
// `sorvex-tool replay` prints for that recording (run in the same locale),
// and SIGTERM ends it as closing the window does. With stored levels the
// INI is started again, and the levels survive both starts as written.
void RunLine(const TLineRun& run) {
  const bool portAudio = run.PortAudio;
  int status = -1;
  if (!std::filesystem::exists("/usr/bin/Xvfb") || Shell("command -v xdotool", status).empty())
    GTEST_SKIP() << "Xvfb or xdotool is not installed";
  const std::string locale = "LANG=" + run.Lang + " LC_ALL=" + run.Lang + " ";
  testing::TTempDir dir("sorvex_app_line");
  const std::filesystem::path program = dir.Path() / "sorvex";
  std::filesystem::copy_file(SORVEX_APP_PATH, program);
  testing::PutFile(dir.File("modem.ini"),
                   "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\n"
                   "Smoothing_Freq1=1500\n");
  // Quiet at first, long enough for a sanitizer build on a busy machine to
  // show its window and take the key.
  testing::PutFile(dir.File("line.scn"),
                   "settings modem.ini\nseed 9\nnoise 22 right\nsilence 20000\n"
                   "exchange 3 Gts 1 bytes=A5\nexchange 5 Gts 2 drop\n"
                   "exchange 3 Gts 1 bytes=0F flip=20\nexchange 3 Ot kp=4\n"
                   "exchange 2 Gtit 1 words=100,200\nsilence 600\n");
  const std::string tool = SORVEX_TOOL_PATH;
  Shell("'" + tool + "' simulate '" + dir.File("line.scn") + "' -o '" + dir.File("line.wav") +
            "' 2>&1",
        status);
  ASSERT_EQ(status, 0);
  const std::string replay =
      Shell(locale + "'" + tool + "' replay '" + dir.File("line.wav") + "' --settings '" +
                dir.File("modem.ini") + "'" + (run.Levels.empty() ? "" : " --levels " + run.Levels),
            status);
  ASSERT_EQ(status, 0);
  const auto expected = JournalLines(replay, 'X');
  ASSERT_GE(expected.size(), 12u) << replay;

  const std::string ini = dir.File("Sorvex.ini");
  const std::string transcript = dir.File("transcript.txt");
  const std::string source = portAudio ? "" : "file:" + dir.File("line.wav");
  std::string levelKeys;
  if (!run.Levels.empty()) {
    const size_t comma = run.Levels.find(',');
    levelKeys = "LevelStart1=" + run.Levels.substr(0, comma) + "\n" +
                "LevelStart2=" + run.Levels.substr(comma + 1) + "\n";
  }
  testing::PutFile(ini, "[System]\nDefModemName=" + dir.File("modem.ini") + "\nAudioSource=" +
                            source + "\nJournalFile=" + transcript + "\n" + levelKeys);
  std::vector<std::string> env;
  std::unique_ptr<TPacedFifo> capture;
  if (portAudio) {
    // The recording's frames, whole blocks, as the capture device gives them.
    TSoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(dir.File("line.wav"), 1, error)) << error;
    std::string bytes;
    std::vector<int16_t> block(2048);
    for (int n; (n = reader.ReadBlock(block.data(), 1024)) > 0;) {
      std::fill(block.begin() + 2 * n, block.end(), 0);
      bytes.append(reinterpret_cast<const char*>(block.data()), block.size() * 2);
    }
    const std::string fifo = dir.File("capture.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    capture = std::make_unique<TPacedFifo>(fifo, bytes);
    ASSERT_TRUE(capture->Opened());
    env.push_back("ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" +
                  test::WriteAlsaFileConfig(dir.Path(), fifo, dir.Path() / "playback.raw"));
  }

  TXServer x(dir.Path());
  ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start";
  const std::filesystem::path runtime = dir.Path() / "runtime";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  for (const std::string& e : {"DISPLAY=" + x.Display(), Environment("PATH"), "LANG=" + run.Lang,
                               "HOME=" + dir.Path().string(), "XDG_RUNTIME_DIR=" + runtime.string(),
                               std::string("ASAN_OPTIONS=detect_leaks=0")})
    env.push_back(e);
  TChild app({program.string()}, env, dir.File("sorvex.err"));
  const auto started = std::chrono::steady_clock::now();
  const std::string xdotool = "DISPLAY=" + x.Display() + " xdotool ";
  std::string out;
  ASSERT_TRUE(WaitFor(
      [&] {
        out = Shell(xdotool + "search --onlyvisible --name 'Анализ канала ТМ' 2>&1", status);
        return status == 0;
      },
      60))
      << out << "\n"
      << app.Ended() << "\n"
      << GetFile(dir.File("sorvex.err"));
  const std::string window = Lines(out).front();
  Shell(xdotool + "windowfocus --sync " + window + " key F5 2>&1", status);
  ASSERT_EQ(status, 0);
  const double keyAt =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_LT(keyAt, 19.0) << "the window came up too late for the recording's first telegram";

  // The recording is about 14 s long; the transcript is complete when its
  // last exchange line is there.
  EXPECT_TRUE(
      WaitFor([&] { return JournalLines(GetFile(transcript), 'X').size() >= expected.size(); }, 40))
      << GetFile(transcript) << GetFile(dir.File("sorvex.err"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(app.Alive());
  EXPECT_EQ(GetFile(ini).find("StatisticGrid="), std::string::npos);  // written at exit only

  app.Signal(SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return !app.Alive(); }, 20));
  EXPECT_EQ(app.Ended(), "exit 0") << GetFile(dir.File("sorvex.err"));

  const std::string text = GetFile(transcript);
  EXPECT_EQ(JournalLines(text, 'X'), expected) << text;
  EXPECT_EQ(JournalLines(text, 'E'), JournalLines(replay, 'E')) << text;
  // Every line of the transcript is a journal line.
  for (const auto& line : Lines(text))
    EXPECT_TRUE(line.rfind("X\t", 0) == 0 || line.rfind("E\t", 0) == 0) << line;

  const std::string keys = GetFile(ini);
  for (const std::string& key :
       {"AudioSource=" + source + "\n", "JournalFile=" + transcript + "\n",
        "DefModemName=" + dir.File("modem.ini") + "\n", std::string("StatisticGrid="),
        std::string("TestData="), std::string("Width="), std::string("FormKpAddr=1\n"),
        std::string("FormTitKp=1\n"),
        run.Levels.empty() ? std::string("LevelStart1=0.1\nLevelStart2=0.1\n") : levelKeys})
    EXPECT_NE(keys.find("\n" + key), std::string::npos) << key << "\n" << keys;
  if (run.Levels.empty()) return;

  // The second start reads what the first wrote, and writes it back the same.
  TChild again({program.string()}, env, dir.File("sorvex.err"));
  EXPECT_TRUE(WaitFor(
      [&] {
        Shell(xdotool + "search --onlyvisible --name 'Анализ канала ТМ' 2>&1", status);
        return status == 0;
      },
      60))
      << again.Ended() << "\n"
      << GetFile(dir.File("sorvex.err"));
  again.Signal(SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return !again.Alive(); }, 20));
  EXPECT_EQ(again.Ended(), "exit 0") << GetFile(dir.File("sorvex.err"));
  EXPECT_NE(GetFile(ini).find("\n" + levelKeys), std::string::npos) << GetFile(ini);
}

TEST(SorvexProgram, PlaysARecordingIntoItsTranscriptAndExitsCleanlyOnSigterm) {
  RunLine({});
}

TEST(SorvexProgram, ListensOnTheDefaultCardIntoItsTranscriptAndExitsCleanlyOnSigterm) {
  RunLine({.PortAudio = true, .Lang = "C.UTF-8", .Levels = ""});
}

// On a Russian desktop, as its users run it: the INI's levels, the
// journals' decibels and the transcript are as C writes numbers, equal to
// what sorvex-tool prints there.
TEST(SorvexProgram, OnARussianDesktopWritesNumbersAsCDoes) {
  if (!testing::TRussianLocale().Active()) GTEST_SKIP() << testing::TRussianLocale::kMissing;
  RunLine({.PortAudio = false, .Lang = testing::TRussianLocale::kName, .Levels = "0.37,0.25"});
}

}  // namespace
}  // namespace sorvex
