#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/hilbert.h"
#include "dsp/iir_filter.h"
#include "modem/telegram_measurer.h"
#include "util/auto_reset_event.h"
#include "util/bit_string.h"

namespace sorvex {

inline constexpr int32_t SampleRate = 8000;

// One filter slot's settings, in the order of the INI keys.
struct TFilterSettings {
  int32_t Kind = 0;  // 0 Butterworth, 1 Chebyshev
  int32_t Order = 2;
  int32_t Freq1 = 500;
  int32_t Freq2 = 3000;
  int32_t Ripp = 1;  // dB
};

enum ReceiverState : int32_t {
  rsSleeping = 0,
  rsWaitSilence = 1,
  rsWaitLevel = 2,
  rsWaitStrobe = 3,
  rsReceiving = 4,
};

enum SignalKind : uint8_t { skSample = 0, skStrobe = 1, skBitSample = 2 };

// Which receive algorithm a modem runs (GENERAL/Receiver in its settings).
enum ReceiverKind : int32_t {
  rkStandard = 0,   // the five-state receiver on the discriminator, the default
  rkSensitive = 1,  // TSensitiveReceiver: matched tone correlators
};

class TSensitiveReceiver;

struct TSignalRecord {
  double Value = 0;  // normalised smoothed discriminator output, about −1..+1
  uint8_t Kind = skSample;
};

// One FSK line channel: its settings (bit rate, tones, band-pass and smoothing
// filters), the receiver that turns samples into telegram bit strings and the
// transmitter that turns bit strings into samples. Takes no lock of its own.
class TModem {
 public:
  static constexpr int kBandSlot = 0;       // always a band-pass
  static constexpr int kSmoothingSlot = 1;  // always a low-pass
  static constexpr int kResponsePoints = 4000;

  TModem(const std::string& settingsFileName, int32_t blockLength);
  ~TModem();
  TModem(const TModem&) = delete;
  TModem& operator=(const TModem&) = delete;

  // Settings (modem.cpp).
  void GetFilter(int index, TFilterSettings& settings) const;
  void SetFilter(int index, int32_t kind, int32_t order, int32_t freq1, int32_t freq2,
                 int32_t ripp);
  // values[f] = |H| at f Hz, f = 0..3999; returns 4000.
  int GetFilterResponse(int index, double* values) const;
  void GetGeneral(int32_t& baudrate, int32_t& freq0, int32_t& freq1) const;
  void SetGeneral(int32_t baudrate, int32_t freq0, int32_t freq1);
  // The receive algorithm, a ReceiverKind; any other value means rkStandard.
  // A change puts the receiver to sleep (ResetReceiver arms it) and keeps
  // the switch-on level and the record capacity.
  int32_t GetReceiver() const { return FReceiver; }
  void SetReceiver(int32_t receiver);
  // Stores the name; unless it is empty, writes GENERAL then FILTERS.
  // True when the file was written (or the name was empty).
  bool SaveSettings(const std::string& fileName);
  const std::string& GetSettingsFileName() const { return SettingsFileName; }

  // Receiver (modem_receiver.cpp); the operations below Demodulate go to the
  // sensitive receiver when it is the one chosen. Demodulate is always the
  // standard chain (the settings tab previews it).
  void ResetReceiver();
  void Demodulate(double* in, int n, double* out);
  void ProcessBlock(int channel, const int16_t* frames, int n);
  double Level() const;
  double TakeNoise();
  void SetStartLevel(double level);
  void SetRecordCapacity(int32_t capacity);
  int32_t CopySignalRecords(TSignalRecord* dest) const;
  int32_t TakeTelegram(uint8_t* dest, int waitMs);
  int ReceiverState() const;
  // The raw input around the telegram the receiver completed last (`bits`
  // long), with the settings; no samples when none is kept. Measure it with
  // MeasureTelegramSignal.
  TTelegramSignal TelegramSignal(int32_t bits) const;
  TToneEstimate MeasureTelegram(int32_t bits) const;

  // Transmitter (modem_transmitter.cpp).
  void StartTransmit(const uint8_t* bits, int32_t bitCount);
  void Modulate(double* out, int n);
  bool Transmitting() const { return TxBitCount != 0; }

  int32_t GetBlockLength() const { return BlockLength; }

 private:
  void LoadSettings();
  void DesignSlot(int index);

  std::string SettingsFileName;
  int32_t Baudrate = 200;
  int32_t Freq0 = 2540;
  int32_t Freq1 = 2760;
  int32_t FReceiver = rkStandard;
  std::unique_ptr<TSensitiveReceiver> FSensitive;  // present when FReceiver is rkSensitive
  TIirFilter FFilters[2] = {TIirFilter(SampleRate), TIirFilter(SampleRate)};
  TFilterSettings FFilterSettings[2];
  THilbert Hilbert;

  // Receiver.
  double PrevPhase = 0;
  int32_t BlockLength;
  std::vector<double> WorkBuffer;
  int32_t State = rsSleeping;
  double PrevValue = 0;
  int32_t StateCounter = 0;
  double BitClock = 0;
  uint8_t RxBytes[256] = {};
  int32_t RxBitCount = 0;
  TAutoResetEvent TelegramEvent;
  std::vector<TSignalRecord> Records;  // empty: no record buffer
  int32_t RecordCapacity = 0;
  int32_t RecordCount = 0;
  double StartLevel = 0.1;
  double InputLevel = 0;
  double PeakMax = 0, LastPeak = 0, PrevPeak = 0;
  uint8_t PeakRising = 0;
  // The raw input of this side, whichever receiver runs, kept as a ring for
  // measuring the last telegram: FRawCount samples so far, the telegram
  // completed at FRawMark (−1: none yet).
  static constexpr int64_t kRawCapacity = 1 << 19;  // 65 s: a longest telegram at 50 bit/s
  std::vector<int16_t> FRaw;
  int64_t FRawCount = 0;
  int64_t FRawMark = -1;
  // Scratch of Demodulate, sized once to BlockLength.
  std::vector<double> FScratchI, FScratchQ;

  // Transmitter.
  uint8_t TxBytes[kMaxTelegramBytes] = {};
  int32_t TxBitCount = 0;
  int32_t TxBitIndex = 0;
  double TxPhaseStep = 0;
  double TxBitTime = 0;
  double TxPhase = 0;
};

}  // namespace sorvex
