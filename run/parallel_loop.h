#pragma once
// The parallel loop of a pooled run: a small pool of our own threads, made
// for one loop and joined before the loop returns.
#include <functional>
#include <stdexcept>

namespace run {

// The text a pooled run fails with when any body threw.
inline constexpr const char* kPooledFailureText = "One or more errors occurred";

// Runs body(i) for every i in [0, count) on up to `maxJobs` threads at once
// (at least one; never more threads than indexes). Indexes are handed out in
// ascending order, one at a time, from one shared counter; each is handed out
// at most once and run at most once. `keepGoing` is asked before every index
// is taken: once it says false no further index is handed out, and bodies
// already running complete. Returns when every thread has ended, that is
// when every body that began has returned; an empty range returns at once
// and makes no thread.
//
// When a body throws, no further index is handed out, the bodies already
// running complete, and the loop then throws std::runtime_error with
// kPooledFailureText (the bodies' own exceptions are not passed on: several
// may have failed at once).
void ParallelFor(long long count, int maxJobs, const std::function<void(long long)>& body,
                 const std::function<bool()>& keepGoing = {});

}  // namespace run
