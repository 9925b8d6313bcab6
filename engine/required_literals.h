#pragma once
// Which literals every match of a signature expression must hold: the
// prefilter that decides whether an expression is searched on a page at all
// ("does not hold them, cannot match").
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::detail {

// The literal runs that every match of any PCRE2 expression holds, per
// top-level branch ("a|b" matches where a or b does), or nothing when the
// expression uses what this reading does not follow (options, \Q..\E,
// character escapes, unusual braces): such an expression is searched on
// every page. Groups, classes, dots, anchors and escapes such as \d end a
// run; "?", "*" and "{0,...}" make the atom before them optional.
std::optional<std::vector<std::vector<std::u16string>>> RequiredLiteralBranches(std::u16string_view pattern);

}  // namespace engine::detail
