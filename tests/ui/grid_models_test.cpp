// The statistics and journal grids: their models stay consistent with the
// monitor (checked by Qt's model tester through every change), and their
// delegates paint tints, icons and texts.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <mutex>

#include "monitor/statistics_text.h"
#include "ui/controls/icons.h"
#include "ui/work/statistics_grid.h"
#include "ui_test_util.h"
#include "window_fixture.h"

namespace sorvex {
namespace {

using testing::CountColour;

// Collects what QAbstractItemModelTester reports (it warns "FAIL! …").
class TesterFailures {
 public:
  TesterFailures() {
    Messages().clear();
    FPrevious = qInstallMessageHandler(&TesterFailures::Handler);
  }
  ~TesterFailures() { qInstallMessageHandler(FPrevious); }
  static std::vector<std::string>& Messages() {
    static std::vector<std::string> messages;
    return messages;
  }

 private:
  static void Handler(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (text.contains("FAIL")) Messages().push_back(text.toStdString());
  }
  QtMessageHandler FPrevious;
};

using GridModels = testing::WindowTest;

TEST_F(GridModels, JournalModelStaysConsistentThroughAddTrimClearAndTabs) {
  Open();
  TesterFailures failures;
  TWorkTab& w = Work();
  QAbstractItemModelTester tester(w.JournalModel,
                                  QAbstractItemModelTester::FailureReportingMode::Warning);
  int inserted = 0, removed = 0, resets = 0;
  QObject::connect(w.JournalModel, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
  QObject::connect(w.JournalModel, &QAbstractItemModel::rowsRemoved,
                   [&](const QModelIndex&, int first, int last) { removed += last - first + 1; });
  QObject::connect(w.JournalModel, &QAbstractItemModel::modelReset, [&] { ++resets; });

  for (int i = 0; i < 600; ++i) Monitor().AddLogEntry(0, lkInfo, false, std::to_string(i));
  for (int i = 0; i < 30; ++i) Monitor().AddLogEntry(1, lkRequest, false, std::to_string(i));
  // 600 entries into the shown journal: one trim of 51 at the 552nd.
  EXPECT_EQ(inserted, 600);
  EXPECT_EQ(removed, 51);
  EXPECT_EQ(w.JournalModel->rowCount(), 549);
  EXPECT_EQ(w.JournalModel->index(0, 0).data().toString().endsWith("  51"), true);
  EXPECT_EQ(resets, 0);  // the other journal's lines change nothing here

  QTest::mouseClick(w.TcLogs, Qt::LeftButton, {}, w.TcLogs->tabRect(1).center());
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(w.JournalModel->rowCount(), 30);
  prompts->Answers = {true};
  Click(w.BtClear);
  EXPECT_EQ(removed, 51 + 30);
  EXPECT_EQ(w.JournalModel->rowCount(), 0);
  EXPECT_FALSE(w.JournalModel->index(0, 0).isValid());
  Monitor().AddLogEntry(1, lkAnswer, false, "after clearing");
  EXPECT_EQ(w.JournalModel->rowCount(), 1);
  QTest::mouseClick(w.TcLogs, Qt::LeftButton, {}, w.TcLogs->tabRect(0).center());
  EXPECT_EQ(w.JournalModel->rowCount(), 549);
  EXPECT_EQ(w.DgLog->currentIndex().row(), 548);
  EXPECT_TRUE(failures.Messages().empty()) << failures.Messages().front();
}

TEST_F(GridModels, StatisticsModelFollowsRecordsChannelAndReset) {
  OpenOnLine();
  TesterFailures failures;
  TWorkTab& w = Work();
  QAbstractItemModelTester tester(w.StatisticsModel,
                                  QAbstractItemModelTester::FailureReportingMode::Warning);
  const QAbstractItemModel& grid = *w.StatisticsModel;
  EXPECT_EQ(grid.rowCount(), 1);
  EXPECT_EQ(grid.columnCount(), 10);
  EXPECT_EQ(grid.headerData(0, Qt::Horizontal).toString(), "КП№");
  EXPECT_EQ(grid.headerData(9, Qt::Horizontal).toString(), "Обновление");

  Click(w.SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(5, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(5, 1, 0x01));
  line.SendRequest(testing::Request(2, 0x90, 1));
  Play();
  // KP 5, then KP 2 sorted before it; the request channel of KP 2 updated last.
  ASSERT_EQ(grid.rowCount(), 2);
  EXPECT_EQ(grid.index(0, 0).data().toString(), "2");
  EXPECT_EQ(grid.index(1, 0).data().toString(), "5");
  EXPECT_EQ(grid.index(0, 1).data().toString(), "90:1/0; ");
  EXPECT_EQ(grid.index(1, 2).data().toString(), "1 (0) / 1 (0)");
  EXPECT_EQ(grid.index(0, 0).data(Qt::BackgroundRole).value<QColor>(),
            TStatisticsModel::kRequestTint);
  EXPECT_FALSE(grid.index(1, 0).data(Qt::BackgroundRole).isValid());
  // Answers shown: KP 2's answer side never had a telegram.
  EXPECT_EQ(grid.index(0, 3).data().toString(), "0.00");
  EXPECT_EQ(grid.index(0, 6).data().toString(), "0 (0)");
  EXPECT_EQ(grid.index(0, 9).data().toString(), "??/??/?? ??:??:??:???");
  const TKpRecord& kp2 = Monitor().KpStats()[0];
  Click(w.SBtQuest);
  for (int c = 0; c < 10; ++c)
    EXPECT_EQ(grid.index(0, c).data().toString().toStdString(), StatisticsCellText(kp2, c, 0));
  EXPECT_NE(grid.index(0, 9).data().toString(), "??/??/?? ??:??:??:???");

  line.SendAnswer(testing::GtsAnswer(2, 1, 0x02));
  Play();
  EXPECT_EQ(grid.index(0, 0).data(Qt::BackgroundRole).value<QColor>(),
            TStatisticsModel::kAnswerTint);
  // Start/stop clears the last-updated KP: no tint.
  Click(w.SBtStartStop);
  EXPECT_FALSE(grid.index(0, 0).data(Qt::BackgroundRole).isValid());

  prompts->Answers = {true};
  Click(w.BtReset);
  EXPECT_EQ(grid.rowCount(), 1);
  EXPECT_EQ(grid.index(0, 0).data().toString(), "");
  EXPECT_TRUE(failures.Messages().empty()) << failures.Messages().front();
}

TEST_F(GridModels, StatisticsCellsArePaintedWithTheirTint) {
  OpenOnLine();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(3, 1, 0xA5));
  Play();
  QCoreApplication::processEvents();
  const QImage shot = w.DgStatistic->viewport()->grab().toImage();
  const QRect cell = w.DgStatistic->visualRect(w.StatisticsModel->index(0, 1));
  // "Функции" is short: the right part of its wide cell is bare tint.
  EXPECT_EQ(testing::At(shot, cell.right() - 5, cell.center().y()), TStatisticsModel::kAnswerTint);
  EXPECT_GT(CountColour(shot, cell, TStatisticsModel::kAnswerTint), cell.width() * 8);
  EXPECT_GT(testing::CountOther(shot, cell, TStatisticsModel::kAnswerTint), 10);  // the text
  const QImage header = w.DgStatistic->horizontalHeader()->grab().toImage();
  EXPECT_EQ(testing::At(header, 30, 3), w.DgStatistic->palette().color(QPalette::Button));
}

TEST_F(GridModels, JournalRowsShowTheKindIconAndTheAmpersand) {
  Open();
  TWorkTab& w = Work();
  Monitor().AddLogEntry(0, lkBadAnswer, false, "x & y");
  Monitor().AddLogEntry(0, lkBadAnswer, false, "x   y");
  QStyleOptionViewItem option;
  option.initFrom(w.DgLog);
  option.rect = QRect(0, 0, 300, 16);
  auto paint = [&](int row) {
    QImage image(300, 16, QImage::Format_RGB32);
    QPainter painter(&image);
    w.DgLog->itemDelegate()->paint(&painter, option, w.JournalModel->index(row, 0));
    return image;
  };
  const QColor text = option.palette.color(QPalette::Text);
  const QImage amp = paint(0), spaces = paint(1);
  // The icon: image 6 (bad answer) at (2, 0).
  const QImage icon = MonitorImage(LogKindImage(lkBadAnswer)).toImage();
  int same = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (icon.pixelColor(x, y).alpha() == 255)
        same += amp.pixelColor(x + 2, y) == icon.pixelColor(x, y);
  EXPECT_GT(same, 30);
  // Same time stamp, so the ampersand is all the difference in ink.
  const QRect words(26, 0, 274, 16);
  EXPECT_GT(testing::CountOther(amp, words, option.palette.color(QPalette::Base)),
            testing::CountOther(spaces, words, option.palette.color(QPalette::Base)) + 5);
  EXPECT_GT(CountColour(amp, words, text), 0);
  // Selected: highlight colours.
  option.state |= QStyle::State_Selected;
  const QImage selected = paint(0);
  EXPECT_EQ(testing::At(selected, 299, 8), option.palette.color(QPalette::Highlight));
}

}  // namespace
}  // namespace sorvex
