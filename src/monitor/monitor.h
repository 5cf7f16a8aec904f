#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "modem/measuring_thread.h"
#include "modem/modem.h"
#include "monitor/bit_levels.h"
#include "monitor/journal.h"
#include "monitor/kp_record_list.h"
#include "monitor/line_counters.h"
#include "monitor/monitor_observer.h"
#include "protocol/telegram_info.h"
#include "util/clock.h"

namespace sorvex {

class TModemDevice;

// The work tab without widgets: reception and polling switches, the 10 ms
// receive dispatch with exchange pairing, the poll scheduler, the journals
// and the per-KP statistics. The window (or sorvex-tool) forwards its control
// states here, calls TimerRedrawTimer() every 10 ms and is told what to
// repaint through the observer. Single-threaded: every call comes from the
// thread that owns the monitor; only the device is shared with audio.
class TMonitor {
 public:
  static constexpr int32_t kSignalRecordCapacity = 64000;

  TMonitor(const TClock& clock, TMonitorObserver& observer);
  ~TMonitor();
  TMonitor(const TMonitor&) = delete;
  TMonitor& operator=(const TMonitor&) = delete;

  // Takes over an opened device: start levels from the sliders, 64000
  // signal records per channel, reception off.
  void StartDevice(std::unique_ptr<TModemDevice> device, double startLevel0, double startLevel1);
  void StopDevice();
  TModemDevice* Device() { return FDevice.get(); }
  const TModemDevice* Device() const { return FDevice.get(); }

  // Reception switch (the start/stop button's down state).
  void BtStartStopClick(bool down);
  // Polling switch (the send button's down state).
  void SbStartSendClick(bool down);
  // The request the scheduler sends: KP 1..9, function code, group 1..8.
  // The group is sent only for functions that carry one (CbSendFuncsChange).
  void SetSendRequest(uint8_t kp, uint8_t functionCode, uint8_t group);
  static bool FunctionTakesGroup(uint8_t functionCode);
  // A switch-on level slider moved (channel 0 or 1).
  void LevelStartChanged(int channel, double value);
  // Oscillograph options: journal graph mode, show requests, show answers,
  // KP filter (0 = every KP).
  void SetGraphOptions(bool logGraph, bool graphQuest, bool graphAnswer, uint8_t recKp);

  // One 10 ms tick: levels, polling, at most one telegram.
  void TimerRedrawTimer();
  // Where a telegram's tones are measured: in the tick (the default), on a
  // thread of its own, or not at all (NaN), for a front end that shows
  // none. On the thread the dispatch goes on meanwhile, as one that runs in
  // step with a recording wants; a telegram's figures are told once ready,
  // at the latest before anything that comes after it (a journal entry, the
  // next telegram, FinishMeasuring).
  enum class TToneMeasuring { InTick, OnThread, Off };
  void SetToneMeasuring(TToneMeasuring where);
  // Tells the figures still being measured.
  void FinishMeasuring();
  void ServicePolling();
  // SNR in dB of a telegram's mean level over the line's noise, as the
  // statistics keep it (−100 when there was no noise to speak of).
  static double SnrDb(double level, double noise);
  void UpdateKpStatistics(int channel, bool decodedOk, double noise, const double halfMeans[2],
                          const uint32_t bitIndex[2], const double levels[3],
                          const TelegramInfo& info);
  void ResetStatistics();
  // logIndex 0 = events, any other = exchange.
  void AddLogEntry(uint8_t logIndex, uint8_t kind, bool attachSignal, const std::string& text);
  void ClearLog(uint8_t logIndex);

  static const char* ReceiverStateText(int state);
  // The catch-all's message: "File=%s. Line=%u.".
  static std::string ErrorLocationText(const char* unit, uint32_t line);

  const TJournal& EventLog() const { return FEventLog; }
  const TJournal& ExchangeLog() const { return FExchangeLog; }
  const TJournal& Log(int logIndex) const { return logIndex ? FExchangeLog : FEventLog; }
  TKpRecordList& KpStats() { return FKpStats; }
  const TKpRecordList& KpStats() const { return FKpStats; }
  // Survives ResetStatistics: what monitoring scrapes never goes back.
  const TLineCounters& LineCounters() const { return FLineCounters; }
  uint8_t LastStatKp() const { return FLastStatKp; }
  uint8_t ContextKp() const { return FContextKp; }
  bool Receiving() const { return FReceiving; }
  bool AwaitFirstRequest() const { return FAwaitFirstRequest; }
  // For a recording of the answer side alone: no request will ever be heard.
  void SkipFirstRequestWait() { FAwaitFirstRequest = false; }
  bool Polling() const { return FPolling; }
  int64_t RequestStamp() const { return FRequestStamp; }
  int32_t AnswerTimeoutMs() const { return FAnswerTimeoutMs; }
  int32_t ProgressLine() const { return FProgressLine; }
  const TSignalRecord* SignalRecords() const { return FSignalRecords.data(); }
  int32_t SignalRecordCount() const { return FSignalRecordCount; }

 private:
  void DispatchTick();
  void HandleRequest(const uint8_t* telegram, int32_t bits);
  void HandleAnswer(const uint8_t* telegram, int32_t bits);
  // Scans the telegram's levels and takes the noise (for TakeStatistics)
  // and builds its measurement from them and the tones measured on it.
  TTelegramMeasurement Measure(int channel, bool ok, const TelegramInfo& info);
  void TakeStatistics(int channel, bool ok, const TelegramInfo& info);
  // The telegram's figures to the oscillograph (when `shown`), the counters
  // and the observer: now, or once its tones are measured on the thread.
  void Tell(const TTelegramMeasurement& measured, bool shown);
  void TellNow(const TTelegramMeasurement& measured, bool shown);
  // True when the telegram went to the oscillograph.
  bool ShowOnGraph(bool channelShown, const TelegramInfo& info, TraceColour colour,
                   const std::string& text);

  const TClock& FClock;
  TMonitorObserver& FObserver;

  TJournal FEventLog;
  TJournal FExchangeLog;
  std::unique_ptr<TModemDevice> FDevice;
  std::vector<TSignalRecord> FSignalRecords;
  int32_t FSignalRecordCount = 0;
  // The journal's copy of FSignalRecords, made by the first entry that
  // attaches the telegram's signal; a new telegram drops it.
  std::shared_ptr<const std::vector<TSignalRecord>> FSignalCopy;
  int32_t FProgressLine = 0;
  // The telegram in hand: its measured tones, levels and the noise taken.
  TToneEstimate FTones{};
  bool FMeasureTones = true;
  std::unique_ptr<TMeasuringThread> FMeasuring;  // set when measuring on the thread
  // Told once FMeasuring has its tones.
  std::optional<std::pair<TTelegramMeasurement, bool>> FUntold;
  TBitLevels FLevels;
  double FNoise = 0;
  bool FReceiving = false;
  bool FAwaitFirstRequest = false;
  TKpRecordList FKpStats;
  TLineCounters FLineCounters;
  uint8_t FLastStatKp = 0;
  uint8_t FContextKp = 0;
  bool FPolling = false;
  int64_t FRequestStamp = 0;
  int32_t FAnswerTimeoutMs = 0;

  // Send controls.
  uint8_t FSendKp = 1;
  uint8_t FSendFunction = 0x50;
  uint8_t FSendGroup = 1;
  // Oscillograph options.
  bool FLogGraph = false;
  bool FGraphQuest = true;
  bool FGraphAnswer = true;
  uint8_t FRecKp = 0;
};

}  // namespace sorvex
