#pragma once
// The results view's model: a virtual table over the work list.
//
// The model keeps no copy of the records. Its row count is set explicitly
// (0 when a run starts, the record count once the intake is done), and every
// cell is read from the work list when the view asks for it: column 0 the
// URL with the row's picture (FImageNo into the image list; -1 none),
// column 1 the platforms text (its tooltip: the versions of a finished row,
// see VersionsToolTip). A change to one record is announced as one
// dataChanged for that row; a reordering of the whole list as one
// dataChanged over all rows.
//
// A filter (the summary's click) shows only the records it accepts, in list
// order: rows then stand for records through RecordIndex. While a filter is
// in force, a record whose redraw makes it accepted joins the rows at its
// place (one insertion) and one no longer accepted leaves them; a reordering
// of the whole list takes the filter again.
//
// The run never sets a count larger than the work list; should a row lie
// beyond the list's end all the same, it reads as empty. Main thread only.
#include <QAbstractTableModel>
#include <QStringList>
#include <functional>
#include <vector>

#include "run/run_host.h"

namespace ui {

class TResultsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TResultsModel(const run::TWorkList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void SetRowCount(qint64 count);
  // `index`: the record's index in the work list (its row when unfiltered).
  void RedrawRow(int index);
  void RedrawAll();

  using TAccept = std::function<bool(const run::TWorkRecord&)>;
  void SetFilter(TAccept accept);
  void ClearFilter();
  bool IsFiltered() const { return static_cast<bool>(accept_); }
  // The work-list index of a row, or -1 when the row shows no record.
  int RecordIndex(int row) const;
  // The row that shows a work-list record, or -1 when no row does (the
  // filter hides it, or it lies beyond the row count).
  int RowOfRecord(int record) const;
  // The column captions ("URL", "Platforms" until set).
  void SetHeaderTexts(const QStringList& texts);

 private:
  const run::TWorkList& list_;
  void TakeFilter();  // map_ from accept_ over the rows

  int rows_ = 0;
  TAccept accept_;
  std::vector<int> map_;  // filtered: the work-list indexes shown, ascending
  QStringList headers_{QStringLiteral("URL"), QStringLiteral("Platforms")};
};

}  // namespace ui
