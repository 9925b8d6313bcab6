// The web archive reader: records and their offsets in plain and gzip files
// however the bytes arrive, damage reported with its offset and passed over,
// truncated files, and hostile archives in bounded memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "saved/warc_reader.h"
#include "support/warc_builder.h"

namespace {

using testsupport::GzipEach;
using testsupport::HttpAnswer;
using testsupport::Joined;
using testsupport::ResponseRecord;
using testsupport::WarcRecordBytes;

struct Read {
  std::vector<saved::WarcRecord> records;
  std::vector<saved::ArchiveProblem> problems;
  std::string error;
};

Read ReadAll(std::string_view bytes, std::size_t piece = SIZE_MAX, saved::WarcReader::Options options = {}) {
  saved::MemoryInput input(bytes, piece);
  saved::WarcReader reader(input, std::move(options));
  Read read;
  while (auto record = reader.Next(read.problems)) read.records.push_back(std::move(*record));
  read.error = reader.ReadError();
  return read;
}

std::vector<std::string> Uris(const Read& read) {
  std::vector<std::string> uris;
  for (const auto& r : read.records) uris.push_back(r.TargetUri());
  return uris;
}

std::string Problems(const Read& read) {
  std::string text;
  for (const auto& p : read.problems) text += std::to_string(p.offset) + ": " + p.text + "\n";
  return text;
}

const std::vector<std::string> kThree = {
    WarcRecordBytes("warcinfo", {{"WARC-Date", "2024-01-01T00:00:00Z"}}, "software: hand\r\n"),
    ResponseRecord("http://a.example/", HttpAnswer("<p>a</p>")),
    // WARC 1.0 as some writers put it: the URI in angle brackets.
    WarcRecordBytes("response", {{"WARC-Target-URI", "<http://b.example/x?y=1>"}, {"WARC-Date", "2024-02-02T00:00:00Z"}},
                    HttpAnswer("<p>b</p>")),
};

TEST(WarcReader, PlainAndGzipGiveTheSameRecordsWithTheirOffsets) {
  const std::string plain = Joined(kThree);
  const std::string gzip = GzipEach(kThree);
  std::vector<std::uint64_t> plainOffsets{0}, gzipOffsets{0};
  for (std::size_t i = 0; i + 1 < kThree.size(); ++i) {
    plainOffsets.push_back(plainOffsets.back() + kThree[i].size());
    gzipOffsets.push_back(gzipOffsets.back() + testsupport::Gzip(kThree[i]).size());
  }
  // One gzip stream for the whole file: every record in the one member.
  const std::string whole = testsupport::Gzip(plain);
  const struct {
    const char* name;
    const std::string& bytes;
    std::vector<std::uint64_t> offsets;
  } files[] = {{"plain", plain, plainOffsets}, {"gzip_each", gzip, gzipOffsets}, {"gzip_whole", whole, {0, 0, 0}}};
  for (const auto& f : files) {
    for (const std::size_t piece : {SIZE_MAX, std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      SCOPED_TRACE(std::string(f.name) + " piece " + std::to_string(piece));
      const Read read = ReadAll(f.bytes, piece);
      EXPECT_EQ(Problems(read), "");
      ASSERT_EQ(read.records.size(), 3u);
      EXPECT_EQ(Uris(read), (std::vector<std::string>{"", "http://a.example/", "http://b.example/x?y=1"}));
      EXPECT_EQ(read.records[1].Type(), "response");
      EXPECT_EQ(read.records[1].Date(), "2024-01-02T03:04:05Z");
      EXPECT_EQ(read.records[1].version, "WARC/1.1");
      EXPECT_EQ(read.records[2].block, HttpAnswer("<p>b</p>"));
      EXPECT_FALSE(read.records[2].cut);
      for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(read.records[i].offset, f.offsets[i]) << i;
    }
  }
}

TEST(WarcReader, BlocksAreKeptOnlyAsAskedAndUpToTheLimit) {
  const std::string big(100000, 'x');
  const std::string file =
      Joined({ResponseRecord("http://big.example/", HttpAnswer(big)), WarcRecordBytes("request", {}, "GET / HTTP/1.1\r\n\r\n")});
  saved::WarcReader::Options options;
  options.blockLimit = 1000;
  options.keepBlock = [](const saved::WarcRecord& r) { return r.Type() == "response"; };
  const Read read = ReadAll(file, 333, options);
  ASSERT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.records[0].block.size(), 1000u);
  EXPECT_TRUE(read.records[0].cut);
  EXPECT_EQ(read.records[0].length, HttpAnswer(big).size());
  EXPECT_EQ(read.records[1].block, "");  // not asked for
  EXPECT_TRUE(read.records[1].cut);
  EXPECT_EQ(Problems(read), "");
}

// Damage: each row a hand-made archive, the URIs read from it and the
// problems reported (offset: text).
struct DamageCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> uris;
  std::string problems;
};

std::vector<DamageCase> DamageCases() {
  const std::string a = ResponseRecord("http://a.example/", HttpAnswer("<p>a</p>"));
  const std::string b = ResponseRecord("http://b.example/", HttpAnswer("<p>b</p>"));
  const std::string c = ResponseRecord("http://c.example/", HttpAnswer("<p>c</p>"));
  const std::string noLength = "WARC/1.1\r\nWARC-Type: response\r\nContent-Length: twelve\r\n\r\nHTTP/1.1 200\r\n\r\n\r\n\r\n";
  const std::string huge = WarcRecordBytes("response", {{"WARC-Target-URI", "http://huge.example/"}}, "HTTP/1.1 200 OK\r\n\r\n",
                                           "9223372036854775808");
  const std::string tooShort = WarcRecordBytes("response", {{"WARC-Target-URI", "http://short.example/"}},
                                               HttpAnswer("<p>short</p>"), "10");
  const std::string ga = testsupport::Gzip(a), gb = testsupport::Gzip(b), gc = testsupport::Gzip(c);
  std::string corrupt = gb;
  corrupt[corrupt.size() / 2] ^= 0x55;
  corrupt[corrupt.size() / 2 + 1] ^= 0x55;
  const std::string longHeader = "WARC/1.1\r\nX-Long: " + std::string(70000, 'h') + "\r\n\r\n";
  const auto n = [](std::size_t v) { return std::to_string(v); };
  return {
      {"garbage_between_records", a + "this is not a record\r\n" + b, {"http://a.example/", "http://b.example/"},
       n(a.size()) + ": 22 bytes that are no WARC record skipped\n"},
      {"garbage_first", "\x01\x02garbage" + a, {"http://a.example/"}, "0: 9 bytes that are no WARC record skipped\n"},
      {"binary_garbage_only", std::string("\x7f\x45\x4c\x46\x00\x01WARC/\x02\xff", 13) + std::string(5000, '\xee'), {},
       "0: 5013 bytes that are no WARC record skipped\n"},
      {"no_valid_content_length", a + noLength + b, {"http://a.example/", "http://b.example/"},
       n(a.size()) + ": record has no valid Content-Length\n"},
      {"length_of_2_63_in_a_plain_file", a + huge + b, {"http://a.example/", "http://b.example/"},
       n(a.size()) + ": Content-Length 9223372036854775808 runs past the end of the file (" +
           n(b.size() + 4 + 19) + " bytes left)\n"},
      {"length_of_2_63_in_a_gzip_file", ga + testsupport::Gzip(huge) + gb, {"http://a.example/", "http://b.example/"},
       n(ga.size()) + ": Content-Length 9223372036854775808 runs past the end of the record's gzip member\n"},
      {"length_too_short", a + tooShort + b, {"http://a.example/", "http://short.example/", "http://b.example/"},
       n(a.size() + tooShort.size() - HttpAnswer("<p>short</p>").size() + 6) + ": " +
           n(HttpAnswer("<p>short</p>").size() - 10 + 4) + " bytes that are no WARC record skipped\n"},
      {"corrupt_gzip_member", ga + corrupt + gc, {"http://a.example/", "http://c.example/"},
       n(ga.size()) + ": gzip member cannot be decompressed (zlib error -3)\n"},
      {"gzip_member_cut_short_in_the_middle", ga + gb.substr(0, gb.size() / 2) + gc, {"http://a.example/", "http://c.example/"},
       n(ga.size()) + ": gzip member cannot be decompressed (zlib error -3)\n"},
      {"garbage_before_the_first_gzip_member", "\x01\x02garbage" + ga + gb, {"http://a.example/", "http://b.example/"},
       "0: 9 bytes that are no gzip member skipped\n"},
      {"bytes_between_gzip_members", ga + "junk" + gc, {"http://a.example/", "http://c.example/"},
       n(ga.size()) + ": 4 bytes that are no gzip member skipped\n"},
      {"plain_file_cut_in_a_block", a + b.substr(0, b.size() - 9), {"http://a.example/"},
       n(a.size()) + ": the file ends inside this record\n"},
      {"plain_file_cut_in_a_header", a + b.substr(0, 30), {"http://a.example/"}, n(a.size()) + ": the file ends inside this record\n"},
      {"gzip_file_cut", ga + gb.substr(0, gb.size() - 20), {"http://a.example/"}, n(ga.size()) + ": the file ends inside this record\n"},
      {"gzip_file_cut_after_the_block", ga + gb.substr(0, gb.size() - 6), {"http://a.example/", "http://b.example/"}, ""},
      {"header_without_end", a + longHeader + b, {"http://a.example/", "http://b.example/"},
       n(a.size()) + ": record header does not end within 64 KiB\n"},
      {"blank_lines_between_records", a + "\r\n\n\r\n" + b, {"http://a.example/", "http://b.example/"}, ""},
      {"empty_file", "", {}, ""},
  };
}

TEST(WarcReader, DamageIsReportedWithItsOffsetAndPassedOver) {
  for (const auto& c : DamageCases()) {
    for (const std::size_t piece : {SIZE_MAX, std::size_t{5}}) {
      SCOPED_TRACE(std::string(c.name) + " piece " + std::to_string(piece));
      const Read read = ReadAll(c.bytes, piece);
      EXPECT_EQ(Uris(read), c.uris);
      EXPECT_EQ(Problems(read), c.problems);
    }
  }
}

TEST(WarcReader, ManyTinyRecords) {
  const std::string member = testsupport::Gzip(WarcRecordBytes("response", {{"WARC-Target-URI", "http://t/"}}, "x"));
  std::string gzip;
  for (int i = 0; i < 100000; ++i) gzip += member;
  const Read read = ReadAll(gzip);
  ASSERT_EQ(read.records.size(), 100000u);
  EXPECT_EQ(read.records.back().offset, 99999 * member.size());
  EXPECT_EQ(Problems(read), "");
}

// An input that makes a record of `length` bytes as it is read, without
// holding it: a header, then that many bytes of one value, then a record
// after it.
class LongRecordInput : public saved::ByteInput {
 public:
  explicit LongRecordInput(std::uint64_t length)
      : head_(std::string("WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: http://long.example/\r\nContent-Length: ") +
              std::to_string(length) + "\r\n\r\nHTTP/1.1 200 OK\r\n\r\n"),
        tail_("\r\n\r\n" + ResponseRecord("http://after.example/", HttpAnswer("<p>after</p>"))),
        length_(length) {}
  std::ptrdiff_t Read(char* buffer, std::size_t size) override {
    const std::uint64_t headEnd = head_.size(), bodyEnd = head_.size() + length_ - 19, end = bodyEnd + tail_.size();
    std::size_t n = 0;
    while (n < size && at_ < end) {
      if (at_ < headEnd) {
        buffer[n++] = head_[at_++];
      } else if (at_ < bodyEnd) {
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(size - n, bodyEnd - at_));
        std::memset(buffer + n, 'z', take);
        n += take;
        at_ += take;
      } else {
        buffer[n++] = tail_[at_++ - bodyEnd];
      }
    }
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string head_, tail_;
  std::uint64_t length_;
  std::uint64_t at_ = 0;
};

TEST(WarcReader, AOneGigabyteRecordIsReadPastKeepingOnlyItsLimit) {
  LongRecordInput input(std::uint64_t{1} << 30);
  saved::WarcReader reader(input);
  std::vector<saved::ArchiveProblem> problems;
  const auto first = reader.Next(problems);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->length, std::uint64_t{1} << 30);
  EXPECT_EQ(first->block.size(), saved::WarcReader::kDefaultBlockLimit);
  EXPECT_LE(first->block.capacity(), saved::WarcReader::kDefaultBlockLimit + 64);
  EXPECT_TRUE(first->cut);
  const auto second = reader.Next(problems);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->TargetUri(), "http://after.example/");
  EXPECT_TRUE(problems.empty());
}

TEST(WarcReader, AGzipBombIsReadThroughInBoundedMemory) {
  // 1 GiB of zeros in one record's member (about 1 MB compressed).
  const std::uint64_t length = std::uint64_t{1} << 30;
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>";
  const std::string head = "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: http://bomb.example/\r\nContent-Length: " +
                           std::to_string(length + answer.size()) + "\r\n\r\n" + answer;
  const std::string bomb = testsupport::GzipWithZeros(head, length, "\r\n\r\n");
  EXPECT_LT(bomb.size(), 2u << 20);
  const std::string file = bomb + testsupport::Gzip(ResponseRecord("http://after.example/", HttpAnswer("<p>after</p>")));
  const Read read = ReadAll(file);
  ASSERT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.records[0].block.size(), saved::WarcReader::kDefaultBlockLimit);
  EXPECT_EQ(read.records[1].TargetUri(), "http://after.example/");
  EXPECT_EQ(Problems(read), "");
}

}  // namespace
