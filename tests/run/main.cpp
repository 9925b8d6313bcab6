// Runs hand their steps to the main thread's event loop, so these tests need
// an application object and run on the main thread.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "engine/identify.h"
#include "fetch/fetch.h"

int main(int argc, char** argv) {
  fetch::GlobalInit();
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  engine::LoadPlatformInformation();
  return RUN_ALL_TESTS();
}
