#pragma once
// The main window on the loopback backend, with a temporary INI file,
// scripted prompts and a manual clock. The 10 ms timer is stopped: tests
// feed the line block by block and tick the window themselves, 13 ticks
// per 128 ms block, as signal time would.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "sim/line_simulator.h"
#include "sim/loopback_stream.h"
#include "support/temp_dir.h"
#include "ui/settings/settings_tab.h"
#include "ui/window/main_window.h"
#include "ui/window/prompts.h"
#include "ui/work/journal_view.h"
#include "ui/work/work_tab.h"
#include "util/config.h"
#include "util/date_time.h"

namespace sorvex::testing {

inline const char* const kModem1200 =
    "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\nSmoothing_Freq1=1500\n";

inline RequestDescriptor Request(uint8_t kp, uint8_t function, uint8_t group) {
  RequestDescriptor r;
  r.KpAddress = kp;
  r.FunctionCode = function;
  r.Group = group;
  return r;
}

inline AnswerDescriptor GtsAnswer(uint8_t kp, uint8_t group, uint8_t ts) {
  AnswerDescriptor a;
  a.KpAddress = kp;
  a.FunctionCode = 0x90;
  a.Group = group;
  a.Bytes = {ts};
  return a;
}

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override { form.reset(); }

  std::string Ini() const { return dir.File("Sorvex.ini"); }

  void Open() {
    TForm1::Options options;
    options.IniFileName = Ini();
    options.Prompts = prompts;
    options.Clock = &clock;
    options.OpenDevice = [this](const std::string& file) {
      opened.push_back(file);
      auto stream = std::make_unique<TLoopbackStream>();
      loop = stream.get();
      return std::make_unique<TModemDevice>(file, std::move(stream));
    };
    form = std::make_unique<TForm1>(std::move(options));
    form->TimerRedraw->stop();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  // The window with its device on the simulator's settings (1200 bit/s).
  void OpenOnLine() {
    IniWriteString(Ini(), "DefModemName", settings);
    Open();
  }
  void Reopen() {
    form.reset();
    Open();
  }

  TWorkTab& Work() { return *form->TabSheet1; }
  TMonitor& Monitor() { return form->Monitor(); }

  static void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // Picks item `index` with the keyboard, as a user does (the list's
  // "activated" handlers run).
  static void Choose(QComboBox* box, int index) {
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
  }
  static void Type(QSpinBox* edit, int value) {
    edit->selectAll();
    QTest::keyClicks(edit, QString::number(value));
    QTest::keyClick(edit, Qt::Key_Enter);
  }
  // A click on row `row` of DgLog, scrolled into view first.
  void ClickRow(int row) {
    TJournalView& view = *Work().DgLog;
    const QModelIndex index = view.model()->index(row, 0);
    view.scrollTo(index);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(index).center());
  }
  void ClickTab(int index) {
    QTabBar* bar = form->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  }

  // n ticks of 10 ms.
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      clock.AdvanceMs(10);
      form->TimerRedrawTimer();
    }
  }
  // Plays the simulator's line (from where the last call stopped) and
  // `idleMs` of silence through the open device, 13 ticks after each block.
  void Play(double idleMs = 300) {
    const auto& frames = line.Frames();
    const int64_t total = line.FrameCount();
    if (total > played) loop->QueueInput(frames.data() + 2 * played, total - played);
    const int64_t blocks =
        (total - played + 1023) / 1024 + static_cast<int64_t>(idleMs * 8 / 1024) + 1;
    played = total;
    for (int64_t b = 0; b < blocks; ++b) {
      loop->Pump(1);
      Tick(13);
    }
  }

  // What DgLog shows: every row's text (time stamp, two spaces, text).
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    const QAbstractItemModel* model = Work().DgLog->model();
    for (int r = 0; r < model->rowCount(); ++r)
      rows.push_back(model->index(r, 0).data().toString().toStdString());
    return rows;
  }
  // The rows' texts without their time stamps.
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const std::string& row : Rows()) texts.push_back(row.substr(row.find("  ") + 2));
    return texts;
  }

  TTempDir dir{"sorvex_ui"};
  std::string settings = [this] {
    const std::string file = dir.File("modem.ini");
    PutFile(file, kModem1200);
    return file;
  }();
  std::shared_ptr<TScriptedPrompts> prompts = std::make_shared<TScriptedPrompts>();
  TManualClock clock{EncodeDateTime({2026, 12, 7, 14, 5, 9, 45})};
  std::unique_ptr<TForm1> form;
  TLoopbackStream* loop = nullptr;  // the stream of the device opened last
  std::vector<std::string> opened;  // settings file of every device opened
  TLineSimulator line{settings, 5};
  int64_t played = 0;
};

}  // namespace sorvex::testing
