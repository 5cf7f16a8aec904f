// The window's view of the line itself: recording it to a WAV file with
// Ctrl+R (or its button), and the live spectrum with F7 (or its button).
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "audio/sound_file.h"
#include "ui/controls/graphic_panel.h"
#include "ui/controls/spectrum_geometry.h"
#include "ui/window/status_line.h"
#include "ui/work/oscillograph.h"
#include "ui/work/spectrum_panel.h"
#include "ui_test_util.h"
#include "util/date_time.h"
#include "window_fixture.h"

namespace sorvex {
namespace {

class LineWindow : public testing::WindowTest {
 protected:
  std::string Records() const { return dir.File("records"); }
  void CtrlR() { QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier); }
  QString RecordField() const { return form->LbRecord->text(); }
};

std::vector<int16_t> ReadFrames(const std::string& path) {
  TSoundFileReader reader;
  std::string error;
  EXPECT_TRUE(reader.Open(path, 0, error)) << error;
  EXPECT_EQ(reader.Warning(), "");
  std::vector<int16_t> all, block(2048);
  for (int n; (n = reader.ReadBlock(block.data(), 1024)) > 0;)
    all.insert(all.end(), block.begin(), block.begin() + 2 * n);
  return all;
}

TEST_F(LineWindow, CtrlRRecordsTheLineIntoTheFolderUntilPressedAgainOrTheDeviceCloses) {
  std::filesystem::create_directory(Records());
  IniWriteString(Ini(), "RecordFolder", Records());
  OpenOnLine();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  CtrlR();
  ASSERT_TRUE(form->Recording());
  EXPECT_TRUE(Work().SBtRecord->isChecked());
  const std::string file = Records() + "/sorvex-20261207-140509.wav";  // the clock's time
  EXPECT_EQ(RecordField(), "Запись линии: sorvex-20261207-140509.wav, 0:00.0, 0 КБ");

  Click(Work().SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  line.SendAnswer(testing::GtsAnswer(3, 1, 0xA5));
  Play();
  const int64_t frames = loop->Blocks() * 1024;
  EXPECT_EQ(form->RecordState().Frames, frames);
  CtrlR();
  EXPECT_FALSE(form->Recording());
  EXPECT_FALSE(Work().SBtRecord->isChecked());
  // The line as the device got it, then the silence that followed it.
  std::vector<int16_t> expected = line.Frames();
  expected.resize(static_cast<size_t>(frames) * 2, 0);
  EXPECT_EQ(ReadFrames(file), expected);
  EXPECT_EQ(RecordField(), QString("Записан sorvex-20261207-140509.wav: %1, %2 КБ")
                               .arg(PlayTime(frames))
                               .arg((44 + frames * 4) / 1024));

  // Leaving the tab closes the device, and the recording with it.
  CtrlR();
  ASSERT_TRUE(form->Recording());
  // Within the same second: the first file is kept, the second gets "-2".
  const std::string second = form->RecordState().File;
  EXPECT_EQ(second, Records() + "/sorvex-20261207-140509-2.wav");
  loop->Pump(2);
  ClickTab(1);
  EXPECT_FALSE(form->Recording());
  EXPECT_FALSE(Work().SBtRecord->isChecked());
  EXPECT_EQ(ReadFrames(second).size(), 2u * 2048);
}

TEST_F(LineWindow, ARecordingThatCannotStartSaysWhyAndLeavesTheButtonUp) {
  IniWriteString(Ini(), "RecordFolder", Records());  // not there
  OpenOnLine();
  Click(Work().SBtRecord);
  EXPECT_FALSE(form->Recording());
  EXPECT_FALSE(Work().SBtRecord->isChecked());
  EXPECT_EQ(RecordField(), QString("Запись линии не начата: %1 (%2/sorvex-20261207-140509.wav)")
                               .arg(QString::fromLocal8Bit(std::strerror(ENOENT)),
                                    QString::fromStdString(Records())));
}

TEST_F(LineWindow, F7ShowsBothChannelsSpectraWhereTheTonesAreAndKeepsTheChoice) {
  OpenOnLine();
  TWorkTab& w = Work();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_FALSE(w.PnSpectrum->isVisible());
  const int fullWidth = w.PnData->width();
  QTest::keyClick(form.get(), Qt::Key_F7);
  EXPECT_TRUE(w.PnSpectrum->isVisible());
  QApplication::processEvents();
  EXPECT_LT(w.PnData->width(), fullWidth * 2 / 3);

  // The settings' tones, 1300 Hz on the request side and 2100 Hz on the
  // answer side, at 0.3 of full scale, for a second.
  std::vector<int16_t> tones(2 * 8192);
  for (int k = 0; k < 8192; ++k) {
    tones[2 * k] = static_cast<int16_t>(std::lround(9830 * std::sin(2 * M_PI * 1300 * k / 8000)));
    tones[2 * k + 1] =
        static_cast<int16_t>(std::lround(9830 * std::sin(2 * M_PI * 2100 * k / 8000)));
  }
  loop->QueueInput(tones.data(), 8192);
  for (int b = 0; b < 8; ++b) {
    loop->Pump(1);
    Tick(13);
  }
  for (int channel = 0; channel < 2; ++channel) {
    const std::vector<double>& db = form->Spectrum().Db(channel);
    const auto peak = std::max_element(db.begin(), db.end()) - db.begin();
    EXPECT_NEAR(peak * TLineSpectrum::BinHz(), channel == 0 ? 1300 : 2100, 2) << channel;
    EXPECT_NEAR(db[peak], AmplitudeToDb(0.3), 1.5) << channel;
  }
  // In the panel: each colour's peak in the column of its tone.
  const QSize size(400, 160);
  const QImage image = testing::Render(*w.SpectrumPanel, size);
  SpectrumArea area;
  area.width = size.width();
  area.height = size.height();
  const int top = SpectrumRow(area, -20);  // well above the window's side lobes
  for (int channel = 0; channel < 2; ++channel) {
    const QColor colour = channel == 0 ? TWorkTab::kRequestTrace : TWorkTab::kAnswerTrace;
    const int column = SpectrumColumn(area, channel == 0 ? 1300 : 2100);
    EXPECT_GT(testing::CountColour(image, QRect(column - 1, 0, 3, top), colour), 0) << channel;
    EXPECT_EQ(testing::CountColour(image, QRect(0, 0, column - 2, top), colour), 0) << channel;
    EXPECT_EQ(testing::CountColour(image, QRect(column + 2, 0, size.width(), top), colour), 0);
  }

  Reopen();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_TRUE(Work().SBtSpectrum->isChecked());
  EXPECT_TRUE(Work().PnSpectrum->isVisibleTo(form.get()));
  QTest::keyClick(form.get(), Qt::Key_F7);
  form.reset();
  EXPECT_EQ(IniReadInt(Ini(), "Spectrum", -1), 0);
}

// Two clicks on the oscillograph at bit boundaries ten bits apart (half a
// bit before bit samples 5 and 15): the time between them and 1200 bit/s
// show in the panel; Escape clears them.
TEST_F(LineWindow, CursorsOnATelegramMeasureItsBitsAndEscapeClearsThem) {
  OpenOnLine();
  TWorkTab& w = Work();
  Click(w.SBtStartStop);
  line.Silence(100);
  line.SendRequest(testing::Request(3, 0x90, 1));
  Play();
  TGraphicPanel& osc = *w.OscillographPanel;
  std::vector<double> bits;
  for (const auto& marker : osc.markers)
    if (marker->colour == kBitMarkerColour) bits.push_back(marker->position);
  ASSERT_GT(bits.size(), 20u);
  const double period = (bits.back() - bits.front()) / (bits.size() - 1);
  EXPECT_NEAR(period, 8000.0 / 1200, 0.1);
  const PlotArea area = PlotArea::Of(osc, osc.width(), osc.height());
  const int y = area.AxisY() - 20;
  for (double at : {bits[5] - period / 2, bits[15] - period / 2})
    QTest::mouseClick(&osc, Qt::LeftButton, {}, QPoint(PixelX(area, osc.xScale, at), y));
  ASSERT_TRUE(osc.cursors.Both());
  const CursorReadout readout =
      ReadCursors(osc.cursors.position[0], osc.cursors.position[1], 8000, osc.cursorBitPeriod);
  EXPECT_EQ(readout.Bits, 10);
  // A pixel is about a sample wide here: within a sample of 10 bits.
  EXPECT_NEAR(readout.Ms, 10 * 1000.0 / 1200, 0.26);
  EXPECT_NEAR(readout.BitRate, 1200, 1200 * 1.5 / 66.7);
  // The cursors and their reading are drawn in the panel, nowhere else.
  const QImage image = testing::Render(osc, osc.size());
  const int column = MarkerColumn(area, osc.xScale, osc.cursors.position[1]);
  EXPECT_GT(testing::CountColour(image, QRect(column, area.marginTop, 1, 40), osc.cursorColour),
            30);
  EXPECT_GT(testing::CountNear(image, QRect(osc.width() / 2, 0, osc.width() / 2, 12),
                               osc.cursorColour, 40),
            20);
  QTest::keyClick(&osc, Qt::Key_Escape);
  EXPECT_FALSE(osc.cursors.placed[0] || osc.cursors.placed[1]);
  EXPECT_EQ(testing::CountColour(testing::Render(osc, osc.size()), osc.rect(), osc.cursorColour),
            0);
}

}  // namespace
}  // namespace sorvex
