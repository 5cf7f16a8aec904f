#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QSpinBox>
#include <QTabBar>
#include <QToolButton>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <string>

#include "monitor/monitor_observer.h"

namespace sorvex {

class CCrawlerShow;
class CLevelShow;
class TGraphicPanel;
class TJournalModel;
class TJournalView;
class TMonitor;
class TPanelSplitter;
class TPrompts;
class TSpectrumPanel;
class TStatisticsGrid;
class TStatisticsModel;

// The tab "Работа": two toolbars, the start-level sliders and level bars,
// the oscillograph, the statistics grid and the journals, from the top.
// Its handlers forward control states to the monitor and paint what the
// monitor reports (through the window, which is the monitor's observer).
class TWorkTab : public QWidget {
  Q_OBJECT

 public:
  static inline const QColor kRequestTrace{0, 0, 0xFF};
  static inline const QColor kAnswerTrace{0xFF, 0, 0};
  static inline const QColor kJournalTrace{0, 0, 0};

  TWorkTab(TMonitor& monitor, TPrompts& prompts, QWidget* parent = nullptr);
  ~TWorkTab() override;

  // Upper toolbar.
  QFrame* PnToolsbar1;
  QToolButton* SBtStartStop;
  QSpinBox* EdRecKp;
  QToolButton* SBtGraphQuest;
  QToolButton* SBtGraphAnswer;
  QToolButton* SBtLogGraph;
  QToolButton* SBtGraphMarkers;
  QComboBox* CbGraphScale;
  QToolButton* SBtQuest;
  QToolButton* SBtAnswer;
  QButtonGroup* StatChannelGroup;  // SBtQuest, SBtAnswer: exactly one down
  QToolButton* BtReset;
  QToolButton* BtClear;
  QToolButton* SbShowKpForm;
  QToolButton* BtMixer;
  QToolButton* SBtRecord;      // "Запись линии": the line into a WAV file
  QToolButton* SBtSpectrum;    // "Спектр линии": the spectrum panel shown
  QToolButton* SbShowHistory;  // "История КП"
  // Lower toolbar: the request the program sends itself.
  QFrame* PnToolsbar2;
  QToolButton* SbStartSend;
  QSpinBox* EdSendKp;
  QComboBox* CbSendFuncs;
  QSpinBox* EdSendGroup;
  // Sliders and level bars, channel 0 then 1.
  QFrame* PnOsc;
  QFrame* PnCrawlerLevelStart1;
  QFrame* PnCrawlerLevelStart2;
  QFrame* PnLevelRx1;
  QFrame* PnLevelRx2;
  // Oscillograph, statistics, journals, with a splitter under each of the
  // first two.
  QFrame* PnData;
  QFrame* PnSpectrum;  // beside PnData, shown with SBtSpectrum
  TPanelSplitter* Splitter1;
  QFrame* PnStatistic;
  TStatisticsGrid* DgStatistic;
  TPanelSplitter* Splitter2;
  QFrame* PnDecode;
  QTabBar* TcLogs;
  TJournalView* DgLog;

  TGraphicPanel* OscillographPanel;
  TSpectrumPanel* SpectrumPanel;
  CLevelShow* FLevelRx[2];
  CCrawlerShow* FLevelStart[2];
  TStatisticsModel* StatisticsModel;
  TJournalModel* JournalModel;

  // What SbShowKpForm and BtMixer do, once the windows behind them exist.
  std::function<void()> ShowKpForm;
  std::function<void()> MixerAction;
  std::function<void()> ShowHistory;
  // What SBtRecord does (the window starts or stops the recording and
  // sets the button's state).
  std::function<void()> RecordAction;
  // What happens after SBtSpectrum showed or hid the panel.
  std::function<void(bool shown)> SpectrumShown;

  // Pushes the send request and the oscillograph options to the monitor.
  void SendRequestChanged();
  void GraphOptionsChanged();
  // A freshly opened device leaves reception off: the button follows
  // without running its handler.
  void ReleaseStartStop();
  // Puts EdSendGroup in its enabled (window colour) or disabled (button
  // face) look.
  void SetGroupEditEnabled(bool enabled);
  // SBtRecord down while a recording runs (set by the window).
  void SetRecording(bool recording);
  bool SpectrumVisible() const;

  // The monitor's reports, forwarded by the window.
  void EntriesTrimmed(int logIndex, size_t count);
  void EntryAdded(const TLogEntry& entry);
  void JournalCleared(int logIndex);
  void StatisticsChanged();
  void LevelsChanged(double left, double right);
  void ShowTelegram(const TSignalRecord* records, int count, TraceColour colour,
                    const std::string& title);
  void ShowMeasurement(const TTelegramMeasurement& m);

 public slots:
  void BtStartStopClick();
  void SbStartSendClick();
  void CbSendFuncsChange();
  void CbGraphScaleChange();
  void BtLogGraphClick();
  void SBtGraphMarkerClick();
  void SBtQuestClick();
  void BtResetClick();
  void BtClearClick();
  void SbShowKpFormClick();
  void BtMixerClick();
  void SBtRecordClick();
  void SBtSpectrumClick();
  void SbShowHistoryClick();
  void TcLogsChange();
  void DgLogClick();
  void LevelStartChanged(int tag, double value);

 private:
  void BuildToolbar1();
  void BuildToolbar2();
  void BuildLevels();
  void BuildViews();
  void BuildLayout();

  TMonitor& FMonitor;
  TPrompts& FPrompts;
  int FShownBits = 0;  // bit samples of the telegram ShowTelegram showed last
};

}  // namespace sorvex
