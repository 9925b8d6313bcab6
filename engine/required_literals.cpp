#include "engine/required_literals.h"

#include <algorithm>
#include <cctype>

#include "engine/scanner_dialect.h"

namespace engine::detail {

std::optional<std::vector<std::vector<std::u16string>>> RequiredLiteralBranches(std::u16string_view pattern) {
  // The finished top-level branches, and the one being read: as a group
  // whose alternatives each require a literal multiplies it, the ways it can
  // be matched (each with the literals it requires).
  std::vector<std::vector<std::u16string>> branches;
  std::vector<std::vector<std::u16string>> current(1);
  std::u16string run;
  auto flush = [&] {
    if (!run.empty()) {
      for (auto& way : current) way.push_back(run);
    }
    run.clear();
  };
  // After an atom that a quantifier may repeat or drop.
  auto quantified = [&](bool optional) {
    if (optional && !run.empty()) run.pop_back();
    flush();
  };
  bool lastWasLiteral = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const bool literal = lastWasLiteral;
    lastWasLiteral = false;
    if (c == u'(') {
      if (i + 1 < pattern.size() && (pattern[i + 1] == u'?' || pattern[i + 1] == u'*')) return std::nullopt;
      flush();
      const std::size_t open = i;
      int depth = 1;
      for (++i; i < pattern.size() && depth > 0; ++i) {
        if (pattern[i] == u'\\') {
          ++i;
        } else if (pattern[i] == u'[') {
          // A class inside the group may hold parentheses.
          ++i;
          if (i < pattern.size() && pattern[i] == u'^') ++i;
          if (i < pattern.size() && pattern[i] == u']') ++i;
          while (i < pattern.size() && pattern[i] != u']') i += pattern[i] == u'\\' ? 2 : 1;
        } else if (pattern[i] == u'(') {
          ++depth;
        } else if (pattern[i] == u')') {
          --depth;
        }
      }
      --i;  // on the closing parenthesis
      // A group that must occur, each of whose alternatives requires a
      // specific literal (five characters or more: short ones such as "src"
      // occur everywhere and would only make the scan report more), filters
      // by those too: "/media/(system/js/core|jui/js/jquery)" needs
      // "/media/" and one of the two.
      const char16_t after = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
      const bool optional = after == u'?' || after == u'*' ||
                            (after == u'{' && i + 2 < pattern.size() && (pattern[i + 2] == u'0' || pattern[i + 2] == u','));
      if (optional || i <= open || pattern[i] != u')') continue;
      const auto inner = RequiredLiteralBranches(pattern.substr(open + 1, i - open - 1));
      if (!inner || current.size() * inner->size() > 16) continue;
      bool specific = true;
      for (const auto& way : *inner) {
        specific = specific && std::any_of(way.begin(), way.end(), [](const auto& l) { return l.size() >= 5; });
      }
      if (!specific) continue;
      std::vector<std::vector<std::u16string>> product;
      for (const auto& way : current) {
        for (const auto& innerWay : *inner) {
          product.push_back(way);
          product.back().insert(product.back().end(), innerWay.begin(), innerWay.end());
        }
      }
      current = std::move(product);
    } else if (c == u'[') {
      flush();
      ++i;
      if (i < pattern.size() && pattern[i] == u'^') ++i;
      if (i < pattern.size() && pattern[i] == u']') ++i;
      while (i < pattern.size() && pattern[i] != u']') i += pattern[i] == u'\\' ? 2 : 1;
    } else if (c == u'|') {
      flush();
      branches.insert(branches.end(), current.begin(), current.end());
      current.assign(1, {});
    } else if (c == u'*' || c == u'?') {
      quantified(literal);
      if (i + 1 < pattern.size() && (pattern[i + 1] == u'?' || pattern[i + 1] == u'+')) ++i;
    } else if (c == u'+') {
      quantified(false);
      if (i + 1 < pattern.size() && (pattern[i + 1] == u'?' || pattern[i + 1] == u'+')) ++i;
    } else if (c == u'{') {
      std::size_t j = i + 1;
      std::size_t least = 0;
      bool digits = false;
      while (j < pattern.size() && pattern[j] >= u'0' && pattern[j] <= u'9') {
        least = std::min<std::size_t>(least * 10 + (pattern[j] - u'0'), 1000);
        digits = true;
        ++j;
      }
      if (j < pattern.size() && pattern[j] == u',') {
        ++j;
        while (j < pattern.size() && pattern[j] >= u'0' && pattern[j] <= u'9') ++j;
      }
      if (!digits || j >= pattern.size() || pattern[j] != u'}') return std::nullopt;
      i = j;
      quantified(literal && least == 0);
      if (i + 1 < pattern.size() && (pattern[i + 1] == u'?' || pattern[i + 1] == u'+')) ++i;
    } else if (c == u'.' || c == u'^' || c == u'$' || c == u')') {
      flush();
    } else if (c == u'\\') {
      const char16_t e = i + 1 < pattern.size() ? pattern[++i] : u'\0';
      if (e < 0x80 && std::isalnum(static_cast<unsigned char>(e))) {
        // Classes and assertions end a run; every other escaped letter or
        // digit (a character code, a back reference, \Q...) is not followed.
        if (std::u16string_view(u"dDwWsShHvVRXbBAzZGKN").find(e) == std::u16string_view::npos) return std::nullopt;
        flush();
      } else if (e < u' ' || (e >= 0xD800 && e <= 0xDFFF)) {
        return std::nullopt;
      } else {
        run += e;
        lastWasLiteral = true;
      }
    } else if (IsLineBreak(c) || c < u' ' || (c >= 0xD800 && c <= 0xDFFF)) {
      flush();  // never part of a literal the scanner looks for
    } else {
      run += c;
      lastWasLiteral = true;
    }
  }
  flush();
  branches.insert(branches.end(), current.begin(), current.end());
  return branches;
}

}  // namespace engine::detail
