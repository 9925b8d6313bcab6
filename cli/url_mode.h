#pragma once
// The command-line tool's URL mode: identifies the sites of URLs given as
// arguments (or one per line on standard input, read as the run goes) with
// the window's job per site, and prints one record per URL in input order,
// each as soon as it and every record before it are done.
#include <memory>

#include "cli/options.h"

namespace engine {
class TExtraSignatures;
}

namespace cli {

// Runs URL mode with parsed options. Needs the engine's tables loaded.
// Returns the exit code: 0 when the run completed, 130 when Ctrl-C stopped
// it, 2 for an output or resume file that cannot be used or standard input
// that cannot be read, 1 when the run failed. `extras`: extra signatures for
// the run, or none.
int RunUrlMode(const TCliOptions& options, std::shared_ptr<const engine::TExtraSignatures> extras = nullptr);

}  // namespace cli
