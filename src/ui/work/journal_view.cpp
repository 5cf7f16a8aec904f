#include "ui/work/journal_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "monitor/monitor.h"
#include "util/date_time.h"

namespace sorvex {

namespace {
constexpr int kRowHeight = 16;
constexpr int kTextIndent = 26;  // icon 16 + gaps
}  // namespace

TJournalModel::TJournalModel(const TMonitor& monitor, QObject* parent)
    : QAbstractTableModel(parent), FMonitor(monitor) {
  FRows = static_cast<int>(Shown().Size());
}

const TJournal& TJournalModel::Shown() const {
  return FMonitor.Log(FShown);
}

int TJournalModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FRows;
}

int TJournalModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 1;
}

const TLogEntry* TJournalModel::Entry(int row) const {
  const int at = row - FGone;
  if (row < 0 || row >= FRows || at < 0 || static_cast<size_t>(at) >= Shown().Size())
    return nullptr;
  return &Shown()[static_cast<size_t>(at)];
}

QString TJournalModel::RowText(const TLogEntry& entry) {
  return QString::fromStdString(FormatTimeStamp(entry.time) + "  " + entry.text);
}

QVariant TJournalModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const TLogEntry* entry = Entry(index.row());
  if (entry == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
      return RowText(*entry);
    case ImageIndexRole:
      return LogKindImage(entry->kind);
    default:
      return {};
  }
}

void TJournalModel::ShowJournal(int logIndex) {
  beginResetModel();
  FShown = logIndex ? 1 : 0;
  FGone = 0;
  FRows = static_cast<int>(Shown().Size());
  endResetModel();
}

void TJournalModel::EntriesTrimmed(int logIndex, size_t count) {
  if ((logIndex ? 1 : 0) != FShown || count == 0) return;
  const int n = std::min(static_cast<int>(count), FRows);
  if (n == 0) return;
  // The journal has already dropped them: until the views have heard,
  // row r is entry r - n.
  FGone = n;
  beginRemoveRows(QModelIndex(), 0, n - 1);
  FGone = 0;
  FRows -= n;
  endRemoveRows();
}

void TJournalModel::EntryAdded(int logIndex) {
  if ((logIndex ? 1 : 0) == FShown) SyncRows();
}

void TJournalModel::SyncRows() {
  const int size = static_cast<int>(Shown().Size());
  if (size > FRows) {
    beginInsertRows(QModelIndex(), FRows, size - 1);
    FRows = size;
    endInsertRows();
  } else if (size < FRows) {
    beginRemoveRows(QModelIndex(), size, FRows - 1);
    FRows = size;
    endRemoveRows();
  }
}

void TJournalModel::JournalCleared(int logIndex) {
  if ((logIndex ? 1 : 0) == FShown) SyncRows();
}

TJournalDelegate::TJournalDelegate(QObject* parent) : QStyledItemDelegate(parent) {
  for (int i = 0; i < kMonitorImageCount; ++i) FImages[static_cast<size_t>(i)] = MonitorImage(i);
}

void TJournalDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette& palette = option.palette;
  painter->fillRect(option.rect, palette.color(selected ? QPalette::Highlight : QPalette::Base));
  const QVariant image = index.data(TJournalModel::ImageIndexRole);
  if (!image.isValid()) return;
  const int at = std::clamp(image.toInt(), 0, kMonitorImageCount - 1);
  painter->drawPixmap(option.rect.left() + 2, option.rect.top(), FImages[static_cast<size_t>(at)]);
  QRect text = option.rect;
  text.setLeft(text.left() + kTextIndent);
  painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
  painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    index.data(Qt::DisplayRole).toString());
}

QSize TJournalDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width(), kRowHeight);
}

TJournalView::TJournalView(QWidget* parent) : QTableView(parent) {
  setItemDelegate(new TJournalDelegate(this));
  horizontalHeader()->hide();
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  // Several rows (shift or control with a click) for copying them as text.
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(false);
  setWordWrap(false);
}

void TJournalView::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  FitColumn();
}

bool TJournalView::FitColumn() {
  if (model() == nullptr || model()->columnCount() < 1) return false;
  const int width = viewport()->width();
  if (columnWidth(0) == width) return false;
  setColumnWidth(0, width);
  return true;
}

bool TJournalView::OnLastRow() const {
  const QModelIndex current = currentIndex();
  return !current.isValid() || current.row() == model()->rowCount() - 1;
}

void TJournalView::SelectRow(int row) {
  if (model() == nullptr || row < 0 || row >= model()->rowCount()) return;
  const QModelIndex index = model()->index(row, 0);
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

void TJournalView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitColumn();
}

void TJournalView::updateGeometries() {
  QTableView::updateGeometries();
  // The scroll bar coming or going changes the client width.
  FitColumn();
}

}  // namespace sorvex
