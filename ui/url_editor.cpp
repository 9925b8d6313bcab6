#include "ui/url_editor.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

namespace ui {

namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

qsizetype LeadingBlanks(const QString& text) {
  qsizetype n = 0;
  while (n < text.size() && IsBlank(text.at(n))) ++n;
  return n;
}

QFont EditorFont() {
  QFont font;
  if (QFontDatabase::families().contains(QStringLiteral("Courier New"), Qt::CaseInsensitive))
    font = QFont(QStringLiteral("Courier New"));
  else
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  // 13 pixels at 96 DPI; QScintilla takes sizes in points.
  font.setPointSizeF(13 * 72.0 / 96.0);
  font.setStyleHint(QFont::Monospace);
  return font;
}

}  // namespace

TUrlEditor::TUrlEditor(QWidget* parent) : QsciScintilla(parent) { Configure(); }

void TUrlEditor::Configure() {
  setUtf8(true);
  setFont(EditorFont());
  for (int margin = 0; margin < 5; ++margin) {
    setMarginWidth(margin, 0);
    setMarginLineNumbers(margin, false);
  }
  setFolding(NoFoldStyle);
  setEdgeMode(EdgeNone);
  setWrapMode(WrapNone);
  setWrapVisualFlags(WrapFlagNone, WrapFlagNone);
  setWhitespaceVisibility(WsInvisible);
  setEolVisibility(false);
  setIndentationGuides(false);
  setIndentationsUseTabs(true);
  // Indentation is copied by hand, exactly as the line above has it.
  setAutoIndent(false);
  setBackspaceUnindents(false);
  setCaretLineVisible(false);
  setBraceMatching(NoBraceMatch);
  setAutoCompletionSource(AcsNone);
  SendScintilla(SCI_SETVIRTUALSPACEOPTIONS, static_cast<unsigned long>(SCVS_NONE));
  SendScintilla(SCI_SETRECTANGULARSELECTIONMODIFIER, static_cast<unsigned long>(SCMOD_ALT));
  SendScintilla(SCI_SETMULTIPLESELECTION, 0UL);
  SendScintilla(SCI_SETENDATLASTLINE, 1UL);
  // The horizontal scroll range follows the longest line shown so far.
  SendScintilla(SCI_SETSCROLLWIDTH, 1UL);
  SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1UL);
  SetLineBreakStyle(QStringLiteral("\r\n"));
  setContextMenuPolicy(Qt::DefaultContextMenu);

  connect(this, &QsciScintillaBase::SCN_CHARADDED, this, &TUrlEditor::CopyIndentation);
  QScrollBar* bar = verticalScrollBar();
  connect(bar, &QScrollBar::sliderPressed, this, [this, bar] {
    // The hint stays where it first appears, beside the scroll bar's top.
    hintPosition_ = bar->mapToGlobal(QPoint(-4, 0));
    ShowScrollHint(bar->value());
  });
  connect(bar, &QScrollBar::sliderMoved, this, &TUrlEditor::ShowScrollHint);
  connect(bar, &QScrollBar::sliderReleased, this, [] { QToolTip::hideText(); });
}

int TUrlEditor::LineCount() const { return lines(); }

QString TUrlEditor::Line(int index) const {
  QString line = text(index);
  while (line.endsWith(u'\n') || line.endsWith(u'\r')) line.chop(1);
  return line;
}

void TUrlEditor::SetLineBreakStyle(const QString& lineBreak) {
  if (lineBreak == QLatin1String("\n"))
    setEolMode(EolUnix);
  else if (lineBreak == QLatin1String("\r"))
    setEolMode(EolMac);
  else
    setEolMode(EolWindows);
}

QString TUrlEditor::ScrollHintText(int firstVisibleLine) const {
  const long onScreen = SendScintilla(SCI_LINESONSCREEN);
  const int top = firstVisibleLine + 1;
  const int bottom = static_cast<int>(qMin<long>(firstVisibleLine + onScreen, lines()));
  return QStringLiteral("%1 - %2").arg(top).arg(qMax(top, bottom));
}

void TUrlEditor::ShowScrollHint(int firstVisibleLine) {
  QToolTip::showText(hintPosition_, ScrollHintText(firstVisibleLine), this);
}

bool TUrlEditor::focusNextPrevChild(bool next) {
  // The editor never takes Tab: it moves the focus as in any other field.
  return QWidget::focusNextPrevChild(next);
}

void TUrlEditor::keyPressEvent(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  if (e->key() == Qt::Key_End && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
    EnhancedEnd(mods == Qt::ShiftModifier);
    e->accept();
    return;
  }
  if (e->key() == Qt::Key_Backspace && mods == Qt::NoModifier && SmartBackspace()) {
    e->accept();
    return;
  }
  QsciScintilla::keyPressEvent(e);
}

void TUrlEditor::EnhancedEnd(bool extendSelection) {
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
  long trimmed = end;
  while (trimmed > start) {
    const long c = SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(trimmed - 1));
    if (c != ' ' && c != '\t') break;
    --trimmed;
  }
  const long target = pos != trimmed ? trimmed : end;
  if (extendSelection)
    SendScintilla(SCI_SETCURRENTPOS, static_cast<unsigned long>(target));
  else
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(target));
  SendScintilla(SCI_SCROLLCARET);
  SendScintilla(SCI_CHOOSECARETX);
}

bool TUrlEditor::SmartBackspace() {
  if (hasSelectedText()) return false;
  int line = 0;
  int index = 0;
  getCursorPosition(&line, &index);
  if (index <= 0) return false;
  const QString current = Line(line);
  if (LeadingBlanks(current) < index) return false;
  // Back to the indentation of the nearest line above that is indented less
  // than the caret; to the line's start when there is none.
  qsizetype target = 0;
  for (int above = line - 1; above >= 0; --above) {
    const qsizetype blanks = LeadingBlanks(Line(above));
    if (blanks < index) {
      target = blanks;
      break;
    }
  }
  setSelection(line, static_cast<int>(target), line, index);
  removeSelectedText();
  return true;
}

void TUrlEditor::CopyIndentation(int charAdded) {
  const bool lineBreak =
      (charAdded == '\n') || (charAdded == '\r' && eolMode() == EolMac);
  if (!lineBreak) return;
  int line = 0;
  int index = 0;
  getCursorPosition(&line, &index);
  if (line <= 0) return;
  const QString above = Line(line - 1);
  const QString indentation = above.left(LeadingBlanks(above));
  if (indentation.isEmpty()) return;
  const QByteArray bytes = indentation.toUtf8();
  SendScintilla(SCI_ADDTEXT, static_cast<unsigned long>(bytes.size()), bytes.constData());
}

void TUrlEditor::mousePressEvent(QMouseEvent* e) {
  // A right click leaves the caret and the selection where they are; the
  // context menu event that follows opens the menu.
  if (e->button() == Qt::RightButton) {
    e->accept();
    return;
  }
  QsciScintilla::mousePressEvent(e);
}

void TUrlEditor::contextMenuEvent(QContextMenuEvent* e) {
  if (popup_) popup_->exec(e->globalPos());
  e->accept();
}

void TUrlEditor::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) {
    e->ignore();
    return;
  }
  QsciScintilla::dragEnterEvent(e);
}

void TUrlEditor::dragMoveEvent(QDragMoveEvent* e) {
  if (e->mimeData()->hasUrls()) {
    e->ignore();
    return;
  }
  QsciScintilla::dragMoveEvent(e);
}

void TUrlEditor::dropEvent(QDropEvent* e) {
  if (e->mimeData()->hasUrls()) {
    e->ignore();
    return;
  }
  QsciScintilla::dropEvent(e);
}

}  // namespace ui
