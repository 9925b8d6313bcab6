#pragma once
// Why a site was credited with its platforms: the findings behind its
// platforms text, and the versions the page states for them.
//
// Same threading rules as identify.h: after LoadPlatformInformation() every
// function here may be called from any number of threads at once.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Which matcher produced a finding.
enum class TFindingSource : std::uint8_t { Plain, Regex, Header, Generator };

// One reason behind the platforms text.
struct TFinding {
  TFindingSource source = TFindingSource::Plain;
  // The item as the platforms text has it: the platform's name, or for a
  // header the value (which names itself).
  std::u16string platform;
  // Plain, regex and generator: the entry's 1-based position in its list
  // (for the built-in tables: in table order); header: 0.
  std::uint32_t entry = 0;
  // The signature file that holds the entry and the entry's line there;
  // empty and 0 for the built-in tables and for headers.
  std::u16string file;
  std::uint32_t line = 0;
  // Header: the header's name as the server sent it ("server").
  std::u16string header;
  // Plain: the alternative that occurred; regex: the text the expression
  // matched, cut at kMatchCut code units; generator: the generator
  // element's content, cut the same way; header: the value.
  std::u16string match;
  // Where `match` begins, in UTF-16 code units of the page text; none for a
  // header. pageText.substr(*offset, match.size()) == match.
  std::optional<std::size_t> offset;
  // Up to kContextUnits code units of the page before and after the match
  // (never half a surrogate pair), each line break shown as kLineBreakMark
  // (CR LF as one). Empty for a header.
  std::u16string before, after;
  // The platforms text left this item out: an earlier item has the same
  // text without regard to ASCII case.
  bool duplicate = false;
};

inline constexpr std::size_t kMatchCut = 200;
inline constexpr std::size_t kContextUnits = 40;
inline constexpr char16_t kLineBreakMark = u'\u23CE';  // ⏎

// A version the page states for a platform that was found.
struct TVersion {
  std::u16string platform;  // its name as in the platforms text
  std::u16string version;   // "6.3.1"
};

// An expression of a signature file whose search on the page stopped at its
// limit (time, work or memory): it was neither found nor ruled out, and the
// page was identified as if it had not matched.
struct TStoppedExpression {
  std::uint32_t entry = 0;  // its number among its file's expressions
  std::u16string file;
  std::uint32_t line = 0;
};

struct TSiteEvidence {
  std::u16string platforms;        // exactly IdentifySite's text
  std::vector<TFinding> findings;  // in the order of the platforms text's items
  std::vector<TVersion> versions;  // in the same order, only where known
  std::vector<TStoppedExpression> stopped;  // in the order the expressions were tried
};

// IdentifySite's text together with its findings and versions, from the
// same single pass over the page. For an error page ("Error: ...") only the
// text, no findings.
//
// Versions: from a generator meta element whose content begins (ASCII case
// ignored) with the name of a platform found by the page matchers or with a
// generator name that platform is known to write (or, with extra
// signatures, a name their [generator] entries give it); the version is the
// content's first token (a run of letters, digits, dots and hyphens) that
// begins with a digit.
TSiteEvidence IdentifySiteWithEvidence(std::u16string_view pageText, std::u16string_view headerText);

class TExtraSignatures;

// The same with extra signatures; a finding from an extra entry names its
// file and line, and `entry` is its number among that file's entries of its
// kind. `pageUrl` as for IdentifySite.
TSiteEvidence IdentifySiteWithEvidence(std::u16string_view pageText, std::u16string_view headerText,
                                       const TExtraSignatures* extras, std::u16string_view pageUrl = {});

// The same for a text known to be a page (a fetch that succeeded, a saved
// page): it is identified whatever it begins with, "Error: " included. A
// failed fetch is told by its own flag, never by its text.
TSiteEvidence IdentifyPageWithEvidence(std::u16string_view pageText, std::u16string_view headerText,
                                       const TExtraSignatures* extras = nullptr, std::u16string_view pageUrl = {});

// The version in generator content `content` for a platform of display name
// `name` and code `code`, or empty when the content is not that platform's.
std::u16string GeneratorVersion(std::u16string_view content, std::u16string_view name, std::u16string_view code);

}  // namespace engine
