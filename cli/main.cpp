// lumasift-cli: identifies a saved page, the sites of URLs, saved page
// files or the pages of web archives, from the command line.
#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "cli/options.h"
#include "cli/record_format.h"
#include "cli/standard_output.h"
#include "cli/summary_mode.h"
#include "cli/url_mode.h"
#include "engine/evidence.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "fetch/body_decoding.h"
#include "fetch/fetch.h"
#include "i18n/program_layout.h"
#include "run/evidence_text.h"
#include "run/handover_steps.h"
#include "run/printable_text.h"
#include "run/record_evidence.h"
#include "saved/page_file.h"
#include "services/identity.h"
#include "services/standard_descriptors.h"

namespace {

constexpr int kExitFailure = 2;

bool ReadText(const std::string& path, std::u16string& text) {
  std::string bytes, reason;
  if (!saved::ReadFileBytes(path, bytes, reason)) {
    std::fprintf(stderr, "lumasift-cli: cannot read %s: %s\n", run::PrintableUtf8(path).c_str(), reason.c_str());
    return false;
  }
  // The lines as the page fetch delivers them.
  text = saved::PageFileText(bytes);
  return true;
}

int IdentifyPage(const cli::TCliOptions& options, const engine::TExtraSignatures* extras) {
  // Both files are read before anything is printed: a failure leaves
  // standard output empty.
  std::u16string page, headers;
  if (!ReadText(*options.pageFile, page)) return kExitFailure;
  if (options.headersFile && !ReadText(*options.headersFile, headers)) return kExitFailure;

  engine::LoadPlatformInformation();
  // A saved page is a page whatever it begins with: nothing failed here.
  // --url reads as a URL argument does ("http://" in front of a bare host).
  const std::u16string pageUrl =
      options.pageUrl ? run::IntakeUrl(QString::fromLocal8Bit(options.pageUrl->c_str())).toStdU16String() : u"";
  const engine::TSiteEvidence found = engine::IdentifyPageWithEvidence(page, headers, extras, pageUrl);
  const QString platforms = QString::fromStdU16String(found.platforms);
  std::string result;
  if (options.explain) {
    const run::TEvidence evidence(found, std::u16string_view());
    result = (run::ExplainText(QString::fromLocal8Bit(options.pageFile->c_str()), platforms, false, evidence) +
              QLatin1Char('\n')).toStdString();
  } else if (options.format == cli::TFormat::Jsonl) {
    const run::TEvidence evidence(found, std::u16string_view());
    result = (QLatin1Char('{') + cli::SiteJsonFields(platforms, false, evidence) + QStringLiteral("}\n")).toStdString();
  } else {
    result = (run::PrintableText(platforms) + QLatin1Char('\n')).toStdString();
  }
  cli::PrintOut(result);  // a failure is reported when standard output is closed
  const QString warning = cli::StoppedWarning(run::TEvidence(found, std::u16string_view()),
                                              QString::fromLocal8Bit(options.pageFile->c_str()));
  if (!warning.isEmpty()) std::fprintf(stderr, "%s\n", warning.toLocal8Bit().constData());
  return 0;
}

// Checks every file, even after one with faults; sound files are summed up
// on standard output, faults go to standard error.
int CheckSignatureFiles(const std::vector<std::string>& files) {
  bool allSound = true;
  for (const auto& path : files) {
    const auto check = engine::LoadSignatureFile(path);
    if (check.errors.empty()) {
      cli::PrintOut(run::PrintableUtf8(engine::SignatureFileSummary(check.file)) + "\n");
    } else {
      allSound = false;
      for (const auto& error : check.errors) std::fprintf(stderr, "%s\n", run::PrintableUtf8(error).c_str());
    }
  }
  return allSound ? 0 : kExitFailure;
}

// The folder of this program ("" when the system does not tell).
std::string ProgramFolder() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.parent_path().string();
}

// The extra signatures the command line asks for: the shipped set first,
// then each --signatures file in order. Null when none are asked for; an
// exit code when a file has faults (they are printed on standard error).
std::variant<std::shared_ptr<const engine::TExtraSignatures>, int> ExtraSignatures(const cli::TCliOptions& options) {
  std::vector<std::string> paths;
  if (options.extra) {
    const QString shipped = i18n::ShippedFilesFolder(QString::fromStdString(ProgramFolder()));
    paths.push_back(engine::ShippedSignaturePath(shipped.toStdString()));
  }
  paths.insert(paths.end(), options.signatureFiles.begin(), options.signatureFiles.end());
  if (paths.empty()) return std::shared_ptr<const engine::TExtraSignatures>();
  auto load = engine::LoadSignatureFiles(paths);
  if (!load.rejected.empty()) {
    for (const auto& errors : load.rejected)
      for (const auto& error : errors) std::fprintf(stderr, "%s\n", run::PrintableUtf8(error).c_str());
    return kExitFailure;
  }
  return std::make_shared<const engine::TExtraSignatures>(std::move(load.files));
}

int Main(int argc, char* argv[]) {
  const auto parsed = cli::ParseCommandLine(argc, argv);
  if (parsed.options.help) {
    cli::PrintOut(cli::UsageText("lumasift-cli"));
    return 0;
  }
  if (parsed.options.version) {
    cli::PrintOut("lumasift-cli " + services::ReadVersionInformation().ProductVersion.toStdString() + "\n");
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "lumasift-cli: %s (see --help)\n", run::PrintableUtf8(parsed.error).c_str());
    return kExitFailure;
  }
  if (parsed.options.checkSignatures) return CheckSignatureFiles(parsed.options.urls);
  if (parsed.options.summarize) return cli::RunSummarize(parsed.options);
  // Extra signatures are read before anything else, so that a faulty file
  // ends the tool before any fetch.
  auto extras = ExtraSignatures(parsed.options);
  if (const int* failure = std::get_if<int>(&extras)) return *failure;
  auto& set = std::get<std::shared_ptr<const engine::TExtraSignatures>>(extras);
  if (parsed.options.pageFile) return IdentifyPage(parsed.options, set.get());

  // URLs, saved pages, archives: the run core hands its steps to this
  // thread's event loop.
  fetch::GlobalInit();  // before the application object or any job thread
  QCoreApplication app(argc, argv);
  engine::LoadPlatformInformation();
  return cli::RunUrlMode(parsed.options, std::move(set));
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before anything opens a descriptor: a closed standard input, output or
  // error would otherwise be taken by the next file or eventfd opened.
  services::OpenStandardDescriptors();
  // Every write to standard output is checked, and so is its close.
  return cli::EndOutput(Main(argc, argv));
}
