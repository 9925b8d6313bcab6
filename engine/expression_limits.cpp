#include "engine/expression_limits.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <ctime>

namespace engine::detail {

namespace {

// How much work passes between two readings of the clock: about a
// millisecond, so that reading it costs nothing worth measuring; and at most
// this many callouts, for work that a callout does not see (a back reference
// compared at length and failing does not move the match).
constexpr std::uint64_t kClockInterval = 1'000'000;
constexpr std::uint32_t kClockCallouts = 4096;

// A match context per thread with the limits and the callout; only the
// callout's data changes from one search to the next.
struct TLimitedContext {
  pcre2_match_context* context = nullptr;
  TLimitedContext() {
    context = pcre2_match_context_create(nullptr);
    if (context == nullptr) return;
    pcre2_set_match_limit(context, kExpressionMatchLimit);
    pcre2_set_depth_limit(context, kExpressionDepthLimit);
    pcre2_set_heap_limit(context, kExpressionHeapLimitKiB);
  }
  ~TLimitedContext() { pcre2_match_context_free(context); }
  TLimitedContext(const TLimitedContext&) = delete;
  TLimitedContext& operator=(const TLimitedContext&) = delete;
};

std::int64_t ThreadNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

TExpressionBudget::TExpressionBudget() = default;

TExpressionBudget::~TExpressionBudget() {
  if (matchData_ != nullptr) pcre2_match_data_free(matchData_);
}

bool TExpressionBudget::TimeUp() {
  if (!timeUp_) {
    timeUp_ = ThreadNanoseconds() - started_ >
              std::chrono::duration_cast<std::chrono::nanoseconds>(kPageTimeLimit).count();
  }
  return timeUp_;
}

bool TExpressionBudget::Exhausted() {
  if (started_ < 0) started_ = ThreadNanoseconds();
  return work_ >= kPageWorkLimit || TimeUp();
}

int TExpressionBudget::Callout(pcre2_callout_block_16* block, void* data) {
  auto& budget = *static_cast<TExpressionBudget*>(data);
  const std::size_t at = block->current_position;
  budget.work_ += 1 + (at > budget.lastPosition_ ? at - budget.lastPosition_ : budget.lastPosition_ - at);
  budget.lastPosition_ = at;
  if (budget.work_ >= budget.searchEnd_) return PCRE2_ERROR_CALLOUT;
  if (budget.work_ >= budget.nextClock_ || ++budget.callouts_ >= kClockCallouts) {
    budget.nextClock_ = budget.work_ + kClockInterval;
    budget.callouts_ = 0;
    if (budget.TimeUp()) return PCRE2_ERROR_CALLOUT;
  }
  return 0;
}

TLimitedOutcome TExpressionBudget::Search(const pcre2_code_16* code, std::u16string_view subject, std::size_t start) {
  thread_local TLimitedContext limited;
  if (Exhausted()) return TLimitedOutcome::Stopped;
  if (matchData_ == nullptr) matchData_ = pcre2_match_data_create(1, nullptr);
  if (matchData_ == nullptr || limited.context == nullptr) return TLimitedOutcome::Stopped;
  pcre2_set_callout(limited.context, &TExpressionBudget::Callout, this);
  searchEnd_ = std::min(work_ + kExpressionWorkLimit, kPageWorkLimit);
  nextClock_ = std::min(nextClock_, work_ + kClockInterval);
  const auto run = [&](std::uint32_t options) {
    lastPosition_ = start;
    return pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), start,
                       PCRE2_NOTEMPTY | options, matchData_, limited.context);
  };
  int rc = run(0);
  // JIT's own stack is small; the interpreter goes on within the heap limit.
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = run(PCRE2_NO_JIT);
  if (rc >= 0) return TLimitedOutcome::Match;
  if (rc == PCRE2_ERROR_NOMATCH) return TLimitedOutcome::NoMatch;
  // A limit of ours or of PCRE2's, or memory that was not there: undecided.
  return TLimitedOutcome::Stopped;
}

}  // namespace engine::detail
