#pragma once
// A seam for tests: a function every job calls right after its start
// hand-over (in a stream run: right after it takes its record), on the job's
// thread. Tests make it throw to see how a run ends
// when an exception escapes a job. Null (the default) in the programs.
#include <QString>

namespace run::testing {

using JobHook = void (*)(int index, const QString& url);
void SetJobHook(JobHook hook);
JobHook CurrentJobHook();

}  // namespace run::testing
