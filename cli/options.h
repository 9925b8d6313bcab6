#pragma once
// Command-line options of lumasift-cli. The parser is driven by a table of
// option descriptions (OptionTable), so a new option is one more row and,
// where it needs one, one more field of TCliOptions.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Output format of URL mode. Xls and Xlsx are workbooks: only into a file.
enum class TFormat { Csv, Txt, Jsonl, Xls, Xlsx };

struct TCliOptions {
  bool help = false;
  bool version = false;
  std::optional<std::string> pageFile;     // --page FILE
  std::optional<std::string> headersFile;  // --headers FILE
  std::optional<std::string> pageUrl;      // --url URL: where the --page came from
  bool checkSignatures = false;            // --check-signatures: the arguments are signature files
  bool extra = false;                      // --extra: the shipped extra signatures
  std::vector<std::string> signatureFiles;  // --signatures FILE, in order

  // URL mode (no --page): the URLs, or none to read them from standard input.
  std::vector<std::string> urls;
  std::string connectTimeout = "5000";     // --connect-timeout MS
  std::string responseTimeout = "5000";    // --response-timeout MS
  std::optional<std::string> userAgent;    // --user-agent TEXT; none: the default agent
  TFormat format = TFormat::Csv;           // --format csv|txt|jsonl|xls|xlsx (--page: txt|jsonl, default txt)
  bool formatGiven = false;
  std::optional<std::string> outputFile;   // --output FILE
  std::optional<std::string> resumeFile;   // --resume FILE
  bool pooled = true;                      // --threads auto|N|1
  int threads = 0;                         //   0: automatic; 1 is not pooled
  std::string proxy = "none";              // --proxy URL|env|none
  std::optional<std::string> proxyUser;    // --proxy-user USER (password: LUMASIFT_PROXY_PASSWORD)
  bool urlOptionGiven = false;             // any of the URL-mode options above
  bool explain = false;                    // --explain: readable evidence, one block per site

  // The run's summary (URL mode), and --summarize: the arguments are earlier
  // outputs of the tool, summed up without fetching anything.
  bool summary = false;                    // --summary: the table on standard error at the end
  std::optional<std::string> summaryOutput;  // --summary-output FILE: the summary as JSON
  bool summarize = false;                  // --summarize FILE...

  // Saved pages instead of URLs: the arguments are page files and folders
  // (--pages) or web archives (--warc); "-" stands for standard input.
  bool pages = false;                      // --pages
  bool warc = false;                       // --warc
  bool allRecords = false;                 // --all-records: every response record / every file in folders
  bool fetchOptionGiven = false;           // time-outs, user agent or proxy: options of fetching only
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

// Reads argv[1..]: "--name value", "--name=value" and switches; every other
// argument (and every argument after "--") is a URL, or with
// --check-signatures a signature file, with --pages a page file or folder,
// with --warc an archive ("-" alone: standard input, also before "--").
// --pages and --warc take the options of URL mode except those of fetching.
// --page excludes URLs and the URL-mode options; --check-signatures excludes both; xls and xlsx need --output;
// --resume takes csv or jsonl and no --output; --summarize takes files and
// only --summary-output.
TParseResult ParseCommandLine(int argc, const char* const argv[]);

std::string UsageText(std::string_view programName);

}  // namespace cli
