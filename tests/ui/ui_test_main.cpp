// The UI tests run without a display and without depending on the caller's
// environment: offscreen platform, scale factor 1, Fusion style.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "1", 1);
  unsetenv("QT_SCREEN_SCALE_FACTORS");
  unsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  return RUN_ALL_TESTS();
}
