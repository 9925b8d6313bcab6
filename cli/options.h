#pragma once
// Command-line options of lumasift-cli. The parser is driven by a table of
// option specifications (OptionTable), so a new option is one more row and,
// where it needs one, one more field of TCliOptions.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct TCliOptions {
  bool help = false;
  std::optional<std::string> pageFile;     // --page FILE
  std::optional<std::string> headersFile;  // --headers FILE
};

struct TOptionSpec {
  std::string_view name;       // "--page"
  std::string_view valueName;  // "FILE"; empty for a switch
  std::string_view help;
  // Stores the value (empty for a switch); returns an error text or nothing.
  std::optional<std::string> (*apply)(TCliOptions& options, std::string_view value);
};

const std::vector<TOptionSpec>& OptionTable();

struct TParseResult {
  TCliOptions options;
  std::string error;  // empty when the command line is usable
};

// Reads argv[1..]: "--name value", "--name=value" and switches. Arguments
// that are not options are refused (there is no positional argument yet).
TParseResult ParseCommandLine(int argc, const char* const argv[]);

std::string UsageText(std::string_view programName);

}  // namespace cli
