#pragma once

// Our own glyphs, drawn as SVG and compiled into the program (ui.qrc):
// the toolbar glyphs, the journal icons and the slider thumb.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace sorvex {

// Names of every glyph in the resources. The toolbar's buttons:
//   SBtStartStop    bulb_off / bulb_on (UiToggleIcon: lit while down)
//   SBtGraphQuest   graph_request     SBtGraphAnswer  graph_answer
//   SBtLogGraph     graph_journal     SBtGraphMarkers graph_markers
//   SBtQuest        stat_request      SBtAnswer       stat_answer
//   BtReset         stat_reset        BtClear         eraser
//   SbShowKpForm    kp_panel          BtMixer         mixer
//   SbStartSend     start_send
//   SBtRecord       record_off / record_on (lit while recording)
//   SBtSpectrum     spectrum
// The journal's icon list: journal_* (MonitorImage); the slider thumb:
// crawler_slider.
QStringList UiGlyphNames();
// The glyph rendered at `size` logical pixels and `devicePixelRatio`; a null
// pixmap for an unknown name.
QPixmap UiPixmap(const QString& name, QSize size = QSize(16, 16), qreal devicePixelRatio = 1.0);
// A button icon (16 px, with a 32 px rendering for high-density screens).
QIcon UiIcon(const QString& name);
// A toggle button's icon: `off` while up, `on` while down.
QIcon UiToggleIcon(const QString& off, const QString& on);

// The journal's icon list: image index of a journal entry kind, and the
// 16 × 16 image for an index 0..6 (other indexes: image 0).
inline constexpr int kMonitorImageCount = 7;
int LogKindImage(int kind);
QPixmap MonitorImage(int index);

// The slider thumb, 13 × 9 pixels.
QPixmap CrawlerSliderBitmap();

}  // namespace sorvex
