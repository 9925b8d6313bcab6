#pragma once
// One budget for the bytes of the page bodies that are in flight at once.
//
// A page costs memory from its first body byte until its text has been
// identified: the body's bytes while they arrive, then its text (two bytes
// per character) and the matchers' copy of it, about three bytes for every
// body byte at the worst moment. Fifty jobs reading 16 MiB bodies at once
// would hold gigabytes, so every page body draws its bytes from one budget
// before it grows: a job whose body needs room that is not there waits until
// other jobs give theirs back. Nothing fails and nothing is dropped; a job
// only waits.
//
// The first bytes of each page (256 KiB: most pages are smaller) are taken
// without waiting, so ordinary pages never queue behind large ones. A body
// that grows beyond them asks for all it may still need at once (its length
// when known, the body cap when not): many large bodies each holding part of
// what they need would share the budget out among them and leave none able
// to finish.
//
// No deadlock: the oldest lease that holds bytes never waits, even when it
// needs more than the whole budget, so one job can always go on and each
// one that ends gives room to the rest. The budget can so be exceeded by the
// part of one page that lies beyond it and by the first bytes of the pages.
//
// Threads: any number of leases on any threads at once.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace fetch {

class PageBudget {
 public:
  // Bytes of each lease that are taken without waiting.
  static constexpr size_t kDefaultFreePerLease = size_t{256} << 10;

  explicit PageBudget(size_t capacityBytes, size_t freePerLease = kDefaultFreePerLease);
  PageBudget(const PageBudget&) = delete;
  PageBudget& operator=(const PageBudget&) = delete;

  // The budget every page fetch of the process draws on: 256 MiB of body
  // bytes (sixteen bodies at the cap), so pages in flight stay below about
  // 800 MB of memory however many jobs run.
  static PageBudget& Shared();
  static constexpr size_t kSharedCapacity = size_t{256} << 20;

  size_t Capacity() const { return capacity_; }
  size_t FreePerLease() const { return freePerLease_; }
  size_t InUse() const;
  // The most bytes held at once since the budget was made or ResetPeak().
  size_t Peak() const;
  void ResetPeak();

 private:
  friend class PageLease;
  const size_t capacity_;
  const size_t freePerLease_;
  mutable std::mutex mutex_;
  std::condition_variable roomMade_;
  size_t inUse_ = 0;
  size_t peak_ = 0;
  uint64_t nextTicket_ = 1;
  std::set<uint64_t> holders_;  // tickets of the leases that hold bytes, oldest first
};

// The bytes of one page, drawn from a budget; all of them go back when the
// lease is released or destroyed. A lease belongs to one thread at a time.
class PageLease {
 public:
  explicit PageLease(PageBudget& budget = PageBudget::Shared());
  ~PageLease();
  PageLease(const PageLease&) = delete;
  PageLease& operator=(const PageLease&) = delete;

  // Holds at least `bytes` in all, waiting while the budget has no room for
  // the difference (see above for who never waits: the oldest holder, a
  // lease alone, and `bytes` within the free part). False, and nothing more
  // held, when `abandon` (may be null) was raised while waiting.
  bool Reserve(size_t bytes, const std::atomic<bool>* abandon);
  size_t Held() const { return held_; }
  PageBudget& Budget() const { return budget_; }
  // Gives every byte back (the lease may be used again afterwards).
  void Release();

 private:
  PageBudget& budget_;
  size_t held_ = 0;
  uint64_t ticket_ = 0;  // 0 while the lease holds nothing
};

// Room in a page body for `total` bytes, drawn from `lease` (may be null: no
// budget) before the body grows; this may wait until other pages give
// memory back. The body grows geometrically up to the body cap, so a long
// one is copied a few times only; `exact` reserves `total` itself (a known
// length). Beyond the lease's free part the lease asks at once for all the
// body may still need: `total` when exact, else the cap. False, and the
// body not grown, when `abandon` rose while waiting.
bool MakeBodyRoom(std::string& body, size_t total, bool exact, PageLease* lease, const std::atomic<bool>* abandon);

}  // namespace fetch
