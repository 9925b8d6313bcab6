#include "run/site_job.h"

#include "engine/evidence.h"
#include "engine/identify.h"
#include "fetch/fetch.h"
#include "fetch/page_budget.h"

namespace run {

namespace {

std::u16string_view View(const QString& s) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

QString FromU16(const std::u16string& s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

TSiteFetch FetchSite(const QString& URL, const TFetchInputs& inputs, const QString& runUserAgent,
                     const std::atomic<bool>* abandon, fetch::PageLease& pageLease) {
  TSiteFetch fetched;
  const TFetchInputs::Snapshot pageFields = inputs.Get();
  fetch::RequestSettings pageSettings;
  pageSettings.connectTimeoutMs = fetch::TimeoutFromText(View(pageFields.connectTimeoutText), fetch::kPageFetchDefaultTimeoutMs);
  pageSettings.responseTimeoutMs = fetch::TimeoutFromText(View(pageFields.responseTimeoutText), fetch::kPageFetchDefaultTimeoutMs);
  pageSettings.userAgent = runUserAgent.toStdU16String();
  pageSettings.proxy = pageFields.proxy;
  pageSettings.abandon = abandon;
  pageSettings.pageLease = &pageLease;
  fetch::PageFetch page = fetch::FetchPage(View(URL), pageSettings, &fetched.finalUrl);
  fetched.pageText = std::move(page.text);
  fetched.pageFailed = page.failed;
  // Where the fetch ended is worth telling (and keeping beside the record)
  // only when it is not where it began.
  if (!page.redirected) fetched.finalUrl.clear();

  const TFetchInputs::Snapshot probeFields = inputs.Get();
  fetch::RequestSettings probeSettings;
  probeSettings.connectTimeoutMs = fetch::TimeoutFromText(View(probeFields.connectTimeoutText), fetch::kHeaderProbeDefaultTimeoutMs);
  probeSettings.responseTimeoutMs = fetch::TimeoutFromText(View(probeFields.responseTimeoutText), fetch::kHeaderProbeDefaultTimeoutMs);
  probeSettings.userAgent = probeFields.userAgentText.toStdU16String();
  probeSettings.proxy = probeFields.proxy;
  probeSettings.abandon = abandon;
  fetched.headerText = fetch::GetHeaderText(View(URL), probeSettings).value_or(std::u16string());
  return fetched;
}

TSiteResult SiteResult(const TSiteFetch& fetched, const engine::TExtraSignatures* extras, const QString& requested) {
  if (fetched.PageFailed())
    return {FromU16(fetched.pageText), TEvidence(engine::TSiteEvidence(), fetched.finalUrl, fetched.recorded), true};
  // The address the page came from tells its own site from the sites it
  // links to (with extra signatures).
  const std::u16string pageUrl = fetched.finalUrl.empty() ? requested.toStdU16String() : fetched.finalUrl;
  const engine::TSiteEvidence found =
      engine::IdentifyPageWithEvidence(fetched.pageText, fetched.headerText, extras, pageUrl);
  return {FromU16(found.platforms), TEvidence(found, fetched.finalUrl, fetched.recorded), false};
}

QString ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
    return QStringLiteral("Unknown exception");
  }
}

}  // namespace run
