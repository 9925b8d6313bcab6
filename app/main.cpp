// The window program: an application object and the main window.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

#include "fetch/fetch.h"
#include "i18n/language.h"
#include "i18n/program_layout.h"
#include "services/identity.h"
#include "services/standard_descriptors.h"
#include "ui/app_form.h"
#include "ui/dialog_pictures.h"
#include "ui/message_dialog.h"

namespace {

void Print(FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

// --check-installation: the window starts as it always does (data folder,
// settings, saved list, language) but without the update check, so nothing
// leaves the machine; once its first timer has run the program prints what
// start-up found and ends without saving the list. A message box start-up
// would have shown is printed instead of shown. Exit status 0 when the
// language folder holds language files and nothing was reported.
int CheckInstallation(QApplication& app) {
  ui::TMessageBoxSeam::Activate();
  ui::TAppFormOptions options;
  options.updateCheck = false;
  ui::TAppForm form(options);
  form.show();
  // The window's own one-shot timer (1 ms) and anything start-up posted
  // run before the loop ends.
  QTimer::singleShot(100, &app, [&app] { app.exit(0); });
  app.exec();

  const QStringList files = i18n::LanguageFiles();
  Print(stdout, QStringLiteral("Program folder: %1\n").arg(i18n::ProgramFolder()));
  Print(stdout, QStringLiteral("Shipped files: %1\n").arg(i18n::ShippedFilesFolder()));
  Print(stdout, QStringLiteral("Data folder: %1\n").arg(form.DataFolder()));
  Print(stdout, QStringLiteral("Language folder: %1\n").arg(i18n::LanguageFolder()));
  Print(stdout, QStringLiteral("Language files: %1\n").arg(files.join(QStringLiteral(", "))));
  Print(stdout, QStringLiteral("Language: %1\n")
                    .arg(i18n::LanguageName().isEmpty() ? QStringLiteral("English") : i18n::LanguageName()));
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  for (const ui::TShownMessage& message : shown) Print(stderr, QStringLiteral("lumasift: %1\n").arg(message.text));
  ui::TMessageBoxSeam::Deactivate();
  if (files.isEmpty()) Print(stderr, QStringLiteral("lumasift: no language files found\n"));
  return files.isEmpty() || !shown.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything opens a descriptor: a closed standard error would
  // otherwise be taken by a file the program writes, and get its messages.
  services::OpenStandardDescriptors();
  fetch::GlobalInit();  // before Qt or anything else starts a thread

  // The options are read before the application object exists, so that
  // --help and --version work without a display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption check(QStringLiteral("check-installation"));
  parser.addOptions({help, version, check});
  // Arguments the program does not know (the toolkit's own among them) are
  // ignored here, as they always were: the window starts whatever else the
  // command line holds.
  parser.parse(arguments);
  if (parser.isSet(help)) {
    Print(stdout, QStringLiteral(
                      "Usage: lumasift [--check-installation] [toolkit options]\n"
                      "Tells which web platform each site in a list runs on.\n\n"
                      "Options:\n"
                      "  -h, --help            show this help and exit\n"
                      "  --version             show the program's version and exit\n"
                      "  --check-installation  start the window without the update check, print the\n"
                      "                        folders and languages it found, and exit (0: language\n"
                      "                        files found and no problem reported)\n"));
    return 0;
  }
  if (parser.isSet(version)) {
    Print(stdout, QStringLiteral("lumasift %1\n").arg(services::ReadVersionInformation().ProductVersion));
    return 0;
  }

  // A second copy runs as well as the first; the named mutex that marks a
  // running copy on Windows has no counterpart needed here.
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumasift"));
  QApplication::setOrganizationName(QStringLiteral(LUMASIFT_COMPANY));
  QGuiApplication::setDesktopFileName(QStringLiteral(LUMASIFT_APP_ID));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("lumasift"), ui::ProgramIcon()));
  if (parser.isSet(check)) return CheckInstallation(app);

  ui::TAppForm form;
  form.show();
  return app.exec();
}
