#pragma once
// The program's open and save dialogs, and a seam through which tests give
// "the next file name" instead of a person picking one.
//
// Filter lists are written as pairs of description and pattern separated by
// vertical bars ("Text File|*.txt|Any File|*.*"). A dialog object may be kept
// and shown again: it offers the last chosen name the next time.
//
// Tests: after TFileDialogSeam::SetNextFileName(name) the next ExecFileDialog
// shows nothing and returns that name (the default extension appended when
// the name has none, as the dialog does), after SetNextCancel() it returns
// an empty text. Each such call is recorded. Main thread only.
#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace ui {

// "Text File|*.txt|Any File|*.*" -> {"Text File (*.txt)", "Any File (*.*)"}.
QStringList NameFiltersFromPairs(const QString& pairs);

// The name a save dialog offers for a new export when `name` was chosen
// before: kept when its extension is one the filters list ("*.*" aside),
// else with its extension replaced by (or, without one, followed by) the
// default suffix: "out.txt" for CSV offers "out.csv".
QString NameForFormat(const QString& name, const QString& defaultSuffix, const QString& filterPairs);

// Sets up a dialog the way the program's open and save dialogs are: modal,
// resizable, overwrite confirmation for saving, read-only box hidden.
void PrepareFileDialog(QFileDialog& dialog, QFileDialog::AcceptMode mode, const QString& defaultSuffix,
                       const QString& filterPairs);

// Shows the dialog; the chosen file's path, or an empty text when the user
// cancelled. The dialog keeps the chosen name for next time.
QString ExecFileDialog(QFileDialog& dialog);

struct TFileDialogCall {
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  QString defaultSuffix;
  QStringList nameFilters;
  QString offeredName;  // the name the dialog would have offered
  QString result;
};

class TFileDialogSeam {
 public:
  static void SetNextFileName(const QString& name);
  static void SetNextCancel();
  static bool Pending();
  static std::vector<TFileDialogCall> TakeCalls();
  static void Reset();
};

}  // namespace ui
