#include "ui/controls/icons.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <array>

#include "monitor/journal.h"

// The resource initialiser must be named outside any namespace; calling it
// keeps the linker from dropping the resources of this static library.
static void InitUiResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(ui);
    return true;
  }();
  (void)done;
}

namespace sorvex {

namespace {

// Image index → glyph, in the order of the journal's icon list.
constexpr std::array<const char*, kMonitorImageCount> kMonitorImages = {
    "journal_error",  "journal_warning",     "journal_info",      "journal_request",
    "journal_answer", "journal_bad_request", "journal_bad_answer"};

QString ResourcePath(const QString& name) {
  return QStringLiteral(":/ui/%1.svg").arg(name);
}

}  // namespace

QStringList UiGlyphNames() {
  return {"bulb_off",           "bulb_on",
          "graph_request",      "graph_answer",
          "graph_journal",      "graph_markers",
          "stat_request",       "stat_answer",
          "stat_reset",         "eraser",
          "kp_panel",           "mixer",
          "start_send",         "record_off",
          "record_on",          "spectrum",
          "journal_error",      "journal_warning",
          "journal_info",       "journal_request",
          "journal_answer",     "journal_bad_request",
          "journal_bad_answer", "crawler_slider",
          "kp_history"};
}

QPixmap UiPixmap(const QString& name, QSize size, qreal devicePixelRatio) {
  InitUiResources();
  QSvgRenderer renderer(ResourcePath(name));
  if (!renderer.isValid() || size.isEmpty() || !(devicePixelRatio > 0)) return {};
  QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    renderer.render(&painter);
  }
  image.setDevicePixelRatio(devicePixelRatio);
  return QPixmap::fromImage(image);
}

QIcon UiIcon(const QString& name) {
  QIcon icon;
  icon.addPixmap(UiPixmap(name, QSize(16, 16), 1.0));
  icon.addPixmap(UiPixmap(name, QSize(16, 16), 2.0));
  return icon;
}

QIcon UiToggleIcon(const QString& off, const QString& on) {
  QIcon icon;
  for (qreal ratio : {1.0, 2.0}) {
    icon.addPixmap(UiPixmap(off, QSize(16, 16), ratio), QIcon::Normal, QIcon::Off);
    icon.addPixmap(UiPixmap(on, QSize(16, 16), ratio), QIcon::Normal, QIcon::On);
  }
  return icon;
}

int LogKindImage(int kind) {
  switch (kind) {
    case lkExchangeProblem:
      return 1;
    case lkBadRequest:
      return 5;
    case lkBadAnswer:
      return 6;
    case lkInfo:
      return 2;
    case lkRequest:
      return 3;
    case lkAnswer:
      return 4;
    default:
      return 0;
  }
}

QPixmap MonitorImage(int index) {
  if (index < 0 || index >= kMonitorImageCount) index = 0;
  return UiPixmap(kMonitorImages[static_cast<size_t>(index)]);
}

QPixmap CrawlerSliderBitmap() {
  return UiPixmap("crawler_slider", QSize(13, 9));
}

}  // namespace sorvex
