// The service tests need an application object: the update check hands its
// important message to the main thread through Qt's event loop.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>

#include "fetch/fetch.h"

int main(int argc, char** argv) {
  // A test server may write to a client that has already given up.
  std::signal(SIGPIPE, SIG_IGN);
  fetch::GlobalInit();
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
