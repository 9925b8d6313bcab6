#pragma once
// Everything the tool prints on standard output goes through here, so that
// no write error is lost: records printed to a full disk, /dev/full or a
// file system that fails at close are reported and end the tool with exit
// code 2, as an --output file that cannot be written does.
#include <string>
#include <string_view>

namespace cli {

// Writes all of `bytes` at once (no buffer to flush later). False when this
// or an earlier write failed: after the first failure nothing more is
// written.
bool PrintOut(std::string_view bytes);

// Whether a write failed, and its message ("Error writing standard output:
// No space left on device"); the caller that shows it says so with `told`.
bool OutputFailed();
std::string OutputFailure(bool told = true);

// Last thing main() does: closes standard output (whose close may report a
// failure of its own) and puts /dev/null in its place. Returns `code`, or 2
// after showing the failure on standard error when a write or the close
// failed and nobody has shown it yet.
int EndOutput(int code);

}  // namespace cli
