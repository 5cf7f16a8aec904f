#include "dsp/amplitude_spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace sorvex {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kWindow = 4000;
constexpr int kN = TAmplitudeSpectrum::kFftSize;

// Stereo frames: a tone on each side, amplitude relative to full scale.
std::vector<int16_t> Tones(double leftHz, double leftA, double rightHz, double rightA) {
  std::vector<int16_t> frames(2 * kWindow);
  for (int k = 0; k < kWindow; ++k) {
    frames[2 * k] =
        static_cast<int16_t>(std::lround(leftA * 32768 * std::cos(2 * kPi * leftHz * k / 8000)));
    frames[2 * k + 1] =
        static_cast<int16_t>(std::lround(rightA * 32768 * std::cos(2 * kPi * rightHz * k / 8000)));
  }
  return frames;
}

double BinHz(int m) {
  return m * 8000.0 / kN;
}

// One channel's windowed DFT at bin m, summed directly, as an amplitude.
double DirectAmplitude(const std::vector<int16_t>& frames, int channel, int m) {
  std::complex<double> sum = 0;
  double gain = 0;
  for (int k = 0; k < kWindow; ++k) {
    const double w = std::pow(std::sin(kPi * (k + 0.5) / kWindow), 2);  // Hann
    gain += w;
    sum += frames[2 * k + channel] / 32768.0 * w * std::polar(1.0, -2 * kPi * k * m / kN);
  }
  return std::abs(sum) * (m == 0 || m == kN / 2 ? 1.0 : 2.0) / gain;
}

TEST(AmplitudeSpectrum, ATonesAmplitudeReadsInItsBinAndOnItsOwnSideOnly) {
  TAmplitudeSpectrum spectrum(kWindow);
  const int leftBin = 666, rightBin = 1075;  // about 1300 and 2100 Hz
  const auto frames = Tones(BinHz(leftBin), 0.5, BinHz(rightBin), 0.1);
  spectrum.Compute(frames.data(), kWindow);
  EXPECT_NEAR(spectrum.Amplitude(0)[leftBin], 0.5, 1e-4);
  EXPECT_NEAR(spectrum.Amplitude(1)[rightBin], 0.1, 1e-4);
  // Each side's tone is 100 dB down on the other side (quantisation aside).
  EXPECT_LT(spectrum.Amplitude(0)[rightBin], 1e-6);
  EXPECT_LT(spectrum.Amplitude(1)[leftBin], 1e-6);
}

TEST(AmplitudeSpectrum, EqualsADirectWindowedDftOfEachSide) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<int16_t> frames(2 * kWindow);
  for (int16_t& s : frames) s = static_cast<int16_t>(sample(random));
  TAmplitudeSpectrum spectrum(kWindow);
  spectrum.Compute(frames.data(), kWindow);
  for (int m = 0; m <= kN / 2; m += 41) {
    for (int channel = 0; channel < 2; ++channel) {
      EXPECT_NEAR(spectrum.Amplitude(channel)[m], DirectAmplitude(frames, channel, m), 1e-9)
          << "bin " << m << ", channel " << channel;
    }
  }
  EXPECT_NEAR(spectrum.Amplitude(1)[kN / 2], DirectAmplitude(frames, 1, kN / 2), 1e-9);
}

// Before half a second has come in, what there is ends the window.
TEST(AmplitudeSpectrum, FewerFramesAreTheWindowsEndAfterSilence) {
  const auto tones = Tones(440, 0.3, 3000, 0.2);
  std::vector<int16_t> padded(2 * kWindow, 0);
  std::copy(tones.begin(), tones.begin() + 2 * 1500, padded.end() - 2 * 1500);
  TAmplitudeSpectrum shortOne(kWindow), full(kWindow);
  shortOne.Compute(tones.data(), 1500);
  full.Compute(padded.data(), kWindow);
  for (int channel = 0; channel < 2; ++channel)
    EXPECT_EQ(shortOne.Amplitude(channel), full.Amplitude(channel));
}

}  // namespace
}  // namespace sorvex
