// With PortAudio's stderr redirection off (as the window runs it), nothing
// another thread prints while PortAudio works is lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "alsa_files.h"
#include "audio/portaudio_stream.h"

namespace sorvex {
namespace {

TEST(PortAudioQuiet, OtherThreadsMessagesAllArriveWhenTheRedirectionIsOff) {
  const test::fs::path dir = test::MakeScratchDir("sorvex_pa_quiet");
  constexpr int kMessages = 300;
  const test::ChildResult r =
      test::RunInChild(dir, test::WriteAlsaNoCardConfig(dir), [](std::string& message) {
        TPortAudioStream::SetQuietStderr(false);
        std::atomic<bool> printing{true};
        std::thread other([&printing] {
          for (int i = 0; i < kMessages; ++i) {
            const std::string line = "window message " + std::to_string(i) + "\n";
            (void)!write(2, line.data(), line.size());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
          printing = false;
        });
        int attempts = 0;
        while (printing) {
          TPortAudioStream stream;
          stream.Start([](const int16_t*, int16_t*, int) {});  // no card: fails
          TPortAudioStream::DuplexDeviceNames();
          ++attempts;
        }
        other.join();
        message = std::to_string(attempts);
        return 0;
      });
  ASSERT_EQ(r.Status, 0) << r.Message;
  EXPECT_GE(std::stoi(r.Message), 1);
  for (int i = 0; i < kMessages; ++i)
    EXPECT_NE(r.Stderr.find("window message " + std::to_string(i) + "\n"), std::string::npos) << i;
  test::fs::remove_all(dir);
}

}  // namespace
}  // namespace sorvex
