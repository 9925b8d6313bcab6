// The ui tests drive real widgets, so they need an application object; CTest
// runs them on Qt's offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

#include "fetch/fetch.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  fetch::GlobalInit();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumasift"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
