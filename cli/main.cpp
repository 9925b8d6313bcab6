// lumasift-cli: identifies a saved page, or the sites of URLs, from the
// command line.
#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "cli/options.h"
#include "cli/record_format.h"
#include "cli/text_file.h"
#include "cli/url_mode.h"
#include "engine/evidence.h"
#include "engine/identify.h"
#include "fetch/body_decoding.h"
#include "fetch/fetch.h"
#include "run/evidence_text.h"
#include "run/record_evidence.h"
#include "services/identity.h"

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
  const engine::TSiteEvidence found = engine::IdentifySiteWithEvidence(page, headers);
  std::string result;
  if (options.explain) {
    const run::TEvidence evidence(found, std::u16string_view());
    result = (run::ExplainText(QString::fromLocal8Bit(options.pageFile->c_str()), QString::fromStdU16String(found.platforms),
                               evidence) + QLatin1Char('\n')).toStdString();
  } else if (options.format == cli::TFormat::Jsonl) {
    const run::TEvidence evidence(found, std::u16string_view());
    result = (QLatin1Char('{') + cli::SiteJsonFields(QString::fromStdU16String(found.platforms), evidence) +
              QStringLiteral("}\n")).toStdString();
  } else {
    result = fetch::Utf16ToUtf8(found.platforms) + "\n";
  }
  std::fwrite(result.data(), 1, result.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char* argv[]) {
  const auto parsed = cli::ParseCommandLine(argc, argv);
  if (parsed.options.help) {
    std::fputs(cli::UsageText("lumasift-cli").c_str(), stdout);
    return 0;
  }
  if (parsed.options.version) {
    const std::string line = "lumasift-cli " + services::ReadVersionInformation().ProductVersion.toStdString() + "\n";
    std::fputs(line.c_str(), stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "lumasift-cli: %s (see --help)\n", parsed.error.c_str());
    return kExitFailure;
  }
  if (parsed.options.pageFile) return IdentifyPage(parsed.options);

  // URLs: the run core hands its steps to this thread's event loop.
  fetch::GlobalInit();  // before the application object or any job thread
  QCoreApplication app(argc, argv);
  engine::LoadPlatformInformation();
  return cli::RunUrlMode(parsed.options);
}
