#pragma once
// Shared by the fuzz harnesses: cutting one input into the several texts a
// harness needs, a scratch folder for harnesses that go through real files,
// and the check that turns a broken invariant into a crash the fuzzer (or
// the corpus run) reports with the input that caused it.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Ends the run with a message when `condition` does not hold.
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzz::InvariantBroken(#condition, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] void InvariantBroken(const char* condition, const char* file, int line);

// The input cut at NUL bytes into at most `count` parts (the last part keeps
// any further NULs); parts that are missing are empty.
std::vector<std::string_view> Parts(const uint8_t* data, size_t size, size_t count);

// A folder of the process's own, made on first use and removed at exit; on a
// memory file system when the machine has one, so that writing files (each
// flushed to disk by the atomic writer) stays fast.
const QString& ScratchFolder();

// Writes bytes to a file, replacing it; false when that fails.
bool WriteFile(const QString& path, std::string_view bytes);

// Fills a stretch of the stack below the caller with zeros, so that the
// frames of the next call start out zeroed: a read past the end of one of
// their buffers then runs into the address sanitizer's red zone rather than
// stopping early at a NUL left by an earlier call.
void ClearStack();

}  // namespace fuzz
