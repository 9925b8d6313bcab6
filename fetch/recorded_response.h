#pragma once
// A response as an archive recorded it (status line, header fields and body
// as they came over the wire), decoded as the page fetch decodes the answer
// it reads: the same header lines, the chunked transfer coding undone, the
// Content-Encoding (gzip, deflate) and the character set applied, the same
// line form and the same 16 MiB cap. A record identified from an archive so
// gives what the same answer fetched would give.
//
// Plain functions of their arguments: safe from any thread.
#include <cstddef>
#include <string>
#include <string_view>

#include "fetch/response_head.h"

namespace fetch {

class PageLease;

struct RecordedHead {
  // A status line beginning with "HTTP/" and the blank line after the
  // fields were found.
  bool complete = false;
  ResponseHead head;
  size_t bodyOffset = 0;  // where the body begins in the message
};

// The head of a recorded response; reads only up to the blank line that ends
// it (lines end with CR LF or LF), so it is cheap whatever the body's size.
// Interim 1xx answers before the final one are passed over.
RecordedHead ReadRecordedHead(std::string_view message);

struct RecordedPage {
  std::u16string pageText;  // the normalised page text, or "Error: " and the failure
  bool failed = false;
  // The answer's header lines, each followed by CR LF, as the header probe
  // gives them; also for a failure.
  std::u16string headerText;
};

// The page of a recorded response, as the page fetch would give it for the
// same answer:
//   - no complete HTTP head: "Error: Not an HTTP response.";
//   - status 400 or above, or a redirect without Location: "Error: " and the
//     status line;
//   - a redirect with Location: an empty page (the fetch would go on to the
//     next address; the archive holds that answer in a record of its own);
//   - otherwise the body: de-chunked when its Transfer-Encoding ends in
//     "chunked" (a body that does not begin with a chunk-size line is taken
//     as it is: some writers record the body de-chunked and keep the header),
//     else its first Content-Length bytes; decoded by its Content-Encoding
//     ("Error: ZLib Error (N)" as the fetch gives it) and its character set.
// `cut`: the message holds only the first bytes of the answer (the archive
// or its reader cut the record). A body that ends before its declared end
// (Content-Length, last chunk, end of the compressed stream) is identified
// as far as it goes, like a fetched body cut at its cap, unless its chunks
// are broken in the middle ("Error: Broken chunked transfer coding.").
// The decoded body draws its bytes from `lease` (may be null) as a fetched
// body does.
RecordedPage DecodeRecordedResponse(std::string_view message, bool cut, PageLease* lease = nullptr);

// The chunked transfer coding undone.
struct Dechunked {
  enum class Kind {
    Whole,       // up to the last chunk
    Cut,         // the bytes ended inside a chunk or before the last chunk
    Broken,      // a chunk-size line or a chunk's end is wrong after at least one chunk
    NotChunked,  // the first line is no chunk-size line: `body` is empty
  } kind = Kind::Whole;
  std::string body;
};
Dechunked Dechunk(std::string_view body);

}  // namespace fetch
