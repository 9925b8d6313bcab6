#pragma once
// The URL list editor (SynEdit1): a plain-text QScintilla editor set up for a
// list of addresses, one per line.
//
// Behaviour: Courier New (or the system's fixed-pitch font) at 13 pixels;
// no margins, line numbers, folding, edge line or wrapping; Tab and
// Shift+Tab move the focus; Alt+drag selects columns; a new line starts with
// the leading blanks of the line above (copied as they are); dragging
// selected text moves it; End goes first to the end of the line's text
// without its trailing blanks, then to the real end; Backspace in leading
// blanks goes back to the indentation of the nearest line above that is
// indented less; while the vertical scroll bar is dragged a hint shows the
// numbers of the first and last visible lines ("%d - %d"). The caret never
// goes past a line's end; a right click opens the context menu without
// moving the caret; dropped files are refused.
#include "ui/qsci.h"

#include <QPoint>
#include <QString>

class QMenu;

namespace ui {

class TUrlEditor : public QsciScintilla {
  Q_OBJECT
 public:
  explicit TUrlEditor(QWidget* parent = nullptr);

  void SetPopupMenu(QMenu* menu) { popup_ = menu; }

  // Lines as the run and list.txt see them, without line breaks. An empty
  // text is one empty line; a break after the last line adds an empty one.
  int LineCount() const;
  QString Line(int index) const;

  // The break that Enter inserts: "\r\n", "\n" or "\r".
  void SetLineBreakStyle(const QString& lineBreak);

  // The text of the scroll hint for a first visible line (0-based).
  QString ScrollHintText(int firstVisibleLine) const;

 protected:
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void Configure();
  void EnhancedEnd(bool extendSelection);
  bool SmartBackspace();
  void CopyIndentation(int charAdded);
  void ShowScrollHint(int firstVisibleLine);

  QMenu* popup_ = nullptr;
  QPoint hintPosition_;
};

}  // namespace ui
