#include "cli/options.h"

namespace cli {

const std::vector<TOptionSpec>& OptionTable() {
  static const std::vector<TOptionSpec> table = {
      {"--page", "FILE", "identify the saved page FILE (its bytes: UTF-8 when valid, else ISO-8859-1)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.pageFile = std::string(v);
         return std::nullopt;
       }},
      {"--headers", "FILE", "response header lines for the page, one per line (optional)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.headersFile = std::string(v);
         return std::nullopt;
       }},
      {"--help", "", "show this help and exit",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.help = true;
         return std::nullopt;
       }},
  };
  return table;
}

TParseResult ParseCommandLine(int argc, const char* const argv[]) {
  TParseResult result;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    const TOptionSpec* spec = nullptr;
    for (const auto& s : OptionTable()) {
      if (s.name == name) spec = &s;
    }
    if (spec == nullptr) {
      result.error = arg.starts_with("-") ? "unknown option " + std::string(arg)
                                          : "unexpected argument " + std::string(arg);
      return result;
    }
    std::string_view value;
    if (!spec->valueName.empty()) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        result.error = std::string(spec->name) + " needs " + std::string(spec->valueName);
        return result;
      }
    } else if (inlineValue) {
      result.error = std::string(spec->name) + " takes no value";
      return result;
    }
    if (auto error = spec->apply(result.options, value)) {
      result.error = *error;
      return result;
    }
  }
  if (!result.options.help && !result.options.pageFile) result.error = "--page FILE is required";
  return result;
}

std::string UsageText(std::string_view programName) {
  std::string text = "Usage: " + std::string(programName) + " --page FILE [--headers FILE]\n\n"
                     "Prints the platforms that the saved page (and its response headers) show,\n"
                     "joined by \", \", followed by one line feed.\n\nOptions:\n";
  for (const auto& spec : OptionTable()) {
    std::string left = "  " + std::string(spec.name);
    if (!spec.valueName.empty()) left += " " + std::string(spec.valueName);
    if (left.size() < 20) left.resize(20, ' ');
    text += left + " " + std::string(spec.help) + "\n";
  }
  text += "\nExit status: 0 identified, 2 a file could not be read or the command line is wrong.\n";
  return text;
}

}  // namespace cli
