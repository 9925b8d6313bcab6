#include "engine/link_rule.h"

#include <curl/curl.h>
#include <idn2.h>
#include <libpsl.h>

#include <algorithm>
#include <initializer_list>
#include <memory>

#include "engine/page_tags.h"
#include "engine/scanner_dialect.h"
#include "engine/utf8_text.h"

namespace engine::detail {

namespace {

// The newest list the system has (the package's file or the one built into
// libpsl), loaded once and then only read.
const psl_ctx_t* PublicSuffixes() {
  static const psl_ctx_t* const list = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest != nullptr ? latest : psl_builtin();
  }();
  return list;
}

bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }

// What ends an address written in text.
bool IsDelimiter(char16_t c) {
  return c <= u' ' || IsLineBreak(c) || c == 0xA0 || IsQuote(c) || c == u'`' || c == u'<' || c == u'>' || c == u'(' ||
         c == u')' || c == u'[' || c == u']' || c == u'{' || c == u'}' || c == u'|' || c == u'^';
}

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;  // IPv6
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && (s.front() <= u' ' || IsLineBreak(s.front()))) s.remove_prefix(1);
  while (!s.empty() && (s.back() <= u' ' || IsLineBreak(s.back()))) s.remove_suffix(1);
  return s;
}

// A host as links compare it: "www.example.com" is "example.com".
std::string WithoutWww(std::string host) {
  if (host.starts_with("www.")) host.erase(0, 4);
  return host;
}

// The length of the "//" (or "\/\/") at `at`, or 0.
std::size_t SlashesAt(std::u16string_view text, std::size_t at) {
  if (text.substr(at, 2) == u"//") return 2;
  if (text.substr(at, 4) == u"\\/\\/") return 4;
  return 0;
}

// Elements and attributes whose address is an asset the page itself loads.
template <typename C>
bool IsAssetReference(std::basic_string_view<C> text, const TStartTag& tag, const TTagAttribute& attribute) {
  const auto element = TagName(text, tag);
  const auto name = AttributeName(text, attribute);
  if (EqualsFolded(element, "iframe") || EqualsFolded(element, "frame")) return false;  // another page
  for (const char* asset : {"src", "srcset", "data-src", "data-srcset", "data-lazy-src", "data-original", "poster",
                            "data", "background", "imagesrcset"}) {
    if (EqualsFolded(name, asset)) return true;
  }
  if ((EqualsFolded(element, "use") || EqualsFolded(element, "image")) &&
      (EqualsFolded(name, "href") || EqualsFolded(name, "xlink:href"))) {
    return true;
  }
  if (!EqualsFolded(element, "link") || !EqualsFolded(name, "href")) return false;
  // A <link> loads what its rel asks for; canonical, alternate and the like
  // only point somewhere.
  for (const auto& other : tag.attributes) {
    if (!EqualsFolded(AttributeName(text, other), "rel")) continue;
    auto rel = AttributeValue(text, other);
    while (!rel.empty()) {
      std::size_t blank = 0;
      while (blank < rel.size() && !IsTagSpace(rel[blank])) ++blank;
      const auto token = rel.substr(0, blank);
      for (const char* loads : {"stylesheet", "icon", "shortcut", "apple-touch-icon", "apple-touch-icon-precomposed",
                                "mask-icon", "preload", "modulepreload", "prefetch", "manifest"}) {
        if (EqualsFolded(token, loads)) return true;
      }
      rel.remove_prefix(std::min(rel.size(), blank + 1));
    }
  }
  return false;
}

}  // namespace

bool IsAbsoluteAddress(std::u16string_view text) {
  std::size_t i = 0;
  if (SlashesAt(text, 0) != 0) {
    i = SlashesAt(text, 0);
  } else {
    while (i < text.size() && ((text[i] >= u'a' && text[i] <= u'z') || (text[i] >= u'A' && text[i] <= u'Z') ||
                               (i > 0 && ((text[i] >= u'0' && text[i] <= u'9') || text[i] == u'+' ||
                                          text[i] == u'-' || text[i] == u'.')))) {
      ++i;
    }
    if (i == 0 || i >= text.size() || text[i] != u':' || SlashesAt(text, i + 1) == 0) return false;
    i += 1 + SlashesAt(text, i + 1);
  }
  // A host follows (an IPv6 address in brackets).
  return i < text.size() && text[i] != u'/' && text[i] != u'\\' && (text[i] == u'[' || !IsDelimiter(text[i]));
}

std::string HostOf(std::u16string_view address) {
  address = TrimBlanks(address);
  if (!IsAbsoluteAddress(address)) return {};
  std::string url = SlashesAt(address, 0) != 0 ? "http:" : "";
  // An address written in a script's string may escape its slashes.
  for (const char c : ToUtf8(address)) {
    if (c == '/' && !url.empty() && url.back() == '\\') url.pop_back();
    url += c;
  }
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE) !=
                     CURLUE_OK) {
    return {};
  }
  char* part = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK) return {};
  std::string host(part);
  curl_free(part);
  if (std::any_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    // An international name the way the other spelling of it reads, whatever
    // the locale (TR46 maps capitals to small letters on the way).
    char* ascii = nullptr;
    if (idn2_to_ascii_8z(host.c_str(), &ascii, IDN2_NONTRANSITIONAL) == IDN2_OK ||
        idn2_to_ascii_8z(host.c_str(), &ascii, IDN2_TRANSITIONAL) == IDN2_OK) {
      host = ascii;
    }
    idn2_free(ascii);
  }
  for (char& c : host) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
  while (!host.empty() && host.back() == '.') host.pop_back();
  return host;
}

namespace {

// The site of a host (as HostOf gives it): its registrable domain; an IP
// address, or a host that is itself a public suffix, stands for itself.
std::string SiteOfHost(std::string host) {
  if (host.empty() || IsIpAddress(host) || PublicSuffixes() == nullptr) return host;
  const char* domain = psl_registrable_domain(PublicSuffixes(), host.c_str());
  return domain != nullptr ? std::string(domain) : host;
}

// The range of sorted, disjoint `ranges` that holds `offset`, or nothing.
std::optional<std::pair<std::size_t, std::size_t>> RangeHolding(
    const std::vector<std::pair<std::size_t, std::size_t>>& ranges, std::size_t offset) {
  const auto after = std::upper_bound(ranges.begin(), ranges.end(), offset,
                                      [](std::size_t o, const auto& range) { return o < range.first; });
  if (after == ranges.begin() || offset >= std::prev(after)->second) return std::nullopt;
  return *std::prev(after);
}

}  // namespace

std::string SiteOf(std::u16string_view address) { return SiteOfHost(HostOf(address)); }

namespace {

// The `valueName` attribute of the page's first `tagName` element whose
// `keyName` attribute is `word` (in any letter case), or nothing.
std::optional<std::u16string_view> AttributeOfFirst(std::u16string_view page, std::string_view tagName,
                                                    std::initializer_list<std::string_view> keyNames,
                                                    std::string_view word, std::string_view valueName) {
  for (std::size_t at = 0; at + word.size() <= page.size(); ++at) {
    if (FoldAscii(page[at]) != char16_t(word[0]) || !EqualsFolded(page.substr(at, word.size()), word)) continue;
    const auto lt = TagStartBefore(page, at);
    if (!lt) continue;
    const auto tag = ReadStartTag(page, *lt, at + kTagReach);
    if (!tag || !EqualsFolded(TagName(page, *tag), tagName)) continue;
    bool keyed = false;
    std::optional<std::u16string_view> value;
    for (const auto& attribute : tag->attributes) {
      const auto name = AttributeName(page, attribute);
      for (const auto key : keyNames) {
        if (EqualsFolded(name, key)) keyed = keyed || EqualsFolded(TrimBlanks(AttributeValue(page, attribute)), word);
      }
      if (EqualsFolded(name, valueName) && !value) value = AttributeValue(page, attribute);
    }
    if (keyed && value) return value;
    at = tag->end - 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::u16string_view> CanonicalAddress(std::u16string_view page) {
  return AttributeOfFirst(page, "link", {"rel"}, "canonical", "href");
}

std::optional<std::u16string_view> SharedAddress(std::u16string_view page) {
  return AttributeOfFirst(page, "meta", {"property", "name"}, "og:url", "content");
}

TLinkRule::TLinkRule(std::u16string_view pageText, std::u16string_view pageUrl) : page_(pageText), pageUrl_(pageUrl) {}

const std::string& TLinkRule::PageSite() const {
  if (!site_) {
    std::string host = HostOf(pageUrl_);
    if (host.empty()) {
      if (const auto canonical = CanonicalAddress(page_)) host = HostOf(*canonical);
    }
    if (host.empty()) {
      if (const auto shared = SharedAddress(page_)) host = HostOf(*shared);
    }
    host_ = WithoutWww(host);
    site_ = SiteOfHost(std::move(host));
  }
  return *site_;
}

bool TLinkRule::OtherSite(std::u16string_view address, bool otherWhenPageSiteUnknown) const {
  const std::string target = SiteOf(address);
  if (target.empty()) return false;  // relative, or no host: this site
  const std::string& own = PageSite();
  return own.empty() ? otherWhenPageSiteUnknown : target != own;
}

bool TLinkRule::OtherHost(std::u16string_view address) const {
  const std::string target = HostOf(address);
  if (target.empty()) return false;  // relative, or no host: this site
  return PageSite().empty() || WithoutWww(target) != *host_;
}

bool TLinkRule::PictureOfOtherSite(const TStartTag& tag, const TTagAttribute& attribute, std::size_t offset) const {
  if (PageSite().empty() || offset < attribute.valueStart) return false;
  const auto element = TagName(page_, tag);
  if (!EqualsFolded(element, "img") && !EqualsFolded(element, "source")) return false;
  const auto name = AttributeName(page_, attribute);
  bool picture = false;
  for (const char* source : {"src", "srcset", "data-src", "data-srcset", "data-lazy-src", "data-lazy-srcset",
                             "data-original"}) {
    picture = picture || EqualsFolded(name, source);
  }
  if (!picture) return false;
  // The address of the candidate the match begins in (a srcset holds several).
  std::size_t start = offset;
  while (start > attribute.valueStart && !IsDelimiter(page_[start - 1]) && page_[start - 1] != u',') --start;
  std::size_t stop = start;
  while (stop < attribute.valueEnd && !IsDelimiter(page_[stop])) ++stop;
  const auto address = page_.substr(start, stop - start);
  if (!IsAbsoluteAddress(address)) return false;
  // Only a match in the path: a host the page chose for its pictures (a
  // platform's own file host) is the page's choice and counts.
  std::size_t hostEnd = start + SlashesAt(address, 0);
  if (hostEnd == start) {
    const std::size_t colon = address.find(u':');
    hostEnd = start + colon + 1 + SlashesAt(address, colon + 1);
  }
  while (hostEnd < stop && page_[hostEnd] != u'/' && page_[hostEnd] != u'\\') ++hostEnd;
  return offset >= hostEnd && OtherHost(address);
}

std::optional<std::size_t> TLinkRule::QuotedCodeEnd(std::size_t offset) const {
  if (!quoted_) {
    // Only elements that end: a "<pre>" never closed is more likely a
    // fragment in a script's string or a broken page than a quote of all
    // that follows. Tags written inside scripts and styles are no elements.
    if (!rawText_) rawText_ = ElementContents({"script", "style"});
    quoted_ = ElementContents({"pre", "code", "textarea", "xmp"}, &*rawText_, true);
  }
  if (const auto quote = RangeHolding(*quoted_, offset)) return quote->second;
  return std::nullopt;
}

bool TLinkRule::NoEvidence(std::size_t offset, std::size_t length, std::size_t* resumeAt) const {
  if (length == 0 || offset >= page_.size()) return false;
  // Code a page quotes (markup in <pre>, <code>, a text box) is text about
  // some site, not of this one. A match that begins there is passed over with
  // the whole quote; one that runs into a quote from outside is judged where
  // it ends, as below.
  if (const auto quoteEnd = QuotedCodeEnd(offset)) {
    if (resumeAt != nullptr) *resumeAt = *quoteEnd;
    return true;
  }
  const std::size_t end = std::min(page_.size(), offset + length);
  if (QuotedCodeEnd(end - 1)) return true;
  return InsideLinkToOtherSite(offset, length, resumeAt);
}

std::vector<std::pair<std::size_t, std::size_t>> TLinkRule::ElementContents(
    std::initializer_list<std::string_view> names, const std::vector<std::pair<std::size_t, std::size_t>>* skip,
    bool closedOnly) const {
  // One pass over the page: each element's content runs to its end tag (or,
  // unless `closedOnly`, to the page's end); an element inside one found
  // before is part of it, and so is anything in the `skip` ranges.
  std::vector<std::pair<std::size_t, std::size_t>> contents;
  const std::size_t n = page_.size();
  std::size_t gt = 0;  // the first '>' at or after the last candidate
  std::size_t skipped = 0;  // the skip ranges ended before the candidate
  std::vector<std::string_view> neverClosed;  // no end tag after the last try: none after any later start
  for (std::size_t at = page_.find(u'<'); at != std::u16string_view::npos; at = page_.find(u'<', at + 1)) {
    if (skip != nullptr) {
      while (skipped < skip->size() && (*skip)[skipped].second <= at) ++skipped;
      if (skipped < skip->size() && (*skip)[skipped].first <= at) {
        at = (*skip)[skipped].second - 1;
        continue;
      }
    }
    std::string_view element;
    for (const std::string_view name : names) {
      if (EqualsFolded(page_.substr(at + 1, name.size()), name)) element = name;
    }
    if (element.empty() || std::find(neverClosed.begin(), neverClosed.end(), element) != neverClosed.end()) continue;
    // A start tag ends within reach of its '<'. Where the next '>' lies
    // beyond that, no candidate before it can be one: skip them all, so a
    // hostile page of "<pre <pre <pre..." costs one pass, not one read of
    // the reach per candidate.
    if (gt < at) gt = page_.find(u'>', at);
    if (gt == std::u16string_view::npos) break;
    if (gt - at >= kTagReach) {
      at = gt - kTagReach;
      continue;
    }
    const auto tag = ReadStartTag(page_, at, at + kTagReach);
    if (!tag || TagName(page_, *tag).size() != element.size()) continue;
    std::size_t close = tag->end;
    while (close + 2 + element.size() <= n &&
           !(page_[close] == u'<' && page_[close + 1] == u'/' &&
             EqualsFolded(page_.substr(close + 2, element.size()), element))) {
      ++close;
    }
    if (close + 2 + element.size() > n) {
      if (closedOnly) {
        neverClosed.push_back(element);
        continue;
      }
      close = n;
    }
    contents.emplace_back(tag->end, close);
    at = close;
    if (at >= n) break;
  }
  return contents;
}

bool TLinkRule::InScriptOrStyle(std::size_t offset) const {
  // Worked out when first needed.
  if (!rawText_) rawText_ = ElementContents({"script", "style"});
  return RangeHolding(*rawText_, offset).has_value();
}

bool TLinkRule::InsideTextAddress(std::size_t begin, std::size_t end, std::size_t low, std::size_t high) const {
  // Quotes at the match's two ends stand around the address.
  while (begin < end && IsQuote(page_[begin])) ++begin;
  while (end > begin && IsQuote(page_[end - 1])) --end;
  if (begin >= end) return false;
  for (std::size_t i = begin; i < end; ++i) {
    if (IsDelimiter(page_[i])) return false;
  }
  std::size_t start = begin;
  while (start > low && begin - start < kTagReach && !IsDelimiter(page_[start - 1])) --start;
  std::size_t stop = end;
  while (stop < high && stop - end < kTagReach && !IsDelimiter(page_[stop])) ++stop;
  const auto address = page_.substr(start, stop - start);
  if (!IsAbsoluteAddress(address)) return false;
  // url(...) in a style: an asset of the page.
  std::size_t before = start;
  if (before > low && IsQuote(page_[before - 1])) --before;
  if (before >= 4 && EqualsFolded(page_.substr(before - 4, 4), "url(")) return false;
  // An address a reader sees in the text of a page that names no site of its
  // own is a mention, like a link: the page loads nothing from it. One in a
  // script or a style may be an asset the page loads; one in an attribute
  // value is decided above, by its attribute.
  const bool text = low == 0 && high == page_.size();
  return OtherSite(address, text && PageSite().empty() && !InScriptOrStyle(start));
}

bool TLinkRule::InsideLinkToOtherSite(std::size_t offset, std::size_t length, std::size_t* resumeAt) const {
  if (length == 0 || offset >= page_.size()) return false;
  const std::size_t end = std::min(page_.size(), offset + length);
  const auto lt = page_[offset] == u'<' ? std::optional<std::size_t>(offset) : TagStartBefore(page_, offset);
  const auto tag = lt ? ReadStartTag(page_, *lt, offset + kTagReach) : std::nullopt;
  if (!tag || offset >= tag->end) return InsideTextAddress(offset, end, 0, page_.size());
  if (end > tag->end) {
    // A loose expression ("href=(.*?)cdn.example.com/") that runs from one
    // tag's attribute across the page into a later tag: what it looks for is
    // where it ends. Ending inside the address of a link to another site, it
    // is that link; ending anywhere else (a credit link's text after its
    // "</a>", an asset of the page), it counts.
    const auto endLt = TagStartBefore(page_, end - 1);
    const auto endTag = endLt && *endLt > tag->start ? ReadStartTag(page_, *endLt, end + kTagReach) : std::nullopt;
    if (!endTag || end > endTag->end) return false;
    for (const auto& attribute : endTag->attributes) {
      if (attribute.nameStart < end && end <= attribute.end && attribute.valueStart < end) {
        if (!InsideLinkToOtherSite(attribute.nameStart, end - attribute.nameStart)) return false;
        // Every later start up to that tag ends the same way: the search
        // may go on from the tag.
        if (resumeAt != nullptr) *resumeAt = endTag->start;
        return true;
      }
    }
    return false;
  }
  const bool linkElement = EqualsFolded(TagName(page_, *tag), "a") || EqualsFolded(TagName(page_, *tag), "area");
  bool inside = false;
  for (const auto& attribute : tag->attributes) {
    if (attribute.valueEnd <= attribute.valueStart || end <= attribute.valueStart || offset >= attribute.valueEnd) {
      continue;  // the match does not reach this value
    }
    const auto value = AttributeValue(page_, attribute);
    bool other = false;
    if (linkElement && EqualsFolded(AttributeName(page_, attribute), "href")) {
      other = OtherHost(value);
    } else if (IsAssetReference(page_, *tag, attribute)) {
      other = PictureOfOtherSite(*tag, attribute, std::max(offset, attribute.valueStart));
    } else if (IsAbsoluteAddress(TrimBlanks(value))) {
      other = OtherSite(value, false);
    } else {
      other = InsideTextAddress(std::max(offset, attribute.valueStart), std::min(end, attribute.valueEnd),
                                attribute.valueStart, attribute.valueEnd) &&
              offset >= attribute.valueStart && end <= attribute.valueEnd;
    }
    if (!other) return false;
    inside = true;
  }
  return inside;
}

}  // namespace engine::detail
