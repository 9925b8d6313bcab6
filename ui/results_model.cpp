#include "ui/results_model.h"

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

void TResultsModel::RedrawRow(int row) {
  if (row < 0 || row >= rows_) return;
  Q_EMIT dataChanged(index(row, 0), index(row, 1), {Qt::DisplayRole, Qt::DecorationRole});
}

void TResultsModel::RedrawAll() {
  if (rows_ == 0) return;
  Q_EMIT dataChanged(index(0, 0), index(rows_ - 1, 1), {Qt::DisplayRole, Qt::DecorationRole});
}

}  // namespace ui
