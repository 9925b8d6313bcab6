#pragma once
// TResultsView: the results list of the main window (ListView1), a table
// view over TResultsModel with the behaviour a list of rows wants:
//
// - Columns: the first column (in display order) gets a share of the width
//   and the last one stretches over the rest. The share starts at
//   kInitialShare and is kept when the view is resized; dragging the divider,
//   or a double click on it (which fits the column to its contents), sets a
//   new share.
// - Keys: Home and End go to the first and last row (in the current column),
//   Page Up and Page Down by a page; the arrow keys move between cells; Tab
//   and Shift+Tab leave the list for the next or previous control, so the
//   controls after it stay reachable from the keyboard; the Menu key and
//   Shift+F10 open the row menu under the current row.
// - Tooltips: a cell whose text is cut off shows its whole text; whatever
//   the model gives as Qt::ToolTipRole is added below it (CellToolTip).
// - Rows keep the picture's room whether or not they have a picture, so a
//   URL does not move sideways when its picture appears.
//
// Main thread only.
#include <QTableView>

class QMenu;

namespace ui {

class TResultsView : public QTableView {
  Q_OBJECT
 public:
  static constexpr double kInitialShare = 0.45;

  explicit TResultsView(QWidget* parent = nullptr);

  // The menu the row-menu request opens (right click, Menu key, Shift+F10).
  void SetRowMenu(QMenu* menu) { rowMenu_ = menu; }

  // The first column's share of the width.
  double FirstColumnShare() const { return share_; }

  // Whether a cell's text does not fit its cell and is drawn cut off.
  bool IsCutOff(const QModelIndex& index) const;
  // The tooltip of a cell: its whole text when it is cut off, then the
  // model's Qt::ToolTipRole text; empty when there is neither.
  QString CellToolTip(const QModelIndex& index) const;
  // The rectangle the cell's text is drawn in (viewport coordinates).
  QRect TextRect(const QModelIndex& index) const;

 Q_SIGNALS:
  // Emitted before the row menu opens, so its items can be enabled.
  void RowMenuAboutToOpen();

 protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void ApplyShare();
  void TakeShareFrom(int logicalIndex);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OpenRowMenu(const QPoint& viewportPos);
  int FirstVisualColumn() const;
  QStyleOptionViewItem CellOption(const QModelIndex& index) const;

  QMenu* rowMenu_ = nullptr;
  double share_ = kInitialShare;
  bool applying_ = false;
  bool dragging_ = false;        // a mouse button is down on the header
  qint64 keyboardMenuAt_ = -1;   // when a key last opened the row menu (ms)
};

}  // namespace ui
