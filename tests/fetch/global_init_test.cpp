// libcurl must be started once in main(), before any thread: started lazily
// by the first fetch, it ran on a job thread while others could already be
// using libcurl, and left OpenSSL state of that thread behind. A program that
// forgets it is stopped at its first fetch with a message saying so.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fetch_test_util.h"

namespace {

// Run only inside the child started below.
TEST(GlobalInitProbe, FetchOnce) {
  if (std::getenv("LUMASIFT_TEST_WITHOUT_GLOBAL_INIT") == nullptr) GTEST_SKIP() << "runs in a child only";
  // Port 9 on loopback: nothing has to answer; the fetch must not get that far.
  fetchtest::Page("http://127.0.0.1:9/");
  std::puts("the fetch ran");
}

TEST(GlobalInit, AFetchInAProgramThatDidNotStartLibcurlEndsItWithAMessage) {
  const std::string command =
      "LUMASIFT_TEST_WITHOUT_GLOBAL_INIT=1 /proc/" + std::to_string(::getpid()) +
      "/exe --gtest_filter=GlobalInitProbe.FetchOnce 2>&1";
  FILE* child = ::popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr);
  std::string output;
  std::array<char, 4096> buffer;
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), child)) output.append(buffer.data(), n);
  const int status = ::pclose(child);
  EXPECT_NE(output.find("fetch::GlobalInit() was not called from main() before the first request"), std::string::npos)
      << output;
  EXPECT_EQ(output.find("the fetch ran"), std::string::npos) << output;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << output;
}

}  // namespace
