#pragma once
// The command-line tool's URL mode: identifies the sites of URLs given as
// arguments (or one per line on standard input) with the same run core as
// the window, and prints one record per URL in input order, each as soon as
// it and every record before it are done.
#include <memory>

#include "cli/options.h"

namespace engine {
class TExtraSignatures;
}

namespace cli {

// Runs URL mode with parsed options. Needs a QCoreApplication on the calling
// (main) thread and the engine's tables loaded. Returns the exit code: 0
// when the run completed, 130 when Ctrl-C stopped it, 2 for an output file
// that cannot be written, 1 when the run failed. `extras`: extra signatures
// for the run, or none.
int RunUrlMode(const TCliOptions& options, std::shared_ptr<const engine::TExtraSignatures> extras = nullptr);

}  // namespace cli
