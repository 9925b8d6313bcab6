#include "cli/options.h"

#include <algorithm>
#include <charconv>

#include "fetch/proxy.h"

namespace cli {

namespace {

std::optional<long long> Number(std::string_view text) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> Milliseconds(std::string& field, std::string_view name, std::string_view v) {
  const auto value = Number(v);
  if (!value || *value < 0 || *value > 2147483647)
    return std::string(name) + " takes milliseconds (0 or more), not \"" + std::string(v) + "\"";
  field = std::string(v);
  return std::nullopt;
}

// What --pages, --warc and --all-records do not go with.
std::string SavedPagesError(const TCliOptions& o) {
  const char* name = o.pages ? "--pages" : "--warc";
  if (o.pages && o.warc) return "--pages and --warc exclude each other";
  if (o.allRecords && !o.pages && !o.warc) return "--all-records needs --pages or --warc";
  if (!o.pages && !o.warc) return {};
  if (o.pageFile || o.headersFile || o.checkSignatures || o.summarize)
    return std::string(name) + " excludes --page, --headers, --check-signatures and --summarize";
  if (o.fetchOptionGiven)
    return std::string(name) + " reads no site: it takes no time-out, user agent or proxy";
  if (o.urls.empty())
    return o.pages ? "--pages needs page files or folders, or - for names on standard input"
                   : "--warc needs archive files, or - for standard input";
  return {};
}

}  // namespace

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
      {"--url", "URL", "with --page: the address the page came from (extras: tells its links to other sites)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         if (v.empty()) return std::string("--url needs an address");
         o.pageUrl = std::string(v);
         return std::nullopt;
       }},
      {"--connect-timeout", "MS", "URLs: limit of each connection attempt (default 5000; 0 = none)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = o.fetchOptionGiven = true;
         return Milliseconds(o.connectTimeout, "--connect-timeout", v);
       }},
      {"--response-timeout", "MS", "URLs: limit of each wait for data (default 5000; 0 = none)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = o.fetchOptionGiven = true;
         return Milliseconds(o.responseTimeout, "--response-timeout", v);
       }},
      {"--user-agent", "TEXT", "URLs: User-Agent header (empty: none is sent)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = o.fetchOptionGiven = true;
         o.userAgent = std::string(v);
         return std::nullopt;
       }},
      {"--format", "FORMAT",
       "csv (URLs' default), txt (--page's default), jsonl (with evidence), or with --output: xls, xlsx",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.formatGiven = true;
         if (v == "csv")
           o.format = TFormat::Csv;
         else if (v == "txt")
           o.format = TFormat::Txt;
         else if (v == "jsonl")
           o.format = TFormat::Jsonl;
         else if (v == "xls")
           o.format = TFormat::Xls;
         else if (v == "xlsx")
           o.format = TFormat::Xlsx;
         else
           return "--format takes csv, txt, jsonl, xls or xlsx, not \"" + std::string(v) + "\"";
         return std::nullopt;
       }},
      {"--output", "FILE", "URLs: write FILE as the window's export does instead of printing",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = true;
         if (v.empty()) return std::string("--output needs a file name");
         o.outputFile = std::string(v);
         return std::nullopt;
       }},
      {"--resume", "FILE",
       "URLs: skip those with a record in FILE (csv or jsonl output of this tool) and append to it",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = true;
         if (v.empty()) return std::string("--resume needs a file name");
         o.resumeFile = std::string(v);
         return std::nullopt;
       }},
      {"--threads", "N", "URLs: sites at once: auto (default, 25 per processor), N, or 1 (one by one)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = true;
         const auto n = Number(v);
         if (v == "auto") {
           o.pooled = true;
           o.threads = 0;
         } else if (n && *n == 1) {
           o.pooled = false;
         } else if (n && *n > 1 && *n <= 100000) {
           o.pooled = true;
           o.threads = static_cast<int>(*n);
         } else {
           return "--threads takes auto or a number of 1 or more, not \"" + std::string(v) + "\"";
         }
         return std::nullopt;
       }},
      {"--proxy", "URL|env|none",
       "URLs: proxy for every request: a URL (http, https, socks4, socks4a, socks5, socks5h), env "
       "(http_proxy, https_proxy, all_proxy, no_proxy) or none (default: direct)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = o.fetchOptionGiven = true;
         if (v == "env" || v == "none") {
           o.proxy = std::string(v);
           return std::nullopt;
         }
         switch (fetch::CheckProxyUrl(v)) {
           case fetch::ProxyUrlProblem::None:
             o.proxy = std::string(v);
             return std::nullopt;
           case fetch::ProxyUrlProblem::Credentials:
             return std::string("--proxy takes no user name or password in the URL: use --proxy-user and "
                                "LUMASIFT_PROXY_PASSWORD");
           case fetch::ProxyUrlProblem::Scheme:
             return "--proxy takes a URL beginning with http://, https://, socks4://, socks4a://, socks5:// or "
                    "socks5h://, or env or none, not \"" + std::string(v) + "\"";
           default:
             return "--proxy takes scheme://host[:port], env or none, not \"" + std::string(v) + "\"";
         }
       }},
      {"--proxy-user", "USER", "URLs: user name for the --proxy URL; the password comes from LUMASIFT_PROXY_PASSWORD",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         o.urlOptionGiven = o.fetchOptionGiven = true;
         if (v.empty()) return std::string("--proxy-user needs a user name");
         o.proxyUser = std::string(v);
         return std::nullopt;
       }},
      {"--extra", "", "use the shipped extra signatures as well (Signatures/extra.txt)",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.extra = true;
         return std::nullopt;
       }},
      {"--signatures", "FILE", "use the extra signatures of FILE as well (repeatable; after --extra's)",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         if (v.empty()) return std::string("--signatures needs a file name");
         o.signatureFiles.emplace_back(v);
         return std::nullopt;
       }},
      {"--check-signatures", "", "check the extra signature files given as arguments; fetch nothing",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.checkSignatures = true;
         return std::nullopt;
       }},
      {"--explain", "", "print why each site got its platforms, one readable block per site",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.explain = true;
         return std::nullopt;
       }},
      {"--summary", "", "URLs: print the run's summary (sites per platform, versions, errors) on standard error",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.urlOptionGiven = true;
         o.summary = true;
         return std::nullopt;
       }},
      {"--summary-output", "FILE", "write the summary (of the run, or of --summarize) to FILE as JSON",
       [](TCliOptions& o, std::string_view v) -> std::optional<std::string> {
         if (v.empty()) return std::string("--summary-output needs a file name");
         o.summaryOutput = std::string(v);
         return std::nullopt;
       }},
      {"--summarize", "", "sum up earlier csv or jsonl outputs given as arguments (- : standard input); fetch nothing",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.summarize = true;
         return std::nullopt;
       }},
      {"--pages", "", "identify saved pages: the arguments are page files and folders, - reads names from standard input",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.pages = true;
         return std::nullopt;
       }},
      {"--warc", "", "identify the pages of web archives: the arguments are WARC files (plain or gzip), - standard input",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.warc = true;
         return std::nullopt;
       }},
      {"--all-records", "",
       "--warc: every response record of an http(s) URI, not only HTML with status 200; --pages: every file in folders",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.allRecords = true;
         return std::nullopt;
       }},
      {"--help", "", "show this help and exit",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.help = true;
         return std::nullopt;
       }},
      {"--version", "", "show the program's version and exit",
       [](TCliOptions& o, std::string_view) -> std::optional<std::string> {
         o.version = true;
         return std::nullopt;
       }},
  };
  return table;
}

TParseResult ParseCommandLine(int argc, const char* const argv[]) {
  TParseResult result;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (optionsEnded || !arg.starts_with("-") || arg == "-") {
      result.options.urls.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    const TOptionSpec* found = nullptr;
    for (const auto& s : OptionTable()) {
      if (s.name == name) found = &s;
    }
    if (found == nullptr) {
      result.error = "unknown option " + std::string(arg);
      return result;
    }
    std::string_view value;
    if (!found->valueName.empty()) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        result.error = std::string(found->name) + " needs " + std::string(found->valueName);
        return result;
      }
    } else if (inlineValue) {
      result.error = std::string(found->name) + " takes no value";
      return result;
    }
    if (auto error = found->apply(result.options, value)) {
      result.error = *error;
      return result;
    }
  }
  const TCliOptions& o = result.options;
  const bool standardInput = std::find(o.urls.begin(), o.urls.end(), "-") != o.urls.end();
  if (standardInput && !o.summarize && !o.pages && !o.warc)
    result.error = "unknown option - (standard input is a file only for --summarize, --pages and --warc)";
  else if (const std::string error = SavedPagesError(o); !error.empty())
    result.error = error;
  else if (o.checkSignatures && (o.pageFile || o.headersFile || o.pageUrl || o.urlOptionGiven || o.extra || o.explain || o.formatGiven ||
                           !o.signatureFiles.empty()))
    result.error = "--check-signatures takes only signature files";
  else if (o.checkSignatures && o.summaryOutput)
    result.error = "--check-signatures takes only signature files";
  else if (o.checkSignatures && o.urls.empty())
    result.error = "--check-signatures needs at least one signature file";
  else if (o.summarize && (o.checkSignatures || o.pageFile || o.headersFile || o.pageUrl || o.urlOptionGiven || o.extra ||
                           o.explain || o.formatGiven || !o.signatureFiles.empty()))
    result.error = "--summarize takes only output files and --summary-output";
  else if (o.summarize && o.urls.empty())
    result.error = "--summarize needs at least one file (- for standard input)";
  else if (o.pageFile && (!o.urls.empty() || o.urlOptionGiven || o.summaryOutput))
    result.error = "--page takes neither URLs nor the options for URLs";
  else if (o.headersFile && !o.pageFile)
    result.error = "--headers FILE needs --page FILE";
  else if (o.pageUrl && !o.pageFile)
    result.error = "--url URL needs --page FILE (URLs to fetch are plain arguments)";
  else if (o.proxyUser && (o.proxy == "env" || o.proxy == "none"))
    result.error = "--proxy-user USER needs --proxy URL";
  else if (o.pageFile && o.formatGiven && o.format != TFormat::Txt && o.format != TFormat::Jsonl)
    result.error = "--page prints txt or jsonl";
  else if (o.explain && o.formatGiven)
    result.error = "--explain and --format exclude each other";
  else if ((o.format == TFormat::Xls || o.format == TFormat::Xlsx) && !o.outputFile)
    result.error = "--format xls and xlsx write a workbook: they need --output FILE";
  else if (o.resumeFile && o.outputFile)
    result.error = "--resume FILE appends to FILE: leave out --output";
  else if (o.resumeFile && o.explain)
    result.error = "--resume takes csv or jsonl records, not --explain";
  else if (o.resumeFile && o.format != TFormat::Csv && o.format != TFormat::Jsonl)
    result.error = "--resume takes --format csv or jsonl";
  return result;
}

std::string UsageText(std::string_view programName) {
  const std::string name(programName);
  std::string text =
      "Usage: " + name + " [--extra] [--signatures FILE]... --page FILE [--headers FILE]\n"
      "           [--url URL] [--format txt|jsonl | --explain]\n"
      "       " + name + " [--extra] [--signatures FILE]... [--connect-timeout MS] [--response-timeout MS]\n"
      "           [--user-agent TEXT] [--format csv|txt|jsonl | --explain] [--output FILE]\n"
      "           [--threads auto|N|1] [--proxy URL|env|none [--proxy-user USER]] [URL ...]\n"
      "       " + name + " ... --format xls|xlsx --output FILE [URL ...]\n"
      "       " + name + " ... [--format csv|jsonl] --resume FILE [URL ...]\n"
      "       " + name + " ... [--format csv|txt|jsonl | --explain] [--output FILE | --resume FILE]\n"
      "           [--threads auto|N|1] [--all-records] --pages PATH...|-\n"
      "       " + name + " ... (the same) --warc FILE...|-\n"
      "       " + name + " --check-signatures FILE...\n"
      "       " + name + " --summarize [--summary-output FILE] FILE...\n\n"
      "With --page: prints the platforms that the saved page (and its response headers)\n"
      "show, joined by \", \", followed by one line feed; with --format jsonl one JSON\n"
      "object ({\"platforms\":[...],\"error\":text|null,\"versions\":{...},\"evidence\":[...]}).\n\n"
      "With URLs (or one per line on standard input when none is given, read as the\n"
      "run goes, so a list of any length runs in bounded memory): fetches each site\n"
      "and prints one record per URL in input order, each as soon as it and every\n"
      "one before it are done. Blanks around a URL are dropped, empty lines skipped,\n"
      "\"http://\" put in front of what does not begin with \"http\". Formats: csv\n"
      "(URL,platforms as in the CSV export), txt (URL,platforms unquoted), jsonl\n"
      "({\"url\":...,\"platforms\":[...],\"error\":text|null,\"versions\":{...},\"evidence\":[...]}).\n"
      "--output writes the file the window's export writes (UTF-8 with BOM, CR LF;\n"
      "jsonl: plain JSON Lines; xls, xlsx: the window's spreadsheet export, written\n"
      "once the run is over).\n"
      "--resume FILE skips the URLs that FILE (an earlier csv or jsonl output, complete\n"
      "or cut short) already has a record for, cuts away a cut-off last line and\n"
      "appends the new records to FILE in its own format, each at once; a FILE with\n"
      "any other line that is not a record is refused and left as it is.\n"
      "--explain prints, per site, the platforms, the versions found and each finding:\n"
      "the signature entry or header behind it and the match in its context ([[match]]).\n"
      "Ctrl-C stops: sites in progress finish, the records already read are printed\n"
      "without platforms (with --resume: left out), the rest of the input stays\n"
      "unread. A \"done / total\" line (standard input: \"done / read so far\") shows on\n"
      "standard error when it is a terminal.\n"
      "A proxy password is read from the environment variable LUMASIFT_PROXY_PASSWORD,\n"
      "never from the command line, where other users of the machine could see it.\n\n"
      "With --pages: identifies each saved page file as --page does (files given, and\n"
      "the .html, .htm, .xhtml and .shtml files under folders, walked in name order),\n"
      "each record named by its path; a file that cannot be read gets an \"Error: \"\n"
      "record. With --warc: identifies the response records of web archives (WARC 1.0\n"
      "and 1.1, plain or gzip) by their recorded headers and bodies, each record\n"
      "named by its WARC-Target-URI (jsonl adds \"date\": its WARC-Date); only HTML\n"
      "pages with status 200 unless --all-records, never revisit records. Damaged\n"
      "records are reported on standard error with their file offset and skipped.\n"
      "Both take the output options of URLs; --threads auto is one job per processor.\n\n"
      "--extra and --signatures add extra signatures: an extra entry counts only where\n"
      "the built-in table of its kind finds nothing. A signature file with faults ends\n"
      "the tool before anything is fetched, its faults on standard error. With them, a\n"
      "match inside the address of a link to another site credits nothing (built-in\n"
      "entries too); the site's URL, or with --page the --url given or else the page's\n"
      "canonical address, tells the page's own site.\n\n"
      "--summary prints, once the run is over, the sites per platform with their share\n"
      "of the sites that answered, the versions found (major.minor), the sites without\n"
      "platform and the failed ones by error text, on standard error; --summary-output\n"
      "FILE writes the same as JSON.\n"
      "With --summarize: reads earlier csv or jsonl outputs of this tool (complete or\n"
      "cut short; the shards of a split run) and prints their merged summary on\n"
      "standard output, fetching nothing.\n\n"
      "With --check-signatures: checks each extra signature file, fetching nothing, and\n"
      "prints \"FILE: N platforms, N plain entries, N regular-expression entries, N\n"
      "generator entries\" for a sound file, or its faults as \"FILE:LINE: reason\" on\n"
      "standard error.\n\n"
      "Options:\n";
  for (const auto& found : OptionTable()) {
    std::string left = "  " + std::string(found.name);
    if (!found.valueName.empty()) left += " " + std::string(found.valueName);
    if (left.size() < 25) left.resize(25, ' ');
    text += left + " " + std::string(found.help) + "\n";
  }
  text +=
      "\nExit status: 0 identified (URLs: the run completed, whatever the sites answered),\n"
      "2 a file could not be read or written, a signature file has faults or the command\n"
      "line is wrong, 130 stopped by Ctrl-C, 1 the run failed.\n";
  return text;
}

}  // namespace cli
