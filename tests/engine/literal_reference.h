#pragma once
// The literal method, written as plainly as possible: walk each table in
// order, cut every entry by the grammar, search each alternative with a plain
// substring search or a freshly compiled, interpreted PCRE2 expression. The
// engine must give the same answers on every page; tests and the benchmark
// compare against this.
#include <string>
#include <string_view>

namespace reference {

std::u16string FindBySignature(std::u16string_view pageText);
std::u16string FindByRegEx(std::u16string_view pageText);
// Both body matchers, the engine's header matcher, then the assembly.
std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText);

// Code (not name) of the first entry that matches, or empty; for tests that
// need to know which entry rightly wins.
std::u16string PlainCode(std::u16string_view pageText);
std::u16string RegExCode(std::u16string_view pageText);

}  // namespace reference
