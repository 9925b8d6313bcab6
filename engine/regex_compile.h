#pragma once
// The one way a signature expression is compiled, for the built-in table and
// for extra signature files alike, so an expression means the same wherever
// it is written: PCRE2 16-bit, UTF (invalid units never match), every line
// break PCRE2 knows counts as one ("ANY").
#include <cstddef>
#include <string>
#include <string_view>

typedef struct pcre2_real_code_16 pcre2_code_16;

namespace engine::detail {

struct TRegexCompileResult {
  pcre2_code_16* code = nullptr;  // owned by the caller (pcre2_code_free_16); null on error
  std::string message;           // PCRE2's message when compiling failed
  std::size_t offset = 0;        // where in the expression (UTF-16 units) it failed
};

// Compiles `pattern`; JIT-compiles it as well when the machine allows (the
// interpreter gives the same answers without). `limited`: for searches under
// the limits of expression_limits.h (automatic callouts count its work; the
// matches are the same).
TRegexCompileResult CompileSignatureRegex(std::u16string_view pattern, bool limited = false);

}  // namespace engine::detail
