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
// The run never sets a count larger than the work list; should a row lie
// beyond the list's end all the same, it reads as empty. Main thread only.
#include <QAbstractTableModel>
#include <QStringList>

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
  void RedrawRow(int row);
  void RedrawAll();
  // The column captions ("URL", "Platforms" until set).
  void SetHeaderTexts(const QStringList& texts);

 private:
  const run::TWorkList& list_;
  int rows_ = 0;
  QStringList headers_{QStringLiteral("URL"), QStringLiteral("Platforms")};
};

}  // namespace ui
