// Photographs the measurement views for a look by eye:
//   sorvex_ui_history_shot OUTDIR
// The main window (no sound device) is told, through its observer, of a
// received request whose sender runs 18 Hz high and 0.9 % fast: its
// oscillograph is saved as OUTDIR/oscillograph-caption.png. Then KP 5's
// answers drift for six hours (tones up to +40 Hz, rate up to +1.2 %, level
// sinking, more and more of them invalid) beside steady requests; the
// window "История КП", opened by its toolbar button, is saved whole
// (history-drift.png) and zoomed to the last hour (history-drift-zoomed.png).
// Without a display it renders offscreen.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QSpinBox>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "telegram_records.h"
#include "ui/history/history_form.h"
#include "ui/history/history_plot.h"
#include "ui/window/main_window.h"
#include "ui/work/work_tab.h"
#include "util/date_time.h"

int main(int argc, char** argv) {
  using namespace sorvex;
  if (argc < 2) {
    std::fprintf(stderr, "usage: sorvex_ui_history_shot OUTDIR\n");
    return 2;
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "1", 1);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString dir = QDir::temp().filePath(QStringLiteral("sorvex_history_shot_%1").arg(getpid()));
  QDir().mkpath(dir);

  TForm1::Options options;
  options.IniFileName = QDir(dir).filePath("Sorvex.ini").toStdString();
  TForm1 form(std::move(options));
  form.resize(900, 560);
  form.show();
  app.processEvents();

  RequestDescriptor request;
  request.KpAddress = 5;
  request.FunctionCode = 0x10;
  request.Group = 2;
  const testing::ReceivedTelegram telegram = testing::ReceiveRequest(request);
  const double start = EncodeDateTime({2026, 12, 9, 8, 0, 0, 0});
  TTelegramMeasurement shown;
  shown.kp = 5;
  shown.valid = true;
  shown.time = start;
  shown.setF0Hz = 2540;
  shown.setF1Hz = 2760;
  shown.setBitRate = 200;
  shown.f0Hz = 2558.1;
  shown.f1Hz = 2778.0;
  shown.bitRate = 201.8;
  shown.levelDb = -11.4;
  shown.snrDb = 31.2;
  form.Observer().ShowTelegram(telegram.records.data(), static_cast<int>(telegram.records.size()),
                               TraceColour::Blue, "Запрос на КП5; Функция  ЗГТИ, Группа=2.");
  form.Observer().ShowMeasurement(shown);
  app.processEvents();
  form.grab().save(out.filePath("oscillograph-caption.png"));

  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 1);
  std::uniform_real_distribution<double> chance(0, 1);
  constexpr int kExchanges = 6 * 3600 / 20;  // six hours, one exchange every 20 s
  for (int n = 0; n < kExchanges; ++n) {
    const double drift = static_cast<double>(n) / kExchanges;  // 0 .. 1
    TTelegramMeasurement m = shown;
    m.time = start + n * 20.0 / 86400;
    m.channel = 0;  // the control centre's request: steady
    m.f0Hz = 2540 + 0.5 * noise(rng);
    m.f1Hz = 2760 + 0.5 * noise(rng);
    m.bitRate = 200 + 0.02 * noise(rng);
    m.levelDb = -8 + 0.2 * noise(rng);
    m.snrDb = 34 + 0.5 * noise(rng);
    form.Observer().TelegramMeasured(m);
    m.time += 0.4 / 86400;
    m.channel = 1;  // KP 5's answer: its modem drifts
    m.f0Hz = 2540 + 40 * drift + noise(rng);
    m.f1Hz = 2760 + 40 * drift + noise(rng);
    m.bitRate = 200 * (1 + 0.012 * drift) + 0.03 * noise(rng);
    m.levelDb = -10 - 6 * drift + 0.3 * noise(rng);
    m.snrDb = 30 - 12 * drift + 0.8 * noise(rng);
    m.valid = chance(rng) > drift * drift * 0.8;
    form.Observer().TelegramMeasured(m);
  }
  form.TabSheet1->SbShowHistory->click();
  THistoryForm& history = *form.HistoryForm();
  history.EdKp->setValue(5);
  history.resize(1000, 640);
  app.processEvents();
  history.grab().save(out.filePath("history-drift.png"));
  const THistorySpan full = history.PnPlot->Span();
  history.PnPlot->ZoomTo({full.t1 - 1.0 / 24, full.t1});
  app.processEvents();
  history.grab().save(out.filePath("history-drift-zoomed.png"));
  QDir(dir).removeRecursively();
  return 0;
}
