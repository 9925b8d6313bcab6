#include "run/parallel_loop.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace run {

void ParallelFor(long long count, int maxJobs, const std::function<void(long long)>& body,
                 const std::function<bool()>& keepGoing) {
  if (count <= 0) return;
  const long long jobs = std::clamp<long long>(maxJobs, 1, count);

  std::atomic<long long> next{0};
  std::atomic<bool> failed{false};

  auto loopWorker = [&] {
    for (;;) {
      if (failed.load(std::memory_order_acquire)) return;
      if (keepGoing && !keepGoing()) return;
      // One index at a time: a block of several would let a fast thread sit
      // on indexes that an idle thread could already be fetching.
      const long long i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) return;
      try {
        body(i);
      } catch (...) {
        failed.store(true, std::memory_order_release);
        return;
      }
    }
  };

  // The calling thread is the loop's first worker; the others are made here
  // and joined below, so nothing of the loop outlives the call.
  std::vector<std::thread> threads;
  threads.reserve(static_cast<size_t>(jobs - 1));
  for (long long t = 1; t < jobs; ++t) {
    try {
      threads.emplace_back(loopWorker);
    } catch (const std::system_error&) {
      break;  // out of threads: the ones we have share the work
    }
  }
  loopWorker();
  for (auto& t : threads) t.join();

  if (failed.load(std::memory_order_acquire)) throw std::runtime_error(kPooledFailureText);
}

}  // namespace run
