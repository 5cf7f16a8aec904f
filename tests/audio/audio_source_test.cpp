// The signal sources of the window's device: the INI text, a recording at
// real-time pace then silence, and sources that cannot be opened.
#include "audio/audio_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "alsa_files.h"
#include "audio/sound_file_stream.h"
#include "audio_test_util.h"

namespace sorvex {
namespace {

using test::fs::path;

TEST(AudioSource, ParsesAndFormatsTheIniText) {
  struct Case {
    std::string Text;
    TAudioSource::Kind Type;
    std::string Name;
  } cases[] = {
      {"", TAudioSource::Kind::Default, ""},
      {"device:USB Audio: #1 (hw:1,0)", TAudioSource::Kind::Device, "USB Audio: #1 (hw:1,0)"},
      {"file:/tmp/line 1.wav", TAudioSource::Kind::File, "/tmp/line 1.wav"},
      {"file:file:x", TAudioSource::Kind::File, "file:x"},
      // Without a name, or with another prefix: kept, never opened.
      {"device:", TAudioSource::Kind::Unknown, "device:"},
      {"file:", TAudioSource::Kind::Unknown, "file:"},
      {"line.wav", TAudioSource::Kind::Unknown, "line.wav"},
  };
  for (const Case& c : cases) {
    const TAudioSource source = TAudioSource::Parse(c.Text);
    EXPECT_EQ(source.Type, c.Type) << c.Text;
    EXPECT_EQ(source.Name, c.Name) << c.Text;
    EXPECT_EQ(source.Format(), c.Text);  // the INI gets back what it held
  }
}

TEST(AudioSource, ARecordingPlaysAtRealTimeOnTheAnswerSideThenSilence) {
  const path dir = test::MakeScratchDir("sorvex_source");
  // Mono 1000 Hz at 16 kHz, 0.4 s: four blocks of 8000 Hz frames, the
  // last one partial.
  const int64_t frames = 6400;
  test::PutFile(dir / "tone.wav",
                test::WavBytes16(16000, 1, test::Tones(16000, 1, frames, {1000.0}, {8000.0})));
  const std::string settings = (dir / "modem.ini").string();
  test::PutFile(settings, "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n");
  TAudioSource source{TAudioSource::Kind::File, (dir / "tone.wav").string()};

  const auto start = std::chrono::steady_clock::now();
  TOpenedSource opened = OpenSourceDevice(settings, source);
  ASSERT_NE(opened.Device, nullptr);
  ASSERT_NE(opened.File, nullptr);
  EXPECT_EQ(opened.Device->GetStatus(), 0);
  EXPECT_EQ(opened.Error, "");
  EXPECT_EQ(opened.File->Info().SampleRate, 16000);
  EXPECT_EQ(opened.File->Info().Frames, frames);
  // Real time: block k after (k + 1) × 128 ms, so not all three at once.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(opened.File->BlocksProcessed(), 0);
  double peak[2] = {0, 0};
  while (!opened.File->Ended() &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    for (int ch = 0; ch < 2; ++ch) peak[ch] = std::max(peak[ch], opened.Device->Level(ch));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(opened.File->Ended());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.5);
  EXPECT_EQ(opened.File->BlocksProcessed(), 4);
  // The tone reached the answer side only.
  EXPECT_GT(peak[1], 0.05);
  EXPECT_LT(peak[0], 0.01);
  // After the end the device goes on receiving silence, at the same pace,
  // and stays open.
  const int64_t atEnd = opened.Device->BlocksProcessed();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_GE(opened.Device->BlocksProcessed(), atEnd + 2);
  EXPECT_LE(opened.Device->BlocksProcessed(), atEnd + 4);
  EXPECT_EQ(opened.File->BlocksProcessed(), 4);
  EXPECT_EQ(opened.Device->GetStatus(), 0);
  opened.Device.reset();  // stops the silence
  test::fs::remove_all(dir);
}

TEST(AudioSource, WhatCannotBeOpenedLeavesADeviceWithoutSoundAndSaysWhy) {
  const path dir = test::MakeScratchDir("sorvex_source");
  const std::string settings = (dir / "none.ini").string();
  TOpenedSource missing =
      OpenSourceDevice(settings, {TAudioSource::Kind::File, (dir / "gone.wav").string()});
  ASSERT_NE(missing.Device, nullptr);
  EXPECT_EQ(missing.Device->GetStatus(), -1);
  EXPECT_NE(missing.Error.find("gone.wav"), std::string::npos) << missing.Error;
  // The same failures as codes, with the system's or libsndfile's own words.
  EXPECT_EQ(missing.Fault, (TAudioFault{TAudioFault::Kind::RecordingOpen,
                                        (dir / "gone.wav").string(), "", std::strerror(ENOENT)}));
  // The locked operations still work on the modems.
  EXPECT_EQ(missing.Device->BaudRate(0), 200);

  test::PutFile(dir / "text.wav", "not a recording");
  TOpenedSource garbage =
      OpenSourceDevice(settings, {TAudioSource::Kind::File, (dir / "text.wav").string()});
  EXPECT_EQ(garbage.Device->GetStatus(), -1);
  EXPECT_FALSE(garbage.Error.empty());
  EXPECT_EQ(garbage.Fault.Code, TAudioFault::Kind::RecordingNotSound);
  EXPECT_FALSE(garbage.Fault.Library.empty());  // libsndfile's words

  // A FIFO would hold the window until a writer came: refused at once.
  const std::string fifo = (dir / "line.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  TOpenedSource pipe = OpenSourceDevice(settings, {TAudioSource::Kind::File, fifo});
  EXPECT_EQ(pipe.Device->GetStatus(), -1);
  EXPECT_NE(pipe.Error.find("'" + fifo + "': it is a FIFO"), std::string::npos) << pipe.Error;
  EXPECT_EQ(pipe.Fault.Code, TAudioFault::Kind::RecordingNotFile);

  TOpenedSource unknown = OpenSourceDevice(settings, TAudioSource::Parse("line.wav"));
  EXPECT_EQ(unknown.Device->GetStatus(), -1);
  EXPECT_EQ(unknown.Error, "unknown signal source 'line.wav'");
  EXPECT_EQ(unknown.File, nullptr);

  // A device name PortAudio does not know, and a default device on a card
  // that does not exist (ALSA routed, in a child process).
  const test::ChildResult r =
      test::RunInChild(dir, test::WriteAlsaNoCardConfig(dir), [&](std::string& message) {
        TOpenedSource named =
            OpenSourceDevice(settings, {TAudioSource::Kind::Device, "no such card"});
        TOpenedSource card = OpenSourceDevice(settings, {});
        message = named.Error + "|" + card.Error;
        const bool coded =
            named.Fault == TAudioFault{TAudioFault::Kind::NoNamedDevice, "no such card", "", ""} &&
            card.Fault.Code != TAudioFault::Kind::None;
        return named.Device->GetStatus() == -1 && card.Device->GetStatus() == -1 && coded ? 0 : 1;
      });
  EXPECT_EQ(r.Status, 0) << r.Message;
  EXPECT_NE(r.Message.find("'no such card'"), std::string::npos) << r.Message;
  EXPECT_NE(r.Message.rfind('|'), r.Message.size() - 1) << "no reason for the default device";
  test::fs::remove_all(dir);
}

}  // namespace
}  // namespace sorvex
