#pragma once
// Links to other sites are no evidence: with extra signatures on, a match
// that lies inside the address of a link to another site credits nothing,
// and the table's search goes on to its next hit.
//
// What counts as such an address:
//  - the href of an <a> or <area> element that is absolute (scheme://host or
//    //host) and names another host than the page's ("www." aside: a link to
//    blog.example.com from www.example.com goes to another server), or any
//    absolute one while the page's site is not known;
//  - any other absolute address (another attribute's whole value, or one
//    written in text, a script or a style) whose site is known to differ
//    from the page's;
//  - an absolute address written in the page's text (not in a script, a
//    style or an attribute) while the page's site is not known: a mention,
//    which the page loads nothing from;
//  - the path of a picture's address (<img>, <source>) on another host than
//    the page's ("www." aside), the page's site being known: the other
//    site's picture, shown here;
// but never an asset reference of the page itself otherwise: src, srcset,
// poster and the like of any element but a frame, a <link> that loads a
// style sheet, an icon or a preload, url(...) in a style. A page loads those
// whatever host they are on, so a platform's own file hosts still count
// (a picture's host included: the page chose it).
//
// Code a page quotes is no evidence either: a match in the content of a
// <pre>, <code>, <textarea> or <xmp> element.
//
// The match lies inside such an address when it stays within the start tag
// and every attribute value it reaches is one (it may begin at the
// attribute's name), or, outside a tag, within the address itself (quotes
// around it aside), or when it begins in one tag and ends in such an address
// of a later one. A match that reaches beyond, such as a powered-by link
// with its text, is not inside.
//
// A site is a registrable domain by the public suffix list (libpsl):
// www.example.com, example.com and cdn.example.com are one site;
// a.github.io and b.github.io two. The page's site comes from the address it
// was fetched from, or else from its canonical address
// (<link rel="canonical" href="...">), or else from the address it gives
// for sharing (<meta property="og:url" content="...">).
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/page_tags.h"

namespace engine::detail {

// The site of an absolute address (scheme://host..., //host...; "\/" read
// as "/"): its registrable domain in lower case, an international name in
// punycode; an IP address, or a host that is itself a public suffix, stands
// for itself. Empty when the text is no absolute address or names no host.
std::string SiteOf(std::u16string_view address);

// The host of an absolute address, in lower case and punycode; empty as
// for SiteOf.
std::string HostOf(std::u16string_view address);

// Whether `text` begins as an absolute address does (scheme://, //).
bool IsAbsoluteAddress(std::u16string_view text);

// The href of the page's first <link rel="canonical">, or nothing.
std::optional<std::u16string_view> CanonicalAddress(std::u16string_view pageText);
// The content of the page's first <meta property="og:url"> (or name=), or nothing.
std::optional<std::u16string_view> SharedAddress(std::u16string_view pageText);

// The rule for one page; made per identification, used by one thread. It
// costs nothing until a table's hit is asked about, and then only the tag
// or the address around that hit (the page's own site is worked out once).
class TLinkRule {
 public:
  // `pageUrl`: where the page was fetched from; empty (or no absolute
  // address) when not known, and then the canonical address stands for it.
  TLinkRule(std::u16string_view pageText, std::u16string_view pageUrl);

  // Whether the match [offset, offset + length) of the page text lies
  // inside the address of a link to another site.
  // A match that runs from a tag into a later one is judged by that later
  // tag's attribute it ends in; when it is inside, `resumeAt` (if given) gets
  // the start of that tag, where a search for the next match may go on.
  bool InsideLinkToOtherSite(std::size_t offset, std::size_t length, std::size_t* resumeAt = nullptr) const;

  // Whether the match is no evidence of the page's own platform: inside a
  // link to another site as above, or in code the page quotes (the content
  // of a <pre>, <code>, <textarea> or <xmp> element that ends, not one
  // written in a script or a style). `resumeAt` as above;
  // for a match that begins in a quote, the quote's end.
  bool NoEvidence(std::size_t offset, std::size_t length, std::size_t* resumeAt = nullptr) const;

 private:
  const std::string& PageSite() const;
  bool InsideTextAddress(std::size_t begin, std::size_t end, std::size_t low, std::size_t high) const;
  // Whether `offset` lies in the content of a <script> or <style> element.
  bool InScriptOrStyle(std::size_t offset) const;
  bool OtherSite(std::u16string_view address, bool otherWhenPageSiteUnknown) const;
  // Whether a link's address names another host than the page's ("www."
  // aside): another server, whatever domain it shares. Any host while the
  // page's is unknown.
  bool OtherHost(std::u16string_view address) const;
  // Whether `offset` lies in the path of a picture's address on another host
  // (an <img> or <source>), the page's site being known.
  bool PictureOfOtherSite(const TStartTag& tag, const TTagAttribute& attribute, std::size_t offset) const;
  // The end of the quoted code `offset` lies in, or nothing.
  std::optional<std::size_t> QuotedCodeEnd(std::size_t offset) const;
  // The contents of the page's elements of these names, in page order,
  // passing over the `skip` ranges; with `closedOnly`, only elements whose
  // end tag is there.
  std::vector<std::pair<std::size_t, std::size_t>> ElementContents(
      std::initializer_list<std::string_view> names,
      const std::vector<std::pair<std::size_t, std::size_t>>* skip = nullptr, bool closedOnly = false) const;

  std::u16string_view page_, pageUrl_;
  mutable std::optional<std::string> site_;  // empty: not known
  mutable std::optional<std::string> host_;  // without "www."; worked out with site_
  // The contents of the page's <script> and <style> elements, in page order;
  // worked out when first needed.
  mutable std::optional<std::vector<std::pair<std::size_t, std::size_t>>> rawText_;
  // The contents of <pre>, <code>, <textarea> and <xmp> elements, the same way.
  mutable std::optional<std::vector<std::pair<std::size_t, std::size_t>>> quoted_;
};

}  // namespace engine::detail
