#include "engine/regex_compile.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace engine::detail {

TRegexCompileResult CompileSignatureRegex(std::u16string_view pattern, bool limited) {
  TRegexCompileResult result;
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_ANY);
  int error = 0;
  PCRE2_SIZE offset = 0;
  result.code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                              PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | (limited ? PCRE2_AUTO_CALLOUT : 0u), &error, &offset, context);
  pcre2_compile_context_free(context);
  if (result.code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, 256);
    // PCRE2's messages are ASCII.
    for (const PCRE2_UCHAR* p = message; *p; ++p) result.message.push_back(static_cast<char>(*p & 0x7F));
    result.offset = offset;
    return result;
  }
  // Without JIT (not built in, or out of executable memory) the interpreter
  // gives the same answers, only slower.
  pcre2_jit_compile(result.code, PCRE2_JIT_COMPLETE);
  return result;
}

}  // namespace engine::detail
