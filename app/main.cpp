// The window program: an application object and the main window.
#include <QApplication>

#include "ui/app_form.h"
#include "ui/dialog_pictures.h"

int main(int argc, char** argv) {
  // A second copy runs as well as the first; the named mutex that marks a
  // running copy on Windows has no counterpart needed here.
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumasift"));
  QApplication::setOrganizationName(QStringLiteral(LUMASIFT_COMPANY));
  QGuiApplication::setDesktopFileName(QStringLiteral("lumasift"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("lumasift"), ui::ProgramIcon()));

  ui::TAppForm form;
  form.show();
  return app.exec();
}
