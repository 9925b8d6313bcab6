#pragma once
// Limits on the expressions of signature files. A user's expression can be
// written so that PCRE2 backtracks for minutes on a long page ("[a-z]*[a-z]*=")
// or keeps a frame per character ("(a|b)*c"); the built-in tables are known
// and run without these limits, so their results never change.
//
// An extra expression is compiled with automatic callouts
// (CompileSignatureRegex(..., true)); each callout counts the work done since
// the last one: one step plus the characters the match moved over, which is
// what a long possessive run or a scan inside one item costs. A search stops
// when it has used its share, when the page's extra expressions together have
// used theirs, or when they have used the page's time on this thread;
// PCRE2's own match, depth and heap limits stay as further fences. A stopped
// search is no match, and the caller reports it: it is never a silent miss.
//
// One TExpressionBudget serves one page on one thread; it is not shared.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

typedef struct pcre2_real_code_16 pcre2_code_16;
typedef struct pcre2_real_match_data_16 pcre2_match_data_16;
struct pcre2_callout_block_16;

namespace engine::detail {

// PCRE2's own limits for an extra expression's search: backtracking steps
// (the interpreter counts them per starting point), nesting depth, and the
// interpreter's heap for its backtracking frames (KiB).
inline constexpr std::uint32_t kExpressionMatchLimit = 10'000'000;
inline constexpr std::uint32_t kExpressionDepthLimit = 250'000;
inline constexpr std::uint32_t kExpressionHeapLimitKiB = 32 * 1024;
// Work units (see above) one search may use, and all searches of one page.
inline constexpr std::uint64_t kExpressionWorkLimit = 100'000'000;
inline constexpr std::uint64_t kPageWorkLimit = 300'000'000;
// Processor time of this thread that the extra expressions of one page may
// take, whatever the work units say (checked about every millisecond of work).
inline constexpr std::chrono::milliseconds kPageTimeLimit{500};

enum class TLimitedOutcome { Match, NoMatch, Stopped };

class TExpressionBudget {
 public:
  TExpressionBudget();
  ~TExpressionBudget();
  TExpressionBudget(const TExpressionBudget&) = delete;
  TExpressionBudget& operator=(const TExpressionBudget&) = delete;

  // Searches `subject` from `start` for an expression compiled for limits,
  // leftmost match first, empty matches refused. After Match, MatchData()
  // holds its offsets.
  TLimitedOutcome Search(const pcre2_code_16* code, std::u16string_view subject, std::size_t start);
  pcre2_match_data_16* MatchData() const { return matchData_; }

  // Whether the page's share (work or time) is used up: a further search
  // would stop at once.
  bool Exhausted();

  // Work units used on this page so far (for tests and the benchmark).
  std::uint64_t Work() const { return work_; }

 private:
  // PCRE2's callout: counts the work and stops the search when it is used up.
  static int Callout(pcre2_callout_block_16* block, void* budget);
  bool TimeUp();

  pcre2_match_data_16* matchData_ = nullptr;  // one per page: its frames go with it
  std::uint64_t work_ = 0;
  std::uint64_t searchEnd_ = 0;    // work_ at which the running search stops
  std::uint64_t nextClock_ = 0;    // work_ at which the clock is read next
  std::uint32_t callouts_ = 0;     // since the clock was last read
  std::size_t lastPosition_ = 0;   // where the previous callout stood
  std::int64_t started_ = -1;      // thread time at the first search; -1: none yet
  bool timeUp_ = false;
};

}  // namespace engine::detail
