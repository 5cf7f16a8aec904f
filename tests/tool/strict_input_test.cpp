// Bad input to the built sorvex-tool: each case exits 2 (or warns and goes
// on) with one line naming the command and what is wrong, writes no output
// file and never decodes a damaged recording as silence. Also the shared
// vocabulary: --channel, message prefixes, decode fed by encode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "support/tool_runner.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;
using testing::Lines;
using testing::RunTool;
using testing::StderrMode;
using testing::ToolResult;
using testing::WriteFile;

const char* const kModem1200 =
    "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\nSmoothing_Freq1=1500\n";

std::string Q(const fs::path& p) {
  return "'" + p.string() + "'";
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void PutLe(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}

// A 16-bit PCM WAV at 8000 Hz whose data chunk claims `declared` bytes.
std::string Wav(int channels, const std::vector<int16_t>& samples, uint32_t declared) {
  std::string s = "RIFF";
  PutLe(s, 36 + static_cast<uint32_t>(samples.size() * 2), 4);
  s += "WAVEfmt ";
  PutLe(s, 16, 4);
  PutLe(s, 1, 2);
  PutLe(s, static_cast<uint32_t>(channels), 2);
  PutLe(s, 8000, 4);
  PutLe(s, 8000 * 2 * static_cast<uint32_t>(channels), 4);
  PutLe(s, 2 * static_cast<uint32_t>(channels), 2);
  PutLe(s, 16, 2);
  s += "data";
  PutLe(s, declared, 4);
  for (int16_t v : samples) PutLe(s, static_cast<uint16_t>(v), 2);
  return s;
}

// One side of an 8000 Hz stereo file.
std::vector<int16_t> Side(const fs::path& stereo, int side) {
  TSoundFileReader reader;
  std::string error;
  EXPECT_TRUE(reader.Open(stereo.string(), 0, error)) << error;
  std::vector<int16_t> frames(2048), out;
  for (int n; (n = reader.ReadBlock(frames.data(), 1024)) > 0;) {
    for (int i = 0; i < n; ++i) out.push_back(frames[static_cast<size_t>(2 * i + side)]);
  }
  return out;
}

// The one line on stderr, which must name the command.
void ExpectOneLine(const ToolResult& r, const std::string& command, const std::string& part) {
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.rfind("sorvex-tool " + command + ": ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
}

class StrictInput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::TestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    WriteFile(dir / "modem.ini", kModem1200);
  }
  ToolResult Run(const std::string& args) { return RunTool(args, StderrMode::Capture); }
  // A clean 1200-baud line with one exchange, as simulate writes it.
  fs::path Line(const std::string& body = "exchange 3 Gts 1 bytes=A5\n") {
    WriteFile(dir / "line.scn", "settings modem.ini\n" + body);
    const ToolResult r = Run("simulate " + Q(dir / "line.scn") + " -o " + Q(dir / "line.wav"));
    EXPECT_EQ(r.status, 0) << r.err;
    return dir / "line.wav";
  }
  fs::path dir;
};

TEST_F(StrictInput, SettingsFilesThatCannotBeReadAreRefusedByEveryCommand) {
  const fs::path wav = Line();
  const std::string missing = Q(dir / "nope.ini");
  const std::vector<std::pair<std::string, std::string>> runs = {
      {"rx", "rx " + Q(wav) + " --settings " + missing},
      {"replay", "replay " + Q(wav) + " --settings " + missing},
      {"tx", "tx " + missing + " --bits 0101 -o " + Q(dir / "t.wav")},
      {"response", "response " + missing},
      {"listen", "listen --settings " + missing + " --blocks 1"}};
  for (const auto& [command, args] : runs) {
    SCOPED_TRACE(args);
    const ToolResult r = Run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ExpectOneLine(r, command,
                  "cannot read settings file '" + (dir / "nope.ini").string() +
                      "': No such file or directory");
  }
  EXPECT_FALSE(fs::exists(dir / "t.wav"));
  const ToolResult folder = Run("rx " + Q(wav) + " --settings " + Q(dir));
  EXPECT_EQ(folder.status, 2);
  ExpectOneLine(folder, "rx", "it is a directory");
}

TEST_F(StrictInput, SettingsWithoutAKnownKeyWarnThenTheDefaultsServe) {
  // The keys before any section: the modem reads none of them.
  WriteFile(dir / "headless.ini", "Baudrate=1200\nFreq0=1300\n[general]\nbaudrate=1200\n");
  WriteFile(dir / "stray.ini", "Baudrate=1200\n[Modem]\nFreq0=1\n[GENERAL]\nBaud=9\nnot a line\n");
  const ToolResult tx =
      Run("tx " + Q(dir / "stray.ini") + " --bits 1111.0110100110010110 -o " + Q(dir / "d.wav"));
  EXPECT_EQ(tx.status, 0);
  const std::vector<std::string> warnings = Lines(tx.err);
  ASSERT_EQ(warnings.size(), 5u) << tx.err;
  EXPECT_NE(warnings[0].find("line 1: key 'Baudrate' stands before any section"),
            std::string::npos);
  EXPECT_NE(warnings[1].find("line 2: section [Modem] is not a modem settings section"),
            std::string::npos);
  EXPECT_NE(warnings[2].find("line 5: [GENERAL] has no key 'Baud'"), std::string::npos);
  EXPECT_NE(warnings[3].find("line 6: 'not a line' is not key=value"), std::string::npos);
  EXPECT_NE(warnings[4].find("holds no modem setting"), std::string::npos);
  for (const auto& w : warnings) EXPECT_EQ(w.rfind("sorvex-tool tx: warning: ", 0), 0u) << w;
  // The defaults really served: rx with no settings at all reads it back
  // (from the first change of tone, as the receiver frames).
  const ToolResult rx = Run("rx " + Q(dir / "d.wav"));
  EXPECT_EQ(rx.status, 0);
  EXPECT_EQ(rx.out.substr(0, 19), "24\t0110100110010110");
  // Section and key names compare without case, as the modem reads them.
  const ToolResult known = Run("response " + Q(dir / "headless.ini"));
  EXPECT_EQ(known.status, 0);
  EXPECT_EQ(Lines(known.err).size(), 2u) << known.err;
  EXPECT_EQ(known.err.find("holds no modem setting"), std::string::npos);
}

TEST_F(StrictInput, SimulateRefusesWhatWouldGiveAnEmptyOrHugeRecording) {
  const fs::path out = dir / "out.wav";
  std::string thousand = "1";
  for (int i = 1; i < 1000; ++i) thousand += ",1";
  struct Case {
    std::string scenario, message;
  };
  const std::vector<Case> cases = {
      {"# nothing but a comment\nseed 3\n", "holds no silence, request, answer or exchange"},
      {"silence 3600001\n", ":1: the recording would be longer than 1 hour"},
      {"silence 3000000\nsilence 600000\nsilence 1\n", ":3: the recording would be longer"},
      {"settings gone.ini\nsilence 10\n",
       ":1: cannot read settings file '" + (dir / "gone.ini").string() + "'"},
      {"exchange 3 Ot 1\n", ":1: function Ot takes no group"},
      {"exchange 0 Gts 1\n", ":1: bad KP '0'"},
      {"exchange 3 Gts 1 kp=0\n", ":1: bad option 'kp=0'"},
      {"silence 5\nexchange 3 Gts 1 2\n", ":2: function Gts takes no object"},
      {"request 3 Gts 1 bytes=A5\n", ":1: option 'bytes' does not apply to request Gts"},
      {"exchange 3 Gtit 1 bytes=A5\n", ":1: option 'bytes' does not apply to exchange Gtit"},
      {"exchange 3 Gts 1 words=1\n", ":1: option 'words' does not apply to exchange Gts"},
      {"answer 3 Gts 1 drop\n", ":1: option 'drop' does not apply to answer Gts"},
      {"exchange 3 Bo short\n", ":1: option 'short' does not apply to exchange Bo"},
      {"exchange 3 Zutit 9 1\n", ":1: bad group (1..8) '9'"},
      {"exchange 3 Nutit 2\n", ":1: function Nutit needs a group and a channel, each 1..8"},
      {"exchange 3 TuOn 1 0\n", ":1: bad object (1..8) '0'"},
      {"exchange 3 TuOff 1 9\n", ":1: bad object (1..8) '9'"},
      {"exchange 3 TuOn 1\n", ":1: function TuOn needs a group and an object 1..8"},
      {"exchange 3 Gtit 1 flip=189\n", ":1: flip=189 is past the answer's 189 bits (0..188)"},
      {"request 3 Gts 1 flip=36\n", ":1: flip=36 is past the request's 36 bits (0..35)"},
      {"exchange 3 Gts 1 drop flip=2\n", ":1: flip hits the answer, which drop leaves out"},
      {"exchange 3 Bo bytes=" + thousand + "\n",
       ":1: an answer to Bo carries 2..8 data bytes (bytes=), not 1000"},
      {"answer 3 Bo bytes=1\n", ":1: an answer to Bo carries 2..8 data bytes (bytes=), not 1"},
      {"exchange 3 Gts 1 bytes=1,2\n", ":1: an answer to Gts carries at most 1 data byte"},
      {"exchange 3 Gts 1 short bytes=1\n", ":1: the short form carries no bytes or words"},
      {std::string("exchange 3 Gts 1\0"
                   "2\n",
                   19),
       ":1: bad group '1\\x002'"},
      {std::string("noise 1\0"
                   "0\n",
                   10),
       ":1: bad Eb/N0 '1\\x000'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    WriteFile(dir / "s.scn", c.scenario);
    const ToolResult r = Run("simulate " + Q(dir / "s.scn") + " -o " + Q(out));
    EXPECT_EQ(r.status, 2);
    ExpectOneLine(r, "simulate", c.message);
    if (c.message[0] == ':') {
      EXPECT_NE(r.err.find("s.scn" + c.message), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(out));
  }
  // The edges of the same ranges are taken.
  for (const std::string edge :
       {"exchange 3 Gtit 1 flip=188\n", "request 3 Gts 1 flip=35\n", "exchange 3 TuOff 1 8\n",
        "exchange 3 Bo bytes=1,2,3,4,5,6,7,8\n"}) {
    WriteFile(dir / "s.scn", edge);
    EXPECT_EQ(Run("simulate " + Q(dir / "s.scn") + " -o " + Q(out)).status, 0) << edge;
  }
  fs::remove(out);
  const ToolResult folder = Run("simulate " + Q(dir) + " -o " + Q(out));
  EXPECT_EQ(folder.status, 2);
  ExpectOneLine(folder, "simulate", "it is a directory");
  WriteFile(dir / "ok.scn", "silence 10\n");
  const ToolResult nowhere = Run("simulate " + Q(dir / "ok.scn") + " -o " + Q(dir / "no/x.wav"));
  EXPECT_EQ(nowhere.status, 2);
  ExpectOneLine(nowhere, "simulate", "No such file or directory");
}

TEST_F(StrictInput, NonFiniteAndOutOfRangeNumbersAreRefusedWithTheirRange) {
  const fs::path wav = Line();
  struct Case {
    std::string command, args, message;
  };
  const std::vector<Case> cases = {
      {"rx", "rx " + Q(wav) + " --start-level nan", "'nan' is not a finite number"},
      {"rx", "rx " + Q(wav) + " --start-level 11", "'11' is outside 0..10"},
      {"rx", "rx " + Q(wav) + " --start-level 0.1x", "'0.1x' is not a number"},
      {"tx", "tx --bits 01 --lead-ms inf -o " + Q(dir / "t.wav"), "'inf' is not a finite number"},
      {"tx", "tx --bits 01 --tail-ms -1 -o " + Q(dir / "t.wav"), "'-1' is outside 0..3.6e+06"},
      {"listen", "listen --duration 0", "'0' is not above 0 and at most 3.16224e+07"},
      {"listen", "listen --duration nan", "'nan' is not a finite number"},
      {"listen", "listen --blocks -5", "'-5' is not above 0"},
      {"replay", "replay " + Q(wav) + " --levels nan,0.1", "'nan' is not a level in 0..1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ExpectOneLine(r, c.command, c.message);
    EXPECT_LT(r.err.size(), 200u);
  }
  EXPECT_FALSE(fs::exists(dir / "t.wav"));
}

TEST_F(StrictInput, OutputThatCannotBeWrittenFailsAndEarly) {
  const ToolResult full = Run("encode --kp 1 --function 50 >/dev/full");
  EXPECT_EQ(full.status, 2);
  ExpectOneLine(full, "encode", "cannot write the output: No space left on device");
  const fs::path wav = Line();
  const ToolResult rx = Run("rx " + Q(wav) + " --settings " + Q(dir / "modem.ini") + " >/dev/full");
  EXPECT_EQ(rx.status, 2);
  ExpectOneLine(rx, "rx", "cannot write the output");
  // Refused before the recording is played: not one journal line.
  const ToolResult replay = Run("replay " + Q(wav) + " --out " + Q(dir / "no/such/sent.wav"));
  EXPECT_EQ(replay.status, 2);
  EXPECT_EQ(replay.out, "");
  ExpectOneLine(replay, "replay", "cannot write '" + (dir / "no/such/sent.wav").string() + "'");
  const ToolResult tx = Run("tx --bits 01 -o " + Q(dir));
  EXPECT_EQ(tx.status, 2);
  ExpectOneLine(tx, "tx", "it is a directory");
}

TEST_F(StrictInput, ARecordingLongerThanItsHeaderSaysIsReadToItsEnd) {
  const std::vector<int16_t> left = Side(Line(), 0), right = Side(dir / "line.wav", 1);
  std::vector<int16_t> stereo;
  for (size_t i = 0; i < left.size(); ++i) {
    stereo.push_back(left[i]);
    stereo.push_back(right[i]);
  }
  const std::string modem = " --settings " + Q(dir / "modem.ini");
  const ToolResult whole = Run("rx " + Q(dir / "line.wav") + modem + " --channel right");
  ASSERT_EQ(whole.status, 0);
  ASSERT_EQ(Lines(whole.out).size(), 1u) << whole.out;
  // replay journals the exchange and both sides' statistics.
  const ToolResult wholeReplay = Run("replay " + Q(dir / "line.wav") + modem);
  ASSERT_EQ(wholeReplay.status, 0);
  ASSERT_NE(wholeReplay.out.find("X\tlkAnswer"), std::string::npos) << wholeReplay.out;
  for (const uint32_t declared : {0u, 4u, 5u, 4000u}) {
    SCOPED_TRACE(declared);
    WriteFile(dir / "cut.wav", Wav(2, stereo, declared));
    const std::string warning = "warning: '" + (dir / "cut.wav").string() + "': the header gives " +
                                std::to_string(declared) + " bytes of samples but the file holds " +
                                std::to_string(stereo.size() * 2) + "; read to the end of the file";
    const ToolResult r = Run("rx " + Q(dir / "cut.wav") + modem + " --channel right");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, whole.out);
    ExpectOneLine(r, "rx", warning);
    const ToolResult replay = Run("replay " + Q(dir / "cut.wav") + modem);
    EXPECT_EQ(replay.status, 0);
    EXPECT_EQ(replay.out, wholeReplay.out);
    ExpectOneLine(replay, "replay", warning);
  }
  // A chunk after the data is no sign of damage.
  WriteFile(dir / "tagged.wav", Wav(2, stereo, static_cast<uint32_t>(stereo.size() * 2)) + "LIST" +
                                    std::string("\4\0\0\0INFO", 8));
  const ToolResult tagged = Run("rx " + Q(dir / "tagged.wav") + modem + " --channel right");
  EXPECT_EQ(tagged.status, 0);
  EXPECT_EQ(tagged.out, whole.out);
  EXPECT_EQ(tagged.err, "");
  const ToolResult taggedReplay = Run("replay " + Q(dir / "tagged.wav") + modem);
  EXPECT_EQ(taggedReplay.status, 0);
  EXPECT_EQ(taggedReplay.out, wholeReplay.out);
  EXPECT_EQ(taggedReplay.err, "");
}

// Sizes near 2^32 once made the chunk walk step by 0 and spin; files without
// a whole frame were played as nothing and reported as success.
TEST_F(StrictInput, RecordingsWithoutSoundOrWithImpossibleChunkSizesAreRefused) {
  const std::string wav = Wav(2, std::vector<int16_t>(400, 300), 800);
  auto le32 = [](uint32_t v) {
    std::string s;
    PutLe(s, v, 4);
    return s;
  };
  struct Case {
    std::string bytes, message;
  };
  const std::vector<Case> cases = {
      {wav.substr(0, 12) + "LIST" + le32(0xFFFFFFF8) + wav.substr(12), "its WAV header is damaged"},
      {wav.substr(0, 16) + le32(0xFFFFFFF7) + wav.substr(20), "its WAV header is damaged"},
      {wav.substr(0, 41), "the file ends inside the header of its data chunk (41 bytes)"},
      {Wav(2, {}, 0), "its data chunk is empty: it holds no sound"},
      {Wav(2, {}, 3) + "abc", "its data chunk holds 3 bytes, less than one frame of 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    WriteFile(dir / "bad.wav", c.bytes);
    for (const std::string command : {"rx", "replay"}) {
      const ToolResult r = Run(command + " " + Q(dir / "bad.wav"));
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.out, "");
      ExpectOneLine(r, command, "cannot read '" + (dir / "bad.wav").string() + "': " + c.message);
    }
  }
  // Whole frames play; the bytes after them are named and left out.
  WriteFile(dir / "odd.wav", Wav(2, {1, 2, 3, 4}, 11) + "abc");
  for (const std::string command : {"rx", "replay"}) {
    const ToolResult r = Run(command + " " + Q(dir / "odd.wav"));
    EXPECT_EQ(r.status, 0);
    ExpectOneLine(r, command, "its data chunk ends in 3 bytes that make no whole frame of 4");
  }
}

// Settings files and scenarios are small: /dev/zero, a FIFO or a long file
// named as one is refused before it is read.
TEST_F(StrictInput, SettingsAndScenariosAreReadOnlyFromOrdinaryFilesOfAtMostOneMebibyte) {
  const fs::path wav = Line();
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string comment = "; a settings file of comments only\n";
  std::string mebibyte;
  while (mebibyte.size() + comment.size() <= (1u << 20)) mebibyte += comment;
  mebibyte += std::string((1u << 20) - mebibyte.size() - 1, ';') + "\n";
  WriteFile(dir / "full.ini", mebibyte);
  WriteFile(dir / "long.ini", mebibyte + "\n");
  EXPECT_EQ(Run("response " + Q(dir / "full.ini")).status, 0) << "exactly 1 MiB is taken";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"/dev/zero", "it is a device, not a file"},
      {(dir / "fifo").string(), "it is a FIFO, not a file"},
      {(dir / "long.ini").string(), "it is longer than 1 MiB, the most it may hold"}};
  for (const auto& [file, why] : files) {
    SCOPED_TRACE(file);
    const std::string refusal = "cannot read settings file '" + file + "': " + why;
    const std::vector<std::pair<std::string, std::string>> runs = {
        {"response", "response " + Q(file)},
        {"rx", "rx " + Q(wav) + " --settings " + Q(file)},
        {"replay", "replay " + Q(wav) + " --settings " + Q(file)}};
    for (const auto& [command, args] : runs) {
      const ToolResult r = Run(args);
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.out, "");
      ExpectOneLine(r, command, refusal);
    }
    WriteFile(dir / "s.scn", "settings " + file + "\nsilence 10\n");
    const ToolResult scenario = Run("simulate " + Q(dir / "s.scn") + " -o " + Q(dir / "o.wav"));
    EXPECT_EQ(scenario.status, 2);
    ExpectOneLine(scenario, "simulate", (dir / "s.scn").string() + ":1: " + refusal);
    const ToolResult asScenario = Run("simulate " + Q(file) + " -o " + Q(dir / "o.wav"));
    EXPECT_EQ(asScenario.status, 2);
    ExpectOneLine(asScenario, "simulate", "cannot read '" + file + "': " + why);
  }
  EXPECT_FALSE(fs::exists(dir / "o.wav"));
}

TEST_F(StrictInput, DamagedHeadersAreExplainedBeforeTheLibrarysWords) {
  const std::string wav = Wav(1, std::vector<int16_t>(100, 7), 200);
  struct Case {
    std::string bytes, message;
  };
  const std::vector<Case> cases = {
      {"", "the file is empty"},
      {wav.substr(0, 20), "its WAV header is damaged or incomplete (libsndfile: "},
      {wav.substr(0, 22) + std::string(2, '\0') + wav.substr(24),
       "its WAV header is damaged or incomplete (libsndfile: "},
      {"RIFF\x10\0\0\0AVI LIST", "it is a RIFF file but not a WAV file (libsndfile: "},
      {"just some text, not a sound\n", "it is not a sound file of a format this program reads"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    WriteFile(dir / "bad.wav", c.bytes);
    for (const std::string command : {"rx", "replay"}) {
      const ToolResult r = Run(command + " " + Q(dir / "bad.wav"));
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.out, "");
      ExpectOneLine(r, command, "cannot read '" + (dir / "bad.wav").string() + "': " + c.message);
    }
  }
}

TEST_F(StrictInput, OneVocabularyAcrossCommands) {
  // --channel takes numbers and names alike in tx and rx.
  ASSERT_EQ(Run("tx --bits 1111011010011001 --channel 1 -o " + Q(dir / "r1.wav")).status, 0);
  ASSERT_EQ(Run("tx --bits 1111011010011001 --channel right -o " + Q(dir / "r2.wav")).status, 0);
  EXPECT_EQ(ReadAll(dir / "r1.wav"), ReadAll(dir / "r2.wav"));
  const ToolResult byName = Run("rx " + Q(dir / "r1.wav") + " --channel right");
  EXPECT_EQ(byName.out.substr(0, 15), "16\t011010011001");
  EXPECT_EQ(byName.out, Run("rx " + Q(dir / "r1.wav") + " --channel 1").out);
  EXPECT_EQ(Run("rx " + Q(dir / "r1.wav") + " --channel left").out, "");
  for (const std::string& args : std::vector<std::string>{
           "rx x.wav --channel middle", "tx --bits 01 --channel 2 -o " + Q(dir / "x.wav")}) {
    const ToolResult r = Run(args);
    EXPECT_EQ(r.status, 2);
    ExpectOneLine(r, args.substr(0, 2), "is not 0, 1, left or right");
  }
  // Usage errors carry the subcommand's name like every other message.
  const ToolResult bogus = Run("decode --bogus");
  EXPECT_EQ(bogus.status, 2);
  ExpectOneLine(bogus, "decode", "--bogus");
  const ToolResult missing = Run("encode --kp 3");
  EXPECT_EQ(missing.status, 2);
  ExpectOneLine(missing, "encode", "--function is required");
  ExpectOneLine(Run("encode --kp 3 --function 1FF"), "encode", "'1FF' is not a hex byte");
  // The device names --device takes, one per line; none is a negative
  // result with one line saying so.
  const ToolResult devices = Run("listen --list-devices");
  if (devices.status == 0) {
    EXPECT_FALSE(devices.out.empty());
    EXPECT_EQ(devices.err, "");
  } else {
    EXPECT_EQ(devices.status, 1);
    EXPECT_EQ(devices.out, "");
    ExpectOneLine(devices, "listen", "no sound device with 2 inputs and 2 outputs");
  }
}

TEST_F(StrictInput, DecodeTakesWhatEncodePrints) {
  const std::string tool = std::string("'") + SORVEX_TOOL_PATH + "'";
  for (const std::string request :
       {"--kp 3 --function 90 --group 2", "--kp 31 --function A0 --group 8 --object 8",
        "--kp 4 --function 70 --group 1 --object 3", "--kp 5 --function B0 --group 3 --object 7"}) {
    SCOPED_TRACE(request);
    const ToolResult encoded = Run("encode " + request);
    ASSERT_EQ(encoded.status, 0);
    const std::string bits = Lines(encoded.out)[0];
    const ToolResult piped = Run("encode " + request + " | " + tool + " decode --request");
    EXPECT_EQ(piped.status, 0) << piped.out << piped.err;
    EXPECT_EQ(piped.out.rfind("ok\t", 0), 0u) << piped.out;
    // The same as the telegram without its nine lead bits, on the command line.
    EXPECT_EQ(piped.out, Run("decode --request " + bits.substr(9)).out);
    EXPECT_EQ(piped.out, Run("decode --request " + bits).out);
    WriteFile(dir / "encoded.txt", encoded.out);
    EXPECT_EQ(piped.out, Run("decode --request - < " + Q(dir / "encoded.txt")).out);
  }
  const ToolResult empty = Run("decode --request </dev/null");
  EXPECT_EQ(empty.status, 2);
  ExpectOneLine(empty, "decode", "no bit string on standard input");
}

TEST_F(StrictInput, MonoRecordingsReplayOnTheSideNamed) {
  const fs::path stereo = Line("exchange 3 Gts 1 bytes=A5\nexchange 3 Gts 2 bytes=0F\n");
  WriteFile(dir / "answers.wav",
            Wav(1, Side(stereo, 1), static_cast<uint32_t>(Side(stereo, 1).size() * 2)));
  WriteFile(dir / "requests.wav",
            Wav(1, Side(stereo, 0), static_cast<uint32_t>(Side(stereo, 0).size() * 2)));
  const std::string modem = " --settings " + Q(dir / "modem.ini");
  auto kinds = [](const std::string& out) {
    std::vector<std::string> found;
    for (const auto& line : Lines(out)) {
      if (line.rfind("X\t", 0) == 0) found.push_back(line.substr(2, line.find('\t', 2) - 2));
    }
    return found;
  };
  // An answer side alone shows its two answers; the default side is the answer side.
  const ToolResult answers = Run("replay " + Q(dir / "answers.wav") + modem);
  EXPECT_EQ(answers.status, 0) << answers.err;
  EXPECT_EQ(answers.out, Run("replay " + Q(dir / "answers.wav") + modem + " --side answer").out);
  const auto answerKinds = kinds(answers.out);
  EXPECT_EQ(std::count(answerKinds.begin(), answerKinds.end(), "lkAnswer"), 2) << answers.out;
  EXPECT_NE(answers.out.find("Группа=2, Значение 0FH"), std::string::npos) << answers.out;
  const ToolResult requests = Run("replay " + Q(dir / "requests.wav") + modem + " --side request");
  EXPECT_EQ(requests.status, 0);
  const auto requestKinds = kinds(requests.out);
  EXPECT_EQ(std::count(requestKinds.begin(), requestKinds.end(), "lkRequest"), 2) << requests.out;
  EXPECT_EQ(std::count(requestKinds.begin(), requestKinds.end(), "lkAnswer"), 0);
  EXPECT_EQ(Run("replay " + Q(dir / "answers.wav") + " --side both").status, 2);
  // The statistics header names the columns the S lines hold.
  const ToolResult header = Run("replay " + Q(stereo) + modem + " --header");
  const auto lines = Lines(header.out);
  const auto at = std::find_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.rfind("#S\t", 0) == 0; });
  ASSERT_NE(at, lines.end()) << header.out;
  EXPECT_EQ(std::count(at->begin(), at->end(), '\t'), 11);
  ASSERT_NE(at + 1, lines.end());
  EXPECT_EQ((at + 1)->rfind("S\t", 0), 0u);
}

// The simulator's own faults: a first telegram with no silence before it, and
// Zutit/Nutit answers that did not name the channel asked for.
TEST_F(StrictInput, SimulatedLinesKeepTheirFirstTelegramAndEchoTheChannel) {
  const fs::path wav = Line("exchange 3 Zutit 2 5 words=1,2,3,4,5,6,7,8\nexchange 4 Nutit 8 1\n");
  const ToolResult r = Run("replay " + Q(wav) + " --settings " + Q(dir / "modem.ini"));
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> exchange;
  for (const auto& line : Lines(r.out)) {
    if (line.rfind("X\tlkRequest", 0) == 0 || line.rfind("X\tlkAnswer", 0) == 0 ||
        line.rfind("X\tlkBadRequest", 0) == 0) {
      exchange.push_back(line);
    }
  }
  ASSERT_EQ(exchange.size(), 4u) << r.out;
  EXPECT_NE(exchange[0].find("Группа=2, Канал=5"), std::string::npos) << exchange[0];
  EXPECT_NE(exchange[1].find("Группа=2, Канал=5"), std::string::npos) << exchange[1];
  EXPECT_EQ(exchange[2].rfind("X\tlkRequest", 0), 0u) << exchange[2];
  EXPECT_NE(exchange[2].find("КП=4; НУТИТ; Группа=8, Канал=1, Данные: "), std::string::npos)
      << exchange[2];
  EXPECT_NE(exchange[3].find("Группа=8, Канал=1"), std::string::npos) << exchange[3];
}

}  // namespace
}  // namespace sorvex
