// The main of every widget benchmark: an offscreen application in the
// Fusion style at scale 1, so figures compare across machines and runs.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStyleFactory>
#include <cstdlib>
#include <functional>

namespace sorvex::bench {

// beforeQuit frees what must go while the application still exists.
inline int RunUiBenchmarks(int argc, char** argv, const std::function<void()>& beforeQuit = {}) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "1", 1);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (beforeQuit) beforeQuit();
  return 0;
}

}  // namespace sorvex::bench
