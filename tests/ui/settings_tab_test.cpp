// The tab "Настройка" through its real widgets: the filter tabs and their
// markers, a marker dragged with the mouse, the preview, New / Load / Save
// (a failed save included) and the device the work tab opens afterwards.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <array>
#include <cmath>
#include <sstream>
#include <tuple>

#include "support/russian_locale.h"
#include "support/tool_runner.h"
#include "ui/controls/graphic_panel.h"
#include "ui/controls/tab_control.h"
#include "ui/ui_test_util.h"
#include "window_fixture.h"

namespace sorvex::testing {
namespace {

const QColor kRed(0xFF, 0, 0);
const QColor kGreen(0, 0x80, 0);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QString kUnsaved = QStringLiteral("Изменения не сохранены!\r\nПродолжить?");

struct Marker {
  int32_t userData;
  double position;
  QColor colour;
  bool draggable;
  bool operator==(const Marker&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Marker& m) {
  return os << "{" << m.userData << " @" << m.position << " " << m.colour.name().toStdString()
            << (m.draggable ? " drag" : "") << "}";
}

class SettingsTab : public WindowTest {
 protected:
  TSettingsTab& Tab() { return *form->TabSheet2; }
  TModem& Editor() { return *Tab().FSettingsModem; }

  // The window on `fileText` as its modem settings file, the settings tab shown.
  void OpenSettings(const std::string& fileText) {
    const std::string file = dir.File("edit.ini");
    PutFile(file, fileText);
    IniWriteString(Ini(), "DefModemName", file);
    Open();
    ClickTab(1);
    ASSERT_EQ(form->PageControl1->currentIndex(), 1);
    ASSERT_NE(Tab().FSettingsModem, nullptr);
  }
  void ClickTabOf(TTabControl* control, int index) {
    QTabBar* bar = control->TabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  }
  std::vector<Marker> Markers() {
    std::vector<Marker> list;
    for (const auto& m : Tab().FilterResponsePanel->markers)
      list.push_back({m->userData, m->position, m->colour, static_cast<bool>(m->OnMove)});
    return list;
  }
  std::vector<double> EditorResponse(int slot) {
    std::vector<double> v(TModem::kResponsePoints);
    Editor().GetFilterResponse(slot, v.data());
    return v;
  }
  TFilterSettings Filter(int slot) {
    TFilterSettings f;
    Editor().GetFilter(slot, f);
    return f;
  }
  std::array<int32_t, 3> General() {
    std::array<int32_t, 3> g{};
    Editor().GetGeneral(g[0], g[1], g[2]);
    return g;
  }
};

TEST_F(SettingsTab, SmoothingHidesTheSecondCutoffAndMarksTheSpeed) {
  OpenSettings(kModem1200);
  TSettingsTab& t = Tab();
  EXPECT_TRUE(t.PnTop->isVisible() && t.TcFilters->isVisible());
  EXPECT_TRUE(t.EdFreq2->isVisible() && t.LbFreq2->isVisible());
  EXPECT_EQ(t.LbFreq2->text(), "Частота среза 2");
  EXPECT_EQ(t.CbBaudrate->currentText(), "1200");
  EXPECT_EQ(t.EdSFreq0->value(), 1300);
  EXPECT_EQ(t.EdSFreq1->value(), 2100);
  EXPECT_EQ(Markers(), (std::vector<Marker>{{1, 500, kRed, true},
                                            {2, 3000, kGreen, true},
                                            {3, 1300, kWhite, false},
                                            {3, 2100, kWhite, false},
                                            {3, 1700, kWhite, false}}));
  EXPECT_EQ(t.FilterResponsePanel->series[0].samples, EditorResponse(0));

  ClickTabOf(t.TcFilters, 1);
  EXPECT_FALSE(t.EdFreq2->isVisible() || t.LbFreq2->isVisible());
  EXPECT_EQ(t.EdFreq1->value(), 1500);
  EXPECT_EQ(Markers(), (std::vector<Marker>{{1, 1500, kRed, true}, {3, 1200, kWhite, false}}));
  EXPECT_EQ(t.FilterResponsePanel->series[0].samples, EditorResponse(1));
  EXPECT_EQ(t.FilterResponsePanel->series[0].colour, kRed);
  EXPECT_FALSE(t.FSettingsModified);  // looking is not editing

  // On the picture: the white line at 1200 Hz and the red one with its
  // large triangle at 1500 Hz.
  TGraphicPanel& panel = *t.FilterResponsePanel;
  const QSize size = panel.size();
  const QImage image = Render(panel, size);
  const int axis = size.height() - panel.marginBottom;
  const auto column = [&](double hz) {
    return static_cast<int>(panel.xScale * hz + panel.marginLeft);
  };
  EXPECT_EQ(At(image, column(1200), axis - 20), kWhite);
  EXPECT_EQ(At(image, column(1500), axis - 20), kRed);
  EXPECT_EQ(At(image, column(1500) + 3, axis - 7), kRed);  // draggable: 8 pixels wide
  EXPECT_NE(At(image, column(1200) + 3, axis - 1), kWhite);
}

TEST_F(SettingsTab, RippleIsEditableOnlyForChebyshev) {
  OpenSettings("[FILTERS]\nBand_Kind=0\nSmoothing_Kind=1\nSmoothing_Ripp=3\n");
  TSettingsTab& t = Tab();
  EXPECT_EQ(t.CbKind->currentText(), "Баттерворта");
  EXPECT_FALSE(t.EdDbRipp->isEnabled());
  ClickTabOf(t.TcFilters, 1);
  EXPECT_EQ(t.CbKind->currentText(), "Чебышева");
  EXPECT_TRUE(t.EdDbRipp->isEnabled());
  EXPECT_EQ(t.EdDbRipp->value(), 3);
  // Choosing the kind follows at once.
  Choose(t.CbKind, 0);
  EXPECT_EQ(Filter(1).Kind, 0);
  EXPECT_FALSE(t.EdDbRipp->isEnabled());
  EXPECT_TRUE(t.FSettingsModified);
}

TEST_F(SettingsTab, DraggingTheRedMarkerSetsTheFirstCutoff) {
  OpenSettings("");
  TSettingsTab& t = Tab();
  TGraphicPanel& panel = *t.FilterResponsePanel;
  // A width at which some pixel column stands for 1234.x Hz (x > 0).
  int target = -1;
  double targetHz = 0;
  for (int width = 1000; width <= 2000 && target < 0; width += 7) {
    form->resize(width, 700);
    QApplication::processEvents();
    panel.Rescale();
    for (int x = panel.marginLeft; x < panel.width() - panel.marginRight; ++x) {
      const double hz = (x - panel.marginLeft) / panel.xScale;
      if (hz > 1234.05 && hz < 1234.95) {
        target = x;
        targetHz = hz;
        break;
      }
    }
  }
  ASSERT_GE(target, 0);
  ASSERT_EQ(Markers()[0], (Marker{1, 500, kRed, true}));
  const int axis = panel.height() - panel.marginBottom;
  const QPoint grab(static_cast<int>(panel.xScale * 500 + panel.marginLeft), axis - 3);
  QTest::mousePress(&panel, Qt::LeftButton, Qt::NoModifier, grab);
  QTest::mouseMove(&panel, QPoint(target, axis - 3));
  QTest::mouseRelease(&panel, Qt::LeftButton, Qt::NoModifier, QPoint(target, axis - 3));

  EXPECT_NEAR(panel.markers[0]->position, targetHz, 1e-9);
  EXPECT_EQ(t.EdFreq1->value(), 1234);
  EXPECT_EQ(Filter(0).Freq1, 1234);
  EXPECT_TRUE(t.FSettingsModified);
  EXPECT_EQ(panel.series[0].samples, EditorResponse(0));
  EXPECT_EQ(panel.markers.size(), 5u);  // moved, not rebuilt
}

TEST_F(SettingsTab, PreviewReadsTheTestBytes) {
  OpenSettings("");  // 200 bit/s
  TSettingsTab& t = Tab();
  TGraphicPanel& preview = *t.TestSignalPanel;
  EXPECT_EQ(t.EdData->text(), "00; ff; 55; 55;");
  t.Timer1Timer();
  EXPECT_EQ(t.Preview().ByteCount(), 4);
  EXPECT_EQ(preview.series[0].Count(), 1280);
  EXPECT_EQ(preview.series[0].colour, QColor(0, 0, 0xFF));

  ClickTabOf(t.TbTop, 1);  // "Спектр", drawn at once
  EXPECT_EQ(t.Preview().SampleCount(), 1280);
  EXPECT_EQ(SpectrumSize(1280), 2048);
  EXPECT_EQ(preview.series[0].Count(), 1024);
  ClickTabOf(t.TbTop, 0);

  const std::pair<const char*, int> cases[] = {{"12;34", 2}, {"12 34", 1}, {"zz", 0}};
  for (const auto& [text, bytes] : cases) {
    t.EdData->clear();
    QTest::keyClicks(t.EdData, text);
    t.Timer1Timer();
    EXPECT_EQ(t.Preview().ByteCount(), bytes) << text;
    EXPECT_EQ(preview.series[0].Count(), bytes * 320) << text;
  }
  // No byte: an empty plot, and the timer keeps running harmlessly.
  const QImage image = Render(preview, preview.size());
  EXPECT_EQ(CountColour(image, image.rect(), QColor(0, 0, 0xFF)), 0);
}

TEST_F(SettingsTab, AMissingFileLeavesNoEditorAndTheWorkTabTheOldFile) {
  OpenOnLine();
  ClickTab(1);
  ASSERT_NE(Tab().FSettingsModem, nullptr);
  prompts->Files = {QString::fromStdString(dir.File("absent.ini"))};
  Click(Tab().BtLoad);
  EXPECT_EQ(prompts->DialogDirectories,
            (std::vector<QString>{QString::fromStdString(dir.Path().string())}));
  EXPECT_EQ(prompts->Notices, (std::vector<QString>{"Файл не существует!"}));
  EXPECT_EQ(Tab().FSettingsModem, nullptr);
  EXPECT_TRUE(Tab().PnTop->isHidden() && Tab().TcFilters->isHidden());
  EXPECT_EQ(form->ModemSettingsFileName, settings);
  // A cancelled dialog leaves the tab empty the same way.
  Click(Tab().BtLoad);
  EXPECT_EQ(Tab().FSettingsModem, nullptr);
  EXPECT_EQ(prompts->Notices.size(), 1u);
  Click(Tab().BtSave);  // nothing to save: no dialog
  EXPECT_EQ(prompts->DialogDirectories.size(), 2u);

  ClickTab(0);
  EXPECT_TRUE(prompts->Questions.empty());
  EXPECT_EQ(opened.back(), settings);
  EXPECT_EQ(form->Device()->BaudRate(1), 1200);
}

TEST_F(SettingsTab, SavedSettingsRunTheDeviceOnTheWorkTab) {
  Open();  // no settings file yet: the defaults, 200 bit/s
  ClickTab(1);
  TSettingsTab& t = Tab();
  Choose(t.CbBaudrate, 5);
  Type(t.EdSFreq0, 1300);
  Type(t.EdSFreq1, 2100);
  ClickTabOf(t.TcFilters, 1);
  Type(t.EdFreq1, 1500);
  EXPECT_EQ(t.CbReceiver->currentText(), "Стандартный");
  Choose(t.CbReceiver, 1);  // "Чувствительный": an edit like the others
  EXPECT_EQ(Editor().GetReceiver(), rkSensitive);
  EXPECT_EQ(General(), (std::array<int32_t, 3>{1200, 1300, 2100}));
  EXPECT_TRUE(t.FSettingsModified);

  const std::string saved = dir.File("saved.ini");
  prompts->Files = {QString::fromStdString(saved)};
  Click(t.BtSave);
  EXPECT_FALSE(t.FSettingsModified);
  EXPECT_EQ(form->ModemSettingsFileName, saved);
  EXPECT_NE(GetFile(saved).find("Baudrate=1200"), std::string::npos);
  EXPECT_NE(GetFile(saved).find("Receiver=1"), std::string::npos);

  ClickTab(0);
  EXPECT_TRUE(prompts->Questions.empty());
  EXPECT_EQ(opened.back(), saved);
  EXPECT_EQ(form->Device()->BaudRate(0), 1200);
  EXPECT_EQ(form->Device()->BaudRate(1), 1200);
  // The receivers hear the 1200 bit/s line at 1300/2100 Hz.
  Click(Work().SBtStartStop);
  line.Silence(100);
  line.SendRequest(Request(3, 0x90, 1));
  line.Silence(30);
  line.SendAnswer(GtsAnswer(3, 1, 0xA5));
  Play();
  const TJournal& exchange = Monitor().ExchangeLog();
  ASSERT_GE(exchange.Size(), 3u);  // start, the request, its answer
  EXPECT_NE(exchange[exchange.Size() - 1].text.find("КП=3"), std::string::npos)
      << exchange[exchange.Size() - 1].text;
  EXPECT_NE(exchange[exchange.Size() - 1].text.find("Значение A5H"), std::string::npos)
      << exchange[exchange.Size() - 1].text;
  // Back on the tab, the saved file is the one edited.
  ClickTab(1);
  EXPECT_EQ(Editor().GetSettingsFileName(), saved);
  EXPECT_EQ(t.CbReceiver->currentText(), "Чувствительный");
}

TEST_F(SettingsTab, AFailedSaveKeepsTheChangesTheNameAndTheFile) {
  OpenOnLine();
  ClickTab(1);
  TSettingsTab& t = Tab();
  Type(t.EdSFreq0, 1305);
  ASSERT_TRUE(t.FSettingsModified);
  const std::string before = GetFile(settings);
  // Below a regular file nothing can be written, not even by root.
  const QString bad = QString::fromStdString(settings + "/modem.ini");
  prompts->Files = {bad};
  Click(t.BtSave);
  ASSERT_EQ(prompts->Messages.size(), 1u);
  EXPECT_EQ(prompts->Messages[0].first, "Sorvex");
  EXPECT_EQ(prompts->Messages[0].second,
            "Не удалось сохранить файл " + bad + ": часть пути не является папкой");
  EXPECT_TRUE(t.FSettingsModified);
  EXPECT_EQ(form->ModemSettingsFileName, settings);
  EXPECT_EQ(GetFile(settings), before);
  // Leaving still asks, before the work tab shows; No stays.
  QSignalSpy changes(form->PageControl1, &QTabWidget::currentChanged);
  ClickTab(0);
  EXPECT_EQ(prompts->Questions, (std::vector<QString>{kUnsaved}));
  EXPECT_EQ(form->PageControl1->currentIndex(), 1);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(General()[1], 1305);
}

TEST_F(SettingsTab, EditsAreStoredAsTypedAndAppliedWhenComplete) {
  OpenSettings("[FILTERS]\nBand_Kind=1\n");  // tones 2540 / 2760
  TSettingsTab& t = Tab();
  // A tone equal to the other one stays; nothing snaps back to the defaults.
  Type(t.EdSFreq0, 2760);
  EXPECT_EQ(General(), (std::array<int32_t, 3>{200, 2760, 2760}));
  EXPECT_EQ(t.EdSFreq0->value(), 2760);
  EXPECT_EQ(t.EdSFreq1->value(), 2760);
  Type(t.EdDbRipp, 50);
  Type(t.EdFreq2, 4000);
  Type(t.EdOrder, 32);
  EXPECT_EQ(Filter(0).Ripp, 50);
  EXPECT_EQ(Filter(0).Freq2, 4000);
  EXPECT_EQ(Filter(0).Order, 32);
  for (double v : t.FilterResponsePanel->series[0].samples) ASSERT_TRUE(std::isfinite(v));
  // Keystrokes alone change nothing; Enter applies the value.
  t.EdFreq1->selectAll();
  QTest::keyClicks(t.EdFreq1, "1234");
  EXPECT_EQ(Filter(0).Freq1, 500);
  QTest::keyClick(t.EdFreq1, Qt::Key_Enter);
  EXPECT_EQ(Filter(0).Freq1, 1234);
  // The markers stay where they were until the filter tabs are switched.
  EXPECT_EQ(Markers()[0].position, 500);
  ClickTabOf(t.TcFilters, 1);
  ClickTabOf(t.TcFilters, 0);
  EXPECT_EQ(Markers()[0].position, 1234);
  EXPECT_EQ(Markers()[1].position, 4000);
}

// Saved on a Russian desktop (the C library and Qt both with a decimal
// comma): the file reads back with every value the editor held.
TEST_F(SettingsTab, AFileSavedOnARussianDesktopReadsBackTheSame) {
  TRussianLocale russian;
  if (!russian.Active()) GTEST_SKIP() << TRussianLocale::kMissing;
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  OpenSettings(kModem1200);
  TSettingsTab& t = Tab();
  Choose(t.CbKind, 1);
  Type(t.EdDbRipp, 2);
  Choose(t.CbReceiver, 1);
  prompts->Files = {QString::fromStdString(dir.File("ru.ini"))};
  Click(t.BtSave);
  QLocale::setDefault(before);
  TModem reread(dir.File("ru.ini"), 512);
  std::array<int32_t, 3> g{};
  reread.GetGeneral(g[0], g[1], g[2]);
  EXPECT_EQ(g, General());
  for (int slot = 0; slot < 2; ++slot) {
    TFilterSettings f, held = Filter(slot);
    reread.GetFilter(slot, f);
    EXPECT_EQ(std::tie(f.Kind, f.Order, f.Freq1, f.Freq2, f.Ripp),
              std::tie(held.Kind, held.Order, held.Freq1, held.Freq2, held.Ripp));
  }
  EXPECT_EQ(reread.GetReceiver(), rkSensitive);
  EXPECT_EQ(Filter(0).Ripp, 2);
}

TEST_F(SettingsTab, ASpeedNoneOfTheItemsHasIsKept) {
  OpenSettings("[GENERAL]\nBaudrate=150\n");
  TSettingsTab& t = Tab();
  EXPECT_EQ(t.CbBaudrate->currentIndex(), -1);
  EXPECT_EQ(t.CbBaudrate->placeholderText(), "150");  // shown instead of an empty box
  EXPECT_EQ(t.SelectedBaudrate(), 150);
  t.Timer1Timer();
  EXPECT_EQ(t.TestSignalPanel->series[0].Count(), 4 * 64000 / 150);
  Type(t.EdSFreq0, 2000);
  EXPECT_EQ(General(), (std::array<int32_t, 3>{150, 2000, 2760}));
  ClickTabOf(t.TcFilters, 1);
  EXPECT_EQ(Markers().back(), (Marker{3, 150, kWhite, false}));
}

TEST_F(SettingsTab, NewLoadAndCloseAskBeforeGivingUpChanges) {
  OpenSettings(kModem1200);
  TSettingsTab& t = Tab();
  Click(t.BtNew);
  EXPECT_TRUE(prompts->Questions.empty());  // nothing to lose yet
  EXPECT_EQ(General(), (std::array<int32_t, 3>{200, 2540, 2760}));
  EXPECT_TRUE(t.FSettingsModified);
  EXPECT_EQ(form->ModemSettingsFileName, dir.File("edit.ini"));
  Type(t.EdSFreq1, 3000);

  prompts->Answers = {false};
  Click(t.BtLoad);
  EXPECT_EQ(prompts->Questions, (std::vector<QString>{kUnsaved}));
  ASSERT_NE(t.FSettingsModem, nullptr);
  EXPECT_EQ(General()[2], 3000);
  EXPECT_TRUE(prompts->DialogDirectories.empty());

  prompts->Answers = {true};
  prompts->Files = {QString::fromStdString(settings)};
  Click(t.BtLoad);
  EXPECT_EQ(General(), (std::array<int32_t, 3>{1200, 1300, 2100}));
  EXPECT_FALSE(t.FSettingsModified);
  EXPECT_EQ(form->ModemSettingsFileName, settings);

  // Closing the window asks the same question; No keeps it open.
  Type(t.EdOrder, 4);
  prompts->Answers = {false, true};
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->close());
  EXPECT_EQ(prompts->Questions.size(), 4u);
  EXPECT_EQ(prompts->Unanswered, 0);

  // A SIGTERM cannot wait for an answer: it closes without the question.
  form->show();
  Type(t.EdOrder, 5);
  ASSERT_TRUE(t.FSettingsModified);
  form->CloseForSignal();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(prompts->Questions.size(), 4u);
}

// The response is the one sorvex-tool prints for the same file, in
// decibels (against 0.7, floored at -100) when CbDb is checked.
TEST_F(SettingsTab, TheCurveIsTheToolsResponse) {
  const std::string file = dir.File("cheby.ini");
  PutFile(file,
          "[FILTERS]\nBand_Kind=1\nBand_Order=5\nBand_Freq1=900\nBand_Freq2=2300\n"
          "Band_Ripp=2\n");
  OpenSettings(GetFile(file));
  TSettingsTab& t = Tab();
  const auto toolValues = [&](const std::string& extra) {
    const ToolResult r = RunTool("response '" + file + "' --filter band" + extra);
    EXPECT_EQ(r.status, 0);
    std::vector<double> values;
    std::istringstream in(r.out);
    int f = 0;
    double v = 0;
    while (in >> f >> v) values.push_back(v);
    return values;
  };
  const std::vector<double> linear = toolValues("");
  ASSERT_EQ(linear.size(), 4000u);
  EXPECT_EQ(t.FilterResponsePanel->series[0].samples, linear);

  Click(t.CbDb);
  const std::vector<double> db = toolValues(" --db");
  const std::vector<double>& shown = t.FilterResponsePanel->series[0].samples;
  ASSERT_EQ(shown.size(), 4000u);
  int floored = 0;
  for (size_t f = 0; f < shown.size(); ++f) {
    if (linear[f] < 7e-6) {
      ASSERT_EQ(shown[f], -100.0) << f;
      ++floored;
    } else {
      ASSERT_NEAR(shown[f], db[f] - 20 * std::log10(0.7), 1e-9) << f;
    }
  }
  EXPECT_GT(floored, 0);                                    // the deep stop band reaches the floor
  EXPECT_NEAR(shown[1600], 20 * std::log10(1 / 0.7), 2.1);  // within the 2 dB ripple
}

}  // namespace
}  // namespace sorvex::testing
