// lumasift-cli: identifies a saved page, or the sites of URLs, from the
// command line.
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/text_file.h"
#include "cli/url_mode.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "fetch/body_decoding.h"

namespace {

constexpr int kExitFailure = 2;

bool ReadText(const std::string& path, std::u16string& text) {
  std::string bytes, reason;
  if (!cli::ReadFileBytes(path, bytes, reason)) {
    std::fprintf(stderr, "lumasift-cli: cannot read %s: %s\n", path.c_str(), reason.c_str());
    return false;
  }
  // The lines as the page fetch delivers them.
  text = fetch::NormaliseLines(cli::DecodeBytes(bytes));
  return true;
}

int IdentifyPage(const cli::TCliOptions& options) {
  // Both files are read before anything is printed: a failure leaves
  // standard output empty.
  std::u16string page, headers;
  if (!ReadText(*options.pageFile, page)) return kExitFailure;
  if (options.headersFile && !ReadText(*options.headersFile, headers)) return kExitFailure;

  engine::LoadPlatformInformation();
  const std::string result = fetch::Utf16ToUtf8(engine::IdentifySite(page, headers)) + "\n";
  std::fwrite(result.data(), 1, result.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

// Checks every file, even after one with faults; sound files are summed up
// on standard output, faults go to standard error.
int CheckSignatureFiles(const std::vector<std::string>& files) {
  bool allSound = true;
  for (const auto& path : files) {
    const auto check = engine::LoadSignatureFile(path);
    if (check.errors.empty()) {
      std::printf("%s\n", engine::SignatureFileSummary(check.file).c_str());
    } else {
      allSound = false;
      for (const auto& error : check.errors) std::fprintf(stderr, "%s\n", error.c_str());
    }
  }
  return std::fflush(stdout) == 0 && allSound ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char* argv[]) {
  const auto parsed = cli::ParseCommandLine(argc, argv);
  if (parsed.options.help) {
    std::fputs(cli::UsageText("lumasift-cli").c_str(), stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "lumasift-cli: %s (see --help)\n", parsed.error.c_str());
    return kExitFailure;
  }
  if (parsed.options.checkSignatures) return CheckSignatureFiles(parsed.options.urls);
  if (parsed.options.pageFile) return IdentifyPage(parsed.options);

  // URLs: the run core hands its steps to this thread's event loop.
  QCoreApplication app(argc, argv);
  engine::LoadPlatformInformation();
  return cli::RunUrlMode(parsed.options);
}
