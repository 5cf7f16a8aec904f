#include "ui/work/spectrum_panel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include "ui/controls/graphic_panel.h"
#include "ui/controls/host_fill.h"
#include "ui/controls/spectrum_geometry.h"
#include "ui/work/work_tab.h"

namespace sorvex {

namespace {

const QColor kGridColour(0x80, 0x80, 0x80);

void DottedLine(QPainter& p, QPoint from, QPoint to) {
  QPolygon dots;
  if (from.x() == to.x()) {
    for (int y = std::min(from.y(), to.y()); y <= std::max(from.y(), to.y()); y += 2)
      dots << QPoint(from.x(), y);
  } else {
    for (int x = std::min(from.x(), to.x()); x <= std::max(from.x(), to.x()); x += 2)
      dots << QPoint(x, from.y());
  }
  p.drawPoints(dots);
}

}  // namespace

TSpectrumPanel::TSpectrumPanel(QWidget* host) : QWidget(host) {
  FBackground = QApplication::palette().color(QPalette::Button);
  setAttribute(Qt::WA_OpaquePaintEvent);
  THostFill::Attach(this, host);
}

void TSpectrumPanel::SetSpectrum(const std::vector<double>& requests,
                                 const std::vector<double>& answers, double binHz) {
  FDb[0] = requests;
  FDb[1] = answers;
  FBinHz = binHz;
  update();
}

void TSpectrumPanel::SetTones(int freq0, int freq1) {
  FTones[0] = freq0;
  FTones[1] = freq1;
  update();
}

void TSpectrumPanel::Clear() {
  FDb[0].clear();
  FDb[1].clear();
  update();
}

void TSpectrumPanel::Paint(QPainter& p, QSize size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(QPoint(0, 0), size), FBackground);
  p.setFont(TGraphicPanel::PanelFont());
  const QFontMetrics fm = p.fontMetrics();
  SpectrumArea area;
  area.width = size.width();
  area.height = size.height();
  if (area.Drawable()) {
    const SpectrumGrid grid = ComputeSpectrumGrid(
        area,
        [&fm](const std::string& t) { return fm.horizontalAdvance(QString::fromStdString(t)); },
        fm.height());
    p.setPen(kGridColour);
    for (const SpectrumLabel& row : grid.levels)
      DottedLine(p, QPoint(area.marginLeft, row.at), QPoint(area.Right(), row.at));
    for (const SpectrumLabel& column : grid.frequencies)
      DottedLine(p, QPoint(column.at, area.marginTop), QPoint(column.at, area.Bottom()));
    p.setPen(Qt::black);
    for (const auto* labels : {&grid.levels, &grid.frequencies}) {
      for (const SpectrumLabel& label : *labels) {
        if (label.textX >= 0)
          p.drawText(QPoint(label.textX, label.textY + fm.ascent()),
                     QString::fromStdString(label.text));
      }
    }
    // The tones under the traces: the traces are what the line holds.
    p.setPen(QPen(kToneColour, 0, Qt::DashLine));
    for (int bit = 0; bit < 2; ++bit) {
      if (FTones[bit] <= 0) continue;
      const int x = SpectrumColumn(area, FTones[bit]);
      p.drawLine(x, area.marginTop, x, area.Bottom() - 1);
      p.drawText(QPoint(x + 2, area.marginTop - 2), QString::number(bit));
    }
    // Answers first, so that the requests' blue stays on top where the two meet.
    for (int channel : {1, 0}) {
      const std::vector<TracePoint> trace = SpectrumTrace(area, FDb[channel], FBinHz);
      if (trace.empty()) continue;
      QPolygon line(static_cast<int>(trace.size()));
      for (size_t i = 0; i < trace.size(); ++i)
        line[static_cast<int>(i)] = QPoint(trace[i].x, trace[i].y);
      p.setPen(QPen(channel == 0 ? TWorkTab::kRequestTrace : TWorkTab::kAnswerTrace, 0));
      p.drawPolyline(line);
    }
    p.fillRect(QRect(area.marginLeft, area.Bottom(), area.PlotWidth() + 1, 1), Qt::black);
    p.fillRect(QRect(area.marginLeft, area.marginTop, 1, area.PlotHeight()), Qt::black);
  }
  p.setPen(Qt::black);
  p.drawText(QPoint(2, fm.ascent()), QStringLiteral("Спектр, дБ"));
  p.restore();
}

void TSpectrumPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size());
}

}  // namespace sorvex
