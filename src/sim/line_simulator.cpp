#include "sim/line_simulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sorvex {
namespace {

constexpr double kPeak = 32000.0;  // the device's output scale

void FlipBit(uint8_t* bits, int index) {
  bits[index / 8] = static_cast<uint8_t>(bits[index / 8] ^ (0x80 >> (index % 8)));
}

}  // namespace

TLineSimulator::TLineSimulator(const std::string& settingsFile, uint32_t seed)
    : FModem(settingsFile, 1024), FRandom(seed) {
  int32_t freq0 = 0, freq1 = 0;
  FModem.GetGeneral(FBaudrate, freq0, freq1);
  if (FBaudrate <= 0) FBaudrate = 200;
}

void TLineSimulator::SetNoise(double ebN0Db, int channel) {
  double sigma = 0;
  if (!std::isnan(ebN0Db)) {
    // A tone of amplitude A carries Eb = A²/2 · T per bit; white noise of
    // density N0 sampled at fs has variance N0 · fs / 2.
    const double ebN0 = std::pow(10.0, ebN0Db / 10.0);
    const double samplesPerBit = static_cast<double>(SampleRate) / FBaudrate;
    sigma = kPeak * std::sqrt(samplesPerBit / (4.0 * ebN0));
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (channel < 0 || channel == ch) {
      FNoiseSigma[ch] = sigma;
      FMaxSigma[ch] = std::max(FMaxSigma[ch], sigma);
    }
  }
}

void TLineSimulator::SetGain(double gain, int channel) {
  for (int ch = 0; ch < 2; ++ch) {
    if (channel < 0 || channel == ch) FGain[ch] = gain;
  }
}

void TLineSimulator::Append(const double* left, const double* right, int n) {
  for (int k = 0; k < n; ++k) {
    const double sides[2] = {left ? left[k] : 0.0, right ? right[k] : 0.0};
    for (int ch = 0; ch < 2; ++ch) {
      double value = std::trunc(sides[ch] * kPeak);
      if (FNoiseSigma[ch] > 0) {
        double g = FGauss(FRandom);
        while (std::abs(g) > kNoiseBound) g = FGauss(FRandom);
        value += std::round(g * FNoiseSigma[ch]);
      }
      if (FGain[ch] != 1) value = std::round(value * FGain[ch]);
      FFrames.push_back(static_cast<int16_t>(std::clamp(value, -32768.0, 32767.0)));
    }
  }
}

void TLineSimulator::SetDrift(double toneOffsetHz, double rateFactor) {
  FToneOffset = toneOffsetHz;
  FRateFactor = rateFactor;
}

void TLineSimulator::ModulateDrifted(int channel, const uint8_t* bits, int bitCount) {
  // Continuous phase as TModem::Modulate, but the tone changes at the instant
  // the KP's own clock passes a bit, between our samples: a KP's modem knows
  // nothing of our sample clock.
  int32_t rate = 0, freq0 = 0, freq1 = 0;
  FModem.GetGeneral(rate, freq0, freq1);
  const double T = 1.0 / (FBaudrate * FRateFactor);
  const auto stepOf = [&](int index) {
    const bool one = bits[index / 8] & (0x80 >> (index % 8));
    return ((one ? freq1 : freq0) + FToneOffset) * 0.000125;
  };
  std::vector<double> out;
  double phase = 0, bitTime = 0, step = stepOf(0);
  for (int index = 0; index < bitCount;) {
    out.push_back(std::sin(2.0 * std::numbers::pi * phase));
    bitTime += 0.000125;
    if (bitTime >= T) {
      bitTime -= T;
      const double after = bitTime / 0.000125;  // of this sample's step, in the next bit
      const double next = ++index < bitCount ? stepOf(index) : step;
      phase += step * (1 - after) + next * after;
      step = next;
    } else {
      phase += step;
    }
    phase -= std::floor(phase);
  }
  // Whole blocks, as the modem's transmitter gives them.
  out.resize((out.size() + 1023) / 1024 * 1024, 0.0);
  const int n = static_cast<int>(out.size());
  Append(channel == 0 ? out.data() : nullptr, channel == 0 ? nullptr : out.data(), n);
}

void TLineSimulator::Silence(double ms) {
  const int n = static_cast<int>(std::lround(ms * SampleRate / 1000.0));
  std::vector<double> zeros(static_cast<size_t>(std::max(n, 0)), 0.0);
  Append(zeros.data(), zeros.data(), n);
}

void TLineSimulator::Send(int channel, const uint8_t* bits, int bitCount) {
  // A line transmitter's carrier does not stop dead on the last bit: hold
  // its tone one bit longer. Without that, at high rates the receiver's
  // mid-bit sample of the last bit (taken some 20 samples late, behind the
  // filters) falls after the tone and reads noise.
  uint8_t line[kMaxTelegramBytes] = {};
  const int count = std::clamp(bitCount, 0, kMaxTelegramBits - 1);
  std::copy(bits, bits + (count + 7) / 8, line);
  if (count > 0 && (bits[(count - 1) / 8] & (0x80 >> ((count - 1) % 8)))) {
    line[count / 8] = static_cast<uint8_t>(line[count / 8] | (0x80 >> (count % 8)));
  } else {
    line[count / 8] = static_cast<uint8_t>(line[count / 8] & ~(0x80 >> (count % 8)));
  }
  if (FToneOffset != 0 || (FRateFactor != 1 && FRateFactor > 0)) {
    if (count > 0) ModulateDrifted(channel, line, count + 1);
    Silence(std::max(20.0, 8 * BitMs()));
    return;
  }
  FModem.StartTransmit(line, count > 0 ? count + 1 : 0);
  double block[1024];
  // Whole blocks: the transmitter's zeros after the last bit are silence too.
  while (FModem.Transmitting()) {
    FModem.Modulate(block, 1024);
    Append(channel == 0 ? block : nullptr, channel == 0 ? nullptr : block, 1024);
  }
  Silence(std::max(20.0, 8 * BitMs()));
}

void TLineSimulator::SendRequest(const RequestDescriptor& request, int flipBit) {
  uint8_t buffer[kRequestBufferBytes] = {};
  const int bitCount = EncodeRequestTelegram(buffer, request);
  // The encoder's leading 00/0 is lead-in, not telegram: faults count after it.
  if (flipBit >= 0 && flipBit + 9 < bitCount) FlipBit(buffer, flipBit + 9);
  Send(0, buffer, bitCount);
}

void TLineSimulator::SendAnswer(const AnswerDescriptor& answer, int flipBit) {
  uint8_t telegram[kAnswerBufferBytes] = {};
  const int bitCount = EncodeAnswerTelegram(telegram, answer);
  if (flipBit >= 0 && flipBit < bitCount) FlipBit(telegram, flipBit);
  std::vector<uint8_t> line(static_cast<size_t>((bitCount + kAnswerLeadBits + 7) / 8), 0);
  for (int i = 0; i < bitCount; ++i) {
    if (telegram[i / 8] & (0x80 >> (i % 8))) {
      const int j = i + kAnswerLeadBits;
      line[static_cast<size_t>(j / 8)] |= static_cast<uint8_t>(0x80 >> (j % 8));
    }
  }
  Send(1, line.data(), bitCount + kAnswerLeadBits);
}

}  // namespace sorvex
