// The shared budget for page bodies in flight: who waits, who never does,
// and page fetches that draw on a small budget still reading every byte.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fetch/body_decoding.h"
#include "fetch/fetch.h"
#include "fetch/page_budget.h"
#include "fetch_test_util.h"
#include "support/loopback_server.h"

using namespace std::chrono_literals;
using fetch::PageBudget;
using fetch::PageLease;

namespace {

// Small budgets without a free part unless a test says otherwise.
TEST(PageBudget, ALeaseBeyondTheBudgetWaitsUntilAnotherGivesItsBytesBack) {
  PageBudget budget(10, 0);
  PageLease first(budget);
  ASSERT_TRUE(first.Reserve(6, nullptr));
  std::atomic<bool> secondHasRoom{false};
  std::thread waiter([&] {
    PageLease second(budget);
    EXPECT_TRUE(second.Reserve(6, nullptr));
    secondHasRoom = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(secondHasRoom.load());
  first.Release();
  waiter.join();
  EXPECT_TRUE(secondHasRoom.load());
  EXPECT_EQ(budget.Peak(), 6u);
  EXPECT_EQ(budget.InUse(), 0u);
}

TEST(PageBudget, TheOldestHolderAndALonelyLeaseNeverWait) {
  PageBudget budget(10, 0);
  {
    // Alone, a lease takes more than the whole budget.
    PageLease alone(budget);
    EXPECT_TRUE(alone.Reserve(100, nullptr));
    EXPECT_EQ(budget.InUse(), 100u);
  }
  PageLease older(budget);
  PageLease younger(budget);
  ASSERT_TRUE(older.Reserve(4, nullptr));
  ASSERT_TRUE(younger.Reserve(4, nullptr));
  // Both hold bytes and want more than is left: the older one goes on, or
  // the two would wait for each other for ever.
  EXPECT_TRUE(older.Reserve(20, nullptr));
  std::thread waiter([&] { EXPECT_TRUE(younger.Reserve(8, nullptr)); });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(younger.Held(), 4u);
  older.Release();
  waiter.join();
  EXPECT_EQ(younger.Held(), 8u);
}

TEST(PageBudget, TheFirstBytesOfEveryLeaseNeverWait) {
  PageBudget budget(10, 4);
  PageLease older(budget);
  ASSERT_TRUE(older.Reserve(10, nullptr));
  // The budget is full, yet up to 4 bytes of a younger lease are taken.
  PageLease younger(budget);
  EXPECT_TRUE(younger.Reserve(4, nullptr));
  EXPECT_EQ(budget.InUse(), 14u);
  std::atomic<bool> abandon{true};
  EXPECT_FALSE(younger.Reserve(5, &abandon));
  EXPECT_EQ(younger.Held(), 4u);
}

TEST(PageBudget, AbandonEndsAWaitWithNothingMoreHeld) {
  PageBudget budget(10, 0);
  PageLease holder(budget);
  ASSERT_TRUE(holder.Reserve(10, nullptr));
  std::atomic<bool> abandon{false};
  PageLease waiting(budget);
  std::thread raiser([&] {
    std::this_thread::sleep_for(100ms);
    abandon = true;
  });
  EXPECT_FALSE(waiting.Reserve(5, &abandon));
  raiser.join();
  EXPECT_EQ(waiting.Held(), 0u);
  EXPECT_EQ(budget.InUse(), 10u);
}

TEST(PageBudget, ManyLeasesGrowingAtOnceAllFinishWithinTheBudgetAndOnePage) {
  constexpr size_t kCapacity = 1000;
  constexpr size_t kPage = 800;
  PageBudget budget(kCapacity, 0);
  std::vector<std::thread> threads;
  std::atomic<int> pagesDone{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 10; ++round) {
        PageLease lease(budget);
        for (size_t held = 100; held <= kPage; held += 100) {
          ASSERT_TRUE(lease.Reserve(held, nullptr));
          std::this_thread::yield();
        }
        pagesDone.fetch_add(1);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(pagesDone.load(), 8 * 10);
  EXPECT_LE(budget.Peak(), kCapacity + kPage);
  EXPECT_EQ(budget.InUse(), 0u);
}

// Eight pages of 3 MiB at once, half of them without a length (they ask for
// the whole body cap once past the free part): every page is read whole,
// while the bytes held at once stay within the budget and one page.
TEST(PageBudget, PageFetchesOnASmallBudgetReadEveryByte) {
  constexpr size_t kBody = size_t{3} << 20;
  std::string body;
  for (size_t i = 0; body.size() < kBody; ++i) body += "<p>line " + std::to_string(i) + "</p>\n";
  body.resize(kBody - 1);
  body += '\n';
  const std::u16string expected = fetch::NormaliseLines(fetchtest::Utf16(body));

  testsupport::LoopbackServer server;
  server.Route("/endless", testsupport::Reply::UntilClose(200, body, {{"Content-Type", "text/html"}}));
  server.Route("/sized", testsupport::Reply::Status(200, body, {{"Content-Type", "text/html"}}));
  PageBudget budget(size_t{20} << 20);
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (size_t i = 0; i < wrong.size(); ++i)
    threads.emplace_back([&, i] {
      PageLease lease(budget);
      fetch::RequestSettings settings = fetchtest::Settings();
      settings.pageLease = &lease;
      const std::u16string text =
          fetch::GetPageText(fetchtest::Utf16(server.Url(i % 2 ? "/endless" : "/sized")), settings);
      wrong[i] = text != expected;
    });
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < wrong.size(); ++i) EXPECT_EQ(wrong[i], 0) << i;
  // Unbounded, the eight would hold 4 x 16 + 4 x 3 MiB.
  EXPECT_LE(budget.Peak(), budget.Capacity() + fetch::kMaxBodyBytes + wrong.size() * budget.FreePerLease());
  EXPECT_EQ(budget.InUse(), 0u);
}

}  // namespace
