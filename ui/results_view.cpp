#include "ui/results_view.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace ui {

namespace {

// Column 0 carries the row pictures. A row without one still gets the
// picture's room, so that its text starts where the text of a row with a
// picture starts.
class TRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void Prepare(QStyleOptionViewItem* option, const QModelIndex& index) const { initStyleOption(option, index); }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() == 0 && !option->features.testFlag(QStyleOptionViewItem::HasDecoration)) {
      option->features |= QStyleOptionViewItem::HasDecoration;
      option->icon = QIcon();  // nothing drawn, the room kept
    }
  }
};

// The tooltip shows the text as it is: no markup, line breaks and blanks
// kept; a long text wraps (at blanks, or after the slashes of an address)
// instead of running off the screen.
QString PlainToolTip(const QString& text) {
  return QStringLiteral("<p style='white-space:pre-wrap'>%1</p>")
      .arg(text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")));
}

}  // namespace

TResultsView::TResultsView(QWidget* parent) : QTableView(parent) {
  setItemDelegate(new TRowDelegate(this));
  setContextMenuPolicy(Qt::DefaultContextMenu);
  // Tab moving from cell to cell would trap the focus in a list with rows.
  setTabKeyNavigation(false);
  QHeaderView* header = horizontalHeader();
  header->viewport()->installEventFilter(this);
  // The view fits the column to its contents on this signal (connected
  // when the header was made); the new width then becomes the share.
  connect(header, &QHeaderView::sectionHandleDoubleClicked, this, &TResultsView::TakeShareFrom);
  connect(header, &QHeaderView::sectionResized, this, [this](int logicalIndex, int, int) {
    if (dragging_ && !applying_) TakeShareFrom(logicalIndex);
  });
  connect(header, &QHeaderView::sectionMoved, this, [this] { ApplyShare(); });
  connect(header, &QHeaderView::sectionCountChanged, this, [this] { ApplyShare(); });
}

int TResultsView::FirstVisualColumn() const { return horizontalHeader()->logicalIndex(0); }

void TResultsView::ApplyShare() {
  const QHeaderView* header = horizontalHeader();
  if (header->count() < 2 || viewport()->width() <= 0) return;
  const int width = qMax(header->minimumSectionSize(), qRound(share_ * viewport()->width()));
  applying_ = true;
  horizontalHeader()->resizeSection(FirstVisualColumn(), width);
  applying_ = false;
}

void TResultsView::TakeShareFrom(int logicalIndex) {
  if (logicalIndex != FirstVisualColumn() || viewport()->width() <= 0) return;
  share_ = double(horizontalHeader()->sectionSize(logicalIndex)) / viewport()->width();
}

bool TResultsView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == horizontalHeader()->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) dragging_ = true;
    if (event->type() == QEvent::MouseButtonRelease) dragging_ = false;
  }
  return QTableView::eventFilter(watched, event);
}

QStyleOptionViewItem TResultsView::CellOption(const QModelIndex& index) const {
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  if (const auto* delegate = dynamic_cast<const TRowDelegate*>(itemDelegateForIndex(index)))
    delegate->Prepare(&option, index);
  return option;
}

QRect TResultsView::TextRect(const QModelIndex& index) const {
  const QStyleOptionViewItem option = CellOption(index);
  return style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
}

bool TResultsView::IsCutOff(const QModelIndex& index) const {
  if (!index.isValid()) return false;
  const QStyleOptionViewItem option = CellOption(index);
  if (option.text.isEmpty()) return false;
  const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
  // The style keeps this margin on both sides of the text.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  return option.fontMetrics.horizontalAdvance(option.text) > text.width() - 2 * margin;
}

QString TResultsView::CellToolTip(const QModelIndex& index) const {
  if (!index.isValid()) return QString();
  QStringList parts;
  if (IsCutOff(index)) parts << index.data(Qt::DisplayRole).toString();
  const QString extra = index.data(Qt::ToolTipRole).toString();
  if (!extra.isEmpty()) parts << extra;
  return parts.join(u'\n');
}

bool TResultsView::viewportEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip: {
      const auto* help = static_cast<QHelpEvent*>(event);
      const QModelIndex index = indexAt(help->pos());
      const QString tip = CellToolTip(index);
      if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
      } else {
        QToolTip::showText(help->globalPos(), PlainToolTip(tip), viewport(), visualRect(index));
      }
      return true;
    }
    case QEvent::Resize: {
      const bool result = QTableView::viewportEvent(event);
      ApplyShare();
      return result;
    }
    default:
      return QTableView::viewportEvent(event);
  }
}

QModelIndex TResultsView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  // Home and End move between rows, as in a list; with Ctrl as before.
  if ((cursorAction == MoveHome || cursorAction == MoveEnd) && !modifiers.testFlag(Qt::ControlModifier) && model()) {
    const int rows = model()->rowCount(rootIndex());
    if (rows == 0) return QModelIndex();
    const int column = currentIndex().isValid() ? currentIndex().column() : FirstVisualColumn();
    return model()->index(cursorAction == MoveHome ? 0 : rows - 1, column, rootIndex());
  }
  return QTableView::moveCursor(cursorAction, modifiers);
}

void TResultsView::OpenRowMenu(const QPoint& viewportPos) {
  if (!rowMenu_) return;
  Q_EMIT RowMenuAboutToOpen();
  rowMenu_->exec(viewport()->mapToGlobal(viewportPos));
}

void TResultsView::keyPressEvent(QKeyEvent* event) {
  const bool menuKey = event->key() == Qt::Key_Menu ||
                       (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
  if (!menuKey) {
    QTableView::keyPressEvent(event);
    return;
  }
  event->accept();
  keyboardMenuAt_ = QDateTime::currentMSecsSinceEpoch();
  const QModelIndex current = currentIndex();
  // Under the current row, else at the top of the list.
  const QRect row = current.isValid() ? visualRect(current) : QRect();
  const QPoint at = row.isValid() && viewport()->rect().intersects(row) ? QPoint(row.left(), row.bottom())
                                                                        : QPoint(0, 0);
  OpenRowMenu(at);
}

void TResultsView::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    // Some platforms follow the Menu key with a request of their own, which
    // the key press has answered already.
    if (keyboardMenuAt_ >= 0 && QDateTime::currentMSecsSinceEpoch() - keyboardMenuAt_ < 1000) return;
    const QModelIndex current = currentIndex();
    const QRect row = current.isValid() ? visualRect(current) : QRect();
    OpenRowMenu(row.isValid() ? QPoint(row.left(), row.bottom()) : QPoint(0, 0));
    return;
  }
  OpenRowMenu(event->pos());
}

}  // namespace ui
