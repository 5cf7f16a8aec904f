#pragma once

// The pages of the KP windows. Geometry, data states, texts and colours are
// pure functions; each Paint routine only draws what they give, into a
// painter of a given size (the drawing panel, or a QImage in tests).
//
// Rectangles are (left, top, right, bottom) with right and bottom excluded.
// Every division truncates toward zero.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "protocol/telemetry_block.h"

class QPainter;
class QPalette;
class QSize;

namespace sorvex {

class TKpRecordList;

struct KpRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const KpRect&) const = default;
};

struct KpPoint {
  int32_t x = 0, y = 0;
  bool operator==(const KpPoint&) const = default;
};

// The pages of the KP state window, in tab order.
enum class KpPage { Ts = 0, Tit = 1, Bo = 2 };

// Right edge of the time column on every page.
inline constexpr int32_t kTimeColumnRight = 130;

// ---- A 1-pixel sunken frame along the edge of a rectangle.

struct SunkenFrame {
  KpRect shadowTop, shadowLeft;    // button shadow
  KpRect lightBottom, lightRight;  // button highlight
  KpRect inside;                   // what fills and texts may cover
};
// Shadow: the top row without its last pixel and the left column without its
// last pixel; highlight: the whole bottom row and the whole right column.
// A rectangle narrower or lower than 2 pixels has nothing inside.
SunkenFrame FrameEdges(const KpRect& rect);

// ---- "ТС": 8 rows (groups 1..8) × 8 lamps (bits 0..7).

struct TsLayout {
  int32_t cell = 0;    // a lamp's square cell; also the row height
  int32_t radius = 0;  // lamp radius
  bool operator==(const TsLayout&) const = default;
};
// cell = (W − 134) / 8, or H / 8 when that is smaller; radius = cell / 2 − 4.
// Sizes too small for a lamp give 0, never a negative cell or radius.
TsLayout TsPageLayout(int32_t width, int32_t height);
// (0, y, 130, y + cell) with y = row × cell.
KpRect TsTimeRect(const TsLayout& layout, int row);
// (130, y, W, y + cell).
KpRect TsLampRowRect(const TsLayout& layout, int row, int32_t width);
// (130 + bit × cell + cell / 2, row × cell + cell / 2).
KpPoint TsLampCentre(const TsLayout& layout, int row, int bit);
// The lamp's bounding square: centre ± radius.
KpRect TsLampSquare(const TsLayout& layout, int row, int bit);
// "group:bit", both counted from 1: row 2, bit 7 → "3:8".
QString TsLampLabel(int row, int bit);

// ---- "ТИТ" (and the KP telemetering window): 4 rows (groups 1..4) × 8 values.

struct TitLayout {
  int32_t timeLeft = 0;     // left edge of the time column
  int32_t valuesLeft = 0;   // left edge of the first value column
  int32_t columnWidth = 0;  // colW
  int32_t rowHeight = 0;    // rowH = H / 4
  bool operator==(const TitLayout&) const = default;
};
// The page of the KP state window: times from 0, values from 130,
// colW = (W − 130) / 8.
TitLayout TitPageLayout(int32_t width, int32_t height);
// The KP telemetering window: times from 2, values from 134,
// colW = (W − 134) / 8.
TitLayout TitWindowLayout(int32_t width, int32_t height);
// (timeLeft, y, 130, y + rowH) with y = group × rowH.
KpRect TitTimeRect(const TitLayout& layout, int group);
// (x, y, x + colW, y + rowH) with x = valuesLeft + k × colW.
KpRect TitValueRect(const TitLayout& layout, int group, int k);

// ---- "БО": the time row, then 16 rows of 16 pixels (flags 0..15).

inline constexpr int32_t kBoRowHeight = 16;
inline constexpr int kBoFlagCount = 16;
// (0, 0, W, 16).
KpRect BoTimeRect(int32_t width);
// (0, y, W, y + 16) with y = 16 + 16 × bit.
KpRect BoRowRect(int bit, int32_t width);
// (6, y + 4, 14, y + 12).
KpRect BoLampSquare(int bit);
// (32, y, W, y + 16).
KpRect BoTextRect(int bit, int32_t width);
// The texts of the 16 diagnostic flags, by bit.
const QStringList& BoDiagnosticTexts();

// ---- What the data says. `block` is the KP's telemetry block, or nullptr
// when the KP has no record: then every value and time stamp counts as 0.

// The block of KP `kp` in `list` (no record is created), or nullptr.
const KpTelemetryBlock* KpBlock(const TKpRecordList& list, int kp);

enum class LampState { NoData, Set, Clear };
// NoData without a record or while the group's time stamp is 0.
LampState TsLampState(const KpTelemetryBlock* block, int row, int bit);
// The diagnostic word: BoBytes[0] | BoBytes[1] << 8, 0 without a record.
uint16_t BoDiagnosticWord(const KpTelemetryBlock* block);
// NoData without a record or while BoTime is 0.
LampState BoLampState(const KpTelemetryBlock* block, int bit);
// The group has arrived: record present and its time stamp not 0.
bool TitGroupLive(const KpTelemetryBlock* block, int group);
// "%d" of the value, "0" without a record.
QString TitValueText(const KpTelemetryBlock* block, int group, int k);
// The time stamps' texts ("??/??/?? ??:??:??:???" for 0 and without a record).
QString TsTimeText(const KpTelemetryBlock* block, int row);
QString TitTimeText(const KpTelemetryBlock* block, int group);
QString BoTimeText(const KpTelemetryBlock* block);

// ---- Colours. Fixed ones as 0x00BBGGRR values.

inline constexpr uint32_t kClBlack = 0x000000;
inline constexpr uint32_t kClGreen = 0x008000;
inline constexpr uint32_t kClGrey = 0x808080;
inline constexpr uint32_t kClSilver = 0xC0C0C0;
inline constexpr uint32_t kClYellow = 0x00FFFF;
inline constexpr uint32_t kClWhite = 0xFFFFFF;
QColor ColorRefToQColor(uint32_t bgr);

struct LampColours {
  uint32_t fill = 0;
  uint32_t text = 0;
  bool operator==(const LampColours&) const = default;
};
// NoData: silver with black text; Set: yellow with black; Clear: green with white.
LampColours LampColoursOf(LampState state);

// The system colours the pages use, taken from a palette: button face
// (Button), window (Base), window text (Text), button shadow (Dark) and
// button highlight (Light).
struct KpSystemColours {
  QColor buttonFace, window, windowText, buttonShadow, buttonHighlight;
  static KpSystemColours FromPalette(const QPalette& palette);
};

struct TitCellColours {
  QColor fill, text;
};
// A live group: window with window text; otherwise button face with grey.
TitCellColours TitCellColoursOf(bool live, const KpSystemColours& colours);

// What a page is painted with: the system colours and the form's font.
struct KpPageStyle {
  KpSystemColours colours;
  QFont font;
  static KpPageStyle FromPalette(const QPalette& palette);
};

// The form font of both KP windows: Liberation Sans (metric twin of Arial),
// 11 pixels high, with DejaVu Sans behind it for missing glyphs.
QFont KpFormFont();

// ---- Painting: fills size with button face, then draws the page.

void PaintTsPage(QPainter& painter, QSize size, const KpTelemetryBlock* block,
                 const KpPageStyle& style);
void PaintTitPage(QPainter& painter, QSize size, const KpTelemetryBlock* block,
                  const KpPageStyle& style);
void PaintBoPage(QPainter& painter, QSize size, const KpTelemetryBlock* block,
                 const KpPageStyle& style);
void PaintKpPage(QPainter& painter, QSize size, KpPage page, const KpTelemetryBlock* block,
                 const KpPageStyle& style);
// The single page of the KP telemetering window.
void PaintTitWindow(QPainter& painter, QSize size, const KpTelemetryBlock* block,
                    const KpPageStyle& style);

}  // namespace sorvex
