// The fetch tests start libcurl as every program that fetches must: once, in
// main(), before any thread. (One test runs this program again without it,
// to see that a fetch then stops the program instead of starting libcurl on
// whatever thread it runs on.)
#include <gtest/gtest.h>

#include <cstdlib>

#include "fetch/fetch.h"

int main(int argc, char** argv) {
  if (std::getenv("LUMASIFT_TEST_WITHOUT_GLOBAL_INIT") == nullptr) fetch::GlobalInit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
