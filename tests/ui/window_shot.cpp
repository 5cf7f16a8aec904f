// Plays a recording through the main window and photographs it:
//   sorvex_ui_window_shot OUT.png RECORDING MODEM.ini [HOLD_SECONDS [STOP_BLOCK]]
// (SORVEX_SHOT_FIRST_RUN=1 in the environment: at the first run's 640 × 480.)
// The window runs on the sound-file backend, paced by its own timer as in
// the end-to-end test, with reception switched on by its button. After the
// recording (or, with STOP_BLOCK, once blocks 0 .. STOP_BLOCK − 1 are in and
// the level bars still show them) the window is saved to OUT.png and, with
// HOLD_SECONDS, stays up that long (for a screenshot of the whole screen
// under Xvfb). Without a display it renders offscreen.
// The KP windows are built after the main window and hooked up as the
// program does it. After the run the KP state window is brought up by its
// toolbar button on the KP of the last statistics change, and its three
// pages are saved as OUT-kp-ts.png, OUT-kp-tit.png and OUT-kp-bo.png; the
// KP telemetering window (which no command shows) is shown on the same KP
// for the picture OUT-tit.png.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "audio/sound_file_stream.h"
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "paced_stream.h"
#include "ui/kp/kp_form.h"
#include "ui/kp/tit_form.h"
#include "ui/window/main_window.h"
#include "ui/window/prompts.h"
#include "ui/work/journal_view.h"
#include "ui/work/work_tab.h"
#include "util/config.h"

int main(int argc, char** argv) {
  using namespace sorvex;
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: sorvex_ui_window_shot OUT.png RECORDING MODEM.ini [HOLD_SECONDS "
                 "[STOP_BLOCK]]\n");
    return 2;
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "1", 1);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const std::string recording = argv[2];
  const std::string modem = argv[3];
  const int holdSeconds = argc > 4 ? std::atoi(argv[4]) : 0;
  const int64_t stopBlock = argc > 5 ? std::atoll(argv[5]) : 0;

  const QString dir = QDir::temp().filePath(QStringLiteral("sorvex_window_shot_%1").arg(getpid()));
  QDir().mkpath(dir);
  const std::string ini = QDir(dir).filePath("Sorvex.ini").toStdString();
  IniWriteString(ini, "DefModemName", modem);
  // SORVEX_SHOT_FIRST_RUN=1: the window at its first-run size, 640 × 480.
  const char* firstRun = std::getenv("SORVEX_SHOT_FIRST_RUN");
  if (firstRun == nullptr || std::string(firstRun) != "1") {
    IniWriteInt(ini, "Width", 1100);
    IniWriteInt(ini, "Height", 820);
    IniWriteInt(ini, "HeightOs", 250);
    IniWriteInt(ini, "HeightSt", 110);
  }
  // Beside the large window; over the small one.
  const bool small = firstRun != nullptr && std::string(firstRun) == "1";
  IniWriteInt(ini, "FormKpLeft", small ? 300 : 660);
  IniWriteInt(ini, "FormKpTop", small ? 150 : 40);
  IniWriteInt(ini, "FormKpWidth", small ? 440 : 600);
  IniWriteInt(ini, "FormKpHeight", small ? 360 : 460);
  IniWriteInt(ini, "FormTitLeft", 660);
  IniWriteInt(ini, "FormTitTop", 530);
  IniWriteInt(ini, "FormTitWidth", 600);
  IniWriteInt(ini, "FormTitHeight", 300);

  std::atomic<const TForm1*> window{nullptr};
  TSoundFileStream* file = nullptr;
  testing::TTickPacedStream* paced = nullptr;
  TForm1::Options options;
  options.IniFileName = ini;
  options.Prompts = std::make_shared<TScriptedPrompts>();
  options.OpenDevice = [&](const std::string& settings) {
    TSoundFileStream::Options fileOptions;
    fileOptions.InputPath = recording;
    fileOptions.MonoChannel = 1;
    auto stream = std::make_unique<TSoundFileStream>(fileOptions);
    file = stream.get();
    auto pacedStream = std::make_unique<testing::TTickPacedStream>(std::move(stream), [&] {
      const TForm1* form = window.load();
      // Past the stop block the clock seems to stand still: the stream waits.
      if (form == nullptr || (stopBlock > 0 && paced->Blocks() >= stopBlock)) return int64_t{0};
      return form->TickCount();
    });
    paced = pacedStream.get();
    return std::make_unique<TModemDevice>(settings, std::move(pacedStream));
  };
  auto form = std::make_unique<TForm1>(std::move(options));
  auto formKp = std::make_unique<TFormKp>(ini, form->Monitor().KpStats());
  auto formTit = std::make_unique<TFormTit>(ini, form->Monitor().KpStats());
  form->SetKpFormHooks([&] { formKp->ShowRestored(); }, [&] { formKp->Update(); });
  window.store(form.get());
  form->show();
  form->TabSheet1->SBtStartStop->click();
  paced->Open();

  QElapsedTimer waited;
  waited.start();
  const auto done = [&] {
    const bool in = stopBlock > 0 ? paced->Blocks() >= stopBlock : file->Ended();
    return in && form->TickCount() >= paced->TicksNeeded();
  };
  while (!done()) {
    if (waited.elapsed() > 300000) {
      std::fprintf(stderr, "the recording did not end: %s\n", file->Error().c_str());
      return 1;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QCoreApplication::processEvents();
  if (!form->grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s\n", argv[1]);
  // The exchange journal beside it, as OUT-exchange.png.
  const QString exchange = QString::fromLocal8Bit(argv[1]).replace(".png", "-exchange.png");
  form->TabSheet1->TcLogs->setCurrentIndex(1);
  QCoreApplication::processEvents();
  if (form->grab().save(exchange)) std::printf("%s\n", qPrintable(exchange));
  // The KP windows on the KP whose statistics changed last.
  const int kp = form->Monitor().LastStatKp() & 0x7F;
  form->TabSheet1->SbShowKpForm->click();
  if (kp > 0) formKp->EdKp->setValue(kp);
  formTit->EdKp->setValue(formKp->EdKp->value());
  formTit->show();
  const char* pages[] = {"-kp-ts.png", "-kp-tit.png", "-kp-bo.png"};
  for (int page = 0; page < 3; ++page) {
    formKp->TbData->setCurrentIndex(page);
    QCoreApplication::processEvents();
    const QString name = QString::fromLocal8Bit(argv[1]).replace(".png", pages[page]);
    if (formKp->grab().save(name)) std::printf("%s\n", qPrintable(name));
  }
  formKp->TbData->setCurrentIndex(0);
  const QString tit = QString::fromLocal8Bit(argv[1]).replace(".png", "-tit.png");
  if (formTit->grab().save(tit)) std::printf("%s\n", qPrintable(tit));
  // The settings tab, as OUT-settings.png.
  form->PageControl1->setCurrentIndex(1);
  QCoreApplication::processEvents();
  const QString settingsShot = QString::fromLocal8Bit(argv[1]).replace(".png", "-settings.png");
  if (form->grab().save(settingsShot)) std::printf("%s\n", qPrintable(settingsShot));
  form->PageControl1->setCurrentIndex(0);
  std::fflush(stdout);
  if (holdSeconds > 0) {
    QTimer::singleShot(holdSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
  }
  form->SetKpFormHooks({}, {});
  formTit.reset();
  formKp.reset();
  form.reset();
  QDir(dir).removeRecursively();
  return 0;
}
