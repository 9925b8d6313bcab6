// The pooled run's loop on its own: hand-out order, exactly-once, the limit
// of jobs at once, stopping and failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "run/parallel_loop.h"

namespace {

// Counts bodies running at once.
struct Concurrency {
  std::atomic<int> now{0};
  std::atomic<int> most{0};
  void Enter() {
    const int n = now.fetch_add(1) + 1;
    int seen = most.load();
    while (n > seen && !most.compare_exchange_weak(seen, n)) {
    }
  }
  void Leave() { now.fetch_sub(1); }
};

}  // namespace

TEST(ParallelFor, EveryIndexOnceInAscendingHandOutWithinTheLimit) {
  for (int jobs : {1, 3, 8}) {
    constexpr long long kCount = 40;
    std::mutex mutex;
    std::vector<long long> started;
    std::map<std::thread::id, std::vector<long long>> perThread;
    std::vector<std::atomic<int>> runs(kCount);
    Concurrency c;
    run::ParallelFor(kCount, jobs, [&](long long i) {
      c.Enter();
      {
        std::lock_guard lock(mutex);
        started.push_back(i);
        perThread[std::this_thread::get_id()].push_back(i);
      }
      runs[static_cast<size_t>(i)].fetch_add(1);
      // The first bodies wait for one another, so the limit is reached
      // however slowly the threads come up.
      for (int w = 0; w < 2000 && c.most.load() < jobs; ++w) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      c.Leave();
    });
    for (long long i = 0; i < kCount; ++i) EXPECT_EQ(runs[static_cast<size_t>(i)].load(), 1) << i;
    EXPECT_EQ(c.most.load(), jobs);
    // Handed out in ascending order from one counter: every thread sees its
    // indexes rising; with one job the whole run is in index order.
    for (const auto& [thread, indexes] : perThread)
      EXPECT_TRUE(std::is_sorted(indexes.begin(), indexes.end()));
    if (jobs == 1) {
      for (size_t k = 0; k < started.size(); ++k) EXPECT_EQ(started[k], static_cast<long long>(k));
    }
  }
}

TEST(ParallelFor, NoMoreThreadsThanIndexesAndNothingForAnEmptyRange) {
  int calls = 0;
  run::ParallelFor(0, 10, [&](long long) { ++calls; });
  EXPECT_EQ(calls, 0);

  Concurrency c;
  run::ParallelFor(2, 50, [&](long long) {
    c.Enter();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    c.Leave();
  });
  EXPECT_EQ(c.most.load(), 2);

  // A single index runs on the calling thread, as a sequential run would.
  std::thread::id where;
  run::ParallelFor(1, 8, [&](long long) { where = std::this_thread::get_id(); });
  EXPECT_EQ(where, std::this_thread::get_id());
}

TEST(ParallelFor, KeepGoingFalseHandsOutNoFurtherIndex) {
  std::atomic<int> calls{0};
  std::atomic<bool> go{true};
  run::ParallelFor(
      100, 4,
      [&](long long) {
        if (calls.fetch_add(1) + 1 == 10) go.store(false);
      },
      [&] { return go.load(); });
  EXPECT_GE(calls.load(), 10);
  EXPECT_LE(calls.load(), 13);  // only the other three workers' indexes in hand
}

TEST(ParallelFor, ABodyThatThrowsFailsTheLoopAfterTheOthersComplete) {
  std::atomic<int> completed{0};
  std::atomic<int> started{0};
  try {
    run::ParallelFor(50, 4, [&](long long i) {
      started.fetch_add(1);
      if (i == 2) throw std::logic_error("body failed");
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      completed.fetch_add(1);
    });
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "One or more errors occurred");
  }
  // Every body that began, except the failing one, ran to its end, and the
  // loop stopped handing out indexes.
  EXPECT_EQ(completed.load(), started.load() - 1);
  EXPECT_LT(started.load(), 50);
}
