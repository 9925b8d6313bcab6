#pragma once
// "Show Evidence...": why a finished row got its platforms text. Lists each
// finding (platform, how it was found, the match highlighted inside its
// context, the version when known); for an "Error: " row the error and the
// URL the fetch ended at, where known. Copy puts the same as text on the
// clipboard (run::ExplainText, as the command-line tool's --explain prints
// it); Close ends the dialog. Main thread only.
#include <QDialog>
#include <QPalette>

#include "run/run_host.h"

class QTextBrowser;

namespace ui {

class TEvidenceDialog : public QDialog {
  Q_OBJECT
 public:
  // Keeps a copy of the record: the list may change while the dialog is open.
  explicit TEvidenceDialog(const run::TWorkRecord& record, QWidget* parent = nullptr);

  // The dialog's body as HTML (what the view shows) and the text Copy puts
  // on the clipboard.
  QString BodyHtml() const;
  QString CopyText() const;

 private:
  run::TWorkRecord record_;
  QTextBrowser* view_ = nullptr;
};

// "expression 2 (my.txt line 7) stopped at its limit" in the chosen language.
QString StoppedExpressionText(const engine::TStoppedExpression& stopped);

// The style of the highlighted match under `palette`: background and text
// colour both set, at a contrast of at least 4.5:1.
QString HighlightStyle(const QPalette& palette);

// The tooltip of a finished row's Platforms cell: its versions ("Versions:"
// and one "Name 1.2" per line), or empty when none is known.
QString VersionsToolTip(const run::TWorkRecord& record);

}  // namespace ui
