// lumasift-cli: identifies the platforms of web sites from the command line.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#include "cli/url_mode.h"
#include "engine/identify.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList arguments = QCoreApplication::arguments();
  arguments.removeFirst();
  if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
    std::fputs(cli::UrlModeUsage().toLocal8Bit().constData(), stdout);
    return 0;
  }
  engine::LoadPlatformInformation();
  return cli::RunUrlMode(arguments);
}
