// The window for a real line: the source dialog and when the device
// reopens, the status bar, the keys, the journal transcript and saving the
// journals, and the signals that close the program.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <cerrno>
#include <cstring>

#include "audio/sound_file.h"
#include "audio/sound_file_stream.h"
#include "ui/kp/kp_form.h"
#include "ui/window/signal_close.h"
#include "ui/window/source_dialog.h"
#include "ui/window/status_line.h"
#include "window_fixture.h"

namespace sorvex {
namespace {

using testing::GetFile;
using testing::PutFile;

// The window with OpenSource: every source asked for is recorded; a device
// opens on the loopback backend unless `failWith` says why it does not.
class SourceWindow : public testing::WindowTest {
 protected:
  void OpenWithSources() {
    TForm1::Options options;
    options.IniFileName = Ini();
    options.Prompts = prompts;
    options.Clock = &clock;
    options.ListDevices = [this] { return devices; };
    options.OpenSource = [this](const std::string& file, const TAudioSource& source) {
      sources.push_back(source.Format());
      TOpenedSource opened;
      auto stream = std::make_unique<TLoopbackStream>();
      stream->SetFailStart(!failWith.empty());
      loop = stream.get();
      opened.Device = std::make_unique<TModemDevice>(file, std::move(stream));
      opened.Error = failWith;
      opened.Fault = failFault;
      return opened;
    };
    form = std::make_unique<TForm1>(std::move(options));
    form->TimerRedraw->stop();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  QString Field(QLabel* label) { return label->isVisibleTo(form.get()) ? label->text() : ""; }

  std::vector<std::string> devices{"Card A", "Card B"};
  std::vector<std::string> sources;  // every source opened, as the INI writes it
  std::string failWith;
  TAudioFault failFault;
};

TEST_F(SourceWindow, TheDialogsChoiceReopensTheDeviceAtOnceWithReceptionOff) {
  OpenWithSources();
  EXPECT_EQ(sources, std::vector<std::string>{""});
  Click(Work().SBtStartStop);
  ASSERT_TRUE(Monitor().Receiving());

  const std::string recording = dir.File("line.wav");
  prompts->SourceChoices.push_back(TSourceChoice{"file:" + recording, dir.File("log.txt")});
  Click(Work().BtMixer);
  ASSERT_EQ(prompts->OfferedDevices.size(), 1u);
  EXPECT_EQ(prompts->OfferedDevices[0], devices);
  EXPECT_EQ(sources, (std::vector<std::string>{"", "file:" + recording}));
  EXPECT_FALSE(Monitor().Receiving());
  EXPECT_FALSE(Work().SBtStartStop->isChecked());
  // Both keys are in the INI at once, not only at exit.
  EXPECT_NE(GetFile(Ini()).find("\nAudioSource=file:" + recording + "\n"), std::string::npos);
  EXPECT_NE(GetFile(Ini()).find("\nJournalFile=" + dir.File("log.txt") + "\n"), std::string::npos);
  EXPECT_EQ(form->JournalFile().FileName(), dir.File("log.txt"));

  // Cancel, or OK on the same source: the device stays as it is.
  TModemDevice* second = form->Device();
  prompts->SourceChoices.push_back(std::nullopt);
  prompts->SourceChoices.push_back(TSourceChoice{"file:" + recording, dir.File("log.txt")});
  Click(Work().BtMixer);
  Click(Work().BtMixer);
  EXPECT_EQ(form->Device(), second);
  EXPECT_EQ(sources.size(), 2u);
}

TEST_F(SourceWindow, ASourceChangedOnTheSettingsTabAppliesWhenTheWorkTabOpens) {
  OpenWithSources();
  ClickTab(1);
  ASSERT_EQ(form->Device(), nullptr);
  form->SetAudioSource("device:Card B");
  EXPECT_EQ(form->Device(), nullptr);
  EXPECT_EQ(sources, std::vector<std::string>{""});
  ClickTab(0);
  EXPECT_EQ(sources, (std::vector<std::string>{"", "device:Card B"}));
  ASSERT_NE(form->Device(), nullptr);
  // Kept for the next run.
  form.reset();
  EXPECT_NE(GetFile(Ini()).find("\nAudioSource=device:Card B\n"), std::string::npos);
  OpenWithSources();
  EXPECT_EQ(sources.back(), "device:Card B");
}

TEST_F(SourceWindow, TheStatusBarSaysWhatIsOpenAndWhyNot) {
  failWith = "no sound device 'Card C' with 2 inputs and 2 outputs";
  failFault = {TAudioFault::Kind::NoNamedDevice, "Card C", "", ""};
  PutFile(Ini(), "[System]\nAudioSource=device:Card C\n");
  OpenWithSources();
  EXPECT_EQ(form->Device()->GetStatus(), -1);
  EXPECT_EQ(Field(form->LbSource), "Источник: «Card C»");
  // Our words, not the audio layer's English.
  EXPECT_EQ(Field(form->LbDevice),
            "Не открыто: нет звукового устройства «Card C» с двумя входами и двумя выходами");
  EXPECT_EQ(form->LbDevice->toolTip(), Field(form->LbDevice));
  EXPECT_EQ(Field(form->LbReception), "Приём: выкл");
  EXPECT_EQ(Field(form->LbPolling), "Опрос: выкл");
  EXPECT_EQ(Field(form->LbPosition), "");
  EXPECT_EQ(Field(form->LbJournal), "");
  // The switches work on a device without sound; the bar follows them.
  QTest::keyClick(form.get(), Qt::Key_F5);
  QTest::keyClick(form.get(), Qt::Key_F6);
  Tick();
  EXPECT_EQ(Field(form->LbReception), "Приём: вкл");
  EXPECT_EQ(Field(form->LbPolling), "Опрос: вкл");
  ClickTab(1);
  EXPECT_EQ(Field(form->LbDevice), "Устройство закрыто (настройка)");
  EXPECT_EQ(Field(form->LbReception), "Приём: выкл");
  EXPECT_EQ(Field(form->LbPolling), "Опрос: выкл");
  // Nothing modal was shown for any of it.
  EXPECT_TRUE(prompts->Messages.empty());
  EXPECT_TRUE(prompts->Notices.empty());

  failWith.clear();
  ClickTab(0);
  EXPECT_EQ(Field(form->LbDevice), "Устройство открыто");
}

TEST_F(SourceWindow, KeysActAsTheirButtons) {
  OpenWithSources();
  TWorkTab& w = Work();
  QTest::keyClick(form.get(), Qt::Key_F5);
  EXPECT_TRUE(w.SBtStartStop->isChecked());
  EXPECT_TRUE(Monitor().Receiving());
  EXPECT_EQ(w.SBtStartStop->toolTip(), "Стоп");
  QTest::keyClick(form.get(), Qt::Key_F5);
  EXPECT_FALSE(w.SBtStartStop->isChecked());
  EXPECT_FALSE(Monitor().Receiving());

  QTest::keyClick(form.get(), Qt::Key_F6);
  EXPECT_TRUE(w.SbStartSend->isChecked());
  EXPECT_TRUE(Monitor().Polling());
  QTest::keyClick(form.get(), Qt::Key_F6);
  EXPECT_FALSE(Monitor().Polling());
  // The hints keep their texts.
  EXPECT_EQ(w.SbStartSend->toolTip(), "Включить опросы");

  int shown = 0;
  form->SetKpFormHooks([&shown] { ++shown; }, {});
  QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(shown, 1);

  // Ctrl+L asks as the eraser does.
  Monitor().AddLogEntry(0, lkInfo, false, "one");
  prompts->Answers.push_back(true);
  QTest::keyClick(form.get(), Qt::Key_L, Qt::ControlModifier);
  ASSERT_EQ(prompts->Questions.size(), 1u);
  EXPECT_EQ(prompts->Questions[0], "Очистить журнал cобытий?");
  EXPECT_EQ(Monitor().EventLog().Size(), 0u);

  // From the KP state window's KP edit (it stays on top with the focus)
  // the keys reach the work tab; the edit takes none of them as editing.
  TFormKp kp(Ini(), Monitor().KpStats());
  kp.show();
  kp.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&kp));
  kp.EdKp->setFocus();
  for (const Qt::Key key : {Qt::Key_F5, Qt::Key_F6}) QTest::keyClick(kp.EdKp, key);
  for (const Qt::Key key : {Qt::Key_K, Qt::Key_L, Qt::Key_E})
    QTest::keyClick(kp.EdKp, key, Qt::ControlModifier);
  EXPECT_TRUE(Monitor().Receiving() && Monitor().Polling());
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(prompts->Questions.size(), 2u);          // Ctrl+L's
  EXPECT_EQ(prompts->DialogDirectories.size(), 1u);  // Ctrl+E's
  for (const Qt::Key key : {Qt::Key_F5, Qt::Key_F6}) QTest::keyClick(kp.EdKp, key);
  EXPECT_FALSE(Monitor().Receiving() || Monitor().Polling());
  kp.close();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

  // On the settings tab the keys do nothing.
  ClickTab(1);
  QTest::keyClick(form.get(), Qt::Key_F5);
  QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier);
  EXPECT_FALSE(w.SBtStartStop->isChecked());
  EXPECT_EQ(shown, 2);
}

TEST_F(SourceWindow, CtrlCCopiesTheSelectedRowsAsTranscriptLines) {
  OpenWithSources();
  for (const char* text : {"first", "second", "third"}) {
    Monitor().AddLogEntry(0, lkInfo, false, text);
    Tick();
  }
  TJournalView& view = *Work().DgLog;
  view.setFocus();
  ClickRow(0);
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    view.visualRect(view.model()->index(1, 0)).center());
  QApplication::clipboard()->clear();
  QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
  const auto& log = Monitor().EventLog();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
            JournalLine(log[0]) + "\n" + JournalLine(log[1]) + "\n");
}

TEST_F(SourceWindow, CtrlESavesBothJournalsOrSaysWhyNot) {
  OpenWithSources();
  Monitor().AddLogEntry(1, lkRequest, false, "request");
  Monitor().AddLogEntry(0, lkInfo, false, "event");
  Monitor().AddLogEntry(1, lkAnswer, false, "answer");
  prompts->Files.push_back(QString::fromStdString(dir.File("saved.txt")));
  QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
  const TJournal& e = Monitor().EventLog();
  const TJournal& x = Monitor().ExchangeLog();
  std::string expected;
  for (const TJournal* log : {&e, &x})
    for (const TLogEntry& entry : log->Entries()) expected += JournalLine(entry) + "\n";
  EXPECT_EQ(GetFile(dir.File("saved.txt")), expected);
  EXPECT_NE(expected.find("\tanswer\n"), std::string::npos);

  // A folder that does not exist: a notice, and no file, whole or partial.
  const std::string bad = dir.File("missing/saved.txt");
  prompts->Files.push_back(QString::fromStdString(bad));
  QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
  ASSERT_EQ(prompts->Notices.size(), 1u);
  EXPECT_TRUE(prompts->Notices[0].startsWith("Журналы не сохранены в "));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  // Cancelled: nothing asked beyond the dialog.
  QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(prompts->Notices.size(), 1u);
}

TEST_F(SourceWindow, TheTranscriptGetsEveryEntryAndAFailureOnlyShowsInTheStatusBar) {
  PutFile(Ini(), "[System]\nJournalFile=" + dir.File("log.txt") + "\n");
  OpenWithSources();
  Click(Work().SBtStartStop);
  Monitor().AddLogEntry(1, lkRequest, false, "Запрос");
  Tick();
  EXPECT_EQ(Field(form->LbJournal), "Журнал: log.txt");
  // Entries come in order of addition, whichever journal.
  const std::string text = GetFile(dir.File("log.txt"));
  const auto& events = Monitor().EventLog();
  const auto& exchange = Monitor().ExchangeLog();
  ASSERT_EQ(events.Size(), 1u);
  ASSERT_EQ(exchange.Size(), 2u);
  EXPECT_EQ(text, JournalLine(events[0]) + "\n" + JournalLine(exchange[0]) + "\n" +
                      JournalLine(exchange[1]) + "\n");

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  prompts->SourceChoices.push_back(TSourceChoice{"", "/dev/full"});
  Click(Work().BtMixer);
  Click(Work().SBtStartStop);  // two more entries, both lost
  Tick();
  EXPECT_FALSE(Monitor().Receiving());
  EXPECT_EQ(Field(form->LbJournal),
            "Журнал full не пишется: No space left on device (потеряно строк: 2)");
  EXPECT_TRUE(prompts->Messages.empty());
}

// A recording played through the window on the real file backend, at
// real-time pace: the bar shows its position, then its end, and the
// transcript holds every journal line.
TEST_F(SourceWindow, ARecordingPlaysThroughTheWindowAndItsTranscriptIsWritten) {
  line.Silence(1000);  // time for the key
  line.SendRequest(testing::Request(3, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(3, 1, 0xA5));
  line.Silence(300);
  std::string error;
  ASSERT_TRUE(WriteStereoWav(dir.File("line.wav"), line.Frames().data(), line.FrameCount(), error))
      << error;
  const int64_t frames = line.FrameCount();
  PutFile(Ini(), "[System]\nDefModemName=" + settings + "\nAudioSource=file:" +
                     dir.File("line.wav") + "\nJournalFile=" + dir.File("log.txt") + "\n");
  TForm1::Options options;
  options.IniFileName = Ini();
  options.Prompts = prompts;
  options.OpenSource = OpenSourceDevice;
  form = std::make_unique<TForm1>(std::move(options));  // its own timer, the system clock
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::keyClick(form.get(), Qt::Key_F5);
  EXPECT_EQ(Field(form->LbSource), "Источник: файл line.wav");
  EXPECT_EQ(Field(form->LbDevice), "Устройство открыто");
  EXPECT_TRUE(Field(form->LbPosition).startsWith("Запись: 0:00."));
  EXPECT_TRUE(Field(form->LbPosition).endsWith(" из " + PlayTime(frames)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Field(form->LbPosition).startsWith("Запись окончена"); },
                              10000));
  EXPECT_EQ(Field(form->LbPosition), "Запись окончена: " + PlayTime(frames));
  QTest::qWait(300);
  EXPECT_EQ(Field(form->LbDevice), "Устройство открыто");  // silence follows
  std::vector<std::string> journal;
  for (const TLogEntry& entry : Monitor().ExchangeLog().Entries()) journal.push_back(entry.text);
  ASSERT_GE(journal.size(), 3u);
  EXPECT_EQ(journal[1], "КП=3; ГTC; Группа=1");
  EXPECT_EQ(journal[2].rfind("КП=3; ГTC; Группа=1, Значение ", 0), 0u) << journal[2];
  const std::string text = GetFile(dir.File("log.txt"));
  for (const TLogEntry& entry : Monitor().ExchangeLog().Entries())
    EXPECT_NE(text.find(JournalLine(entry) + "\n"), std::string::npos) << entry.text;
  for (const TLogEntry& entry : Monitor().EventLog().Entries())
    EXPECT_NE(text.find(JournalLine(entry) + "\n"), std::string::npos) << entry.text;

  // A recording that is not there: the reason, and nothing else.
  form->SetAudioSource("file:" + dir.File("gone.wav"));
  EXPECT_EQ(form->Device()->GetStatus(), -1);
  EXPECT_EQ(Field(form->LbDevice),
            QStringLiteral("Не открыто: файл записи «gone.wav» не открывается (%1)")
                .arg(QString::fromLocal8Bit(std::strerror(ENOENT))));
  EXPECT_EQ(Field(form->LbPosition), "");
  EXPECT_TRUE(prompts->Messages.empty());
}

TEST(SourceDialog, OffersTheListedDevicesAndKeepsAStoredOneThatIsGone) {
  TSourceDialog dialog({"device:Old card", "/var/log/line.txt"}, {"Card A", "Card B"});
  EXPECT_EQ(dialog.windowTitle(), "Источник сигнала");
  EXPECT_TRUE(dialog.RbDevice->isChecked());
  ASSERT_EQ(dialog.CbDevice->count(), 3);
  EXPECT_EQ(dialog.CbDevice->currentText(), "Old card");
  EXPECT_FALSE(dialog.LbNoDevices->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.Choice(), (TSourceChoice{"device:Old card", "/var/log/line.txt"}));

  dialog.CbDevice->setCurrentIndex(1);
  EXPECT_EQ(dialog.Choice().AudioSource, "device:Card B");
  dialog.RbDefault->setChecked(true);
  EXPECT_EQ(dialog.Choice().AudioSource, "");
}

TEST(SourceDialog, WithoutDevicesAFileIsStillOfferedAndOkWaitsForItsName) {
  TSourceDialog dialog({}, {});
  dialog.show();
  EXPECT_TRUE(dialog.RbDefault->isChecked());
  EXPECT_TRUE(dialog.LbNoDevices->isVisible());
  EXPECT_FALSE(dialog.RbDevice->isEnabled());
  QPushButton* ok = dialog.Buttons->button(QDialogButtonBox::Ok);
  EXPECT_TRUE(ok->isEnabled());
  dialog.RbFile->setChecked(true);
  EXPECT_FALSE(ok->isEnabled());
  // The browse button fills the name in and picks the file.
  dialog.RbDefault->setChecked(true);
  QString asked;
  dialog.BrowseRecording = [&asked](const QString& start) {
    asked = start;
    return QStringLiteral("/data/line 1.flac");
  };
  QTest::mouseClick(dialog.BtFile, Qt::LeftButton);
  EXPECT_TRUE(dialog.RbFile->isChecked());
  EXPECT_TRUE(ok->isEnabled());
  // Typing a journal name; blanks around names do not count.
  QTest::keyClicks(dialog.EdJournal, " /tmp/t.txt ");
  EXPECT_EQ(dialog.Choice(), (TSourceChoice{"file:/data/line 1.flac", "/tmp/t.txt"}));
  dialog.EdFile->clear();
  QTest::keyClicks(dialog.EdFile, "  ");
  EXPECT_FALSE(ok->isEnabled());
}

TEST(StatusLine, FieldsForEachState) {
  EXPECT_EQ(PlayTime(0), "0:00.0");
  EXPECT_EQ(PlayTime(75 * 8000 + 4000), "1:15.5");
  EXPECT_EQ(PlayTime(3600 * 8000), "60:00.0");
  TStatusState s;
  s.Source = TAudioSource::Parse("file:/data/line.wav");
  s.DeviceExists = s.DeviceOpen = s.File = true;
  s.PlayedFrames = 9000;  // a padded last block runs past the end
  s.LengthFrames = 8800;
  TStatusTexts t = StatusTexts(s);
  EXPECT_EQ(t.Source, "Источник: файл line.wav");
  EXPECT_EQ(t.Position, "Запись: 0:01.1 из 0:01.1");
  s.FileEnded = true;
  EXPECT_EQ(StatusTexts(s).Position, "Запись окончена: 0:01.1");
  s.DeviceOpen = false;
  // A backend that gave no code keeps its text, in brackets after ours.
  s.DeviceError = "cannot read\n/data/line.wav: truncated";
  t = StatusTexts(s);
  EXPECT_EQ(t.Device, "Не открыто: нет звука (cannot read /data/line.wav: truncated)");
  EXPECT_EQ(t.Position, "");
  s.Source = TAudioSource::Parse("hw:1");
  EXPECT_EQ(StatusTexts(s).Source, "Источник: неизвестный «hw:1»");
  s.JournalFile = "/var/log/t.txt";
  s.JournalLost = 3;
  EXPECT_EQ(StatusTexts(s).Journal, "Журнал: t.txt (потеряно строк: 3)");
}

TEST(SignalClose, SigtermAndSigintRunTheCloseOnTheEventLoop) {
  struct sigaction before = {};
  sigaction(SIGTERM, nullptr, &before);
  int closes = 0;
  {
    TSignalClose closer([&closes] { ++closes; });
    ASSERT_TRUE(closer.Installed());
    TSignalClose second([] {});
    EXPECT_FALSE(second.Installed());  // one at a time
    raise(SIGTERM);
    EXPECT_EQ(closes, 0);  // not inside the handler
    EXPECT_TRUE(QTest::qWaitFor([&] { return closes == 1; }, 2000));
    raise(SIGINT);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closes == 2; }, 2000));
    EXPECT_EQ(closer.Received(), 2);
  }
  struct sigaction after = {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace sorvex
