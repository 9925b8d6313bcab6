#pragma once
// The evidence of one work-list record (the findings behind its platforms
// text, the versions, the URL a redirected page fetch ended at, and when an
// archive recorded the page), packed into one
// block so that a list of a million records stays small.
//
// A TEvidence is immutable once built; copies share the block (the count is
// atomic), so a job may build one on its thread and hand it to the main
// thread, and a sort moves only a pointer.
#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/evidence.h"

namespace run {

class TEvidence {
 public:
  TEvidence() = default;
  // From the engine's answer, the URL the page fetch ended at (empty: not
  // redirected, or not known) and, for a page read from an archive, when it
  // was recorded (the archive's own date text; empty: a page fetched now). An
  // answer without findings, versions, URL or date takes no block.
  TEvidence(const engine::TSiteEvidence& evidence, std::u16string_view finalUrl, std::u16string_view recorded = {});
  TEvidence(const TEvidence& other) noexcept;
  TEvidence(TEvidence&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  TEvidence& operator=(TEvidence other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~TEvidence();

  bool IsEmpty() const { return block_ == nullptr; }
  std::vector<engine::TFinding> Findings() const;  // in order
  std::vector<engine::TVersion> Versions() const;  // in order
  // Expressions of signature files that stopped at their limit on the page.
  std::vector<engine::TStoppedExpression> Stopped() const;
  QString FinalUrl() const;
  QString Recorded() const;

  // Bytes of the block (for the memory figures).
  std::size_t BlockBytes() const;

 private:
  struct Block;
  Block* block_ = nullptr;
};

}  // namespace run
