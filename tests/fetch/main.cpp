// The fetch tests start libcurl as every program that fetches must: once, in
// main(), before any thread.
#include <gtest/gtest.h>

#include "fetch/fetch.h"

int main(int argc, char** argv) {
  fetch::GlobalInit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
