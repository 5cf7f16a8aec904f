#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <vector>

namespace sorvex {

class TMonitor;

// The statistics grid's rows: one per KP record, in the list's order, at
// least one (empty) row; the ten columns' texts come from the monitor's grid
// text functions for the displayed channel, the titles are the header. The
// row of the KP updated last carries its tint as BackgroundRole.
class TStatisticsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static inline const QColor kAnswerTint{0xFF, 0xFF, 0xE0};   // last update from channel 1
  static inline const QColor kRequestTint{0xFF, 0xE0, 0xE0};  // from channel 0

  explicit TStatisticsModel(const TMonitor& monitor, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Channel of columns 3..9: 0 requests, 1 answers.
  void SetChannel(int channel);
  int Channel() const { return FChannel; }
  // The monitor's records changed: rows follow the list, every cell repaints.
  void Sync();

 private:
  const TMonitor& FMonitor;
  int FChannel = 1;
  int FRows = 1;  // rows the views know of
};

// Fills the cell with its background (the row's tint, else the window
// colour) and draws the text at (left + 2, top), clipped to the cell.
// Selection and focus are not shown.
class TStatisticsDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// The title row: button face, the title at (left + 2, top), grid lines.
class TStatisticsHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit TStatisticsHeader(QWidget* parent = nullptr);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  QSize sectionSizeFromContents(int logicalIndex) const override;
};

// DgStatistic: rows 16 high, columns sized by the user, whole-row selection.
class TStatisticsGrid : public QTableView {
  Q_OBJECT

 public:
  static const std::vector<int32_t>& DefaultColumnWidths();  // 35, 216, 64 × 8
  // What a column shows at most in common use: its title and a typical value
  // ("8 (0) / 6 (1)", "-17.78 (-19.02)", a whole time stamp).
  static const std::vector<QString>& TypicalTexts(int column);
  // First-run widths: the default ones, widened where a typical text would be
  // cut in a font whose text widths `textWidth` gives (the cell draws 2
  // pixels in, and keeps 2 free at the right).
  static std::vector<int32_t> FirstRunColumnWidths(
      const std::function<int(const QString&)>& textWidth);

  explicit TStatisticsGrid(QWidget* parent = nullptr);

  // FirstRunColumnWidths in the grid's own font.
  std::vector<int32_t> FirstRunColumnWidths() const;
  std::vector<int32_t> ColumnWidths() const;
  // Widths for the first columns; a width below 1 keeps the column's own.
  void SetColumnWidths(const std::vector<int32_t>& widths);
};

}  // namespace sorvex
