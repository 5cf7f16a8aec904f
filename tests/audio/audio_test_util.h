#pragma once

// Helpers shared by the audio tests: a scratch directory per test, a small
// independent WAV writer (any rate and channel count, 16-bit or float), tone
// synthesis and a least-squares tone fit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sorvex::test {

namespace fs = std::filesystem;

inline fs::path MakeScratchDir(const std::string& prefix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::temp_directory_path() / (prefix + "_" + std::to_string(getpid()) + "_" +
                                              info->test_suite_name() + "_" + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

inline void PutLe(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A canonical 44-byte-header WAV file. `samples` is interleaved.
inline std::string WavBytes16(int rate, int channels, const std::vector<int16_t>& samples) {
  std::string data;
  for (int16_t s : samples) PutLe(data, static_cast<uint16_t>(s), 2);
  std::string out = "RIFF";
  PutLe(out, static_cast<uint32_t>(36 + data.size()), 4);
  out += "WAVEfmt ";
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, channels, 2);
  PutLe(out, rate, 4);
  PutLe(out, rate * channels * 2, 4);
  PutLe(out, channels * 2, 2);
  PutLe(out, 16, 2);
  out += "data";
  PutLe(out, static_cast<uint32_t>(data.size()), 4);
  return out + data;
}

// 32-bit float WAV (format 3, with the fact chunk).
inline std::string WavBytesFloat(int rate, int channels, const std::vector<float>& samples) {
  std::string data;
  for (float s : samples) {
    uint32_t bits;
    std::memcpy(&bits, &s, 4);
    PutLe(data, bits, 4);
  }
  std::string out = "RIFF";
  PutLe(out, static_cast<uint32_t>(4 + 26 + 12 + 8 + data.size()), 4);
  out += "WAVEfmt ";
  PutLe(out, 18, 4);
  PutLe(out, 3, 2);  // IEEE float
  PutLe(out, channels, 2);
  PutLe(out, rate, 4);
  PutLe(out, rate * channels * 4, 4);
  PutLe(out, channels * 4, 2);
  PutLe(out, 32, 2);
  PutLe(out, 0, 2);
  out += "fact";
  PutLe(out, 4, 4);
  PutLe(out, static_cast<uint32_t>(samples.size() / channels), 4);
  out += "data";
  PutLe(out, static_cast<uint32_t>(data.size()), 4);
  return out + data;
}

inline void PutFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string GetFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Interleaved samples of `channels` channels; channel c gets a tone of
// freqs[c] Hz and amplitude amps[c] (full scale 32768), rounded.
inline std::vector<int16_t> Tones(int rate, int channels, int64_t frames,
                                  const std::vector<double>& freqs,
                                  const std::vector<double>& amps) {
  std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
  for (int64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      const double v = amps[c] * std::sin(2 * M_PI * freqs[c] * static_cast<double>(i) / rate);
      out[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(v));
    }
  }
  return out;
}

// Least-squares fit of a·sin + b·cos at `freq` Hz (8000 Hz) to one channel of
// interleaved stereo frames [from, to). Amplitude in sample units, and the
// RMS of what the tone does not explain.
struct ToneFit {
  double Amplitude = 0;
  double Residual = 0;
};

inline ToneFit FitTone(const std::vector<int16_t>& stereo, int channel, double freq, size_t from,
                       size_t to) {
  double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
  for (size_t i = from; i < to; ++i) {
    const double w = 2 * M_PI * freq * static_cast<double>(i) / 8000.0;
    const double s = std::sin(w), c = std::cos(w), x = stereo[2 * i + channel];
    ss += s * s;
    sc += s * c;
    cc += c * c;
    xs += x * s;
    xc += x * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
  double err = 0;
  for (size_t i = from; i < to; ++i) {
    const double w = 2 * M_PI * freq * static_cast<double>(i) / 8000.0;
    const double r = stereo[2 * i + channel] - (a * std::sin(w) + b * std::cos(w));
    err += r * r;
  }
  return {std::hypot(a, b), std::sqrt(err / static_cast<double>(to - from))};
}

// Frequency from the count of rising zero crossings over [from, to).
inline double ZeroCrossingFrequency(const std::vector<int16_t>& stereo, int channel, size_t from,
                                    size_t to) {
  size_t first = 0, last = 0;
  int count = -1;
  for (size_t i = from + 1; i < to; ++i) {
    if (stereo[2 * (i - 1) + channel] < 0 && stereo[2 * i + channel] >= 0) {
      if (count < 0) first = i;
      last = i;
      ++count;
    }
  }
  if (count <= 0) return 0;
  return 8000.0 * count / static_cast<double>(last - first);
}

}  // namespace sorvex::test
