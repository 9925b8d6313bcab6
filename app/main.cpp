// The window program: an application object and the main window.
#include <QApplication>

#include "fetch/fetch.h"
#include "ui/app_form.h"
#include "ui/dialog_pictures.h"

int main(int argc, char** argv) {
  fetch::GlobalInit();  // before Qt or anything else starts a thread
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
