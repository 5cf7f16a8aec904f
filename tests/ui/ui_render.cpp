// Renders the program's own controls and glyphs to PNG files, to look at:
//   sorvex_ui_render OUT_DIR
// The oscillograph shows a request telegram sent by the channel modem's
// transmitter and taken by its receiver.
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QPainter>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "modem/modem.h"
#include "protocol/request_encoder.h"
#include "telegram_records.h"
#include "ui/controls/crawler_show.h"
#include "ui/controls/graphic_panel.h"
#include "ui/controls/icons.h"
#include "ui/controls/level_show.h"
#include "ui/work/oscillograph.h"

namespace sorvex {
namespace {

QDir gOut;

void Save(const QImage& image, const QString& name, int zoom = 1) {
  const QImage out =
      zoom == 1 ? image
                : image.scaled(image.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  const QString path = gOut.filePath(name);
  if (!out.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::exit(1);
  }
  std::printf("%s\n", qPrintable(path));
}

template <typename Control>
QImage Picture(Control& control, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  control.Paint(painter, size);
  return image;
}

void Oscillographs() {
  RequestDescriptor request;
  request.KpAddress = 5;
  request.FunctionCode = 0x90;
  request.Group = 2;
  const testing::ReceivedTelegram telegram = testing::ReceiveRequest(request);
  std::printf("telegram: %d bits, %zu records\n", telegram.bitCount, telegram.records.size());
  const int32_t count = static_cast<int32_t>(telegram.records.size());

  TGraphicPanel panel(nullptr);
  panel.resize(1200, 300);
  ShowElementsOnGraph(panel, telegram.records.data(), count, QColor(0, 0, 0xFF), true);
  panel.SetTitle(QString::fromStdString(DescribeRequest(request)));
  Save(Picture(panel, QSize(1200, 300)), "oscillograph.png");
  Save(Picture(panel, QSize(1200, 300)).copy(0, 0, 400, 300), "oscillograph_left_x3.png", 3);

  ShowElementsOnGraph(panel, telegram.records.data(), count, QColor(0xFF, 0, 0), false);
  panel.SetYRange(1, -1);
  Save(Picture(panel, QSize(1200, 300)), "oscillograph_no_markers_100.png");

  TGraphicPanel empty(nullptr);
  empty.AddMarker(0, 0, nullptr, "0", QColor(0, 0x80, 0), 0);
  empty.SetTitle(QStringLiteral("Пусто: оси, маркер и заголовок"));
  Save(Picture(empty, QSize(600, 200)), "oscillograph_empty.png");

  // Filter response with two draggable cut-off markers, as the settings tab uses it.
  TModem modem("/nonexistent/sorvex-ui/modem.ini", 1024);
  std::vector<double> response(TModem::kResponsePoints);
  modem.GetFilterResponse(TModem::kBandSlot, response.data());
  TFilterSettings filter;
  modem.GetFilter(TModem::kBandSlot, filter);
  TGraphicPanel responsePanel(nullptr);
  responsePanel.resize(800, 250);
  responsePanel.SetSeries(0, response.data(), Qt::black, TModem::kResponsePoints);
  const TMarkerMoveHandler noop = [](int32_t, double) {};
  responsePanel.AddMarker(0, 0, noop, "F1", QColor(0xFF, 0, 0), filter.Freq1);
  responsePanel.AddMarker(0, 1, noop, "F2", QColor(0xFF, 0, 0), filter.Freq2);
  responsePanel.SetTitle(QStringLiteral("Полосовой"));
  Save(Picture(responsePanel, QSize(800, 250)), "filter_response.png");
}

void LevelBars() {
  const double levels[] = {0.0, 0.3, 0.8, 1.0};
  QImage sheet(185, 4 * 25, QImage::Format_RGB32);
  sheet.fill(QApplication::palette().color(QPalette::Window));
  QPainter painter(&sheet);
  for (int i = 0; i < 4; ++i) {
    QFrame host;
    host.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    host.setLineWidth(1);
    host.resize(185, 21);
    auto* bar = new CLevelShow(&host);
    bar->SetLevel(levels[i]);
    painter.drawPixmap(0, i * 25, host.grab());
  }
  painter.end();
  Save(sheet, "level_bars_x3.png", 3);
}

void Sliders() {
  const double values[] = {0.0, 0.1, 0.5, 1.0};
  QImage sheet(185, 4 * 30, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (int i = 0; i < 4; ++i) {
    QWidget host;
    host.resize(185, 25);
    CCrawlerShow slider(&host, nullptr, i);
    slider.SetRange(0, 1.0, 0.01);
    slider.SetTicks(i == 3 ? 1 : 0, 5);
    slider.SetValue(values[i]);
    painter.drawImage(0, i * 30, Picture(slider, QSize(185, 25)));
  }
  painter.end();
  Save(sheet, "sliders_x3.png", 3);
}

// The controls in place, painted through their widgets (grab): two
// channels' sliders above their level bars, the oscillograph below, as the
// work tab arranges them.
void WorkStrip() {
  RequestDescriptor request;
  request.KpAddress = 3;
  request.FunctionCode = 0x50;
  const testing::ReceivedTelegram telegram = testing::ReceiveRequest(request);
  QWidget strip;
  strip.resize(640, 56 + 160);
  const double levels[2] = {0.42, 0.87};
  const double starts[2] = {0.1, 0.35};
  for (int channel = 0; channel < 2; ++channel) {
    const int left = 150 + channel * 200;
    auto* sliderHost = new QFrame(&strip);
    sliderHost->setGeometry(left, 4, 185, 25);
    auto* slider = new CCrawlerShow(sliderHost, nullptr, channel);
    slider->SetRange(0, 1.0, 0.01);
    slider->SetTicks(0, 5);
    slider->SetValue(starts[channel]);
    auto* barHost = new QFrame(&strip);
    barHost->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    barHost->setLineWidth(1);
    barHost->setGeometry(left, 31, 185, 21);
    (new CLevelShow(barHost))->SetLevel(levels[channel]);
  }
  auto* data = new QWidget(&strip);
  data->setGeometry(0, 56, 640, 160);
  auto* panel = new TGraphicPanel(data);
  ShowElementsOnGraph(*panel, telegram.records.data(),
                      static_cast<int32_t>(telegram.records.size()), QColor(0xFF, 0, 0), true);
  panel->SetTitle(QString::fromStdString(DescribeRequest(request)));
  Save(strip.grab().toImage(), "work_strip.png");
}

void IconSheet() {
  const QStringList names = UiGlyphNames();
  const int cell = 150;
  QImage sheet(4 * cell, ((names.size() + 3) / 4) * 84, QImage::Format_RGB32);
  sheet.fill(QColor(0xF0, 0xF0, 0xF0));
  QPainter painter(&sheet);
  painter.setFont(TGraphicPanel::PanelFont());
  for (int i = 0; i < names.size(); ++i) {
    const int x = (i % 4) * cell + 4;
    const int y = (i / 4) * 84 + 4;
    const QSize size = names[i] == "crawler_slider" ? QSize(13, 9) : QSize(16, 16);
    painter.drawPixmap(x, y, UiPixmap(names[i], size));
    QPixmap big = UiPixmap(names[i], size, 4.0);
    big.setDevicePixelRatio(1.0);
    painter.drawPixmap(x + 24, y, big);
    painter.drawText(x, y + 76, names[i]);
  }
  painter.end();
  Save(sheet, "icons.png");
  // The 16-pixel glyphs alone, blown up pixel for pixel.
  QImage ones(names.size() * 18, 18, QImage::Format_RGB32);
  ones.fill(QColor(0xF0, 0xF0, 0xF0));
  QPainter p1(&ones);
  for (int i = 0; i < names.size(); ++i) {
    const QSize size = names[i] == "crawler_slider" ? QSize(13, 9) : QSize(16, 16);
    p1.drawPixmap(i * 18 + 1, 1, UiPixmap(names[i], size));
  }
  p1.end();
  Save(ones, "icons_1x_x6.png", 6);
}

}  // namespace
}  // namespace sorvex

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "1", 1);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  sorvex::gOut = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  if (!sorvex::gOut.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argc > 1 ? argv[1] : ".");
    return 1;
  }
  sorvex::Oscillographs();
  sorvex::LevelBars();
  sorvex::Sliders();
  sorvex::WorkStrip();
  sorvex::IconSheet();
  return 0;
}
