// TModem: construction and the settings operations. The receiver
// and the transmitter live in modem_receiver.cpp and modem_transmitter.cpp.
#include "modem/modem.h"

#include <algorithm>
#include <string>

#include "modem/sensitive_receiver.h"
#include "util/ini_file.h"

namespace sorvex {
namespace {

constexpr const char* kGeneralSection = "GENERAL";
constexpr const char* kFiltersSection = "FILTERS";
constexpr const char* kSlotNames[2] = {"Band", "Smoothing"};

constexpr int32_t kDefaultBaudrate = 200;
constexpr int32_t kDefaultFreq0 = 2540;
constexpr int32_t kDefaultFreq1 = 2760;
constexpr int32_t kMaxBaudrate = SampleRate;  // one bit per sample
constexpr int32_t kMinFrequency = 1;          // Hz, as the settings tab allows
constexpr int32_t kMaxFrequency = SampleRate / 2 - 1;
constexpr int32_t kMaxRipple = 30;  // dB; the design clamps to 0.01..30
// What the settings tab's controls allow. Values within these ranges are
// stored as given, so what the user sees is what is saved; the filter design
// and the receivers protect themselves against the rest (the design clamps
// order, frequencies and ripple to what it can build, DesignSlot widens a
// band of zero width, the discriminator outputs 0 for equal tones).
constexpr int32_t kMaxCutoff = SampleRate / 2;  // Hz
constexpr int32_t kMaxOrderControl = 32;
constexpr int32_t kMaxRippleControl = 70;  // dB

bool Within(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

// Values outside those ranges come only from a hand-edited file (or a
// caller) and get the safe rules, applied alike by LoadSettings, SetGeneral
// and SetFilter:
// - Baudrate ≤ 0 (a division by zero in the receiver, the transmitter and the
//   poll time-out) becomes the default 200; above 8000 (less than one sample
//   per bit) it becomes 8000.
// - A tone outside 1..3999 Hz clamps both tones to 1..3999 Hz (below Nyquist,
//   and no int32 overflow in Freq1 − Freq0); if they are then equal both
//   become the defaults 2540 and 2760. Freq0 > Freq1 stays allowed: the
//   discriminator's clamp then yields only ±envelope, finite, but the
//   received bits come out inverted relative to what the transmitter sends.
void NormaliseGeneral(int32_t& baudrate, int32_t& freq0, int32_t& freq1) {
  if (baudrate <= 0) baudrate = kDefaultBaudrate;
  if (baudrate > kMaxBaudrate) baudrate = kMaxBaudrate;
  if (Within(freq0, kMinFrequency, kMaxFrequency) && Within(freq1, kMinFrequency, kMaxFrequency))
    return;
  freq0 = std::clamp(freq0, kMinFrequency, kMaxFrequency);
  freq1 = std::clamp(freq1, kMinFrequency, kMaxFrequency);
  if (freq0 == freq1) {
    freq0 = kDefaultFreq0;
    freq1 = kDefaultFreq1;
  }
}

// - Kind is clamped to 0..1 (Butterworth, Chebyshev); an Order outside 1..32
//   is clamped to 1..12 for the band-pass slot, 1..25 for the smoothing slot
//   (what the design holds).
// - A cut-off outside 1..4000 Hz clamps both to 1..3999 Hz: 0 puts poles on
//   the unit circle (a band edge at 0 Hz, a low-pass cut-off of 0 Hz); above
//   4000 is beyond Nyquist. A band whose two edges are then equal falls back
//   to the defaults 500..3000 Hz. Edges given high-to-low stay as they are
//   (the design swaps them).
// - A ripple outside 0..70 dB is clamped to 0..30 dB.
void NormaliseFilter(int index, TFilterSettings& f) {
  const TFilterSettings defaults;
  f.Kind = std::clamp<int32_t>(f.Kind, fkButterworth, fkChebyshev);
  if (!Within(f.Order, 1, kMaxOrderControl)) {
    const int32_t maxOrder =
        index == TModem::kBandSlot ? TIirFilter::kMaxOrderBand : TIirFilter::kMaxOrderLowHigh;
    f.Order = std::clamp(f.Order, 1, maxOrder);
  }
  if (!Within(f.Freq1, kMinFrequency, kMaxCutoff) || !Within(f.Freq2, kMinFrequency, kMaxCutoff)) {
    f.Freq1 = std::clamp(f.Freq1, kMinFrequency, kMaxFrequency);
    f.Freq2 = std::clamp(f.Freq2, kMinFrequency, kMaxFrequency);
    if (index == TModem::kBandSlot && f.Freq1 == f.Freq2) {
      f.Freq1 = defaults.Freq1;
      f.Freq2 = defaults.Freq2;
    }
  }
  if (!Within(f.Ripp, 0, kMaxRippleControl)) f.Ripp = std::clamp(f.Ripp, 0, kMaxRipple);
}

std::string FilterKey(int index, const char* setting) {
  return std::string(kSlotNames[index]) + "_" + setting;
}

bool ValidSlot(int index) {
  return index == TModem::kBandSlot || index == TModem::kSmoothingSlot;
}

}  // namespace

TModem::TModem(const std::string& settingsFileName, int32_t blockLength)
    : SettingsFileName(settingsFileName),
      Hilbert(31, blockLength < 1 ? 1 : blockLength),
      BlockLength(blockLength < 1 ? 1 : blockLength),
      WorkBuffer(static_cast<size_t>(BlockLength), 0.0),
      FScratchI(static_cast<size_t>(BlockLength), 0.0),
      FScratchQ(static_cast<size_t>(BlockLength), 0.0) {
  FRaw.assign(kRawCapacity, 0);
  LoadSettings();
  // Transmitter idle.
  TxBitCount = 0;
  TxBitIndex = 0;
  TxPhaseStep = 0;
  TxBitTime = 0;
  TxPhase = 0;
  // Receiver asleep, no record buffer, event not signalled.
  State = rsSleeping;
  PrevPhase = 0;
  PrevValue = 0;
  StateCounter = 0;
  BitClock = 0;
  RxBitCount = 0;
  InputLevel = 0;
  Records.clear();
  RecordCapacity = 0;
  RecordCount = 0;
  TelegramEvent.Reset();
  StartLevel = 0.1;
  PeakMax = 0;
  LastPeak = 0;
  PrevPeak = 0;
  PeakRising = 0;
}

TModem::~TModem() = default;

void TModem::LoadSettings() {
  const TIniFile ini(SettingsFileName);  // a missing or unreadable file reads as empty
  Baudrate = ProfileReadInt(ini, kGeneralSection, "Baudrate", kDefaultBaudrate);
  Freq0 = ProfileReadInt(ini, kGeneralSection, "Freq0", kDefaultFreq0);
  Freq1 = ProfileReadInt(ini, kGeneralSection, "Freq1", kDefaultFreq1);
  NormaliseGeneral(Baudrate, Freq0, Freq1);
  SetReceiver(ProfileReadInt(ini, kGeneralSection, "Receiver", rkStandard));
  const TFilterSettings defaults;
  for (int index = 0; index < 2; ++index) {
    TFilterSettings& f = FFilterSettings[index];
    f.Kind = ProfileReadInt(ini, kFiltersSection, FilterKey(index, "Kind"), defaults.Kind);
    f.Order = ProfileReadInt(ini, kFiltersSection, FilterKey(index, "Order"), defaults.Order);
    f.Freq1 = ProfileReadInt(ini, kFiltersSection, FilterKey(index, "Freq1"), defaults.Freq1);
    f.Freq2 = ProfileReadInt(ini, kFiltersSection, FilterKey(index, "Freq2"), defaults.Freq2);
    f.Ripp = ProfileReadInt(ini, kFiltersSection, FilterKey(index, "Ripp"), defaults.Ripp);
    NormaliseFilter(index, f);
    DesignSlot(index);
  }
}

void TModem::DesignSlot(int index) {
  const TFilterSettings& f = FFilterSettings[index];
  const int32_t band = index == kBandSlot ? btBandPass : btLowPass;
  // The design takes cut-offs up to 3999 Hz. A band of zero width (equal
  // edges, or 3999 and 4000) would put every pole on the unit circle: it is
  // designed 1 Hz wide, a resonator at that frequency.
  int32_t freq1 = std::clamp(f.Freq1, kMinFrequency, kMaxFrequency);
  int32_t freq2 = std::clamp(f.Freq2, kMinFrequency, kMaxFrequency);
  if (index == kBandSlot && freq1 == freq2) {
    if (freq2 < kMaxFrequency) {
      ++freq2;
    } else {
      --freq1;
    }
  }
  FFilters[index].Design(f.Kind, band, f.Order, freq1, freq2, static_cast<double>(f.Ripp));
}

void TModem::GetFilter(int index, TFilterSettings& settings) const {
  if (ValidSlot(index)) settings = FFilterSettings[index];
}

void TModem::SetFilter(int index, int32_t kind, int32_t order, int32_t freq1, int32_t freq2,
                       int32_t ripp) {
  if (!ValidSlot(index)) return;
  TFilterSettings f;
  f.Kind = kind;
  f.Order = order;
  f.Freq1 = freq1;
  f.Freq2 = freq2;
  f.Ripp = ripp;
  NormaliseFilter(index, f);
  FFilterSettings[index] = f;
  DesignSlot(index);
}

int TModem::GetFilterResponse(int index, double* values) const {
  if (!ValidSlot(index)) return 0;
  for (int f = 0; f < kResponsePoints; ++f) values[f] = FFilters[index].Magnitude(f);
  return kResponsePoints;
}

void TModem::GetGeneral(int32_t& baudrate, int32_t& freq0, int32_t& freq1) const {
  baudrate = Baudrate;
  freq0 = Freq0;
  freq1 = Freq1;
}

void TModem::SetGeneral(int32_t baudrate, int32_t freq0, int32_t freq1) {
  NormaliseGeneral(baudrate, freq0, freq1);
  Baudrate = baudrate;
  Freq0 = freq0;
  Freq1 = freq1;
}

void TModem::SetReceiver(int32_t receiver) {
  receiver = receiver == rkSensitive ? rkSensitive : rkStandard;
  if (receiver == FReceiver) return;
  if (receiver == rkSensitive) {
    FSensitive = std::make_unique<TSensitiveReceiver>(BlockLength);
    FSensitive->SetStartLevel(StartLevel);
    FSensitive->SetRecordCapacity(RecordCapacity);
    Records.clear();
    Records.shrink_to_fit();
    RecordCount = 0;
  } else {
    const int32_t capacity = FSensitive->RecordCapacityValue();
    FSensitive.reset();
    SetRecordCapacity(capacity);
  }
  FReceiver = receiver;
  State = rsSleeping;
}

double TModem::Level() const {
  return FSensitive ? FSensitive->Level() : InputLevel / 32768.0;
}

void TModem::SetStartLevel(double level) {
  StartLevel = level;
  if (FSensitive) FSensitive->SetStartLevel(level);
}

int TModem::ReceiverState() const {
  return FSensitive ? FSensitive->ReceiverState() : State;
}

bool TModem::SaveSettings(const std::string& fileName) {
  SettingsFileName = fileName;
  if (fileName.empty()) return true;
  TIniFile ini(fileName);  // other sections, keys and comments are kept
  ini.Write(kGeneralSection, "Baudrate", std::to_string(Baudrate));
  ini.Write(kGeneralSection, "Freq0", std::to_string(Freq0));
  ini.Write(kGeneralSection, "Freq1", std::to_string(Freq1));
  ini.Write(kGeneralSection, "Receiver", std::to_string(FReceiver));
  for (int index = 0; index < 2; ++index) {
    const TFilterSettings& f = FFilterSettings[index];
    ini.Write(kFiltersSection, FilterKey(index, "Kind"), std::to_string(f.Kind));
    ini.Write(kFiltersSection, FilterKey(index, "Order"), std::to_string(f.Order));
    ini.Write(kFiltersSection, FilterKey(index, "Freq1"), std::to_string(f.Freq1));
    ini.Write(kFiltersSection, FilterKey(index, "Freq2"), std::to_string(f.Freq2));
    ini.Write(kFiltersSection, FilterKey(index, "Ripp"), std::to_string(f.Ripp));
  }
  return ini.Save();  // one atomic replacement of the whole file
}

}  // namespace sorvex
