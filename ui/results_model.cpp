#include "ui/results_model.h"

#include <algorithm>
#include <limits>

#include "ui/evidence_dialog.h"
#include "i18n/language.h"
#include "ui/image_list.h"

namespace ui {

namespace {

// The platforms text, or what the row's picture tells when it has none.
QString PlatformsForReader(const run::TMyRecord& record) {
  if (!record.FPlatform.isEmpty()) return record.FPlatform;
  switch (record.FImageNo) {
    case TImageList::kInWork:
      return i18n::Translate(QStringLiteral("being identified"));
    case TImageList::kDone:
      return i18n::Translate(QStringLiteral("no platform found"));
    default:
      return i18n::Translate(QStringLiteral("waiting"));
  }
}

}  // namespace

TResultsModel::TResultsModel(const run::TWorkList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

int TResultsModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return accept_ ? static_cast<int>(map_.size()) : rows_;
}

int TResultsModel::RecordIndex(int row) const {
  if (row < 0) return -1;
  const int index = accept_ ? (static_cast<size_t>(row) < map_.size() ? map_[static_cast<size_t>(row)] : -1)
                            : (row < rows_ ? row : -1);
  return index >= 0 && static_cast<size_t>(index) < list_.size() ? index : -1;
}

int TResultsModel::RowOfRecord(int record) const {
  if (record < 0) return -1;
  if (!accept_) return record < rows_ ? record : -1;
  const auto at = std::lower_bound(map_.begin(), map_.end(), record);
  return at != map_.end() && *at == record ? static_cast<int>(at - map_.begin()) : -1;
}

void TResultsModel::TakeFilter() {
  map_.clear();
  const int end = static_cast<int>(std::min(static_cast<size_t>(rows_), list_.size()));
  for (int i = 0; i < end; ++i)
    if (accept_(list_[static_cast<size_t>(i)])) map_.push_back(i);
}

void TResultsModel::SetFilter(TAccept accept) {
  beginResetModel();
  accept_ = std::move(accept);
  TakeFilter();
  endResetModel();
}

void TResultsModel::ClearFilter() {
  if (!accept_) return;
  beginResetModel();
  accept_ = nullptr;
  map_.clear();
  map_.shrink_to_fit();
  endResetModel();
}

int TResultsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return QVariant();
  const int row = RecordIndex(index.row());
  if (row < 0) return QVariant();
  const run::TWorkRecord& record = list_[static_cast<size_t>(row)];
  switch (role) {
    case Qt::ToolTipRole:
      if (index.column() == 1) {
        const QString versions = VersionsToolTip(record);
        if (!versions.isEmpty()) return versions;
      }
      return QVariant();
    case Qt::DisplayRole:
      return index.column() == 0 ? record.FURL : record.FPlatform;
    case Qt::AccessibleTextRole:
      return index.column() == 0 ? record.FURL : PlatformsForReader(record);
    case Qt::AccessibleDescriptionRole:
      // A row reads as its URL and its platforms text, whichever cell has the focus.
      return record.FURL + QStringLiteral(": ") + PlatformsForReader(record);
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
  if (section < 0 || section >= headers_.size()) return QVariant();
  return headers_[section];
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TResultsModel::SetRowCount(qint64 count) {
  const int rows = static_cast<int>(qBound(qint64(0), count, qint64(std::numeric_limits<int>::max())));
  if (accept_) {
    beginResetModel();
    rows_ = rows;
    TakeFilter();
    endResetModel();
    return;
  }
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

void TResultsModel::SetHeaderTexts(const QStringList& texts) {
  headers_ = texts;
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void TResultsModel::RedrawRow(int record) {
  if (record < 0 || record >= rows_) return;
  if (!accept_) {
    Q_EMIT dataChanged(index(record, 0), index(record, 1), {Qt::DisplayRole, Qt::DecorationRole});
    return;
  }
  const auto at = std::lower_bound(map_.begin(), map_.end(), record);
  const int row = static_cast<int>(at - map_.begin());
  const bool shown = at != map_.end() && *at == record;
  const bool wanted = static_cast<size_t>(record) < list_.size() && accept_(list_[static_cast<size_t>(record)]);
  if (shown && wanted) {
    Q_EMIT dataChanged(index(row, 0), index(row, 1), {Qt::DisplayRole, Qt::DecorationRole});
  } else if (shown) {
    beginRemoveRows(QModelIndex(), row, row);
    map_.erase(at);
    endRemoveRows();
  } else if (wanted) {
    beginInsertRows(QModelIndex(), row, row);
    map_.insert(at, record);
    endInsertRows();
  }
}

void TResultsModel::RedrawAll() {
  if (accept_) {
    // The list was reordered: the same records, at other places.
    std::vector<int> before = std::move(map_);
    TakeFilter();
    if (map_.size() != before.size()) {
      std::swap(map_, before);
      beginResetModel();
      std::swap(map_, before);
      endResetModel();
      return;
    }
  }
  const int rows = rowCount();
  if (rows == 0) return;
  Q_EMIT dataChanged(index(0, 0), index(rows - 1, 1), {Qt::DisplayRole, Qt::DecorationRole});
}

}  // namespace ui
