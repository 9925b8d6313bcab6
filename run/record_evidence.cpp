#include "run/record_evidence.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace run {

namespace {

// One finding without its texts; the texts follow all items in the block,
// in the order platform, file, header, match, before, after. Lengths have
// the width their texts need: the context is at most 40 units a side, a
// header name a few dozen; longer texts (only from a damaged source) are cut.
struct TPackedFinding {
  std::uint32_t entry;
  std::uint32_t line;
  std::uint32_t offset;  // kNoOffset: none
  std::uint8_t source;
  std::uint8_t duplicate;
  std::uint8_t beforeLength;
  std::uint8_t afterLength;
  std::uint32_t platformLength;
  std::uint32_t matchLength;
  std::uint16_t fileLength;
  std::uint16_t headerLength;
};
static_assert(sizeof(TPackedFinding) == 28);
constexpr std::uint32_t kNoOffset = UINT32_MAX;
// The source of a packed item that is an expression stopped at its limit
// rather than a finding: such items follow the findings (entry, line and
// file used).
constexpr std::uint8_t kStoppedItem = 0xFF;

template <typename Length>
std::u16string_view Fit(const std::u16string& text) {
  return std::u16string_view(text).substr(0, std::numeric_limits<Length>::max());
}

// One version; its two texts (platform, version) follow the findings' texts.
struct TPackedVersion {
  std::uint32_t lengths[2];
};

}  // namespace

// Layout: this header, the packed findings, the packed versions, then every
// text's UTF-16 units one after another (the recorded date, then the final
// URL last).
struct TEvidence::Block {
  std::atomic<std::uint32_t> references;
  std::uint16_t findingCount;
  std::uint16_t versionCount;
  std::uint32_t urlLength;
  std::uint32_t textUnits;
  std::uint32_t recordedLength;

  TPackedFinding* FindingItems() { return reinterpret_cast<TPackedFinding*>(this + 1); }
  TPackedVersion* VersionItems() { return reinterpret_cast<TPackedVersion*>(FindingItems() + findingCount); }
  char16_t* Texts() { return reinterpret_cast<char16_t*>(VersionItems() + versionCount); }
  std::size_t Bytes() const {
    return sizeof(Block) + findingCount * sizeof(TPackedFinding) + versionCount * sizeof(TPackedVersion) +
           textUnits * sizeof(char16_t);
  }
};

TEvidence::TEvidence(const engine::TSiteEvidence& evidence, std::u16string_view finalUrl, std::u16string_view recorded) {
  // At most 65,535 of each are kept: a header text can hold more values, the
  // platforms text keeps them all in any case.
  const std::size_t stopped = std::min<std::size_t>(evidence.stopped.size(), UINT16_MAX / 2);
  const std::size_t findings = std::min<std::size_t>(evidence.findings.size(), UINT16_MAX - stopped);
  const std::size_t versions = std::min<std::size_t>(evidence.versions.size(), UINT16_MAX);
  recorded = recorded.substr(0, UINT16_MAX);
  if (findings == 0 && versions == 0 && stopped == 0 && finalUrl.empty() && recorded.empty()) return;
  std::size_t units = finalUrl.size() + recorded.size();
  for (std::size_t i = 0; i < stopped; ++i) units += Fit<std::uint16_t>(evidence.stopped[i].file).size();
  for (std::size_t i = 0; i < findings; ++i) {
    const auto& f = evidence.findings[i];
    units += Fit<std::uint32_t>(f.platform).size() + Fit<std::uint16_t>(f.file).size() +
             Fit<std::uint16_t>(f.header).size() + Fit<std::uint32_t>(f.match).size() +
             Fit<std::uint8_t>(f.before).size() + Fit<std::uint8_t>(f.after).size();
  }
  for (std::size_t i = 0; i < versions; ++i) units += evidence.versions[i].platform.size() + evidence.versions[i].version.size();

  const std::size_t items = findings + stopped;
  const std::size_t bytes =
      sizeof(Block) + items * sizeof(TPackedFinding) + versions * sizeof(TPackedVersion) + units * sizeof(char16_t);
  void* memory = std::malloc(bytes);
  if (memory == nullptr) throw std::bad_alloc();
  block_ = new (memory) Block{{1}, static_cast<std::uint16_t>(items), static_cast<std::uint16_t>(versions),
                              static_cast<std::uint32_t>(finalUrl.size()), static_cast<std::uint32_t>(units),
                              static_cast<std::uint32_t>(recorded.size())};
  char16_t* text = block_->Texts();
  auto put = [&text](std::u16string_view s) {
    // An empty view may have no data pointer, which memcpy must not be given.
    if (!s.empty()) std::memcpy(text, s.data(), s.size() * sizeof(char16_t));
    text += s.size();
    return static_cast<std::uint32_t>(s.size());
  };
  for (std::size_t i = 0; i < findings; ++i) {
    const auto& f = evidence.findings[i];
    TPackedFinding& p = block_->FindingItems()[i];
    p.entry = f.entry;
    p.line = f.line;
    p.offset = f.offset ? static_cast<std::uint32_t>(*f.offset) : kNoOffset;
    p.source = static_cast<std::uint8_t>(f.source);
    p.duplicate = f.duplicate ? 1 : 0;
    p.platformLength = put(Fit<std::uint32_t>(f.platform));
    p.fileLength = static_cast<std::uint16_t>(put(Fit<std::uint16_t>(f.file)));
    p.headerLength = static_cast<std::uint16_t>(put(Fit<std::uint16_t>(f.header)));
    p.matchLength = put(Fit<std::uint32_t>(f.match));
    p.beforeLength = static_cast<std::uint8_t>(put(Fit<std::uint8_t>(f.before)));
    p.afterLength = static_cast<std::uint8_t>(put(Fit<std::uint8_t>(f.after)));
  }
  for (std::size_t i = 0; i < stopped; ++i) {
    const auto& e = evidence.stopped[i];
    TPackedFinding& p = block_->FindingItems()[findings + i];
    p = TPackedFinding{};
    p.entry = e.entry;
    p.line = e.line;
    p.offset = kNoOffset;
    p.source = kStoppedItem;
    p.fileLength = static_cast<std::uint16_t>(put(Fit<std::uint16_t>(e.file)));
  }
  for (std::size_t i = 0; i < versions; ++i) {
    TPackedVersion& p = block_->VersionItems()[i];
    p.lengths[0] = put(evidence.versions[i].platform);
    p.lengths[1] = put(evidence.versions[i].version);
  }
  put(recorded);
  put(finalUrl);
}

TEvidence::TEvidence(const TEvidence& other) noexcept : block_(other.block_) {
  if (block_ != nullptr) block_->references.fetch_add(1, std::memory_order_relaxed);
}

TEvidence::~TEvidence() {
  if (block_ != nullptr && block_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    block_->~Block();
    std::free(block_);
  }
}

std::vector<engine::TFinding> TEvidence::Findings() const {
  std::vector<engine::TFinding> out;
  if (block_ == nullptr) return out;
  const char16_t* text = block_->Texts();
  auto take = [&text](std::uint32_t length) {
    std::u16string s(text, length);
    text += length;
    return s;
  };
  out.reserve(block_->findingCount);
  for (std::size_t i = 0; i < block_->findingCount; ++i) {
    const TPackedFinding& p = block_->FindingItems()[i];
    if (p.source == kStoppedItem) break;  // the findings come first
    engine::TFinding& f = out.emplace_back();
    f.source = static_cast<engine::TFindingSource>(p.source);
    f.entry = p.entry;
    f.line = p.line;
    if (p.offset != kNoOffset) f.offset = p.offset;
    f.duplicate = p.duplicate != 0;
    f.platform = take(p.platformLength);
    f.file = take(p.fileLength);
    f.header = take(p.headerLength);
    f.match = take(p.matchLength);
    f.before = take(p.beforeLength);
    f.after = take(p.afterLength);
  }
  return out;
}

std::vector<engine::TVersion> TEvidence::Versions() const {
  std::vector<engine::TVersion> out;
  if (block_ == nullptr) return out;
  const char16_t* text = block_->Texts();
  for (std::size_t i = 0; i < block_->findingCount; ++i) {
    const TPackedFinding& p = block_->FindingItems()[i];
    text += std::size_t{p.platformLength} + p.fileLength + p.headerLength + p.matchLength + p.beforeLength +
            p.afterLength;
  }
  for (std::size_t i = 0; i < block_->versionCount; ++i) {
    const TPackedVersion& p = block_->VersionItems()[i];
    engine::TVersion& v = out.emplace_back();
    v.platform.assign(text, p.lengths[0]);
    text += p.lengths[0];
    v.version.assign(text, p.lengths[1]);
    text += p.lengths[1];
  }
  return out;
}

std::vector<engine::TStoppedExpression> TEvidence::Stopped() const {
  std::vector<engine::TStoppedExpression> out;
  if (block_ == nullptr) return out;
  const char16_t* text = block_->Texts();
  for (std::size_t i = 0; i < block_->findingCount; ++i) {
    const TPackedFinding& p = block_->FindingItems()[i];
    if (p.source == kStoppedItem) out.push_back({p.entry, std::u16string(text, p.fileLength), p.line});
    text += std::size_t{p.platformLength} + p.fileLength + p.headerLength + p.matchLength + p.beforeLength +
            p.afterLength;
  }
  return out;
}

QString TEvidence::FinalUrl() const {
  if (block_ == nullptr || block_->urlLength == 0) return QString();
  const char16_t* end = block_->Texts() + block_->textUnits;
  return QString::fromUtf16(end - block_->urlLength, block_->urlLength);
}

QString TEvidence::Recorded() const {
  if (block_ == nullptr || block_->recordedLength == 0) return QString();
  const char16_t* end = block_->Texts() + block_->textUnits - block_->urlLength;
  return QString::fromUtf16(end - block_->recordedLength, block_->recordedLength);
}

std::size_t TEvidence::BlockBytes() const { return block_ == nullptr ? 0 : block_->Bytes(); }

}  // namespace run
