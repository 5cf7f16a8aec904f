#include "ui/work/statistics_grid.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "monitor/monitor.h"
#include "monitor/statistics_text.h"

namespace sorvex {

namespace {
constexpr int kRowHeight = 16;
}

TStatisticsModel::TStatisticsModel(const TMonitor& monitor, QObject* parent)
    : QAbstractTableModel(parent), FMonitor(monitor) {
  FRows = std::max<int>(1, static_cast<int>(FMonitor.KpStats().Size()));
}

int TStatisticsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FRows;
}

int TStatisticsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kStatisticsColumns;
}

QVariant TStatisticsModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const TKpRecordList& records = FMonitor.KpStats();
  const size_t row = static_cast<size_t>(index.row());
  if (row >= records.Size()) {
    if (role == Qt::DisplayRole) return QString();  // the empty row(s)
    return {};
  }
  const TKpRecord& record = records[row];
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(StatisticsCellText(record, index.column(), FChannel));
    case Qt::BackgroundRole: {
      const uint8_t last = FMonitor.LastStatKp();
      if (record.Kp != (last & 0x1F)) return {};
      return (last & 0x80) ? kAnswerTint : kRequestTint;
    }
    default:
      return {};
  }
}

QVariant TStatisticsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kStatisticsColumns)
    return {};
  return QString::fromUtf8(StatisticsColumnTitle(section));
}

void TStatisticsModel::SetChannel(int channel) {
  FChannel = channel ? 1 : 0;
  emit dataChanged(index(0, 3), index(FRows - 1, kStatisticsColumns - 1), {Qt::DisplayRole});
}

void TStatisticsModel::Sync() {
  const int rows = std::max<int>(1, static_cast<int>(FMonitor.KpStats().Size()));
  if (rows > FRows) {
    beginInsertRows(QModelIndex(), FRows, rows - 1);
    FRows = rows;
    endInsertRows();
  } else if (rows < FRows) {
    beginRemoveRows(QModelIndex(), rows, FRows - 1);
    FRows = rows;
    endRemoveRows();
  }
  // Sorting, the tint and new figures can touch any cell.
  emit dataChanged(index(0, 0), index(FRows - 1, kStatisticsColumns - 1));
}

void TStatisticsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const QVariant tint = index.data(Qt::BackgroundRole);
  painter->fillRect(option.rect,
                    tint.isValid() ? tint.value<QColor>() : option.palette.color(QPalette::Base));
  painter->save();
  painter->setClipRect(option.rect);
  painter->setPen(option.palette.color(QPalette::Text));
  painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

TStatisticsHeader::TStatisticsHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(false);
  setHighlightSections(false);
  setSectionResizeMode(QHeaderView::Interactive);
  setMinimumSectionSize(1);
  setFixedHeight(kRowHeight + 1);
}

void TStatisticsHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  painter->save();
  painter->fillRect(rect, palette().color(QPalette::Button));
  painter->setPen(palette().color(QPalette::Dark));
  painter->drawLine(rect.topRight(), rect.bottomRight());
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());
  painter->setClipRect(rect);
  painter->setPen(palette().color(QPalette::WindowText));
  const QString title =
      model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
  painter->drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, title);
  painter->restore();
}

QSize TStatisticsHeader::sectionSizeFromContents(int) const {
  return QSize(defaultSectionSize(), kRowHeight);
}

const std::vector<int32_t>& TStatisticsGrid::DefaultColumnWidths() {
  static const std::vector<int32_t> widths = {35, 216, 64, 64, 64, 64, 64, 64, 64, 64};
  return widths;
}

const std::vector<QString>& TStatisticsGrid::TypicalTexts(int column) {
  static const std::vector<std::vector<QString>> texts = {
      {QStringLiteral("31")},
      {},  // the functions run on; 216 pixels hold a few
      {QStringLiteral("88 (10) / 86 (11)")},
      {QStringLiteral("-17.78")},
      {QStringLiteral("-17.78")},
      {QStringLiteral("-17.78")},
      {QStringLiteral("12 (15)")},
      {QStringLiteral("-17.78 (-19.02)")},
      {QStringLiteral("-17.78 (-19.02)")},
      {QStringLiteral("29/12/26 01:40:44:123")},
  };
  static const std::vector<QString> none;
  return column >= 0 && column < static_cast<int>(texts.size()) ? texts[column] : none;
}

std::vector<int32_t> TStatisticsGrid::FirstRunColumnWidths(
    const std::function<int(const QString&)>& textWidth) {
  std::vector<int32_t> widths = DefaultColumnWidths();
  for (int c = 0; c < static_cast<int>(widths.size()); ++c) {
    std::vector<QString> texts = TypicalTexts(c);
    texts.push_back(QString::fromUtf8(StatisticsColumnTitle(c)));
    for (const QString& text : texts) widths[c] = std::max<int32_t>(widths[c], textWidth(text) + 4);
  }
  return widths;
}

std::vector<int32_t> TStatisticsGrid::FirstRunColumnWidths() const {
  const QFontMetrics metrics(font());
  return FirstRunColumnWidths(
      [&metrics](const QString& text) { return metrics.horizontalAdvance(text); });
}

TStatisticsGrid::TStatisticsGrid(QWidget* parent) : QTableView(parent) {
  setHorizontalHeader(new TStatisticsHeader(this));
  setItemDelegate(new TStatisticsDelegate(this));
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setCornerButtonEnabled(false);
}

std::vector<int32_t> TStatisticsGrid::ColumnWidths() const {
  std::vector<int32_t> widths;
  const int columns = model() ? model()->columnCount() : 0;
  for (int c = 0; c < columns; ++c) widths.push_back(columnWidth(c));
  return widths;
}

void TStatisticsGrid::SetColumnWidths(const std::vector<int32_t>& widths) {
  const int columns = model() ? model()->columnCount() : 0;
  for (int c = 0; c < columns && static_cast<size_t>(c) < widths.size(); ++c) {
    if (widths[static_cast<size_t>(c)] >= 1) setColumnWidth(c, widths[static_cast<size_t>(c)]);
  }
}

}  // namespace sorvex
