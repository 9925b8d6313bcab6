#pragma once
// Generated pages for the differential tests and the benchmark.
#include <cstddef>
#include <string>
#include <string_view>

namespace corpus {

// An ordinary HTML page of about `chars` characters that carries no signature:
// lines end in CR LF as the page fetch delivers them, unless `oneLine`.
std::u16string OrdinaryPage(std::size_t chars, bool oneLine = false, unsigned seed = 1);

// One line of about `chars` characters holding `hrefs` anchors (href=...) and
// nothing any signature needs: the minified page that makes lazy runs such as
// "href=(.*?)/epages/" meet thousands of starting points.
std::u16string HostileOneLinePage(std::size_t chars, std::size_t hrefs);

// How the parts of a regular expression are filled in by Witness().
struct WitnessStyle {
  std::u16string_view lazyRun = u" x ";  // text for each "(.*?)"
  std::u16string_view anyChar = u".";    // text for each bare "."
  std::size_t branch = 0;                // which branch of each group (modulo its count)
};

// A text that the expression `pattern` (of the signature table's small
// dialect: literals, escapes, "(.*?)", groups with "|", "\d", "\d*", ".")
// matches when the style's parts are ordinary text.
std::u16string Witness(std::u16string_view pattern, const WitnessStyle& style = {});

// `s` readable in a test message: ASCII as it is, anything else as \uXXXX.
std::string Narrow(std::u16string_view s);

}  // namespace corpus
