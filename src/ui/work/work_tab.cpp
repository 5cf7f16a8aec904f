#include "ui/work/work_tab.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "monitor/monitor.h"
#include "ui/controls/crawler_show.h"
#include "ui/controls/graphic_panel.h"
#include "ui/controls/icons.h"
#include "ui/controls/level_show.h"
#include "ui/controls/panel_splitter.h"
#include "ui/window/prompts.h"
#include "ui/work/journal_view.h"
#include "ui/work/oscillograph.h"
#include "ui/work/spectrum_panel.h"
#include "ui/work/statistics_grid.h"
#include "util/date_time.h"

namespace sorvex {

namespace {

constexpr int kToolbarHeight = 30;
constexpr int kOscHeight = 56;
const QSize kLevelHostSize(185, 21);

QFrame* Panel(QWidget* parent, const char* name) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  return panel;
}

// A flat speed button with a glyph and a hint; `toggle`: stays down.
QToolButton* SpeedButton(QWidget* parent, const char* name, const QIcon& icon, const char* hint,
                         bool toggle) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setIcon(icon);
  button->setIconSize(QSize(16, 16));
  button->setFixedSize(25, 25);
  button->setAutoRaise(true);
  button->setCheckable(toggle);
  button->setToolTip(QString::fromUtf8(hint));
  return button;
}

QSpinBox* SpinEdit(QWidget* parent, const char* name, int min, int max, int value) {
  auto* edit = new QSpinBox(parent);
  edit->setObjectName(name);
  edit->setRange(min, max);
  edit->setValue(value);
  return edit;
}

QLabel* Caption(QWidget* parent, const char* text) {
  return new QLabel(QString::fromUtf8(text), parent);
}

QColor TraceColourOf(TraceColour colour) {
  switch (colour) {
    case TraceColour::Blue:
      return TWorkTab::kRequestTrace;
    case TraceColour::Red:
      return TWorkTab::kAnswerTrace;
    case TraceColour::Black:
      break;
  }
  return TWorkTab::kJournalTrace;
}

}  // namespace

TWorkTab::TWorkTab(TMonitor& monitor, TPrompts& prompts, QWidget* parent)
    : QWidget(parent), FMonitor(monitor), FPrompts(prompts) {
  BuildToolbar1();
  BuildToolbar2();
  BuildLevels();
  BuildViews();
  BuildLayout();
}

// The panels from the top, each across the whole width, except that the
// spectrum (when shown) takes the right half of the oscillograph's row.
void TWorkTab::BuildLayout() {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setVerticalSpacing(0);
  layout->setHorizontalSpacing(2);
  int row = 0;
  for (QWidget* w : {static_cast<QWidget*>(PnToolsbar1), static_cast<QWidget*>(PnToolsbar2),
                     static_cast<QWidget*>(PnOsc)})
    layout->addWidget(w, row++, 0, 1, 2);
  layout->addWidget(PnData, row, 0);
  layout->addWidget(PnSpectrum, row++, 1);
  for (QWidget* w : {static_cast<QWidget*>(Splitter1), static_cast<QWidget*>(PnStatistic),
                     static_cast<QWidget*>(Splitter2), static_cast<QWidget*>(PnDecode)})
    layout->addWidget(w, row++, 0, 1, 2);
  layout->setRowStretch(row - 1, 1);
  layout->setColumnStretch(0, 1);
  PnSpectrum->hide();
}

TWorkTab::~TWorkTab() = default;

void TWorkTab::BuildToolbar1() {
  PnToolsbar1 = Panel(this, "PnToolsbar1");
  PnToolsbar1->setFixedHeight(kToolbarHeight);
  auto* bar = new QHBoxLayout(PnToolsbar1);
  bar->setContentsMargins(2, 2, 2, 2);
  bar->setSpacing(2);

  SBtStartStop = SpeedButton(PnToolsbar1, "SBtStartStop", UiToggleIcon("bulb_off", "bulb_on"),
                             "Старт/Стоп", true);
  EdRecKp = SpinEdit(PnToolsbar1, "EdRecKp", 0, 31, 0);
  SBtGraphQuest =
      SpeedButton(PnToolsbar1, "SBtGraphQuest", UiIcon("graph_request"), "График на запросы", true);
  SBtGraphAnswer =
      SpeedButton(PnToolsbar1, "SBtGraphAnswer", UiIcon("graph_answer"), "График на ответы", true);
  SBtLogGraph = SpeedButton(PnToolsbar1, "SBtLogGraph", UiIcon("graph_journal"),
                            "График из журнала событий", true);
  SBtGraphMarkers = SpeedButton(PnToolsbar1, "SBtGraphMarkers", UiIcon("graph_markers"),
                                "Рисовать стробирующие маркеры", true);
  CbGraphScale = new QComboBox(PnToolsbar1);
  CbGraphScale->setObjectName("CbGraphScale");
  CbGraphScale->addItem(QStringLiteral("Авто"), 0);
  for (int percent : {100, 80, 60, 40, 20})
    CbGraphScale->addItem(QString::asprintf("%u%%", percent), percent);
  SBtQuest =
      SpeedButton(PnToolsbar1, "SBtQuest", UiIcon("stat_request"), "Статистика запросов", true);
  SBtAnswer =
      SpeedButton(PnToolsbar1, "SBtAnswer", UiIcon("stat_answer"), "Статистика ответов", true);
  StatChannelGroup = new QButtonGroup(this);
  StatChannelGroup->setExclusive(true);
  StatChannelGroup->addButton(SBtQuest);
  StatChannelGroup->addButton(SBtAnswer);
  SBtAnswer->setChecked(true);
  BtReset = SpeedButton(PnToolsbar1, "BtReset", UiIcon("stat_reset"), "Сбросить статистику", false);
  BtClear = SpeedButton(PnToolsbar1, "BtClear", UiIcon("eraser"), "Очистить журнал", false);
  SbShowKpForm =
      SpeedButton(PnToolsbar1, "SbShowKpForm", UiIcon("kp_panel"), "Окно состояния КП", false);
  BtMixer = SpeedButton(PnToolsbar1, "BtMixer", UiIcon("mixer"), "Микшер", false);
  SBtRecord = SpeedButton(PnToolsbar1, "SBtRecord", UiToggleIcon("record_off", "record_on"),
                          "Запись линии", true);
  SBtSpectrum = SpeedButton(PnToolsbar1, "SBtSpectrum", UiIcon("spectrum"), "Спектр линии", true);
  SbShowHistory =
      SpeedButton(PnToolsbar1, "SbShowHistory", UiIcon("kp_history"), "История КП", false);

  bar->addWidget(SBtStartStop);
  bar->addSpacing(6);
  bar->addWidget(Caption(PnToolsbar1, "КП"));
  bar->addWidget(EdRecKp);
  bar->addSpacing(6);
  for (QWidget* w : {SBtGraphQuest, SBtGraphAnswer, SBtLogGraph, SBtGraphMarkers})
    bar->addWidget(w);
  bar->addSpacing(6);
  bar->addWidget(Caption(PnToolsbar1, "Масштаб Y"));
  bar->addWidget(CbGraphScale);
  bar->addSpacing(6);
  for (QWidget* w : {SBtQuest, SBtAnswer, BtReset, BtClear, SbShowKpForm, BtMixer})
    bar->addWidget(w);
  bar->addSpacing(6);
  bar->addWidget(SBtRecord);
  bar->addWidget(SBtSpectrum);
  bar->addWidget(SbShowHistory);
  bar->addStretch(1);

  connect(SBtStartStop, &QToolButton::clicked, this, &TWorkTab::BtStartStopClick);
  connect(EdRecKp, &QSpinBox::valueChanged, this, &TWorkTab::GraphOptionsChanged);
  connect(SBtGraphQuest, &QToolButton::toggled, this, &TWorkTab::GraphOptionsChanged);
  connect(SBtGraphAnswer, &QToolButton::toggled, this, &TWorkTab::GraphOptionsChanged);
  connect(SBtLogGraph, &QToolButton::clicked, this, &TWorkTab::BtLogGraphClick);
  connect(SBtGraphMarkers, &QToolButton::clicked, this, &TWorkTab::SBtGraphMarkerClick);
  connect(CbGraphScale, &QComboBox::activated, this, &TWorkTab::CbGraphScaleChange);
  connect(SBtQuest, &QToolButton::clicked, this, &TWorkTab::SBtQuestClick);
  connect(SBtAnswer, &QToolButton::clicked, this, &TWorkTab::SBtQuestClick);
  connect(BtReset, &QToolButton::clicked, this, &TWorkTab::BtResetClick);
  connect(BtClear, &QToolButton::clicked, this, &TWorkTab::BtClearClick);
  connect(SbShowKpForm, &QToolButton::clicked, this, &TWorkTab::SbShowKpFormClick);
  connect(BtMixer, &QToolButton::clicked, this, &TWorkTab::BtMixerClick);
  connect(SBtRecord, &QToolButton::clicked, this, &TWorkTab::SBtRecordClick);
  connect(SBtSpectrum, &QToolButton::clicked, this, &TWorkTab::SBtSpectrumClick);
  connect(SbShowHistory, &QToolButton::clicked, this, &TWorkTab::SbShowHistoryClick);
}

void TWorkTab::BuildToolbar2() {
  PnToolsbar2 = Panel(this, "PnToolsbar2");
  PnToolsbar2->setFixedHeight(kToolbarHeight);
  auto* bar = new QHBoxLayout(PnToolsbar2);
  bar->setContentsMargins(2, 2, 2, 2);
  bar->setSpacing(2);

  SbStartSend =
      SpeedButton(PnToolsbar2, "SbStartSend", UiIcon("start_send"), "Включить опросы", true);
  // Any KP of the line, 1..31; stored addresses 1..9 read as before.
  EdSendKp = SpinEdit(PnToolsbar2, "EdSendKp", 1, 31, 1);
  CbSendFuncs = new QComboBox(PnToolsbar2);
  CbSendFuncs->setObjectName("CbSendFuncs");
  // "OT" in Latin letters, as the list has always shown it.
  CbSendFuncs->addItem(QStringLiteral("OT"), 0x50);
  CbSendFuncs->addItem(QStringLiteral("ЗТСМ"), 0xF0);
  CbSendFuncs->addItem(QStringLiteral("ЗГТС"), 0x90);
  CbSendFuncs->addItem(QStringLiteral("ЗГТИ"), 0x10);
  CbSendFuncs->addItem(QStringLiteral("ЗБО"), 0xD0);
  CbSendFuncs->setCurrentIndex(0);
  EdSendGroup = SpinEdit(PnToolsbar2, "EdSendGroup", 1, 8, 1);
  SetGroupEditEnabled(false);

  bar->addWidget(SbStartSend);
  bar->addSpacing(6);
  bar->addWidget(Caption(PnToolsbar2, "КП"));
  bar->addWidget(EdSendKp);
  bar->addSpacing(6);
  bar->addWidget(Caption(PnToolsbar2, "Функция"));
  bar->addWidget(CbSendFuncs);
  bar->addSpacing(6);
  bar->addWidget(Caption(PnToolsbar2, "Группа"));
  bar->addWidget(EdSendGroup);
  bar->addStretch(1);

  connect(SbStartSend, &QToolButton::clicked, this, &TWorkTab::SbStartSendClick);
  connect(EdSendKp, &QSpinBox::valueChanged, this, &TWorkTab::SendRequestChanged);
  connect(EdSendGroup, &QSpinBox::valueChanged, this, &TWorkTab::SendRequestChanged);
  // Any change of the function is sent on; only a choice in the list
  // changes the group edit (the stored function is applied without it).
  connect(CbSendFuncs, &QComboBox::currentIndexChanged, this, &TWorkTab::SendRequestChanged);
  connect(CbSendFuncs, &QComboBox::activated, this, &TWorkTab::CbSendFuncsChange);
}

void TWorkTab::BuildLevels() {
  PnOsc = Panel(this, "PnOsc");
  PnOsc->setFixedHeight(kOscHeight);
  auto* grid = new QGridLayout(PnOsc);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(2);
  grid->addWidget(Caption(PnOsc, "Включающий уровень "), 0, 0);
  grid->addWidget(Caption(PnOsc, "Уровень приема"), 1, 0);

  PnCrawlerLevelStart1 = Panel(PnOsc, "PnCrawlerLevelStart1");
  PnCrawlerLevelStart2 = Panel(PnOsc, "PnCrawlerLevelStart2");
  PnLevelRx1 = Panel(PnOsc, "PnLevelRx1");
  PnLevelRx2 = Panel(PnOsc, "PnLevelRx2");
  for (QFrame* host : {PnCrawlerLevelStart1, PnCrawlerLevelStart2, PnLevelRx1, PnLevelRx2})
    host->setFixedSize(kLevelHostSize);
  for (QFrame* bar : {PnLevelRx1, PnLevelRx2}) {
    bar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->setLineWidth(1);
  }
  grid->addWidget(PnCrawlerLevelStart1, 0, 1);
  grid->addWidget(PnLevelRx1, 1, 1);
  grid->addWidget(PnCrawlerLevelStart2, 0, 2);
  grid->addWidget(PnLevelRx2, 1, 2);
  grid->setColumnStretch(3, 1);

  FLevelRx[0] = new CLevelShow(PnLevelRx1);
  FLevelRx[1] = new CLevelShow(PnLevelRx2);
  FLevelStart[0] = FLevelStart[1] = nullptr;
  const auto changed = [this](int32_t tag, double value) { LevelStartChanged(tag, value); };
  FLevelStart[0] = new CCrawlerShow(PnCrawlerLevelStart1, changed, 0);
  FLevelStart[1] = new CCrawlerShow(PnCrawlerLevelStart2, changed, 1);
}

void TWorkTab::BuildViews() {
  PnData = Panel(this, "PnData");
  OscillographPanel = new TGraphicPanel(PnData);
  OscillographPanel->setObjectName("OscillographPanel");
  OscillographPanel->EnableCursors(true);
  PnSpectrum = Panel(this, "PnSpectrum");
  SpectrumPanel = new TSpectrumPanel(PnSpectrum);
  SpectrumPanel->setObjectName("SpectrumPanel");

  PnStatistic = Panel(this, "PnStatistic");
  DgStatistic = new TStatisticsGrid(PnStatistic);
  DgStatistic->setObjectName("DgStatistic");
  StatisticsModel = new TStatisticsModel(FMonitor, this);
  DgStatistic->setModel(StatisticsModel);
  DgStatistic->SetColumnWidths(DgStatistic->FirstRunColumnWidths());
  auto* statistic = new QVBoxLayout(PnStatistic);
  statistic->setContentsMargins(0, 0, 0, 0);
  statistic->addWidget(DgStatistic);

  PnDecode = Panel(this, "PnDecode");
  TcLogs = new QTabBar(PnDecode);
  TcLogs->setObjectName("TcLogs");
  TcLogs->addTab(QStringLiteral("События"));
  TcLogs->addTab(QStringLiteral("Обмен"));
  TcLogs->setExpanding(false);
  DgLog = new TJournalView(PnDecode);
  DgLog->setObjectName("DgLog");
  JournalModel = new TJournalModel(FMonitor, this);
  DgLog->setModel(JournalModel);
  auto* decode = new QVBoxLayout(PnDecode);
  decode->setContentsMargins(0, 0, 0, 0);
  decode->setSpacing(0);
  decode->addWidget(TcLogs);
  decode->addWidget(DgLog, 1);

  Splitter1 = new TPanelSplitter(PnData, PnDecode, this);
  Splitter1->setObjectName("Splitter1");
  Splitter2 = new TPanelSplitter(PnStatistic, PnDecode, this);
  Splitter2->setObjectName("Splitter2");

  connect(TcLogs, &QTabBar::currentChanged, this, &TWorkTab::TcLogsChange);
  connect(DgLog, &QAbstractItemView::clicked, this, &TWorkTab::DgLogClick);
}

void TWorkTab::SendRequestChanged() {
  FMonitor.SetSendRequest(static_cast<uint8_t>(EdSendKp->value()),
                          static_cast<uint8_t>(CbSendFuncs->currentData().toInt()),
                          static_cast<uint8_t>(EdSendGroup->value()));
}

void TWorkTab::GraphOptionsChanged() {
  FMonitor.SetGraphOptions(SBtLogGraph->isChecked(), SBtGraphQuest->isChecked(),
                           SBtGraphAnswer->isChecked(), static_cast<uint8_t>(EdRecKp->value()));
}

void TWorkTab::ReleaseStartStop() {
  if (!SBtStartStop->isChecked()) return;
  SBtStartStop->setChecked(false);
  SBtStartStop->setToolTip(QStringLiteral("Старт"));
}

void TWorkTab::SetGroupEditEnabled(bool enabled) {
  EdSendGroup->setEnabled(enabled);
  QPalette palette = EdSendGroup->palette();
  const QColor face = palette.color(QPalette::Active, QPalette::Button);
  const QColor window = QPalette().color(QPalette::Active, QPalette::Base);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    palette.setColor(group, QPalette::Base, enabled ? window : face);
  EdSendGroup->setPalette(palette);
}

void TWorkTab::BtStartStopClick() {
  const bool down = SBtStartStop->isChecked();
  SBtStartStop->setToolTip(down ? QStringLiteral("Стоп") : QStringLiteral("Старт"));
  FMonitor.BtStartStopClick(down);
}

void TWorkTab::SbStartSendClick() {
  SendRequestChanged();
  FMonitor.SbStartSendClick(SbStartSend->isChecked());
}

void TWorkTab::CbSendFuncsChange() {
  const auto function = static_cast<uint8_t>(CbSendFuncs->currentData().toInt());
  SetGroupEditEnabled(TMonitor::FunctionTakesGroup(function));
  SendRequestChanged();
}

void TWorkTab::CbGraphScaleChange() {
  const int v = CbGraphScale->currentData().toInt();
  if (v != 0) {
    OscillographPanel->SetYRange(v / 100.0, -v / 100.0);
  } else {
    OscillographPanel->SetYRange(0, 0);
  }
}

void TWorkTab::BtLogGraphClick() {
  const bool fromJournal = SBtLogGraph->isChecked();
  SBtGraphQuest->setEnabled(!fromJournal);
  SBtGraphAnswer->setEnabled(!fromJournal);
  GraphOptionsChanged();
  DgLogClick();
}

void TWorkTab::SBtGraphMarkerClick() {
  OscillographPanel->SetMarkersVisible(SBtGraphMarkers->isChecked());
}

void TWorkTab::SBtQuestClick() {
  StatisticsModel->SetChannel(SBtQuest->isChecked() ? 0 : 1);
}

void TWorkTab::BtResetClick() {
  if (!FPrompts.ConfirmBox(QStringLiteral("Сбросить статистику?"))) return;
  FMonitor.ResetStatistics();  // reports StatisticsChanged: the grid repaints
}

void TWorkTab::BtClearClick() {
  const int logIndex = TcLogs->currentIndex() == 0 ? 0 : 1;
  // "cобытий" starts with a Latin c, as the question has always read.
  const QString question = QStringLiteral("Очистить журнал ") +
                           (logIndex == 0 ? QStringLiteral("cобытий") : QStringLiteral("обмена")) +
                           QStringLiteral("?");
  if (FPrompts.ConfirmBox(question)) FMonitor.ClearLog(static_cast<uint8_t>(logIndex));
}

void TWorkTab::SbShowKpFormClick() {
  if (ShowKpForm) ShowKpForm();
}

void TWorkTab::BtMixerClick() {
  if (MixerAction) MixerAction();
}

void TWorkTab::SbShowHistoryClick() {
  if (ShowHistory) ShowHistory();
}

void TWorkTab::SBtRecordClick() {
  // The window decides: a recording that cannot start leaves the button up.
  if (RecordAction) {
    RecordAction();
  } else {
    SetRecording(false);
  }
}

void TWorkTab::SetRecording(bool recording) {
  SBtRecord->setChecked(recording);
}

void TWorkTab::SBtSpectrumClick() {
  const bool shown = SBtSpectrum->isChecked();
  PnSpectrum->setVisible(shown);
  // The oscillograph's column takes the whole width while the spectrum is
  // hidden, half of it while it is shown.
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->setColumnStretch(1, shown ? 1 : 0);
  if (!shown) SpectrumPanel->Clear();
  if (SpectrumShown) SpectrumShown(shown);
}

bool TWorkTab::SpectrumVisible() const {
  return SBtSpectrum->isChecked();
}

void TWorkTab::TcLogsChange() {
  JournalModel->ShowJournal(TcLogs->currentIndex() == 0 ? 0 : 1);
  DgLog->SelectRow(JournalModel->rowCount() - 1);
}

void TWorkTab::DgLogClick() {
  if (!SBtLogGraph->isChecked()) return;
  const QModelIndex current = DgLog->currentIndex();
  const TLogEntry* entry = current.isValid() ? JournalModel->Entry(current.row()) : nullptr;
  if (entry == nullptr) return;
  const TSignalRecord* records = entry->records ? entry->records->data() : nullptr;
  ShowElementsOnGraph(*OscillographPanel, records, records ? entry->recordCount : 0, kJournalTrace,
                      SBtGraphMarkers->isChecked());
}

void TWorkTab::LevelStartChanged(int tag, double value) {
  if (tag != 0 && tag != 1) return;
  FMonitor.LevelStartChanged(tag, value);
  if (FLevelStart[tag] != nullptr)
    FLevelStart[tag]->SetHint(QString::asprintf("%.2f Db", AmplitudeToDb(value)));
}

void TWorkTab::EntriesTrimmed(int logIndex, size_t count) {
  JournalModel->EntriesTrimmed(logIndex, count);
}

void TWorkTab::EntryAdded(const TLogEntry& entry) {
  if (entry.logIndex != JournalModel->ShownJournal()) return;
  // Follow new lines only from the last row; an older selection stays.
  const bool follow = DgLog->OnLastRow();
  JournalModel->EntryAdded(entry.logIndex);
  if (follow) DgLog->SelectRow(JournalModel->rowCount() - 1);
}

void TWorkTab::JournalCleared(int logIndex) {
  JournalModel->JournalCleared(logIndex);
}

void TWorkTab::StatisticsChanged() {
  StatisticsModel->Sync();
}

void TWorkTab::LevelsChanged(double left, double right) {
  FLevelRx[0]->SetLevel(left);
  FLevelRx[1]->SetLevel(right);
}

void TWorkTab::ShowTelegram(const TSignalRecord* records, int count, TraceColour colour,
                            const std::string& title) {
  ShowElementsOnGraph(*OscillographPanel, records, count, TraceColourOf(colour),
                      SBtGraphMarkers->isChecked());
  OscillographPanel->SetTitle(QString::fromStdString(title));
  FShownBits = 0;
  for (int i = 0; records != nullptr && i < count; ++i)
    FShownBits += records[i].Kind == skBitSample ? 1 : 0;
}

void TWorkTab::ShowMeasurement(const TTelegramMeasurement& m) {
  ShowMeasurementOnGraph(*OscillographPanel, m, FShownBits);
}

}  // namespace sorvex
