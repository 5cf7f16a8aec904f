// The main window through its real widgets: first run and the INI keys,
// tab switching with the device and the settings editor, the toolbars'
// commands, the journal grid's selection rules, the tick's error box.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <sstream>
#include <stdexcept>

#include "ui/controls/crawler_show.h"
#include "ui/controls/graphic_panel.h"
#include "ui/controls/level_show.h"
#include "ui/controls/panel_splitter.h"
#include "ui/work/statistics_grid.h"
#include "util/config.h"
#include "window_fixture.h"

namespace sorvex {
namespace {

using testing::GetFile;
using testing::PutFile;

// The keys of section "System" in file order, with their values.
std::vector<std::pair<std::string, std::string>> IniKeys(const std::string& file) {
  std::vector<std::pair<std::string, std::string>> keys;
  std::istringstream in(GetFile(file));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq != std::string::npos) keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return keys;
}

using Window = testing::WindowTest;

TEST_F(Window, FirstRunOpensWithTheDefaultsAndWritesEveryKey) {
  Open();
  TWorkTab& w = Work();
  EXPECT_EQ(form->windowTitle(), "Анализ канала ТМ");
  EXPECT_EQ(form->PageControl1->tabText(0), "Работа");
  EXPECT_EQ(form->PageControl1->tabText(1), "Настройка");
  EXPECT_EQ(form->PageControl1->currentIndex(), 0);
  EXPECT_EQ(form->pos(), QPoint(0, 0));
  EXPECT_EQ(form->size(), QSize(640, 480));
  EXPECT_EQ(w.PnData->height(), 100);
  EXPECT_EQ(w.PnStatistic->height(), 100);
  EXPECT_EQ(w.PnToolsbar1->height(), 30);
  EXPECT_EQ(w.PnToolsbar2->height(), 30);
  EXPECT_EQ(w.PnOsc->height(), 56);
  EXPECT_TRUE(w.SBtAnswer->isChecked());
  EXPECT_FALSE(w.SBtQuest->isChecked());
  EXPECT_TRUE(w.SBtGraphQuest->isChecked() && w.SBtGraphAnswer->isChecked());
  EXPECT_TRUE(w.SBtGraphMarkers->isChecked());
  EXPECT_TRUE(w.OscillographPanel->markersVisible);
  EXPECT_FALSE(w.SBtLogGraph->isChecked() || w.SBtStartStop->isChecked());
  EXPECT_EQ(w.CbGraphScale->currentText(), "Авто");
  EXPECT_EQ(w.EdRecKp->value(), 0);
  EXPECT_EQ(w.EdSendKp->value(), 1);
  EXPECT_EQ(w.CbSendFuncs->currentText(), "OT");
  EXPECT_EQ(w.CbSendFuncs->currentText().toLatin1(), "OT");  // Latin letters
  EXPECT_EQ(w.EdSendGroup->value(), 1);
  EXPECT_FALSE(w.EdSendGroup->isEnabled());
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_DOUBLE_EQ(w.FLevelStart[ch]->GetValue(), 0.1);
    EXPECT_EQ(w.FLevelStart[ch]->Hint(), "-16.90 Db");
    EXPECT_EQ(w.FLevelStart[ch]->TickCount(), 5);
  }
  // The designed widths, widened where the window's font would cut a title
  // or a typical value.
  const std::vector<int32_t> widths = w.DgStatistic->ColumnWidths();
  const QFontMetrics metrics(w.DgStatistic->font());
  ASSERT_EQ(widths.size(), 10u);
  for (int c = 0; c < 10; ++c) {
    std::vector<QString> texts = TStatisticsGrid::TypicalTexts(c);
    texts.push_back(w.StatisticsModel->headerData(c, Qt::Horizontal).toString());
    for (const QString& text : texts)
      EXPECT_GE(widths[c], metrics.horizontalAdvance(text) + 4) << c << " " << text.toStdString();
  }
  EXPECT_GT(widths[7], 64);  // "-17.78 (-19.02)" did not fit the designed 64
  // The device opened from the (empty) settings file name, reception off.
  ASSERT_NE(form->Device(), nullptr);
  EXPECT_EQ(opened, std::vector<std::string>{""});
  EXPECT_FALSE(Monitor().Receiving());
  EXPECT_EQ(form->TabSheet2->FSettingsModem, nullptr);
  EXPECT_TRUE(form->TabSheet2->PnTop->isHidden() && form->TabSheet2->TcFilters->isHidden());
  EXPECT_EQ(form->TimerRedraw->interval(), 10);
  EXPECT_EQ(form->TimerRedraw->timerType(), Qt::PreciseTimer);

  using Keys = std::vector<std::pair<std::string, std::string>>;
  const Keys written = {{"TestData", "00; ff; 55; 55;"},
                        {"DefModemName", ""},
                        {"ScaleX", "0"},
                        {"GraphMarkers", "1"},
                        {"GraphQuest", "1"},
                        {"GraphAnswer", "1"},
                        {"StatQuest", "0"},
                        {"SendKp", "1"},
                        {"SendFuncs", "0"},
                        {"SendGroup", "1"},
                        {"LevelStart1", "0.1"},
                        {"LevelStart2", "0.1"},
                        {"Top", "0"},
                        {"Left", "0"},
                        {"Height", "480"},
                        {"Width", "640"},
                        {"HeightOs", "100"},
                        {"HeightSt", "100"},
                        {"AudioSource", ""},
                        {"JournalFile", ""},
                        {"RecordFolder", ""},
                        {"Spectrum", "0"},
                        // The window "История КП", built with the main one.
                        {"FormHistoryTop", "0"},
                        {"FormHistoryLeft", "0"},
                        {"FormHistoryHeight", "560"},
                        {"FormHistoryWidth", "900"},
                        {"FormHistoryKp", "1"},
                        // Metrics off, and the line named after the host.
                        {"MetricsAddress", ""},
                        {"LineName", ""}};
  EXPECT_EQ(IniKeys(Ini()), written);

  form.reset();
  std::map<std::string, std::string> atExit;
  for (const auto& [key, value] : IniKeys(Ini())) atExit[key] = value;
  EXPECT_EQ(atExit.size(), written.size() + 1);
  EXPECT_EQ(atExit["StatisticGrid"], FormatIniIntList(widths.data(), 10));
  for (const auto& [key, value] : written) EXPECT_EQ(atExit[key], value) << key;
}

TEST_F(Window, ItemListsAndHintsAreTheToolbars) {
  Open();
  TWorkTab& w = Work();
  std::vector<std::pair<QString, int>> scale, funcs;
  for (int i = 0; i < w.CbGraphScale->count(); ++i)
    scale.emplace_back(w.CbGraphScale->itemText(i), w.CbGraphScale->itemData(i).toInt());
  for (int i = 0; i < w.CbSendFuncs->count(); ++i)
    funcs.emplace_back(w.CbSendFuncs->itemText(i), w.CbSendFuncs->itemData(i).toInt());
  EXPECT_EQ(scale,
            (std::vector<std::pair<QString, int>>{
                {"Авто", 0}, {"100%", 100}, {"80%", 80}, {"60%", 60}, {"40%", 40}, {"20%", 20}}));
  EXPECT_EQ(funcs,
            (std::vector<std::pair<QString, int>>{
                {"OT", 0x50}, {"ЗТСМ", 0xF0}, {"ЗГТС", 0x90}, {"ЗГТИ", 0x10}, {"ЗБО", 0xD0}}));
  const std::map<QString, QString> hints = {{"SBtStartStop", "Старт/Стоп"},
                                            {"SBtGraphQuest", "График на запросы"},
                                            {"SBtGraphAnswer", "График на ответы"},
                                            {"SBtLogGraph", "График из журнала событий"},
                                            {"SBtGraphMarkers", "Рисовать стробирующие маркеры"},
                                            {"SBtQuest", "Статистика запросов"},
                                            {"SBtAnswer", "Статистика ответов"},
                                            {"BtReset", "Сбросить статистику"},
                                            {"BtClear", "Очистить журнал"},
                                            {"SbShowKpForm", "Окно состояния КП"},
                                            {"BtMixer", "Микшер"},
                                            {"SbStartSend", "Включить опросы"}};
  for (const auto& [name, hint] : hints) {
    auto* button = form->findChild<QToolButton*>(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    EXPECT_EQ(button->toolTip(), hint);
    EXPECT_FALSE(button->icon().isNull());
  }
  for (const char* name : {"PnToolsbar1",
                           "PnToolsbar2",
                           "PnOsc",
                           "PnData",
                           "PnStatistic",
                           "PnDecode",
                           "PnLevelRx1",
                           "PnLevelRx2",
                           "PnCrawlerLevelStart1",
                           "PnCrawlerLevelStart2",
                           "DgStatistic",
                           "DgLog",
                           "TcLogs",
                           "EdRecKp",
                           "EdSendKp",
                           "EdSendGroup",
                           "CbGraphScale",
                           "CbSendFuncs",
                           "PtTool",
                           "BtNew",
                           "BtLoad",
                           "BtSave",
                           "EdData",
                           "TimerRedraw"})
    EXPECT_NE(form->findChild<QObject*>(name), nullptr) << name;
  // Panels from the top in their order.
  int y = -1;
  const std::vector<QWidget*> panels = {w.PnToolsbar1, w.PnToolsbar2, w.PnOsc,     w.PnData,
                                        w.Splitter1,   w.PnStatistic, w.Splitter2, w.PnDecode};
  for (QWidget* panel : panels) {
    EXPECT_GT(panel->y(), y);
    y = panel->y();
  }
  EXPECT_EQ(w.Splitter1->height(), 3);
}

TEST_F(Window, StoredValuesComeBackOnTheNextStart) {
  Open();
  TWorkTab& w = Work();
  Click(w.SBtQuest);
  Choose(w.CbGraphScale, 2);
  Click(w.SBtGraphMarkers);
  Click(w.SBtGraphQuest);
  Type(w.EdSendKp, 27);      // any KP of the line, beyond 9 too
  Choose(w.CbSendFuncs, 3);  // ЗГТИ: the group edit opens
  EXPECT_TRUE(w.EdSendGroup->isEnabled());
  Type(w.EdSendGroup, 5);
  // A click a quarter along the slider's travel: 0.25.
  CCrawlerShow& slider = *w.FLevelStart[0];
  const int tw = slider.ThumbSize().width();
  QTest::mouseClick(&slider, Qt::LeftButton, {},
                    QPoint(tw / 2 + (slider.width() - tw) / 4, slider.height() / 2));
  EXPECT_DOUBLE_EQ(slider.GetValue(), 0.25);
  EXPECT_EQ(slider.Hint(), "-8.94 Db");
  form->move(20, 30);
  form->resize(700, 560);
  form->TabSheet2->EdData->setText("01; 02;");
  form->ModemSettingsFileName = settings;
  w.DgStatistic->setColumnWidth(1, 150);
  const std::vector<int32_t> widths = w.DgStatistic->ColumnWidths();
  // The splitter under the oscillograph, dragged 40 pixels down.
  QTest::mousePress(w.Splitter1, Qt::LeftButton, {}, QPoint(5, 1));
  QTest::mouseMove(w.Splitter1, QPoint(5, 41));
  QTest::mouseRelease(w.Splitter1, Qt::LeftButton, {}, QPoint(5, 41));
  EXPECT_EQ(w.PnData->height(), 140);

  form.reset();
  std::map<std::string, std::string> ini;
  for (const auto& [key, value] : IniKeys(Ini())) ini[key] = value;
  EXPECT_EQ(ini["LevelStart1"], "0.25");
  EXPECT_EQ(ini["ScaleX"], "2");
  EXPECT_EQ(ini["SendFuncs"], "3");
  EXPECT_EQ(ini["StatQuest"], "1");
  EXPECT_EQ(ini["HeightOs"], "140");
  EXPECT_EQ(ini["StatisticGrid"], FormatIniIntList(widths.data(), 10));

  Open();
  TWorkTab& again = Work();
  EXPECT_TRUE(again.SBtQuest->isChecked());
  EXPECT_EQ(again.CbGraphScale->currentText(), "80%");
  EXPECT_FALSE(again.SBtGraphMarkers->isChecked());
  EXPECT_FALSE(again.OscillographPanel->markersVisible);
  EXPECT_FALSE(again.SBtGraphQuest->isChecked());
  EXPECT_TRUE(again.SBtGraphAnswer->isChecked());
  EXPECT_EQ(again.EdSendKp->value(), 27);
  EXPECT_EQ(again.CbSendFuncs->currentText(), "ЗГТИ");
  EXPECT_EQ(again.EdSendGroup->value(), 5);
  // The stored function is applied without its change handler: the group
  // edit starts disabled, yet its value is what a ЗГТИ request carries.
  EXPECT_FALSE(again.EdSendGroup->isEnabled());
  EXPECT_DOUBLE_EQ(again.FLevelStart[0]->GetValue(), 0.25);
  EXPECT_EQ(again.FLevelStart[0]->Hint(), "-8.94 Db");
  EXPECT_DOUBLE_EQ(again.FLevelStart[1]->GetValue(), 0.1);
  EXPECT_EQ(form->pos(), QPoint(20, 30));
  EXPECT_EQ(form->size(), QSize(700, 560));
  EXPECT_EQ(again.PnData->height(), 140);
  EXPECT_EQ(again.DgStatistic->columnWidth(1), 150);
  EXPECT_EQ(form->TabSheet2->EdData->text(), "01; 02;");
  EXPECT_EQ(opened.back(), settings);
  EXPECT_EQ(form->Device()->BaudRate(0), 1200);  // the device runs the stored settings file
  // The 80% scale applies to the oscillograph: a fixed range ±0.8.
  EXPECT_DOUBLE_EQ(again.OscillographPanel->fixedTop, 0.8);
  EXPECT_DOUBLE_EQ(again.OscillographPanel->fixedBottom, -0.8);

  Click(again.SbStartSend);
  Tick();
  const TJournal& exchange = Monitor().ExchangeLog();
  ASSERT_GE(exchange.Size(), 2u);
  EXPECT_EQ(exchange[exchange.Size() - 1].text, "Запрос на КП27; Функция  ЗГТИТ, Группа=5.");
}

TEST_F(Window, StoredIndexesOutsideTheListsFallBackToTheFirstItem) {
  PutFile(Ini(),
          "[System]\nScaleX=9\nSendFuncs=-1\nSendKp=40\nSendGroup=0\nLevelStart1=3\n"
          "LevelStart2=0\nStatQuest=7\nHeightOs=-20\nStatisticGrid=50; -3; 0; 70;\n");
  Open();
  TWorkTab& w = Work();
  EXPECT_EQ(w.CbGraphScale->currentIndex(), 0);
  EXPECT_EQ(w.CbSendFuncs->currentIndex(), 0);
  EXPECT_EQ(w.EdSendKp->value(), 31);
  EXPECT_EQ(w.EdSendGroup->value(), 1);
  EXPECT_DOUBLE_EQ(w.FLevelStart[0]->GetValue(), 1.0);
  // A stored 0 is no change: the hint keeps its first text.
  EXPECT_DOUBLE_EQ(w.FLevelStart[1]->GetValue(), 0.0);
  EXPECT_EQ(w.FLevelStart[1]->Hint(), "hint");
  EXPECT_TRUE(w.SBtQuest->isChecked());
  EXPECT_EQ(w.PnData->height(), 0);
  std::vector<int32_t> widths = w.DgStatistic->FirstRunColumnWidths();
  widths[0] = 50;
  widths[3] = 70;
  EXPECT_EQ(w.DgStatistic->ColumnWidths(), widths);
  form.reset();
  std::map<std::string, std::string> ini;
  for (const auto& [key, value] : IniKeys(Ini())) ini[key] = value;
  EXPECT_EQ(ini["ScaleX"], "0");
  EXPECT_EQ(ini["SendFuncs"], "0");
}

TEST_F(Window, TabRoundTripReopensTheDeviceWithReceptionOff) {
  form.reset();
  PutFile(Ini(), "[System]\nDefModemName=" + settings + "\n");
  Open();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  ASSERT_TRUE(Monitor().Receiving());
  EXPECT_EQ(w.SBtStartStop->toolTip(), "Стоп");

  ClickTab(1);
  EXPECT_EQ(form->PageControl1->currentIndex(), 1);
  EXPECT_EQ(form->Device(), nullptr);
  ASSERT_NE(form->TabSheet2->FSettingsModem, nullptr);
  EXPECT_EQ(form->TabSheet2->FSettingsModem->GetSettingsFileName(), settings);
  Tick(3);  // nothing to dispatch without a device

  ClickTab(0);
  EXPECT_TRUE(prompts->Questions.empty());
  EXPECT_EQ(form->PageControl1->currentIndex(), 0);
  EXPECT_EQ(form->TabSheet2->FSettingsModem, nullptr);
  ASSERT_NE(form->Device(), nullptr);
  EXPECT_EQ(opened, (std::vector<std::string>{settings, settings}));
  EXPECT_FALSE(Monitor().Receiving());
  // The button shows what the fresh device does: reception off.
  EXPECT_FALSE(w.SBtStartStop->isChecked());
  EXPECT_EQ(w.SBtStartStop->toolTip(), "Старт");
  Click(w.SBtStartStop);
  EXPECT_TRUE(Monitor().Receiving());
  // The journals survive: start, then start again.
  EXPECT_EQ(Texts(), (std::vector<std::string>{"--- Старт приема ---", "--- Старт приема ---"}));
}

TEST_F(Window, UnsavedSettingsNeedAYesToLeaveTheTab) {
  Open();
  ClickTab(1);
  ASSERT_EQ(form->PageControl1->currentIndex(), 1);
  form->TabSheet2->FSettingsModified = true;
  prompts->Answers = {false, true};
  ClickTab(0);
  ASSERT_EQ(prompts->Questions.size(), 1u);
  EXPECT_EQ(prompts->Questions[0], "Изменения не сохранены!\r\nПродолжить?");
  EXPECT_EQ(form->PageControl1->currentIndex(), 1);
  EXPECT_EQ(form->Device(), nullptr);
  EXPECT_NE(form->TabSheet2->FSettingsModem, nullptr);
  EXPECT_TRUE(form->TabSheet2->FSettingsModified);

  ClickTab(0);
  EXPECT_EQ(prompts->Questions.size(), 2u);
  EXPECT_EQ(form->PageControl1->currentIndex(), 0);
  EXPECT_FALSE(form->TabSheet2->FSettingsModified);
  EXPECT_NE(form->Device(), nullptr);
  EXPECT_EQ(form->TabSheet2->FSettingsModem, nullptr);
  EXPECT_EQ(prompts->Unanswered, 0);
}

TEST_F(Window, StartStopWritesBothJournalsBeforeArmingTheReceivers) {
  Open();
  TWorkTab& w = Work();
  std::vector<int> statesAtEntry;
  QObject::connect(w.JournalModel, &QAbstractItemModel::rowsInserted,
                   [&] { statesAtEntry.push_back(form->Device()->ReceiverState(0)); });
  ASSERT_EQ(form->Device()->ReceiverState(0), rsSleeping);
  Click(w.SBtStartStop);
  EXPECT_EQ(statesAtEntry, std::vector<int>{rsSleeping});
  EXPECT_NE(form->Device()->ReceiverState(0), rsSleeping);
  EXPECT_NE(form->Device()->ReceiverState(1), rsSleeping);
  EXPECT_TRUE(Monitor().AwaitFirstRequest());
  Click(w.SBtStartStop);
  EXPECT_FALSE(Monitor().Receiving());
  EXPECT_EQ(w.SBtStartStop->toolTip(), "Старт");
  for (int log = 0; log < 2; ++log) {
    const TJournal& j = Monitor().Log(log);
    ASSERT_EQ(j.Size(), 2u);
    EXPECT_EQ(j[0].text, "--- Старт приема ---");
    EXPECT_EQ(j[1].text, "--- Стоп приема ---");
    EXPECT_EQ(j[1].kind, lkInfo);
    EXPECT_EQ(j[1].recordCount, 0);
  }
  EXPECT_EQ(Rows(), (std::vector<std::string>{"7/12/26 14:05:09:045  --- Старт приема ---",
                                              "7/12/26 14:05:09:045  --- Стоп приема ---"}));
}

TEST_F(Window, StartStopKeepsTheContextOnlyWhilePolling) {
  Open();
  TWorkTab& w = Work();
  Type(w.EdSendKp, 3);
  Click(w.SbStartSend);
  EXPECT_TRUE(Monitor().Polling());
  Tick();  // the first request goes out
  EXPECT_EQ(Monitor().ContextKp(), 3);
  Click(w.SBtStartStop);
  Click(w.SBtStartStop);
  EXPECT_EQ(Monitor().ContextKp(), 3);
  Click(w.SbStartSend);
  EXPECT_FALSE(Monitor().Polling());
  Click(w.SBtStartStop);
  EXPECT_EQ(Monitor().ContextKp(), 0);
  const TJournal& events = Monitor().EventLog();
  EXPECT_EQ(events[0].text, "--- Старт передачи ---");
  EXPECT_EQ(events[events.Size() - 2].text, "--- Стоп передачи ---");
}

TEST_F(Window, TheGroupEditOpensOnlyForFunctionsWithAGroup) {
  Open();
  TWorkTab& w = Work();
  const QColor face = w.EdSendGroup->palette().color(QPalette::Active, QPalette::Button);
  const QColor window = QPalette().color(QPalette::Active, QPalette::Base);
  ASSERT_NE(face, window);
  EXPECT_EQ(w.EdSendGroup->palette().color(QPalette::Base), face);
  const bool expected[5] = {false, false, true, true, false};  // OT ЗТСМ ЗГТС ЗГТИ ЗБО
  for (int i : {2, 0, 3, 1, 4, 2}) {
    Choose(w.CbSendFuncs, i);
    EXPECT_EQ(w.CbSendFuncs->currentIndex(), i);
    EXPECT_EQ(w.EdSendGroup->isEnabled(), expected[i]) << i;
    EXPECT_EQ(w.EdSendGroup->palette().color(QPalette::Base), expected[i] ? window : face) << i;
  }
  Choose(w.CbSendFuncs, 0);
  Click(w.SbStartSend);
  Tick();
  EXPECT_EQ(Monitor().ExchangeLog()[1].text, "Запрос на КП1; Функция  ОТ.");
}

TEST_F(Window, ResetAsksFirstAndNoKeepsEveryCounter) {
  OpenOnLine();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(3, 1, 0xA5));
  Play();
  ASSERT_EQ(Monitor().KpStats().Size(), 1u);
  const QAbstractItemModel* grid = w.DgStatistic->model();
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->index(0, 0).data().toString(), "3");
  EXPECT_EQ(grid->index(0, 2).data().toString(), "1 (0) / 1 (0)");

  prompts->Answers = {false};
  Click(w.BtReset);
  EXPECT_EQ(prompts->Questions.back(), "Сбросить статистику?");
  ASSERT_EQ(Monitor().KpStats().Size(), 1u);
  EXPECT_EQ(Monitor().KpStats()[0].Accepted[1], 1u);
  EXPECT_EQ(grid->index(0, 2).data().toString(), "1 (0) / 1 (0)");

  prompts->Answers = {true};
  Click(w.BtReset);
  EXPECT_EQ(Monitor().KpStats().Size(), 0u);
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->index(0, 0).data().toString(), "");
}

TEST_F(Window, TheJournalFollowsNewLinesOnlyFromTheLastRow) {
  Open();
  TWorkTab& w = Work();
  TJournalView& view = *w.DgLog;
  for (int i = 0; i < 20; ++i) Monitor().AddLogEntry(0, lkInfo, false, std::to_string(i));
  EXPECT_EQ(view.currentIndex().row(), 19);
  // A click on an older line keeps it through new lines.
  ClickRow(2);
  ASSERT_EQ(view.currentIndex().row(), 2);
  Monitor().AddLogEntry(0, lkInfo, false, "20");
  EXPECT_EQ(view.currentIndex().row(), 2);
  view.SelectRow(20);
  Monitor().AddLogEntry(0, lkInfo, false, "21");
  EXPECT_EQ(view.currentIndex().row(), 21);
  EXPECT_TRUE(view.selectionModel()->isRowSelected(21, QModelIndex()));

  // Through trimming: an older selection stays on its entry, the last row
  // stays last.
  for (int i = 22; i < 551; ++i) Monitor().AddLogEntry(0, lkInfo, false, std::to_string(i));
  view.SelectRow(100);
  Monitor().AddLogEntry(0, lkInfo, false, "551");
  EXPECT_EQ(view.model()->rowCount(), 501);
  EXPECT_EQ(Texts().front(), "51");
  EXPECT_EQ(Texts()[static_cast<size_t>(view.currentIndex().row())], "100");
  for (int i = 552; i < 602; ++i) Monitor().AddLogEntry(0, lkInfo, false, std::to_string(i));
  ASSERT_EQ(view.model()->rowCount(), 551);
  view.SelectRow(550);
  Monitor().AddLogEntry(0, lkInfo, false, "602");
  EXPECT_EQ(view.model()->rowCount(), 501);
  EXPECT_EQ(view.currentIndex().row(), 500);
  EXPECT_EQ(Texts().back(), "602");
}

TEST_F(Window, TheOtherJournalShowsItsLinesWhenItsTabIsChosen) {
  Open();
  TWorkTab& w = Work();
  Monitor().AddLogEntry(0, lkInfo, false, "event");
  Monitor().AddLogEntry(1, lkRequest, false, "request A & B");
  Monitor().AddLogEntry(1, lkAnswer, false, "answer");
  EXPECT_EQ(Texts(), std::vector<std::string>{"event"});
  QTest::mouseClick(w.TcLogs, Qt::LeftButton, {}, w.TcLogs->tabRect(1).center());
  EXPECT_EQ(Texts(), (std::vector<std::string>{"request A & B", "answer"}));
  EXPECT_EQ(w.DgLog->currentIndex().row(), 1);
  EXPECT_EQ(w.DgLog->model()->index(0, 0).data(TJournalModel::ImageIndexRole).toInt(), 3);

  // Clearing asks about the shown journal; No keeps it, Yes clears only it.
  prompts->Answers = {false, true};
  Click(w.BtClear);
  EXPECT_EQ(prompts->Questions.back(), "Очистить журнал обмена?");
  EXPECT_EQ(Monitor().ExchangeLog().Size(), 2u);
  Click(w.BtClear);
  EXPECT_EQ(Monitor().ExchangeLog().Size(), 0u);
  EXPECT_EQ(Monitor().EventLog().Size(), 1u);
  EXPECT_EQ(w.DgLog->model()->rowCount(), 0);
  Monitor().AddLogEntry(1, lkInfo, false, "after");
  EXPECT_EQ(w.DgLog->currentIndex().row(), 0);

  QTest::mouseClick(w.TcLogs, Qt::LeftButton, {}, w.TcLogs->tabRect(0).center());
  prompts->Answers = {true};
  Click(w.BtClear);
  // "cобытий" with a Latin c.
  EXPECT_EQ(prompts->Questions.back(), QString("Очистить журнал ") + QChar(0x63) + "обытий?");
  EXPECT_EQ(Monitor().EventLog().Size(), 0u);
  EXPECT_EQ(Monitor().ExchangeLog().Size(), 1u);
}

TEST_F(Window, LiveTelegramsAndJournalSignalsOnTheOscillograph) {
  OpenOnLine();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  Play();
  TGraphicPanel& osc = *w.OscillographPanel;
  const int count = Monitor().SignalRecordCount();
  ASSERT_GT(count, 100);
  EXPECT_EQ(osc.series[0].Count(), count);
  EXPECT_EQ(osc.series[0].colour, QColor(0, 0, 0xFF));
  EXPECT_EQ(osc.title, "КП=3; ГTC; Группа=1");
  // An answer from another KP with the KP filter on 3 leaves it alone.
  Type(w.EdRecKp, 3);
  line.SendAnswer(testing::GtsAnswer(4, 1, 0x0F));
  Play();
  EXPECT_EQ(osc.title, "КП=3; ГTC; Группа=1");
  Type(w.EdRecKp, 0);
  line.SendAnswer(testing::GtsAnswer(4, 1, 0x0F));
  Play();
  EXPECT_EQ(osc.title, "КП=4; ГTC; Группа=1, Значение 0FH");
  EXPECT_EQ(osc.series[0].colour, QColor(0xFF, 0, 0));
  const int answerCount = osc.series[0].Count();

  // Journal graph mode: the quest/answer buttons are disabled, live
  // telegrams stop, a click on a line with a signal shows it in black.
  Click(w.SBtLogGraph);
  EXPECT_FALSE(w.SBtGraphQuest->isEnabled() || w.SBtGraphAnswer->isEnabled());
  line.SendRequest(testing::Request(5, 0x90, 2));
  Play();
  EXPECT_EQ(osc.title, "КП=4; ГTC; Группа=1, Значение 0FH");
  EXPECT_EQ(osc.series[0].Count(), answerCount);
  const TJournal& events = Monitor().EventLog();
  int withSignal = -1;
  for (size_t i = 0; i < events.Size(); ++i)
    if (events[i].recordCount > 0) withSignal = static_cast<int>(i);
  ASSERT_GE(withSignal, 0);
  ClickRow(withSignal);
  EXPECT_EQ(osc.series[0].Count(), events[static_cast<size_t>(withSignal)].recordCount);
  EXPECT_EQ(osc.series[0].colour, QColor(0, 0, 0));
  EXPECT_EQ(osc.title, "КП=4; ГTC; Группа=1, Значение 0FH");  // the caption stays
  // A line without a signal empties the curve.
  ClickRow(0);
  EXPECT_EQ(osc.series[0].Count(), 0);

  // Up again: clicks on lines do nothing.
  Click(w.SBtLogGraph);
  EXPECT_TRUE(w.SBtGraphQuest->isEnabled() && w.SBtGraphAnswer->isEnabled());
  ClickRow(withSignal);
  EXPECT_EQ(osc.series[0].Count(), 0);
}

TEST_F(Window, MarkersFollowTheirButtonAndLevelBarsFollowTheDevice) {
  OpenOnLine();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  Play();
  TGraphicPanel& osc = *w.OscillographPanel;
  int bits = 0, samples = 0;
  for (const auto& m : osc.markers) bits += m->colour == QColor(0, 0x80, 0);
  for (int i = 0; i < Monitor().SignalRecordCount(); ++i)
    samples += Monitor().SignalRecords()[i].Kind == skBitSample;
  EXPECT_GE(samples, 36);  // the request's 36 bits after its lead-in, and closing bits
  EXPECT_EQ(bits, samples);
  EXPECT_EQ(osc.markers.back()->text, QString::number(samples - 1));
  Click(w.SBtGraphMarkers);
  EXPECT_FALSE(osc.markersVisible);
  Click(w.SBtGraphMarkers);
  EXPECT_TRUE(osc.markersVisible);

  // A steady tone on the left: the bar shows the device's level.
  std::vector<int16_t> tone(2 * 1024);
  for (int i = 0; i < 1024; ++i) tone[2 * static_cast<size_t>(i)] = (i % 8 < 4) ? 20000 : -20000;
  loop->QueueInput(tone.data(), 1024);
  loop->Pump(1);
  Tick();
  EXPECT_GT(form->Device()->Level(0), 0.3);
  EXPECT_DOUBLE_EQ(w.FLevelRx[0]->Level(), form->Device()->Level(0));
  EXPECT_DOUBLE_EQ(w.FLevelRx[1]->Level(), form->Device()->Level(1));
}

TEST_F(Window, TheKpWindowHooksRunOnTheirButtonAndAfterValidAnswers) {
  OpenOnLine();
  int shown = 0, updated = 0;
  Click(Work().SbShowKpForm);  // no KP window yet: nothing happens
  form->SetKpFormHooks([&] { ++shown; }, [&] { ++updated; });
  Click(Work().SbShowKpForm);
  EXPECT_EQ(shown, 1);
  Click(Work().SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(3, 1, 0xA5));
  Play();
  EXPECT_EQ(updated, 1);
}

// The KP window's repaint fails inside the tick: one "!!" box, posted after
// the tick, and no tick runs while it is open.
TEST_F(Window, TheErrorBoxIsPostedAndPausesTheTick) {
  OpenOnLine();
  form->SetKpFormHooks({}, [] { throw std::runtime_error("repaint failed"); });
  Click(Work().SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(3, 1, 0xA5));
  Play();
  EXPECT_TRUE(prompts->Messages.empty());  // not inside the tick
  int64_t ticksWhileOpen = -1;
  prompts->WhileMessageOpen = [&] {
    const int64_t before = form->TickCount();
    form->TimerRedraw->start();
    QTest::qWait(100);
    form->TimerRedraw->stop();
    Tick(3);
    ticksWhileOpen = form->TickCount() - before;
  };
  QTest::qWait(20);
  ASSERT_EQ(prompts->Messages.size(), 1u);
  EXPECT_EQ(prompts->Messages[0].first, "!!");
  EXPECT_EQ(prompts->Messages[0].second, "File=Main. Line=499.");
  EXPECT_EQ(ticksWhileOpen, 0);
  const int64_t after = form->TickCount();
  Tick(2);
  EXPECT_EQ(form->TickCount(), after + 2);
  // The failed channel sleeps until reception is switched on again.
  EXPECT_EQ(form->Device()->ReceiverState(1), rsSleeping);
}

// The slider acts on the open device at once: at the top of its range no
// request reaches the switch-on level, back at 0.1 the same request does.
TEST_F(Window, SlidersSetTheDevicesSwitchOnLevelAtOnce) {
  OpenOnLine();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  CCrawlerShow& slider = *w.FLevelStart[0];
  QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(slider.width() - 1, slider.height() / 2));
  ASSERT_DOUBLE_EQ(slider.GetValue(), 1.0);
  EXPECT_EQ(slider.Hint(), "3.10 Db");
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  Play();
  EXPECT_EQ(Monitor().ExchangeLog().Size(), 1u);  // the start line only
  const int tw = slider.ThumbSize().width();
  QTest::mouseClick(&slider, Qt::LeftButton, {},
                    QPoint(tw / 2 + (slider.width() - tw) / 10, slider.height() / 2));
  ASSERT_DOUBLE_EQ(slider.GetValue(), 0.1);
  line.SendRequest(testing::Request(3, 0x90, 1));
  Play();
  ASSERT_EQ(Monitor().ExchangeLog().Size(), 2u);
  EXPECT_EQ(Monitor().ExchangeLog()[1].text, "КП=3; ГTC; Группа=1");
}

// No sound: the device object still exists, reception switches on and arms
// both receivers, ticks find nothing. The same when no backend is given.
TEST_F(Window, WithoutASoundDeviceTheWorkTabStillWorks) {
  TForm1::Options options;
  options.IniFileName = Ini();
  options.Prompts = prompts;
  options.Clock = &clock;
  options.OpenDevice = [](const std::string& file) {
    auto stream = std::make_unique<TLoopbackStream>();
    stream->SetFailStart(true);
    return std::make_unique<TModemDevice>(file, std::move(stream));
  };
  form = std::make_unique<TForm1>(std::move(options));
  form->TimerRedraw->stop();
  ASSERT_NE(form->Device(), nullptr);
  EXPECT_EQ(form->Device()->GetStatus(), -1);
  Click(Work().SBtStartStop);
  EXPECT_TRUE(Monitor().Receiving());
  EXPECT_NE(form->Device()->ReceiverState(0), rsSleeping);
  EXPECT_NE(form->Device()->ReceiverState(1), rsSleeping);
  Tick(20);
  EXPECT_EQ(Monitor().ExchangeLog().Size(), 1u);
  EXPECT_DOUBLE_EQ(Work().FLevelRx[0]->Level(), 0.0);
  form.reset();

  TForm1::Options none;
  none.IniFileName = Ini();
  none.Prompts = prompts;
  form = std::make_unique<TForm1>(std::move(none));
  ASSERT_NE(form->Device(), nullptr);
  EXPECT_EQ(form->Device()->GetStatus(), -1);
}

TEST_F(Window, TheScaleListSetsTheOscillographsRange) {
  Open();
  TWorkTab& w = Work();
  TGraphicPanel& osc = *w.OscillographPanel;
  Choose(w.CbGraphScale, 1);
  EXPECT_DOUBLE_EQ(osc.fixedTop, 1.0);
  EXPECT_DOUBLE_EQ(osc.fixedBottom, -1.0);
  Choose(w.CbGraphScale, 5);
  EXPECT_DOUBLE_EQ(osc.fixedTop, 0.2);
  EXPECT_DOUBLE_EQ(osc.fixedBottom, -0.2);
  Choose(w.CbGraphScale, 0);
  EXPECT_EQ(osc.fixedTop, 0.0);
  EXPECT_EQ(osc.fixedBottom, 0.0);
}

TEST_F(Window, TheJournalColumnFollowsTheGridWidth) {
  Open();
  TJournalView& view = *Work().DgLog;
  EXPECT_EQ(view.columnWidth(0), view.viewport()->width());
  form->resize(900, 600);
  QTest::qWait(1);
  EXPECT_EQ(view.columnWidth(0), view.viewport()->width());
  const int wide = view.viewport()->width();
  for (int i = 0; i < 60; ++i) Monitor().AddLogEntry(0, lkInfo, false, "line");
  QTest::qWait(1);
  ASSERT_TRUE(view.verticalScrollBar()->isVisible());
  EXPECT_LT(view.viewport()->width(), wide);
  EXPECT_EQ(view.columnWidth(0), view.viewport()->width());
  EXPECT_FALSE(form->TabSheet1->DgLog->FitColumn());  // nothing left to do
}

TEST(PanelSplitter, DraggingStopsAtZeroAndLeavesTheRestItsMinimum) {
  EXPECT_EQ(TPanelSplitter::DraggedHeight(100, 200, 40), 140);
  EXPECT_EQ(TPanelSplitter::DraggedHeight(100, 200, -150), 0);
  EXPECT_EQ(TPanelSplitter::DraggedHeight(100, 200, 500), 270);
  // A rest already below its minimum: no growth, shrinking still works.
  EXPECT_EQ(TPanelSplitter::DraggedHeight(100, 10, 50), 100);
  EXPECT_EQ(TPanelSplitter::DraggedHeight(100, 10, -30), 70);
}

}  // namespace
}  // namespace sorvex
