#pragma once
// The language dialog: the user picks the interface language from the
// language files found at start, sees who translated it and, when the choice
// differs from the one the dialog opened with, confirms a restart.
//
// Opened modally by the window, a new dialog each time. A confirmed change
// hands "<Name>.lang.txt" to the window's SetLanguageFile, writes start.sh
// into the data folder and calls StartAndQuit, which by default starts the
// script detached and ends the program's event loop (the window's close
// handling does not run, so the URL list is not saved).

#include <QDialog>
#include <QString>

#include <functional>

class QComboBox;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;

namespace ui {

struct TTranslateFormHost {
  // The window's SetLanguageFile; called with the chosen file name.
  std::function<void(const QString& Filename)> SetLanguageFile;
  // Where start.sh goes.
  QString DataFolder;
  // The program that start.sh starts; empty: the running program.
  QString ProgramPath;
  // Said below the restart question (what the restart does to unsaved
  // work); empty: nothing.
  QString RestartNote;
  // Starts the written script and ends the program. Empty: StartRestartScript
  // in the data folder, then QCoreApplication::exit(0).
  std::function<void(const QString& scriptPath)> StartAndQuit;
};

class TTranslateForm : public QDialog {
  Q_OBJECT

 public:
  explicit TTranslateForm(TTranslateFormHost host, QWidget* parent = nullptr);

  // The language selected when the dialog finished opening.
  QString OpenedLanguage() const { return openedLanguage_; }

  // Refreshes the translators box for the selected language.
  void ComboBox1Change();
  // OK: closes when the choice is unchanged, else asks and restarts.
  void Button1Click();
  void Label3Click();
  void Copy1Click();
  void SelectAll1Click();

  // The item data role that holds each language's flag name ("de", "xx").
  static constexpr int kFlagRole = Qt::UserRole + 1;
  // The role that holds each language's name in itself ("Deutsch"), which
  // the list shows; the item texts are the language files' names ("German").
  static constexpr int kOwnNameRole = Qt::UserRole + 2;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void AddLanguage(const QString& name);

  TTranslateFormHost host_;
  QString openedLanguage_;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QPlainTextEdit* RichEdit1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* SelectAll1 = nullptr;
  QPushButton* Button1 = nullptr;
};

}  // namespace ui
