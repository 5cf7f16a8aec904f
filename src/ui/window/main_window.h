#pragma once

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_source.h"
#include "metrics/metrics_server.h"
#include "monitor/journal_text.h"
#include "monitor/line_spectrum.h"
#include "monitor/measurement_history.h"
#include "monitor/monitor_observer.h"
#include "ui/window/line_recording.h"
#include "util/clock.h"

class QLabel;
class QShortcut;
class QTabWidget;
class QTimer;

namespace sorvex {

class THistoryForm;
class TModemDevice;
class TMonitor;
class TPrompts;
class TSettingsTab;
class TWorkTab;

// The main window "Анализ канала ТМ": the tabs "Работа" and "Настройка" over
// one monitor. It reads its INI keys when built and writes them all when
// destroyed, opens the sound device while the work tab is shown (the
// settings editor exists instead while the settings tab is), runs the
// monitor's tick every 10 ms and, as the monitor's observer, passes what the
// monitor reports on to the views.
class TForm1 : public QMainWindow, private TMonitorObserver {
  Q_OBJECT

 public:
  // Opens the two-channel device from a modem settings file.
  using DeviceFactory =
      std::function<std::unique_ptr<TModemDevice>(const std::string& settingsFileName)>;

  struct Options {
    std::string IniFileName;    // the main INI file, section "System"
    std::string ExecutableDir;  // where the file dialogs start; empty: the INI file's folder
    // Empty: a device without sound (its status reads −1); the program
    // passes the PortAudio default device.
    DeviceFactory OpenDevice;
    // When set, replaces OpenDevice: the device on the "AudioSource" the
    // INI names (the program passes OpenSourceDevice).
    std::function<TOpenedSource(const std::string& settingsFileName, const TAudioSource& source)>
        OpenSource;
    // The sound devices the source dialog offers (the program passes
    // PortAudio's list); empty: none.
    std::function<std::vector<std::string>()> ListDevices;
    std::shared_ptr<TPrompts> Prompts;  // empty: the Qt boxes and dialogs
    const TClock* Clock = nullptr;      // empty: the system clock
  };

  explicit TForm1(Options options, QWidget* parent = nullptr);
  ~TForm1() override;

  // The KP windows, once they exist: `show` brings the KP state window up
  // (SbShowKpForm), `update` repaints it after a valid answer.
  void SetKpFormHooks(std::function<void()> show, std::function<void()> update);

  const std::string& IniFileName() const { return FIniFileName; }
  std::string ModemSettingsFileName;  // the current modem settings file ("DefModemName")

  void StartDevice(const std::string& fileName);
  void StopDevice();
  // Asked before the tab changes: false keeps the current tab.
  bool PageControl1Changing();
  // The tab has changed: device or settings editor, never both.
  void PageControl1Change();
  void FormResize();

  TMonitor& Monitor() { return *FMonitor; }
  // What the monitor reports goes through here (tests feed it directly).
  TMonitorObserver& Observer() { return *this; }
  // Every telegram's measurement since the start, and the window
  // "История КП" over it (SbShowHistory, Ctrl+H).
  const TMeasurementHistory& History() const { return FHistory; }
  THistoryForm* HistoryForm() { return FHistoryForm.get(); }
  TModemDevice* Device();  // none while the settings tab is shown

  // The signal source ("AudioSource"): a change reopens the device at once
  // on the work tab (reception off), and applies when the work tab next
  // opens on the settings tab.
  const std::string& AudioSource() const { return FAudioSource; }
  void SetAudioSource(const std::string& source);
  // The journal transcript ("JournalFile", empty: none).
  const TJournalFile& JournalFile() const { return FJournalFile; }
  void SetJournalFile(const std::string& fileName);
  // BtMixer: the source dialog.
  void SourceDialog();
  // Ctrl+C: the selected rows of the shown journal, one line each.
  QString SelectedJournalText() const;
  void CopyJournalRows();
  // Ctrl+E: both journals into a file chosen in a dialog; false when
  // cancelled or not written (the reason in a notice).
  bool SaveJournals();
  // Ctrl+R and SBtRecord: the line into a new WAV file in "RecordFolder"
  // (empty: the home folder), or the recording stopped. The device's
  // closing stops it too.
  void ToggleRecording();
  bool Recording() const { return FRecording.Active(); }
  TRecordState RecordState() const { return FRecording.State(); }
  std::string RecordFolder;  // "RecordFolder"
  const TLineSpectrum& Spectrum() const { return FSpectrum; }
  // Brings the status bar up to date (every tick does).
  void UpdateStatusBar();
  TPrompts& Prompts() { return *FPrompts; }
  // Dispatch ticks run so far (any thread may read it).
  int64_t TickCount() const { return FTickCount.load(); }

  QTabWidget* PageControl1;
  TWorkTab* TabSheet1;      // "Работа"
  TSettingsTab* TabSheet2;  // "Настройка"
  QTimer* TimerRedraw;
  // The status bar's fields, left to right.
  QLabel* LbSource = nullptr;
  QLabel* LbDevice;
  QLabel* LbReception;
  QLabel* LbPolling;
  QLabel* LbPosition;
  QLabel* LbJournal;
  QLabel* LbRecord;

  // SIGINT/SIGTERM: closes as the window's close button does, but without
  // the unsaved-settings question (nobody may be there to answer it).
  void CloseForSignal();

 public slots:
  void TimerRedrawTimer();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReadIniKeys();
  void WriteIniKeys();
  void TabChanged(int index);
  void BuildStatusBar();
  void StartMetrics();
  void BuildShortcuts();
  void StopRecording();
  void SpectrumShown(bool shown);

  // TMonitorObserver: what the monitor reports, passed on to the views.
  void EntriesTrimmed(int logIndex, size_t count) override;
  void EntryAdded(const TLogEntry& entry) override;
  void JournalCleared(int logIndex) override;
  void StatisticsChanged() override;
  void LevelsChanged(double left, double right) override;
  void ShowTelegram(const TSignalRecord* records, int count, TraceColour colour,
                    const std::string& title) override;
  void TelegramMeasured(const TTelegramMeasurement& measurement) override;
  void ShowMeasurement(const TTelegramMeasurement& measurement) override;
  void KpWindowChanged() override;
  void ShowError(const std::string& caption, const std::string& text) override;

  bool FClosingForSignal = false;
  std::string FIniFileName;
  QString FExecutableDir;
  DeviceFactory FOpenDevice;
  std::shared_ptr<TPrompts> FPrompts;
  TSystemClock FSystemClock;
  const TClock* FClock;
  std::unique_ptr<TMonitor> FMonitor;
  std::function<void()> FUpdateKpForm;
  std::function<TOpenedSource(const std::string&, const TAudioSource&)> FOpenSource;
  std::function<std::vector<std::string>()> FListDevices;
  std::string FAudioSource;
  std::string FDeviceError;                       // why the open device has no sound
  TAudioFault FDeviceFault;                       // the same as a code
  const TSoundFileStream* FSourceFile = nullptr;  // a file source's stream, in the device
  TJournalFile FJournalFile;
  TLineRecording FRecording;
  TLineSpectrum FSpectrum;
  TMeasurementHistory FHistory;
  std::unique_ptr<THistoryForm> FHistoryForm;  // goes before the history it reads
  std::unique_ptr<TMetricsServer> FMetrics;    // "MetricsAddress" empty: none

  std::vector<QShortcut*> FWorkKeys;  // the keys that come from every window
  int FActiveTab = 0;
  bool FViewsAttached = false;  // false while building and tearing down
  bool FInTick = false;
  bool FErrorBoxOpen = false;  // the catch-all's box is posted or open: no ticks
  std::atomic<int64_t> FTickCount{0};
};

}  // namespace sorvex
