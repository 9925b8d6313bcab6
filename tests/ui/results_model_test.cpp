// The results model over the work list: explicit row count, cells read on
// demand, one dataChanged per changed row.
#include <QAbstractItemModelTester>
#include <QIcon>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "run/run_host.h"
#include "ui/image_list.h"
#include "ui/results_model.h"

namespace {

TEST(ResultsModel, RowCountIsSetExplicitlyAndCellsComeFromTheList) {
  run::TWorkList list;
  ui::TResultsModel model(list);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

  list.push_back({QStringLiteral("http://a"), QString(), run::kImageNone});
  list.push_back({QStringLiteral("http://b"), QStringLiteral("WordPress"), run::kImageDone});
  EXPECT_EQ(model.rowCount(), 0) << "records alone do not show rows";
  model.SetRowCount(2);
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), 2);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("URL"));
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Platforms"));
  EXPECT_EQ(model.index(1, 0).data().toString(), QStringLiteral("http://b"));
  EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("WordPress"));
  EXPECT_EQ(model.index(0, 1).data().toString(), QString());
  EXPECT_FALSE(model.index(0, 0).data(Qt::DecorationRole).isValid()) << "-1 shows no picture";
  EXPECT_FALSE(model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_FALSE(model.index(1, 1).data(Qt::DecorationRole).isValid()) << "only the URL cell has a picture";
  EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));

  // The record changes; the cell reads the new value without any copy.
  list[0].FPlatform = QStringLiteral("Error: gone");
  list[0].FImageNo = run::kImageError;
  EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("Error: gone"));

  model.SetRowCount(0);
  list.clear();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(ResultsModel, OneRowRedrawIsOneDataChangedForThatRow) {
  run::TWorkList list(5, run::TMyRecord{QStringLiteral("http://x"), QString(), run::kImageNone});
  ui::TResultsModel model(list);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.SetRowCount(5);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.RedrawRow(3);
  ASSERT_EQ(changed.count(), 1);
  const QModelIndex from = changed.at(0).at(0).toModelIndex();
  const QModelIndex to = changed.at(0).at(1).toModelIndex();
  EXPECT_EQ(from.row(), 3);
  EXPECT_EQ(to.row(), 3);
  EXPECT_EQ(from.column(), 0);
  EXPECT_EQ(to.column(), 1);

  model.RedrawRow(7);  // beyond the rows: nothing to redraw
  EXPECT_EQ(changed.count(), 1);

  model.RedrawAll();
  ASSERT_EQ(changed.count(), 2);
  EXPECT_EQ(changed.at(1).at(0).toModelIndex().row(), 0);
  EXPECT_EQ(changed.at(1).at(1).toModelIndex().row(), 4);
}

TEST(ResultsModel, RowsBeyondTheListReadEmpty) {
  run::TWorkList list(1, run::TMyRecord{QStringLiteral("http://x"), QStringLiteral("p"), run::kImageDone});
  ui::TResultsModel model(list);
  model.SetRowCount(3);
  EXPECT_EQ(model.index(2, 0).data().toString(), QString());
  EXPECT_FALSE(model.index(2, 0).data(Qt::DecorationRole).isValid());
}

TEST(ImageList, FixedSlotsHoldPicturesAndOthersAreEmpty) {
  const ui::TImageList& images = ui::TImageList::Instance();
  for (int slot : {0, 1, 3, 4, 5, 49, 50, 51, 52, 53, 54, 55}) {
    EXPECT_TRUE(images.HasPicture(slot)) << slot;
    EXPECT_EQ(images.Pixmap(slot).size(), QSize(16, 16)) << slot;
  }
  EXPECT_FALSE(images.HasPicture(2));
  EXPECT_FALSE(images.HasPicture(-1));
  EXPECT_FALSE(images.HasPicture(56));
  // The grey arrow is the arrow without colour.
  const QImage grey = images.Pixmap(51).toImage();
  for (int y = 0; y < grey.height(); ++y)
    for (int x = 0; x < grey.width(); ++x) {
      const QRgb p = grey.pixel(x, y);
      ASSERT_TRUE(qAlpha(p) == 0 || (qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)));
    }
}

}  // namespace
