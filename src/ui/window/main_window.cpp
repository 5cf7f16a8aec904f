#include "ui/window/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

#include "audio/sound_file_stream.h"
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "ui/controls/crawler_show.h"
#include "ui/controls/form_font.h"
#include "ui/controls/form_geometry.h"
#include "ui/history/history_form.h"
#include "ui/settings/settings_tab.h"
#include "ui/window/prompts.h"
#include "ui/window/status_line.h"
#include "ui/work/journal_view.h"
#include "ui/work/spectrum_panel.h"
#include "ui/work/statistics_grid.h"
#include "ui/work/work_tab.h"
#include "util/config.h"
#include "util/replace_file.h"

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
      FClock(options.Clock != nullptr ? options.Clock : &FSystemClock),
      FOpenSource(std::move(options.OpenSource)),
      FListDevices(std::move(options.ListDevices)) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Анализ канала ТМ"));
  setFont(FormFont());
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
  PageControl1->tabBar()->installEventFilter(this);
  qApp->installEventFilter(this);  // the work tab's keys from every window
  BuildStatusBar();
  BuildShortcuts();
  TabSheet1->MixerAction = [this] { SourceDialog(); };
  TabSheet1->RecordAction = [this] { ToggleRecording(); };
  TabSheet1->SpectrumShown = [this](bool shown) { SpectrumShown(shown); };

  TimerRedraw = new QTimer(this);
  TimerRedraw->setObjectName("TimerRedraw");
  TimerRedraw->setTimerType(Qt::PreciseTimer);
  TimerRedraw->setInterval(kTimerRedrawMs);
  connect(TimerRedraw, &QTimer::timeout, this, &TForm1::TimerRedrawTimer);

  ReadIniKeys();
  FHistoryForm = std::make_unique<THistoryForm>(FIniFileName, FHistory, *FPrompts, FExecutableDir);
  TabSheet1->ShowHistory = [this] { FHistoryForm->ShowRestored(); };
  FViewsAttached = true;
  StartMetrics();

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

  RestoreFormGeometry(*this, ini, "", 640, 480);
  work.PnData->setFixedHeight(std::max(0, IniReadInt(ini, "HeightOs", 100)));
  work.PnStatistic->setFixedHeight(std::max(0, IniReadInt(ini, "HeightSt", 100)));
  // Stored widths are used as stored; the first run's fit the font.
  std::vector<int32_t> widths = work.DgStatistic->FirstRunColumnWidths();
  LoadGridColumns(ini, "StatisticGrid", widths);
  work.DgStatistic->SetColumnWidths(widths);

  work.GraphOptionsChanged();
  work.SendRequestChanged();

  // The signal source and the transcript come after the window's own keys.
  FAudioSource = IniReadString(ini, "AudioSource", "");
  FJournalFile.Open(IniReadString(ini, "JournalFile", ""));
  RecordFolder = IniReadString(ini, "RecordFolder", "");
  work.SBtSpectrum->setChecked(IniReadInt(ini, "Spectrum", 0) != 0);
  work.SBtSpectrumClick();
}

void TForm1::WriteIniKeys() {
  const std::string& ini = FIniFileName;
  const TWorkTab& work = *TabSheet1;
  SaveFormGeometry(*this, ini, "");
  IniWriteInt(ini, "HeightOs", work.PnData->height());
  IniWriteInt(ini, "HeightSt", work.PnStatistic->height());
  SaveGridColumns(ini, "StatisticGrid", work.DgStatistic->ColumnWidths());
  IniWriteString(ini, "TestData", TabSheet2->EdData->text().toStdString());
  IniWriteString(ini, "DefModemName", ModemSettingsFileName);
  IniWriteString(ini, "AudioSource", FAudioSource);
  IniWriteString(ini, "JournalFile", FJournalFile.FileName());
  IniWriteString(ini, "RecordFolder", RecordFolder);
  IniWriteInt(ini, "Spectrum", work.SpectrumVisible() ? 1 : 0);
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
  // The statistics reset below needs no repaint of a KP window that may be
  // gone already.
  FUpdateKpForm = nullptr;
  WriteIniKeys();
  FHistoryForm.reset();  // writes its own keys
  FMonitor->ResetStatistics();
  StopDevice();
  FMonitor->ClearLog(0);
  FMonitor->ClearLog(1);
  // The views go before the lists they read.
  FViewsAttached = false;
  qApp->removeEventFilter(this);
  PageControl1->tabBar()->removeEventFilter(this);
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
  std::unique_ptr<TModemDevice> device;
  if (FOpenSource) {
    TOpenedSource opened = FOpenSource(fileName, TAudioSource::Parse(FAudioSource));
    device = std::move(opened.Device);
    FDeviceError = std::move(opened.Error);
    FDeviceFault = opened.Fault;
    FSourceFile = opened.File;
  } else if (FOpenDevice) {
    device = FOpenDevice(fileName);
  }
  // The device object exists on the work tab even when no sound flows.
  if (!device) device = std::make_unique<TModemDevice>(fileName, nullptr);
  FMonitor->StartDevice(std::move(device), TabSheet1->FLevelStart[0]->GetValue(),
                        TabSheet1->FLevelStart[1]->GetValue());
  TabSheet1->ReleaseStartStop();
  int32_t baudrate = 0, freq0 = 0, freq1 = 0;
  FMonitor->Device()->GetGeneral(0, baudrate, freq0, freq1);
  TabSheet1->SpectrumPanel->SetTones(freq0, freq1);
  UpdateStatusBar();
}

void TForm1::StopDevice() {
  // The recording ends with the device it listens to.
  StopRecording();
  FSpectrum.Clear();
  TabSheet1->SpectrumPanel->Clear();
  FSourceFile = nullptr;  // goes with the device
  FMonitor->StopDevice();
  FDeviceError.clear();
  FDeviceFault = {};
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
  UpdateStatusBar();
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

// A click on the other tab asks before the tab changes, so a No never shows
// the other tab for a moment; keys still go through TabChanged's undo.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // A spin box takes Ctrl+K and Ctrl+E as line editing before any shortcut
  // sees them; in the KP windows and on the work tab the keys go to the
  // work tab instead. A modal dialog keeps its keys.
  if (event->type() == QEvent::ShortcutOverride && PageControl1 &&
      PageControl1->currentIndex() == 0 && QApplication::activeModalWidget() == nullptr) {
    auto* key = static_cast<QKeyEvent*>(event);
    const auto* widget = qobject_cast<QWidget*>(watched);
    const QKeySequence sequence(key->keyCombination());
    if (widget != nullptr && (widget->window() != this || TabSheet1->isAncestorOf(widget)) &&
        std::any_of(FWorkKeys.begin(), FWorkKeys.end(),
                    [&](const QShortcut* s) { return s->key() == sequence; })) {
      key->ignore();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonPress && PageControl1 &&
      watched == PageControl1->tabBar()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int index = PageControl1->tabBar()->tabAt(mouse->position().toPoint());
    if (mouse->button() == Qt::LeftButton && index >= 0 && index != FActiveTab &&
        !PageControl1Changing())
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormResize() {
  TabSheet1->DgLog->FitColumn();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Unsaved settings are given up only after a Yes, as when leaving the tab;
  // a signal to end cannot wait for one.
  if (!FClosingForSignal && !PageControl1Changing()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  // Closing the main window ends the program, whatever other window is open.
  if (event->isAccepted()) QCoreApplication::quit();
}

void TForm1::CloseForSignal() {
  FClosingForSignal = true;
  close();
}

// Prometheus metrics when "MetricsAddress" names where; a port that cannot
// be had is said in the events journal and the program goes on without.
void TForm1::StartMetrics() {
  const std::string address = IniReadString(FIniFileName, "MetricsAddress", "");
  const std::string line = IniReadString(FIniFileName, "LineName", "");
  if (address.empty()) return;
  TMetricsAddress parsed;
  std::string error;
  if (ParseMetricsAddress(address, parsed, error))
    FMetrics = TMetricsServer::Start(parsed, line.empty() ? HostName() : line, error);
  if (!FMetrics) FMonitor->AddLogEntry(0, lkInfo, false, "Метрики не отдаются: " + error + ".");
}

void TForm1::TimerRedrawTimer() {
  // While the catch-all's box is up the dispatch waits, as it would inside
  // the box; it never runs inside itself.
  if (FInTick || FErrorBoxOpen) return;
  FInTick = true;
  FMonitor->TimerRedrawTimer();
  if (FMetrics) FMetrics->Publish(*FMonitor);
  if (FRecording.Poll()) TabSheet1->SetRecording(false);
  TModemDevice* device = FMonitor->Device();
  if (device != nullptr && TabSheet1->SpectrumVisible() && FSpectrum.Tick(*device, *FClock))
    TabSheet1->SpectrumPanel->SetSpectrum(FSpectrum.Db(0), FSpectrum.Db(1), TLineSpectrum::BinHz());
  FInTick = false;
  FTickCount.fetch_add(1);
  UpdateStatusBar();
}

void TForm1::EntriesTrimmed(int logIndex, size_t count) {
  if (FViewsAttached) TabSheet1->EntriesTrimmed(logIndex, count);
}

void TForm1::EntryAdded(const TLogEntry& entry) {
  // A failed write is shown in the status bar; the analyser goes on.
  FJournalFile.Write(entry);
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

void TForm1::TelegramMeasured(const TTelegramMeasurement& measurement) {
  FHistory.Add(measurement);
  if (FViewsAttached) FHistoryForm->Update();
}

void TForm1::ShowMeasurement(const TTelegramMeasurement& measurement) {
  if (FViewsAttached) TabSheet1->ShowMeasurement(measurement);
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

void TForm1::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  const auto field = [bar](const char* name, int stretch) {
    auto* label = new QLabel(bar);
    label->setObjectName(name);
    bar->addWidget(label, stretch);
    return label;
  };
  LbSource = field("LbSource", 0);
  LbDevice = field("LbDevice", 1);
  LbReception = field("LbReception", 0);
  LbPolling = field("LbPolling", 0);
  LbPosition = field("LbPosition", 0);
  LbJournal = field("LbJournal", 0);
  LbRecord = field("LbRecord", 0);
}

void TForm1::UpdateStatusBar() {
  if (LbSource == nullptr) return;
  TStatusState state;
  state.Source = TAudioSource::Parse(FAudioSource);
  TModemDevice* device = FMonitor->Device();
  state.DeviceExists = device != nullptr;
  state.DeviceOpen = device != nullptr && device->GetStatus() == 0;
  state.DeviceError = FDeviceError;
  state.DeviceFault = FDeviceFault;
  if (FSourceFile != nullptr) {
    state.File = true;
    // A read error after a good start stops the stream: say why.
    if (!state.DeviceOpen && state.DeviceError.empty()) {
      state.DeviceError = FSourceFile->Error();
      state.DeviceFault = FSourceFile->Fault();
    }
    state.PlayedFrames = FSourceFile->BlocksProcessed() * kAudioBlockFrames;
    const TSoundFileInfo& info = FSourceFile->Info();
    state.LengthFrames = info.SampleRate > 0 ? info.Frames * kAudioFrameRate / info.SampleRate : 0;
    state.FileEnded = FSourceFile->Ended();
  }
  // Without a device (the settings tab) nothing is received or polled,
  // whatever the switches were; the work tab reopens with both off.
  state.Receiving = state.DeviceExists && FMonitor->Receiving();
  state.Polling = state.DeviceExists && FMonitor->Polling();
  state.JournalFile = FJournalFile.FileName();
  state.JournalError = FJournalFile.Error();
  state.JournalLost = FJournalFile.LostLines();
  const TStatusTexts texts = StatusTexts(state);
  const QString record = RecordStatusText(FRecording.State());
  const std::pair<QLabel*, const QString*> fields[] = {
      {LbSource, &texts.Source},   {LbDevice, &texts.Device},     {LbReception, &texts.Reception},
      {LbPolling, &texts.Polling}, {LbPosition, &texts.Position}, {LbJournal, &texts.Journal},
      {LbRecord, &record}};
  for (const auto& [label, text] : fields) {
    if (label->text() == *text) continue;
    label->setText(*text);
    // A narrow window clips the fields; the hint keeps the whole line.
    label->setToolTip(*text);
    label->setVisible(!text->isEmpty());
  }
}

// The keys act on the work tab only, where their buttons are. All but
// Ctrl+C also come from the program's other windows: the KP state window
// stays on top and keeps the focus once shown. A modal dialog still holds
// them back.
void TForm1::BuildShortcuts() {
  const auto key = [this](const QKeySequence& sequence, const char* name,
                          Qt::ShortcutContext context, std::function<void()> action) {
    auto* shortcut = new QShortcut(sequence, this);
    shortcut->setObjectName(name);
    shortcut->setContext(context);
    if (context == Qt::ApplicationShortcut) FWorkKeys.push_back(shortcut);
    connect(shortcut, &QShortcut::activated, this, [this, action = std::move(action)] {
      if (PageControl1->currentIndex() == 0) action();
    });
  };
  const Qt::ShortcutContext everywhere = Qt::ApplicationShortcut;
  key(QKeySequence(Qt::Key_F5), "KeyStartStop", everywhere,
      [this] { TabSheet1->SBtStartStop->click(); });
  key(QKeySequence(Qt::Key_F6), "KeyStartSend", everywhere,
      [this] { TabSheet1->SbStartSend->click(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_K), "KeyShowKpForm", everywhere,
      [this] { TabSheet1->SbShowKpForm->click(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_L), "KeyClear", everywhere,
      [this] { TabSheet1->BtClear->click(); });
  // Copying takes the rows selected in this window's journal.
  key(QKeySequence(Qt::CTRL | Qt::Key_C), "KeyCopy", Qt::WindowShortcut,
      [this] { CopyJournalRows(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_E), "KeySave", everywhere, [this] { SaveJournals(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_R), "KeyRecord", everywhere,
      [this] { TabSheet1->SBtRecord->click(); });
  key(QKeySequence(Qt::Key_F7), "KeySpectrum", everywhere,
      [this] { TabSheet1->SBtSpectrum->click(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_H), "KeyShowHistory", everywhere,
      [this] { TabSheet1->SbShowHistory->click(); });
}

void TForm1::ToggleRecording() {
  TModemDevice* device = FMonitor->Device();
  if (FRecording.Active() || device == nullptr) {
    StopRecording();
  } else {
    const std::string folder = RecordFolder.empty() ? QDir::homePath().toStdString() : RecordFolder;
    TabSheet1->SetRecording(FRecording.Start(*device, folder, FClock->Now()));
  }
  UpdateStatusBar();
}

void TForm1::StopRecording() {
  FRecording.Stop();
  TabSheet1->SetRecording(false);
}

void TForm1::SpectrumShown(bool shown) {
  FSpectrum.Clear();
  TModemDevice* device = FMonitor->Device();
  if (shown && device != nullptr) {
    FSpectrum.Tick(*device, *FClock);
    TabSheet1->SpectrumPanel->SetSpectrum(FSpectrum.Db(0), FSpectrum.Db(1), TLineSpectrum::BinHz());
  }
}

void TForm1::SetAudioSource(const std::string& source) {
  if (source == FAudioSource) return;
  FAudioSource = source;
  // Written at once as well: the choice survives even a crash.
  IniWriteString(FIniFileName, "AudioSource", FAudioSource);
  if (PageControl1->currentIndex() == 0) StartDevice(ModemSettingsFileName);
  UpdateStatusBar();
}

void TForm1::SetJournalFile(const std::string& fileName) {
  if (fileName == FJournalFile.FileName() && FJournalFile.IsOpen()) return;
  FJournalFile.Open(fileName);
  IniWriteString(FIniFileName, "JournalFile", fileName);
  UpdateStatusBar();
}

void TForm1::SourceDialog() {
  TSourceChoice choice{FAudioSource, FJournalFile.FileName()};
  const std::vector<std::string> devices =
      FListDevices ? FListDevices() : std::vector<std::string>{};
  if (!FPrompts->ChooseSource(choice, devices)) return;
  SetJournalFile(choice.JournalFile);
  SetAudioSource(choice.AudioSource);
}

QString TForm1::SelectedJournalText() const {
  const TJournalView& view = *TabSheet1->DgLog;
  if (view.selectionModel() == nullptr) return {};
  QModelIndexList rows = view.selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString text;
  for (const QModelIndex& index : rows) {
    const TLogEntry* entry = TabSheet1->JournalModel->Entry(index.row());
    if (entry != nullptr) text += QString::fromStdString(JournalLine(*entry)) + QLatin1Char('\n');
  }
  return text;
}

void TForm1::CopyJournalRows() {
  const QString text = SelectedJournalText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool TForm1::SaveJournals() {
  const QString name =
      FPrompts->SaveFileName(FExecutableDir, QStringLiteral("Текст (*.txt);;Все файлы (*)"));
  if (name.isEmpty()) return false;
  // The events journal, then the exchange journal, each oldest first.
  std::string text;
  for (int log = 0; log < 2; ++log)
    for (const TLogEntry& entry : FMonitor->Log(log).Entries()) text += JournalLine(entry) + "\n";
  // Written beside, then moved over: a failed save leaves no half file.
  std::string reason;
  const bool ok = ReplaceFile(name.toStdString(), text, reason);
  if (!ok)
    FPrompts->Notice(QStringLiteral("Журналы не сохранены в %1: %2")
                         .arg(name, QString::fromLocal8Bit(reason.c_str())));
  return ok;
}

}  // namespace sorvex
