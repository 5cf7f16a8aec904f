// The two KP windows over a KP record list filled through the answer
// decoder, to look at:
//   sorvex_kp_windows_demo [--page 0|1|2] [--kp N] [--grab DIR] [--seconds S]
// Shows the KP state window (at 0, 0) and the KP telemetering window (at
// 660, 0) on the display. With --grab, saves both windows as PNG files in
// DIR and exits; otherwise runs for S seconds (default 30).
#include <QApplication>
#include <QDir>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTabBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kp_test_util.h"
#include "monitor/kp_record_list.h"
#include "ui/kp/kp_form.h"
#include "ui/kp/tit_form.h"

namespace {

void Fill(sorvex::TKpRecordList& list) {
  using sorvex::testing::KpTestTime;
  sorvex::testing::TKpAnswers answers(list, KpTestTime());
  answers.Gts(3, 1, 0x5A);
  answers.Gts(3, 3, 0x81);
  answers.Gts(3, 8, 0xF0);
  answers.Gtit(3, 1, {0, 125, -125, 2047, -2047, 1000, -1, 7});
  answers.Gtit(3, 3, {11, 22, 33, 44, 55, 66, 77, 88});
  answers.Bo(3, {0x01, 0x80});
  sorvex::testing::TKpAnswers later(list, KpTestTime() + 1.5 / 24);
  later.Gts(3, 2, 0x01);
}

}  // namespace

int main(int argc, char** argv) {
  int page = 0, kp = 3, seconds = 30;
  const char* grab = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--page")) page = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--kp")) kp = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--grab")) grab = argv[i + 1];
  }
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  sorvex::TKpRecordList list;
  Fill(list);
  const std::string ini = QDir::temp().filePath("sorvex_kp_windows_demo.ini").toStdString();
  QFile::remove(QString::fromStdString(ini));
  sorvex::TFormKp formKp(ini, list);
  sorvex::TFormTit formTit(ini, list);
  formKp.EdKp->setValue(kp);
  formKp.TbData->setCurrentIndex(page);
  formTit.EdKp->setValue(kp);
  formTit.move(660, 0);
  formTit.resize(600, 300);
  formKp.ShowRestored();
  formTit.show();
  if (grab) {
    QTimer::singleShot(300, [&] {
      const QDir dir(QString::fromLocal8Bit(grab));
      const char* names[] = {"kp_ts.png", "kp_tit.png", "kp_bo.png"};
      for (int p = 0; p < 3; ++p) {
        formKp.TbData->setCurrentIndex(p);
        formKp.grab().save(dir.filePath(names[p]));
      }
      formTit.grab().save(dir.filePath("tit_window.png"));
      std::printf("%s\n", qPrintable(dir.absolutePath()));
      QApplication::quit();
    });
  } else {
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  }
  return QApplication::exec();
}
