#include "fetch/page_budget.h"

#include <algorithm>
#include <chrono>

#include "fetch/body_decoding.h"

namespace fetch {
namespace {

// How often a waiting lease looks at its abandon flag.
constexpr auto kAbandonPoll = std::chrono::milliseconds(100);
// A page body's first allocation when its length is not known; it then
// doubles up to the cap.
constexpr size_t kFirstBodyBlock = size_t{64} << 10;

}  // namespace

PageBudget::PageBudget(size_t capacityBytes, size_t freePerLease)
    : capacity_(capacityBytes), freePerLease_(freePerLease) {}

PageBudget& PageBudget::Shared() {
  static PageBudget budget(kSharedCapacity);
  return budget;
}

size_t PageBudget::InUse() const {
  std::lock_guard lock(mutex_);
  return inUse_;
}

size_t PageBudget::Peak() const {
  std::lock_guard lock(mutex_);
  return peak_;
}

void PageBudget::ResetPeak() {
  std::lock_guard lock(mutex_);
  peak_ = inUse_;
}

PageLease::PageLease(PageBudget& budget) : budget_(budget) {}

PageLease::~PageLease() { Release(); }

bool PageLease::Reserve(size_t bytes, const std::atomic<bool>* abandon) {
  if (bytes <= held_) return true;
  const size_t more = bytes - held_;
  std::unique_lock lock(budget_.mutex_);
  for (;;) {
    const bool oldest = ticket_ != 0 && *budget_.holders_.begin() == ticket_;
    const bool alone = budget_.holders_.empty();
    if (oldest || alone || bytes <= budget_.freePerLease_ || budget_.inUse_ + more <= budget_.capacity_) break;
    if (abandon && abandon->load()) return false;
    budget_.roomMade_.wait_for(lock, kAbandonPoll);
  }
  if (ticket_ == 0) {
    ticket_ = budget_.nextTicket_++;
    budget_.holders_.insert(ticket_);
  }
  budget_.inUse_ += more;
  budget_.peak_ = std::max(budget_.peak_, budget_.inUse_);
  held_ = bytes;
  return true;
}

void PageLease::Release() {
  if (ticket_ == 0) return;
  {
    std::lock_guard lock(budget_.mutex_);
    budget_.inUse_ -= held_;
    budget_.holders_.erase(ticket_);
  }
  held_ = 0;
  ticket_ = 0;
  budget_.roomMade_.notify_all();
}

bool MakeBodyRoom(std::string& body, size_t total, bool exact, PageLease* lease, const std::atomic<bool>* abandon) {
  if (total <= body.capacity()) return true;
  const size_t size = exact ? total : std::min(std::max({total, 2 * body.capacity(), kFirstBodyBlock}), kMaxBodyBytes);
  if (lease) {
    const size_t free = lease->Budget().FreePerLease();
    if (!lease->Reserve(exact || size <= free ? size : kMaxBodyBytes, abandon)) return false;
  }
  body.reserve(size);
  return true;
}

}  // namespace fetch
