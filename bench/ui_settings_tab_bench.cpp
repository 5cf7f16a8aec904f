// The settings tab's periodic and interactive work, each followed by the
// repaint it causes: one Timer1Timer (the 100 ms preview) at 50 bit/s, the
// longest preview, and at 2400 bit/s, as signal and as spectrum (goal: under
// 5 ms each, so the timer never starves the window), and one
// FilterChangeClick of an order-12 band-pass, as while a cut-off marker is
// dragged (goal: under 5 ms). Offscreen, on a 1000 × 700 tab.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalBlocker>
#include <cstdlib>
#include <string>

#include "ui/controls/graphic_panel.h"
#include "ui/controls/tab_control.h"
#include "ui/settings/settings_tab.h"
#include "ui/window/prompts.h"
#include "ui_bench_main.h"

namespace {

using sorvex::TGraphicPanel;
using sorvex::TScriptedPrompts;
using sorvex::TSettingsTab;

struct Tab {
  Tab() : tab(fileName, prompts, QStringLiteral("/tmp")) {
    tab.resize(1000, 700);
    tab.show();
    QApplication::processEvents();
    tab.EdData->setText(QStringLiteral("00; ff; 55; 55;"));  // the window's default
    tab.LoadSettingsEditor("");
    tab.Timer1->stop();
  }
  void Paint(TGraphicPanel& panel) {
    QImage image(panel.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    panel.Paint(painter, image.size());
  }

  std::string fileName;
  TScriptedPrompts prompts;
  TSettingsTab tab;
};

void BM_Timer1Timer(benchmark::State& state) {
  Tab t;
  const int baud = static_cast<int>(state.range(0));
  t.tab.CbBaudrate->setCurrentIndex(t.tab.CbBaudrate->findData(baud));
  t.tab.TbTop->setCurrentIndex(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    t.tab.Timer1Timer();
    t.Paint(*t.tab.TestSignalPanel);
  }
  state.counters["samples"] = t.tab.Preview().SampleCount();
  state.counters["shown"] = t.tab.TestSignalPanel->series[0].Count();
}
// spectrum:0 is "Сигнал", spectrum:1 "Спектр".
BENCHMARK(BM_Timer1Timer)
    ->ArgNames({"baud", "spectrum"})
    ->Args({50, 0})
    ->Args({50, 1})
    ->Args({2400, 0})
    ->Args({2400, 1})
    ->Unit(benchmark::kMillisecond);

void BM_FilterChangeClickOrder12(benchmark::State& state) {
  Tab t;
  {
    const QSignalBlocker kind(t.tab.CbKind), order(t.tab.EdOrder), ripple(t.tab.EdDbRipp);
    t.tab.CbKind->setCurrentIndex(1);
    t.tab.EdOrder->setValue(12);
    t.tab.EdDbRipp->setValue(2);
  }
  t.tab.CbDb->setChecked(state.range(0) != 0);
  int freq = 500;
  for (auto _ : state) {
    {
      // A new cut-off each time, as a dragged marker gives.
      const QSignalBlocker blocker(t.tab.EdFreq1);
      freq = freq == 500 ? 501 : 500;
      t.tab.EdFreq1->setValue(freq);
    }
    t.tab.FilterChangeClick();
    t.Paint(*t.tab.FilterResponsePanel);
  }
  state.counters["order"] = 12;
}
BENCHMARK(BM_FilterChangeClickOrder12)
    ->ArgName("db")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return sorvex::bench::RunUiBenchmarks(argc, argv);
}
