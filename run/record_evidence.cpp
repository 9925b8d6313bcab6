#include "run/record_evidence.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace run {

namespace {

// One finding without its texts; the texts follow all items in the block,
// in the order platform, file, header, match, before, after.
struct TPackedFinding {
  std::uint32_t entry;
  std::uint32_t line;
  std::uint32_t offset;  // kNoOffset: none
  std::uint8_t source;
  std::uint8_t duplicate;
  std::uint16_t reserved;
  std::uint32_t lengths[6];
};
constexpr std::uint32_t kNoOffset = UINT32_MAX;

// One version; its two texts (platform, version) follow the findings' texts.
struct TPackedVersion {
  std::uint32_t lengths[2];
};

}  // namespace

// Layout: this header, the packed findings, the packed versions, then every
// text's UTF-16 units one after another (the final URL last).
struct TEvidence::Block {
  std::atomic<std::uint32_t> references;
  std::uint16_t findingCount;
  std::uint16_t versionCount;
  std::uint32_t urlLength;
  std::uint32_t textUnits;

  TPackedFinding* FindingItems() { return reinterpret_cast<TPackedFinding*>(this + 1); }
  TPackedVersion* VersionItems() { return reinterpret_cast<TPackedVersion*>(FindingItems() + findingCount); }
  char16_t* Texts() { return reinterpret_cast<char16_t*>(VersionItems() + versionCount); }
  std::size_t Bytes() const {
    return sizeof(Block) + findingCount * sizeof(TPackedFinding) + versionCount * sizeof(TPackedVersion) +
           textUnits * sizeof(char16_t);
  }
};

TEvidence::TEvidence(const engine::TSiteEvidence& evidence, std::u16string_view finalUrl) {
  // At most 65,535 of each are kept: a header text can hold more values, the
  // platforms text keeps them all in any case.
  const std::size_t findings = std::min<std::size_t>(evidence.findings.size(), UINT16_MAX);
  const std::size_t versions = std::min<std::size_t>(evidence.versions.size(), UINT16_MAX);
  if (findings == 0 && versions == 0 && finalUrl.empty()) return;
  std::size_t units = finalUrl.size();
  for (std::size_t i = 0; i < findings; ++i) {
    const auto& f = evidence.findings[i];
    units += f.platform.size() + f.file.size() + f.header.size() + f.match.size() + f.before.size() + f.after.size();
  }
  for (std::size_t i = 0; i < versions; ++i) units += evidence.versions[i].platform.size() + evidence.versions[i].version.size();

  const std::size_t bytes =
      sizeof(Block) + findings * sizeof(TPackedFinding) + versions * sizeof(TPackedVersion) + units * sizeof(char16_t);
  void* memory = std::malloc(bytes);
  if (memory == nullptr) throw std::bad_alloc();
  block_ = new (memory) Block{{1}, static_cast<std::uint16_t>(findings), static_cast<std::uint16_t>(versions),
                              static_cast<std::uint32_t>(finalUrl.size()), static_cast<std::uint32_t>(units)};
  char16_t* text = block_->Texts();
  auto put = [&text](std::u16string_view s) {
    std::memcpy(text, s.data(), s.size() * sizeof(char16_t));
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
    p.reserved = 0;
    p.lengths[0] = put(f.platform);
    p.lengths[1] = put(f.file);
    p.lengths[2] = put(f.header);
    p.lengths[3] = put(f.match);
    p.lengths[4] = put(f.before);
    p.lengths[5] = put(f.after);
  }
  for (std::size_t i = 0; i < versions; ++i) {
    TPackedVersion& p = block_->VersionItems()[i];
    p.lengths[0] = put(evidence.versions[i].platform);
    p.lengths[1] = put(evidence.versions[i].version);
  }
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
    engine::TFinding& f = out.emplace_back();
    f.source = static_cast<engine::TFindingSource>(p.source);
    f.entry = p.entry;
    f.line = p.line;
    if (p.offset != kNoOffset) f.offset = p.offset;
    f.duplicate = p.duplicate != 0;
    f.platform = take(p.lengths[0]);
    f.file = take(p.lengths[1]);
    f.header = take(p.lengths[2]);
    f.match = take(p.lengths[3]);
    f.before = take(p.lengths[4]);
    f.after = take(p.lengths[5]);
  }
  return out;
}

std::vector<engine::TVersion> TEvidence::Versions() const {
  std::vector<engine::TVersion> out;
  if (block_ == nullptr) return out;
  const char16_t* text = block_->Texts();
  for (std::size_t i = 0; i < block_->findingCount; ++i) {
    for (std::uint32_t length : block_->FindingItems()[i].lengths) text += length;
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

QString TEvidence::FinalUrl() const {
  if (block_ == nullptr || block_->urlLength == 0) return QString();
  const char16_t* end = block_->Texts() + block_->textUnits;
  return QString::fromUtf16(end - block_->urlLength, block_->urlLength);
}

std::size_t TEvidence::BlockBytes() const { return block_ == nullptr ? 0 : block_->Bytes(); }

}  // namespace run
