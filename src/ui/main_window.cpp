#include "ui/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "ui/crawler_show.h"
#include "ui/journal_view.h"
#include "ui/prompts.h"
#include "ui/settings_tab.h"
#include "ui/statistics_grid.h"
#include "ui/work_tab.h"
#include "util/config.h"

namespace sorvex {

namespace {

constexpr int kTimerRedrawMs = 10;

// A stored item index outside the list selects the first item.
int ItemIndex(int stored, int count) {
  return stored >= 0 && stored < count ? stored : 0;
}

}  // namespace

TForm1::TForm1(Options options, QWidget* parent)
    : QMainWindow(parent),
      FIniFileName(std::move(options.IniFileName)),
      FOpenDevice(std::move(options.OpenDevice)),
      FPrompts(std::move(options.Prompts)),
      FClock(options.Clock != nullptr ? options.Clock : &FSystemClock) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Анализ канала ТМ"));
  FExecutableDir = options.ExecutableDir.empty()
                       ? QFileInfo(QString::fromStdString(FIniFileName)).absolutePath()
                       : QString::fromStdString(options.ExecutableDir);
  if (!FPrompts) FPrompts = std::make_shared<TQtPrompts>(this);
  // The journals, the KP list and the signal-record buffer live in the
  // monitor; the views below read them.
  FMonitor = std::make_unique<TMonitor>(*FClock, static_cast<TMonitorObserver&>(*this));

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  TabSheet1 = new TWorkTab(*FMonitor, *FPrompts, PageControl1);
  TabSheet1->setObjectName("TabSheet1");
  TabSheet2 = new TSettingsTab(ModemSettingsFileName, *FPrompts, FExecutableDir, PageControl1);
  TabSheet2->setObjectName("TabSheet2");
  PageControl1->addTab(TabSheet1, QStringLiteral("Работа"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Настройка"));
  setCentralWidget(PageControl1);

  TimerRedraw = new QTimer(this);
  TimerRedraw->setObjectName("TimerRedraw");
  TimerRedraw->setTimerType(Qt::PreciseTimer);
  TimerRedraw->setInterval(kTimerRedrawMs);
  connect(TimerRedraw, &QTimer::timeout, this, &TForm1::TimerRedrawTimer);

  ReadIniKeys();
  FViewsAttached = true;

  PageControl1->setCurrentIndex(0);
  FActiveTab = 0;
  PageControl1Change();
  connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::TabChanged);
  TimerRedraw->start();
}

// Every read of an absent key writes its default, in this order, so a first
// run leaves a complete section (all but "StatisticGrid", written at exit).
void TForm1::ReadIniKeys() {
  const std::string& ini = FIniFileName;
  TWorkTab& work = *TabSheet1;
  TabSheet2->EdData->setText(
      QString::fromStdString(IniReadString(ini, "TestData", "00; ff; 55; 55;")));
  ModemSettingsFileName = IniReadString(ini, "DefModemName", "");

  work.CbGraphScale->setCurrentIndex(
      ItemIndex(IniReadInt(ini, "ScaleX", 0), work.CbGraphScale->count()));
  work.SBtGraphMarkers->setChecked(IniReadInt(ini, "GraphMarkers", 1) != 0);
  work.SBtGraphMarkerClick();
  work.SBtGraphQuest->setChecked(IniReadInt(ini, "GraphQuest", 1) != 0);
  work.SBtGraphAnswer->setChecked(IniReadInt(ini, "GraphAnswer", 1) != 0);
  (IniReadInt(ini, "StatQuest", 0) != 0 ? work.SBtQuest : work.SBtAnswer)->setChecked(true);
  work.SBtQuestClick();

  work.EdSendKp->setValue(IniReadInt(ini, "SendKp", 1));
  // Applied without CbSendFuncsChange: the group edit stays disabled until
  // the user picks a function.
  work.CbSendFuncs->setCurrentIndex(
      ItemIndex(IniReadInt(ini, "SendFuncs", 0), work.CbSendFuncs->count()));
  work.EdSendGroup->setValue(IniReadInt(ini, "SendGroup", 1));

  const char* const levelKeys[2] = {"LevelStart1", "LevelStart2"};
  for (int ch = 0; ch < 2; ++ch) {
    CCrawlerShow& slider = *work.FLevelStart[ch];
    slider.SetRange(0, 1.0, 0.01);
    slider.SetTicks(0, 5);
    slider.SetValue(IniReadFloat(ini, levelKeys[ch], 0.1));
  }
  work.CbGraphScaleChange();

  const int top = IniReadInt(ini, "Top", 0);
  const int left = IniReadInt(ini, "Left", 0);
  const int height = IniReadInt(ini, "Height", 480);
  const int width = IniReadInt(ini, "Width", 640);
  move(left, top);
  resize(width, height);
  work.PnData->setFixedHeight(std::max(0, IniReadInt(ini, "HeightOs", 100)));
  work.PnStatistic->setFixedHeight(std::max(0, IniReadInt(ini, "HeightSt", 100)));
  std::vector<int32_t> widths = TStatisticsGrid::DefaultColumnWidths();
  LoadGridColumns(ini, "StatisticGrid", widths);
  work.DgStatistic->SetColumnWidths(widths);

  work.GraphOptionsChanged();
  work.SendRequestChanged();
}

void TForm1::WriteIniKeys() {
  const std::string& ini = FIniFileName;
  const TWorkTab& work = *TabSheet1;
  IniWriteInt(ini, "Top", y());
  IniWriteInt(ini, "Left", x());
  IniWriteInt(ini, "Width", width());
  IniWriteInt(ini, "Height", height());
  IniWriteInt(ini, "HeightOs", work.PnData->height());
  IniWriteInt(ini, "HeightSt", work.PnStatistic->height());
  SaveGridColumns(ini, "StatisticGrid", work.DgStatistic->ColumnWidths());
  IniWriteString(ini, "TestData", TabSheet2->EdData->text().toStdString());
  IniWriteString(ini, "DefModemName", ModemSettingsFileName);
  IniWriteFloat(ini, "LevelStart1", work.FLevelStart[0]->GetValue());
  IniWriteFloat(ini, "LevelStart2", work.FLevelStart[1]->GetValue());
  IniWriteInt(ini, "ScaleX", work.CbGraphScale->currentIndex());
  IniWriteInt(ini, "GraphMarkers", work.SBtGraphMarkers->isChecked() ? 1 : 0);
  IniWriteInt(ini, "GraphQuest", work.SBtGraphQuest->isChecked() ? 1 : 0);
  IniWriteInt(ini, "GraphAnswer", work.SBtGraphAnswer->isChecked() ? 1 : 0);
  IniWriteInt(ini, "StatQuest", work.SBtQuest->isChecked() ? 1 : 0);
  IniWriteInt(ini, "SendKp", work.EdSendKp->value());
  IniWriteInt(ini, "SendFuncs", work.CbSendFuncs->currentIndex());
  IniWriteInt(ini, "SendGroup", work.EdSendGroup->value());
}

TForm1::~TForm1() {
  TimerRedraw->stop();
  WriteIniKeys();
  FMonitor->ResetStatistics();
  StopDevice();
  FMonitor->ClearLog(0);
  FMonitor->ClearLog(1);
  // The views go before the lists they read.
  FViewsAttached = false;
  delete PageControl1;
  PageControl1 = nullptr;
  FMonitor.reset();
}

void TForm1::SetKpFormHooks(std::function<void()> show, std::function<void()> update) {
  TabSheet1->ShowKpForm = std::move(show);
  FUpdateKpForm = std::move(update);
}

TModemDevice* TForm1::Device() {
  return FMonitor->Device();
}

void TForm1::StartDevice(const std::string& fileName) {
  StopDevice();
  std::unique_ptr<TModemDevice> device = FOpenDevice ? FOpenDevice(fileName) : nullptr;
  // The device object exists on the work tab even when no sound flows.
  if (!device) device = std::make_unique<TModemDevice>(fileName, nullptr);
  FMonitor->StartDevice(std::move(device), TabSheet1->FLevelStart[0]->GetValue(),
                        TabSheet1->FLevelStart[1]->GetValue());
  TabSheet1->ReleaseStartStop();
}

void TForm1::StopDevice() {
  FMonitor->StopDevice();
}

bool TForm1::PageControl1Changing() {
  if (!TabSheet2->FSettingsModified) return true;
  if (!FPrompts->ConfirmBox(QStringLiteral("Изменения не сохранены!\r\nПродолжить?"))) return false;
  TabSheet2->FSettingsModified = false;
  return true;
}

void TForm1::PageControl1Change() {
  if (PageControl1->currentIndex() == 1) {
    StopDevice();
    TabSheet2->EnterTab();
  } else {
    TabSheet2->LeaveTab();
    StartDevice(ModemSettingsFileName);
  }
}

// The tab widget has no veto before a change, so a refused change is undone
// before anything else sees it.
void TForm1::TabChanged(int index) {
  if (index == FActiveTab) return;
  if (!PageControl1Changing()) {
    const QSignalBlocker blocker(PageControl1);
    PageControl1->setCurrentIndex(FActiveTab);
    return;
  }
  FActiveTab = index;
  PageControl1Change();
}

void TForm1::FormResize() {
  TabSheet1->DgLog->FitColumn();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Unsaved settings are given up only after a Yes, as when leaving the tab.
  if (!PageControl1Changing()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  // Closing the main window ends the program, whatever other window is open.
  if (event->isAccepted()) QCoreApplication::quit();
}

void TForm1::TimerRedrawTimer() {
  // While the catch-all's box is up the dispatch waits, as it would inside
  // the box; it never runs inside itself.
  if (FInTick || FErrorBoxOpen) return;
  FInTick = true;
  FMonitor->TimerRedrawTimer();
  FInTick = false;
  FTickCount.fetch_add(1);
}

void TForm1::EntriesTrimmed(int logIndex, size_t count) {
  if (FViewsAttached) TabSheet1->EntriesTrimmed(logIndex, count);
}

void TForm1::EntryAdded(const TLogEntry& entry) {
  if (FViewsAttached) TabSheet1->EntryAdded(entry);
}

void TForm1::JournalCleared(int logIndex) {
  if (FViewsAttached) TabSheet1->JournalCleared(logIndex);
}

void TForm1::StatisticsChanged() {
  if (FViewsAttached) TabSheet1->StatisticsChanged();
}

void TForm1::LevelsChanged(double left, double right) {
  if (FViewsAttached) TabSheet1->LevelsChanged(left, right);
}

void TForm1::ShowTelegram(const TSignalRecord* records, int count, TraceColour colour,
                          const std::string& title) {
  if (FViewsAttached) TabSheet1->ShowTelegram(records, count, colour, title);
}

void TForm1::KpWindowChanged() {
  if (FUpdateKpForm) FUpdateKpForm();
}

// Called inside the tick: the box is posted, and the tick pauses until it
// is closed. A second failure meanwhile adds no second box.
void TForm1::ShowError(const std::string& caption, const std::string& text) {
  if (FErrorBoxOpen) return;
  FErrorBoxOpen = true;
  QTimer::singleShot(0, this, [this, caption, text] {
    FPrompts->MessageBox(QString::fromStdString(caption), QString::fromStdString(text));
    FErrorBoxOpen = false;
  });
}

}  // namespace sorvex
