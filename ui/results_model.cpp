#include "ui/results_model.h"

#include <limits>

#include "ui/evidence_dialog.h"
#include "ui/image_list.h"

namespace ui {

TResultsModel::TResultsModel(const run::TWorkList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

int TResultsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TResultsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return QVariant();
  const auto row = static_cast<size_t>(index.row());
  if (row >= list_.size()) return QVariant();
  const run::TWorkRecord& record = list_[row];
  switch (role) {
    case Qt::ToolTipRole:
      if (index.column() == 1) {
        const QString versions = VersionsToolTip(record);
        if (!versions.isEmpty()) return versions;
      }
      return QVariant();
    case Qt::DisplayRole:
      return index.column() == 0 ? record.FURL : record.FPlatform;
    case Qt::DecorationRole:
      if (index.column() == 0 && TImageList::Instance().HasPicture(record.FImageNo))
        return TImageList::Instance().Icon(record.FImageNo);
      return QVariant();
    default:
      return QVariant();
  }
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  if (section == 0) return QStringLiteral("URL");
  if (section == 1) return QStringLiteral("Platforms");
  return QVariant();
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TResultsModel::SetRowCount(qint64 count) {
  const int rows = static_cast<int>(qBound(qint64(0), count, qint64(std::numeric_limits<int>::max())));
  if (rows > rows_) {
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
  } else if (rows < rows_) {
    beginRemoveRows(QModelIndex(), rows, rows_ - 1);
    rows_ = rows;
    endRemoveRows();
  }
}

void TResultsModel::RedrawRow(int row) {
  if (row < 0 || row >= rows_) return;
  Q_EMIT dataChanged(index(row, 0), index(row, 1), {Qt::DisplayRole, Qt::DecorationRole});
}

void TResultsModel::RedrawAll() {
  if (rows_ == 0) return;
  Q_EMIT dataChanged(index(0, 0), index(rows_ - 1, 1), {Qt::DisplayRole, Qt::DecorationRole});
}

}  // namespace ui
