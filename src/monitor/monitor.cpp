#include "monitor/monitor.h"

#include <limits>

#include "modem/modem_device.h"
#include "protocol/answer_decoder.h"
#include "protocol/request_decoder.h"
#include "util/date_time.h"
#include "util/str_format.h"

namespace sorvex {

TMonitor::TMonitor(const TClock& clock, TMonitorObserver& observer)
    : FClock(clock), FObserver(observer), FSignalRecords(kSignalRecordCapacity) {}

TMonitor::~TMonitor() = default;

void TMonitor::StartDevice(std::unique_ptr<TModemDevice> device, double startLevel0,
                           double startLevel1) {
  StopDevice();
  FDevice = std::move(device);
  if (FDevice) {
    FDevice->SetStartLevel(0, startLevel0);
    FDevice->SetStartLevel(1, startLevel1);
    FDevice->SetRecordCapacity(0, kSignalRecordCapacity);
    FDevice->SetRecordCapacity(1, kSignalRecordCapacity);
  }
  FReceiving = false;
}

void TMonitor::StopDevice() {
  FinishMeasuring();
  FDevice.reset();
}

void TMonitor::BtStartStopClick(bool down) {
  FReceiving = down;
  if (down) {
    AddLogEntry(0, lkInfo, false, "--- Старт приема ---");
    AddLogEntry(1, lkInfo, false, "--- Старт приема ---");
    if (FDevice) {
      FDevice->ResetReceiver(0);
      FDevice->ResetReceiver(1);
    }
    FAwaitFirstRequest = true;
  } else {
    AddLogEntry(0, lkInfo, false, "--- Стоп приема ---");
    AddLogEntry(1, lkInfo, false, "--- Стоп приема ---");
  }
  if (!FPolling) FContextKp = 0;
  FLastStatKp = 0;
  FObserver.StatisticsChanged();
}

void TMonitor::SbStartSendClick(bool down) {
  FPolling = down;
  const char* line = down ? "--- Старт передачи ---" : "--- Стоп передачи ---";
  if (down) FRequestStamp = 0;
  AddLogEntry(0, lkInfo, false, line);
  AddLogEntry(1, lkInfo, false, line);
}

bool TMonitor::FunctionTakesGroup(uint8_t functionCode) {
  return functionCode != 0x50 && functionCode != 0xD0 && functionCode != 0xF0;
}

void TMonitor::SetSendRequest(uint8_t kp, uint8_t functionCode, uint8_t group) {
  FSendKp = kp;
  FSendFunction = functionCode;
  FSendGroup = group;
}

void TMonitor::LevelStartChanged(int channel, double value) {
  if ((channel == 0 || channel == 1) && FDevice) FDevice->SetStartLevel(channel, value);
}

void TMonitor::SetGraphOptions(bool logGraph, bool graphQuest, bool graphAnswer, uint8_t recKp) {
  FLogGraph = logGraph;
  FGraphQuest = graphQuest;
  FGraphAnswer = graphAnswer;
  FRecKp = recKp;
}

const char* TMonitor::ReceiverStateText(int state) {
  switch (state) {
    case rsSleeping:
      return "Спим..";
    case rsWaitSilence:
      return "Ожидание тишины";
    case rsWaitLevel:
      return "Ожидание приличного уровня";
    case rsWaitStrobe:
      return "Ожидание стробирующего перехода";
    case rsReceiving:
      return "Процесс приема";
    default:
      return "??";
  }
}

std::string TMonitor::ErrorLocationText(const char* unit, uint32_t line) {
  return StrFormat("File=%s. Line=%u.", unit, line);
}

void TMonitor::AddLogEntry(uint8_t logIndex, uint8_t kind, bool attachSignal,
                           const std::string& text) {
  FinishMeasuring();  // a telegram's figures come before anything said after it
  TLogEntry entry;
  entry.logIndex = logIndex ? 1 : 0;
  entry.kind = kind;
  entry.time = FClock.Now();
  entry.text = text;
  if (attachSignal && FSignalRecordCount > 0) {
    if (!FSignalCopy) {
      FSignalCopy = std::make_shared<const std::vector<TSignalRecord>>(
          FSignalRecords.begin(), FSignalRecords.begin() + FSignalRecordCount);
    }
    entry.records = FSignalCopy;
    entry.recordCount = FSignalRecordCount;
  }
  TJournal& journal = logIndex ? FExchangeLog : FEventLog;
  // Views that number the rows hear of the dropped ones before the new one.
  if (const size_t dropped = journal.Trim()) FObserver.EntriesTrimmed(entry.logIndex, dropped);
  FObserver.EntryAdded(journal.Append(std::move(entry)));
}

void TMonitor::ClearLog(uint8_t logIndex) {
  (logIndex ? FExchangeLog : FEventLog).Clear();
  FObserver.JournalCleared(logIndex ? 1 : 0);
}

void TMonitor::TimerRedrawTimer() {
  if (!FDevice) return;
  try {
    DispatchTick();
  } catch (...) {
    // The one catch-all: whatever a tick raises is reported with the step it
    // reached; the channel then stays asleep until reception is switched on.
    FObserver.ShowError("!!", ErrorLocationText("Main", static_cast<uint32_t>(FProgressLine)));
  }
}

void TMonitor::DispatchTick() {
  FProgressLine = 412;
  FObserver.LevelsChanged(FDevice->Level(0), FDevice->Level(1));
  FProgressLine = 418;
  ServicePolling();
  if (FUntold && FMeasuring->Done()) FinishMeasuring();
  if (!FReceiving) return;

  FProgressLine = 423;
  uint8_t telegram[256] = {};
  int channel = -1;
  int32_t bits = 0;
  for (int ch = 0; ch < 2 && channel < 0; ++ch) {
    bits = FDevice->TakeTelegram(ch, telegram, 0);
    if (bits != 0) {
      channel = ch;
      FinishMeasuring();
      FSignalRecordCount = FDevice->CopySignalRecords(ch, FSignalRecords.data());
      FSignalCopy.reset();
      if (FMeasuring) {
        FMeasuring->Start(FDevice->TelegramSignal(ch, bits));
      } else if (FMeasureTones) {
        FTones = FDevice->MeasureTelegram(ch, bits);
      }
    }
  }
  if (channel < 0) return;

  if (channel == 0) {
    HandleRequest(telegram, bits);
  } else {
    HandleAnswer(telegram, bits);
  }
  if (FReceiving) FDevice->ResetReceiver(channel);
}

bool TMonitor::ShowOnGraph(bool channelShown, const TelegramInfo& info, TraceColour colour,
                           const std::string& text) {
  if (FLogGraph || !channelShown || (FRecKp != 0 && FRecKp != info.KpAddress)) return false;
  // One call draws the trace and sets its title.
  FProgressLine = colour == TraceColour::Blue ? 438 : 474;
  FObserver.ShowTelegram(FSignalRecords.data(), FSignalRecordCount, colour, text);
  return true;
}

TTelegramMeasurement TMonitor::Measure(int channel, bool ok, const TelegramInfo& info) {
  // The level scan is pure and raises nothing, so it needs no marker of its own.
  FLevels = ComputeBitLevels(FSignalRecords.data(), FSignalRecordCount, info.LengthBits);
  FNoise = FDevice->TakeNoise(channel);
  TTelegramMeasurement m;
  m.channel = static_cast<uint8_t>(channel ? 1 : 0);
  m.kp = info.KpAddress;
  m.valid = ok;
  m.time = FClock.Now();
  m.f0Hz = FTones.f0Hz;
  m.f1Hz = FTones.f1Hz;
  m.bitRate = FTones.bitRate;
  m.levelDb = AmplitudeToDb(FLevels.Levels[2]);
  m.snrDb = SnrDb(FLevels.Levels[2], FNoise);
  int32_t rate = 0, f0 = 0, f1 = 0;
  FDevice->GetGeneral(channel, rate, f0, f1);
  m.setF0Hz = f0;
  m.setF1Hz = f1;
  m.setBitRate = rate;
  return m;
}

void TMonitor::HandleRequest(const uint8_t* telegram, int32_t bits) {
  std::string text;
  TelegramInfo info;
  FProgressLine = 433;
  const bool ok = DecodeRequestTelegram(telegram, static_cast<uint16_t>(bits), text, info);
  const TTelegramMeasurement measured = Measure(0, ok, info);
  const bool shown = ShowOnGraph(FGraphQuest, info, TraceColour::Blue, text);
  FProgressLine = 441;
  if (ok) {
    if (!FPolling && FContextKp != 0) {
      const char* state = ReceiverStateText(FDevice->ReceiverState(1));
      const std::string message =
          FContextKp == info.KpAddress
              ? StrFormat("Повторный запрос КП%u. %s.", FContextKp, state)
              : StrFormat("Не получен ответ от КП%u. %s.", FContextKp, state);
      AddLogEntry(0, lkExchangeProblem, false, message);
      AddLogEntry(1, lkExchangeProblem, false, message);
      FLineCounters.Problem(FContextKp, FContextKp == info.KpAddress ? TExchangeProblem::Repeat
                                                                     : TExchangeProblem::NoAnswer);
    }
    AddLogEntry(1, lkRequest, false, text);
    if (!FPolling) FContextKp = info.KpAddress;
    FAwaitFirstRequest = false;
  } else {
    FProgressLine = 444;
    AddLogEntry(0, lkBadRequest, true, text);
    FProgressLine = 445;
    AddLogEntry(1, lkBadRequest, false, text);
    FLineCounters.Problem(info.KpAddress, TExchangeProblem::BadRequest);
    if (!FPolling) FContextKp = 0;
  }
  TakeStatistics(0, ok, info);
  Tell(measured, shown);
}

void TMonitor::HandleAnswer(const uint8_t* telegram, int32_t bits) {
  FProgressLine = 467;
  if (FAwaitFirstRequest) return;  // dropped unseen until the first valid request
  std::string text;
  TelegramInfo info;
  FProgressLine = 470;
  const bool ok =
      DecodeAnswerTelegram(telegram, static_cast<uint16_t>(bits), text, info, FKpStats, FClock);
  const TTelegramMeasurement measured = Measure(1, ok, info);
  const bool shown = ShowOnGraph(FGraphAnswer, info, TraceColour::Red, text);
  if (ok) {
    FProgressLine = 487;
    if (FContextKp != 0 && FContextKp != info.KpAddress) {
      FProgressLine = 490;
      const std::string message = StrFormat(
          "Ответ не в контексе запроса. Запрошен КП%u. Ответ от КП%u.", FContextKp, info.KpAddress);
      FProgressLine = 493;
      AddLogEntry(0, lkExchangeProblem, false, message);
      FProgressLine = 494;
      AddLogEntry(1, lkExchangeProblem, false, message);
      // Counted against the KP asked: it is the one whose answer is missing.
      FLineCounters.Problem(FContextKp, TExchangeProblem::OutOfContext);
    }
    FProgressLine = 496;
    AddLogEntry(1, lkAnswer, false, text);
    if (!FPolling) FContextKp = 0;
    FRequestStamp = 0;
    FProgressLine = 499;
    FObserver.KpWindowChanged();
  } else {
    FProgressLine = 479;
    const std::string message =
        FContextKp != 0 ? StrFormat("По запросу на КП%u: %s.", FContextKp, text.c_str()) : text;
    FProgressLine = 482;
    AddLogEntry(0, lkBadAnswer, true, message);
    FProgressLine = 483;
    AddLogEntry(1, lkBadAnswer, false, message);
    FLineCounters.Problem(FContextKp, TExchangeProblem::BadAnswer);
  }
  TakeStatistics(1, ok, info);
  Tell(measured, shown);
}

void TMonitor::Tell(const TTelegramMeasurement& measured, bool shown) {
  if (FMeasuring) {
    FUntold.emplace(measured, shown);
  } else {
    TellNow(measured, shown);
  }
}

void TMonitor::TellNow(const TTelegramMeasurement& measured, bool shown) {
  if (shown) FObserver.ShowMeasurement(measured);
  FLineCounters.Measured(measured);
  FObserver.TelegramMeasured(measured);
}

void TMonitor::SetToneMeasuring(TToneMeasuring where) {
  FinishMeasuring();
  const bool thread = where == TToneMeasuring::OnThread;
  if (thread != (FMeasuring != nullptr)) {
    FMeasuring = thread ? std::make_unique<TMeasuringThread>() : nullptr;
  }
  FMeasureTones = where != TToneMeasuring::Off;
  if (!FMeasureTones) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    FTones = {kNaN, kNaN, kNaN};
  }
}

void TMonitor::FinishMeasuring() {
  if (!FUntold) return;
  auto [measured, shown] = std::move(*FUntold);
  FUntold.reset();
  FTones = FMeasuring->Wait();
  measured.f0Hz = FTones.f0Hz;
  measured.f1Hz = FTones.f1Hz;
  measured.bitRate = FTones.bitRate;
  TellNow(measured, shown);
}

void TMonitor::TakeStatistics(int channel, bool ok, const TelegramInfo& info) {
  // Measure has scanned the levels and taken the noise.
  FProgressLine = 527;
  FLineCounters.Telegram(channel, info.KpAddress, ok, FClock.Now());
  UpdateKpStatistics(channel, ok, FNoise, FLevels.HalfMeans, FLevels.BitIndexes, FLevels.Levels,
                     info);
  FProgressLine = 530;
}

}  // namespace sorvex
