// End to end: a recording made by `sorvex-tool simulate`, played through the
// window on the sound-file backend with reception switched on by its
// button, gives the journal rows and statistics that `sorvex-tool replay`
// prints for the same file, and leaves the last telegram on the
// oscillograph with its markers.
#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <map>

#include "audio/sound_file_stream.h"
#include "paced_stream.h"
#include "support/tool_runner.h"
#include "ui/controls/graphic_panel.h"
#include "ui/controls/icons.h"
#include "ui/work/statistics_grid.h"
#include "window_fixture.h"

namespace sorvex {
namespace {

using testing::Lines;
using testing::PutFile;
using testing::RunTool;

struct ReplayOutput {
  std::vector<std::string> journal[2];  // "image index<TAB>text", events and exchange
  std::map<std::pair<std::string, int>, std::vector<std::string>> stats;  // (KP, channel) → columns
  std::string lastTelegramText;
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
    fields.push_back(line.substr(at, tab - at));
  fields.push_back(line.substr(at));
  return fields;
}

int KindOfName(const std::string& name) {
  for (int kind = 0; kind < 8; ++kind)
    if (name == LogKindName(static_cast<uint8_t>(kind))) return kind;
  return -1;
}

ReplayOutput ParseReplay(const std::string& out) {
  ReplayOutput r;
  for (const std::string& line : Lines(out)) {
    const auto f = Split(line);
    if ((f[0] == "E" || f[0] == "X") && f.size() == 4) {
      r.journal[f[0] == "X"].push_back(std::to_string(LogKindImage(KindOfName(f[1]))) + "\t" +
                                       f[3]);
      if (f[0] == "X" && (f[1] == "lkRequest" || f[1] == "lkAnswer")) r.lastTelegramText = f[3];
    } else if (f[0] == "S" && f.size() == 12) {
      r.stats[{f[2], std::stoi(f[1])}] = std::vector<std::string>(f.begin() + 2, f.end());
    }
  }
  return r;
}

class WindowReplay : public testing::WindowTest {
 protected:
  // The window on the recording: the device's stream plays the file as fast
  // as the window's own timer ticks let it (TTickPacedStream).
  void OpenOnRecording(const std::string& wav) {
    IniWriteString(Ini(), "DefModemName", settings);
    TForm1::Options options;
    options.IniFileName = Ini();
    options.Prompts = prompts;
    options.OpenDevice = [this, wav](const std::string& file) {
      TSoundFileStream::Options fileOptions;
      fileOptions.InputPath = wav;
      fileOptions.MonoChannel = 1;
      auto recording = std::make_unique<TSoundFileStream>(fileOptions);
      FRecording = recording.get();
      auto paced = std::make_unique<testing::TTickPacedStream>(std::move(recording), [this] {
        const TForm1* window = FWindow.load();
        return window ? window->TickCount() : 0;
      });
      FPaced = paced.get();
      return std::make_unique<TModemDevice>(file, std::move(paced));
    };
    form = std::make_unique<TForm1>(std::move(options));
    FWindow.store(form.get());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  void PlayToTheEnd() {
    Click(Work().SBtStartStop);
    FPaced->Open();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return FRecording->Ended() && form->TickCount() >= FPaced->TicksNeeded(); },
        180000));
    form->TimerRedraw->stop();
  }
  // DgLog's rows of journal `log` as "image index<TAB>text", time stamps aside.
  std::vector<std::string> JournalRows(int log) {
    QTest::mouseClick(Work().TcLogs, Qt::LeftButton, {}, Work().TcLogs->tabRect(log).center());
    std::vector<std::string> rows;
    const QAbstractItemModel& model = *Work().DgLog->model();
    const std::vector<std::string> texts = Texts();
    for (int r = 0; r < model.rowCount(); ++r)
      rows.push_back(std::to_string(model.index(r, 0).data(TJournalModel::ImageIndexRole).toInt()) +
                     "\t" + texts[static_cast<size_t>(r)]);
    return rows;
  }

  std::atomic<const TForm1*> FWindow{nullptr};
  TSoundFileStream* FRecording = nullptr;
  testing::TTickPacedStream* FPaced = nullptr;
};

TEST_F(WindowReplay, RecordingGivesReplaysJournalsStatisticsAndLastTelegram) {
  PutFile(dir.File("line.scn"),
          "settings modem.ini\n"
          "seed 3\n"
          "silence 300\n"
          "exchange 3 Gts 1 bytes=A5\n"
          "exchange 5 Gts 2 drop\n"
          "exchange 3 Gts 1 bytes=0F flip=20\n"
          "exchange 3 Ot kp=4\n");
  const std::string wav = dir.File("line.wav");
  ASSERT_EQ(RunTool("simulate '" + dir.File("line.scn") + "' -o '" + wav + "'").status, 0);
  const auto replay = RunTool("replay '" + wav + "' --settings '" + settings + "'");
  ASSERT_EQ(replay.status, 0);
  const ReplayOutput expected = ParseReplay(replay.out);
  ASSERT_EQ(expected.journal[1].size(), 11u) << replay.out;
  ASSERT_EQ(expected.stats.size(), 6u);

  OpenOnRecording(wav);
  PlayToTheEnd();
  EXPECT_EQ(JournalRows(0), expected.journal[0]);
  EXPECT_EQ(JournalRows(1), expected.journal[1]);

  // The grid: KPs 3, 4, 5; columns 3..9 of the answer channel, then of the
  // request channel; the update time aside.
  const QAbstractItemModel& grid = *Work().StatisticsModel;
  ASSERT_EQ(grid.rowCount(), 3);
  for (int channel : {1, 0}) {
    if (channel == 0) Click(Work().SBtQuest);
    for (int r = 0; r < 3; ++r) {
      const std::string kp = grid.index(r, 0).data().toString().toStdString();
      EXPECT_EQ(kp, std::to_string(3 + r));
      const auto& columns = expected.stats.at({kp, channel});
      for (int c = 0; c < 9; ++c)
        EXPECT_EQ(grid.index(r, c).data().toString().toStdString(), columns[static_cast<size_t>(c)])
            << "KP " << kp << " channel " << channel << " column " << c;
    }
  }
  EXPECT_EQ(grid.index(0, 1).data().toString(), "50:1/0; 90:2/1; ");

  // The oscillograph holds the last telegram: KP 4's answer, in red, with a
  // blue strobe and a numbered green marker per bit sample.
  const TGraphicPanel& osc = *Work().OscillographPanel;
  EXPECT_EQ(osc.title.toStdString(), expected.lastTelegramText);
  EXPECT_EQ(osc.title, "КП=4; ОТ; ");
  EXPECT_EQ(osc.series[0].colour, QColor(0xFF, 0, 0));
  const int count = Monitor().SignalRecordCount();
  ASSERT_EQ(osc.series[0].Count(), count);
  int strobes = 0, bits = 0, strobeMarkers = 0, bitMarkers = 0;
  for (int i = 0; i < count; ++i) {
    const TSignalRecord& record = Monitor().SignalRecords()[i];
    EXPECT_EQ(osc.series[0].samples[static_cast<size_t>(i)], record.Value);
    strobes += record.Kind == skStrobe;
    bits += record.Kind == skBitSample;
  }
  for (const auto& marker : osc.markers) {
    strobeMarkers += marker->colour == QColor(0, 0, 0xFF) && marker->text.isEmpty();
    bitMarkers += marker->colour == QColor(0, 0x80, 0) && !marker->text.isEmpty();
  }
  EXPECT_GT(bits, 18);  // ОТ's two characters at least
  EXPECT_EQ(bitMarkers, bits);
  EXPECT_EQ(strobeMarkers, strobes);
  EXPECT_TRUE(osc.markersVisible);
}

}  // namespace
}  // namespace sorvex
