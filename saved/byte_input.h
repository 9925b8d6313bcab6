#pragma once
// Where a reader of saved pages takes its bytes from: a file descriptor (a
// file, a pipe, standard input) read in blocks, or bytes in memory.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace saved {

class ByteInput {
 public:
  virtual ~ByteInput() = default;
  // Up to `size` bytes into `buffer`: how many, 0 at the end of the input,
  // -1 on a read error (Error() then tells it).
  virtual std::ptrdiff_t Read(char* buffer, std::size_t size) = 0;
  // The input's length when it is known before reading (a regular file).
  virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }
  const std::string& Error() const { return error_; }

 protected:
  std::string error_;
};

// Reads a file descriptor; the descriptor stays the caller's. A read that
// waits (a pipe whose writer is slow) looks at `stop` (may be empty) every
// 100 ms and ends the input once it says so.
class FileInput : public ByteInput {
 public:
  explicit FileInput(int fd, std::function<bool()> stop = {});
  std::ptrdiff_t Read(char* buffer, std::size_t size) override;
  std::optional<std::uint64_t> Size() const override { return size_; }

 private:
  int fd_;
  std::function<bool()> stop_;
  std::optional<std::uint64_t> size_;
};

// Bytes in memory (the fuzz harness, tests), handed out at most `piece` at
// a time, so that a reader can be shown its input arriving in small reads.
class MemoryInput : public ByteInput {
 public:
  explicit MemoryInput(std::string_view bytes, std::size_t piece = SIZE_MAX) : bytes_(bytes), piece_(piece) {}
  std::ptrdiff_t Read(char* buffer, std::size_t size) override;
  std::optional<std::uint64_t> Size() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

}  // namespace saved
