// The settings tab's test-signal preview: the test-byte parser, the sample
// count, the spectrum's size and scaling, and the preview against the same
// steps run by hand on a settings editor.
#include "monitor/test_signal_preview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace sorvex {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(TestBytes, HexNumbersSeparatedBySemicolons) {
  EXPECT_EQ(ParseTestBytes("00; ff; 55; 55;"), (Bytes{0x00, 0xFF, 0x55, 0x55}));
  EXPECT_EQ(ParseTestBytes("12;34"), (Bytes{0x12, 0x34}));
  EXPECT_EQ(ParseTestBytes("12 34"), (Bytes{0x12}));  // no ";" after 12
  EXPECT_EQ(ParseTestBytes("zz"), Bytes{});
  EXPECT_EQ(ParseTestBytes(""), Bytes{});
  EXPECT_EQ(ParseTestBytes("   "), Bytes{});
  EXPECT_EQ(ParseTestBytes(" \t7 ;\n 1Ab ;"), (Bytes{0x07, 0xAB}));  // low 8 bits of 0x1AB
  EXPECT_EQ(ParseTestBytes("12;;34"), (Bytes{0x12}));  // nothing readable after the first ";"
  EXPECT_EQ(ParseTestBytes("12;zz;34"), (Bytes{0x12}));
  EXPECT_EQ(ParseTestBytes("12x;34"), (Bytes{0x12}));
  EXPECT_EQ(ParseTestBytes("0x1f;0X2e;0xg"), (Bytes{0x1F, 0x2E, 0x00}));  // "0xg" reads as 0
  EXPECT_EQ(ParseTestBytes("-1;+2;-80"), (Bytes{0xFF, 0x02, 0x80}));
  EXPECT_EQ(ParseTestBytes("FFFFFFFFFFFFFFFFFF12"), (Bytes{0x12}));  // no overflow
}

TEST(TestBytes, AtMostThirtyTwo) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += std::to_string(i % 10) + ";";
  const Bytes bytes = ParseTestBytes(text);
  ASSERT_EQ(bytes.size(), 32u);
  for (size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], i % 10) << i;
}

TEST(TestSignalSizes, SamplesAndSpectrumLength) {
  EXPECT_EQ(TestSignalSamples(4, 200), 1280);
  EXPECT_EQ(TestSignalSamples(4, 50), 5120);
  EXPECT_EQ(TestSignalSamples(4, 2400), 106);  // 106.67 truncated
  EXPECT_EQ(TestSignalSamples(32, 50), 40960);
  EXPECT_EQ(TestSignalSamples(0, 200), 0);
  EXPECT_EQ(TestSignalSamples(4, 0), 0);
  EXPECT_EQ(TestSignalSamples(4, -200), 0);
  EXPECT_EQ(SpectrumSize(0), 2);
  EXPECT_EQ(SpectrumSize(1), 2);
  EXPECT_EQ(SpectrumSize(2), 2);
  EXPECT_EQ(SpectrumSize(3), 4);
  EXPECT_EQ(SpectrumSize(1280), 2048);
  EXPECT_EQ(SpectrumSize(2048), 2048);
  EXPECT_EQ(SpectrumSize(2049), 4096);
}

TEST(TestSignalSpectrum, ScaledSoThatABinCentredSineShowsItsAmplitude) {
  std::vector<double> out, re, im;
  // 0.6 · sin at bin 100 of 1024 and 0.25 · cos at bin 300: exact bins.
  std::vector<double> x(1024);
  for (size_t k = 0; k < x.size(); ++k) {
    const double t = 2.0 * std::numbers::pi * static_cast<double>(k) / 1024.0;
    x[k] = 0.6 * std::sin(100 * t) + 0.25 * std::cos(300 * t);
  }
  SignalSpectrum(x.data(), 1024, out, re, im);
  ASSERT_EQ(out.size(), 512u);
  for (size_t k = 0; k < out.size(); ++k) {
    const double expected = k == 100 ? 0.6 : (k == 300 ? 0.25 : 0.0);
    ASSERT_NEAR(out[k], expected, 1e-9) << k;
  }
  // Zero-padded: 1280 ones give 1280 / (1280 / 2) = 2 in bin 0 of 2048.
  std::vector<double> ones(1280, 1.0);
  SignalSpectrum(ones.data(), 1280, out, re, im);
  ASSERT_EQ(out.size(), 1024u);
  EXPECT_NEAR(out[0], 2.0, 1e-12);
  // A single sample divides by 1, not by 0.
  SignalSpectrum(ones.data(), 1, out, re, im);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], 1.0);
}

class PreviewTest : public ::testing::Test {
 protected:
  // The preview's steps run on the editor itself: transmit, modulate, reset
  // the receiver, demodulate in blocks of 512.
  static std::vector<double> ByHand(TModem& editor, const Bytes& bytes, int32_t samples) {
    editor.StartTransmit(bytes.data(), static_cast<int32_t>(bytes.size()) * 8);
    std::vector<double> signal(static_cast<size_t>(samples)), out(signal.size());
    editor.Modulate(signal.data(), samples);
    editor.ResetReceiver();
    for (int32_t at = 0; at < samples; at += 512)
      editor.Demodulate(signal.data() + at, std::min(512, samples - at), out.data() + at);
    return out;
  }

  TModem editor{"", kPreviewBlockLength};
  TTestSignalPreview preview;
};

TEST_F(PreviewTest, SignalEqualsTheStepsOnTheEditorAndFollowsTheBits) {
  editor.SetGeneral(200, 1300, 2100);
  editor.SetFilter(TModem::kSmoothingSlot, 0, 2, 300, 3000, 1);
  const std::vector<double> out = preview.Run(editor, "00; ff; 55; 55;", 200, TPreviewMode::Signal);
  EXPECT_EQ(preview.ByteCount(), 4);
  EXPECT_EQ(preview.SampleCount(), 1280);
  ASSERT_EQ(out.size(), 1280u);
  TModem reference("", kPreviewBlockLength);
  reference.SetGeneral(200, 1300, 2100);
  reference.SetFilter(TModem::kSmoothingSlot, 0, 2, 300, 3000, 1);
  EXPECT_EQ(out, ByHand(reference, {0x00, 0xFF, 0x55, 0x55}, 1280));
  // 40 samples a bit; after the filters' delay byte 0 reads low, byte 1 high.
  for (int k = 120; k < 320; ++k) ASSERT_LT(out[static_cast<size_t>(k)], -0.3) << k;
  for (int k = 440; k < 640; ++k) ASSERT_GT(out[static_cast<size_t>(k)], 0.3) << k;
  // Every run starts from rest: the same bytes give the same picture.
  EXPECT_EQ(preview.Run(editor, "00; ff; 55; 55;", 200, TPreviewMode::Signal), out);
}

TEST_F(PreviewTest, TheEditorsReceiverChoiceAndStateDoNotMatter) {
  const std::vector<double> standard = preview.Run(editor, "a5; 3c", 600, TPreviewMode::Signal);
  editor.SetReceiver(rkSensitive);
  editor.StartTransmit(Bytes{0xFF}.data(), 8);  // left half-sent
  TTestSignalPreview other;
  EXPECT_EQ(other.Run(editor, "a5; 3c", 600, TPreviewMode::Signal), standard);
  EXPECT_TRUE(editor.Transmitting());
}

TEST_F(PreviewTest, SpectrumPeaksAtTheTones) {
  const std::vector<double> out =
      preview.Run(editor, "00; ff; 55; 55;", 200, TPreviewMode::Spectrum);
  ASSERT_EQ(out.size(), 1024u);  // N = 2048
  std::vector<double> re, im, expected;
  SignalSpectrum(preview.Signal().data(), 1280, expected, re, im);
  EXPECT_EQ(out, expected);
  // The defaults 2540 and 2760 Hz: bins 650 and 706 of 2048 at 8000 Hz.
  const size_t peak = static_cast<size_t>(std::max_element(out.begin(), out.end()) - out.begin());
  EXPECT_TRUE((peak >= 645 && peak <= 655) || (peak >= 702 && peak <= 711)) << peak;
  EXPECT_LT(*std::max_element(out.begin(), out.begin() + 500), 0.05 * out[peak]);
}

TEST_F(PreviewTest, NoReadableByteGivesNothingToShow) {
  EXPECT_TRUE(preview.Run(editor, "zz", 200, TPreviewMode::Signal).empty());
  EXPECT_TRUE(preview.Run(editor, "zz", 200, TPreviewMode::Spectrum).empty());
  EXPECT_EQ(preview.SampleCount(), 0);
  // The speed comes from the caller: 50 baud, 2 bytes.
  EXPECT_EQ(preview.Run(editor, "1;2", 50, TPreviewMode::Signal).size(), 2560u);
}

}  // namespace
}  // namespace sorvex
