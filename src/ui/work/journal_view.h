#pragma once

#include <QAbstractTableModel>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <cstddef>

#include "monitor/journal.h"
#include "ui/controls/icons.h"

namespace sorvex {

class TMonitor;

// One column over the journal that the tab control shows (0 events,
// 1 exchange), read from the monitor: the grid keeps no data. The row count
// is what the views were told, so rows come and go only through
// beginInsertRows/beginRemoveRows as the monitor reports them.
class TJournalModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The image index of ImageListMonitor (0..6) under this role.
  static constexpr int ImageIndexRole = Qt::UserRole + 1;

  explicit TJournalModel(const TMonitor& monitor, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // Switches to journal `logIndex` (a model reset: the rows are another list).
  void ShowJournal(int logIndex);
  int ShownJournal() const { return FShown; }

  // The monitor's reports, for either journal; the other one is ignored.
  void EntriesTrimmed(int logIndex, size_t count);
  void EntryAdded(int logIndex);
  void JournalCleared(int logIndex);

  // The entry on `row` of the shown journal, or nullptr.
  const TLogEntry* Entry(int row) const;
  // The line as the grid shows it: time stamp, two spaces, text.
  static QString RowText(const TLogEntry& entry);

 private:
  const TJournal& Shown() const;
  void SyncRows();

  const TMonitor& FMonitor;
  int FShown = 0;
  int FRows = 0;  // rows the views know of
  int FGone = 0;  // while a trim is reported: leading rows already dropped
};

// Paints a journal row: icon at (left + 2, top), then time stamp and text
// 26 pixels further right, on one line, vertically centred; an ampersand is
// text like any other. Selected rows in the highlight colours.
class TJournalDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit TJournalDelegate(QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  std::array<QPixmap, kMonitorImageCount> FImages;  // rendered once
};

// DgLog: one column as wide as the grid's client area, rows 16 high,
// whole-row selection, vertical scroll bar only.
class TJournalView : public QTableView {
  Q_OBJECT

 public:
  explicit TJournalView(QWidget* parent = nullptr);
  void setModel(QAbstractItemModel* model) override;

  // The column follows the client width; true when it had to change.
  bool FitColumn();
  // The current row is the last one (or there is none yet).
  bool OnLastRow() const;
  void SelectRow(int row);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void updateGeometries() override;
};

}  // namespace sorvex
