#include "engine/page_corpus.h"

#include <cstdio>
#include <random>
#include <vector>

namespace corpus {
namespace {

const std::u16string_view kWords[] = {
    u"garden", u"river", u"market", u"Grüße", u"número", u"Straße", u"café",  u"news",
    u"report", u"summer", u"travel", u"photo", u"council", u"школа", u"東京", u"weather"};

std::u16string Number(unsigned n) {
  std::u16string s;
  do {
    s.insert(s.begin(), char16_t(u'0' + n % 10));
    n /= 10;
  } while (n);
  return s;
}

}  // namespace

std::u16string OrdinaryPage(std::size_t chars, bool oneLine, unsigned seed) {
  std::mt19937 random(seed);
  auto word = [&] { return std::u16string(kWords[random() % std::size(kWords)]); };
  const std::u16string eol = oneLine ? u"" : u"\r\n";
  std::u16string page = u"<!DOCTYPE html>" + eol + u"<html lang=\"en\"><head><meta charset=\"utf-8\">" + eol +
                        u"<title>" + word() + u" " + word() + u"</title>" + eol +
                        u"<link rel=\"stylesheet\" href=\"/static/site.css\">" + eol +
                        u"<script src=\"/static/app.js\"></script>" + eol + u"</head><body>" + eol;
  unsigned n = 0;
  while (page.size() < chars) {
    ++n;
    switch (random() % 6) {
      case 0:
        page += u"<div class=\"card\"><a href=\"/" + word() + u"/" + Number(n) + u".html\">" + word() + u" " +
                word() + u"</a></div>" + eol;
        break;
      case 1:
        page += u"<p>The " + word() + u" by the " + word() + u" was " + word() + u", " + word() + u" and " +
                word() + u".</p>" + eol;
        break;
      case 2:
        page += u"<script>window.dataLayer = window.dataLayer || []; dataLayer.push({page: " + Number(n) +
                u"});</script>" + eol;
        break;
      case 3:
        page += u"<img src=\"/media/" + Number(n) + u".jpg\" alt=\"" + word() + u"\" width=\"320\">" + eol;
        break;
      case 4:
        page += u"<li><a href=\"https://example.org/" + word() + u"?id=" + Number(n) + u"\">" + word() +
                u"</a></li>" + eol;
        break;
      default:
        page += u"<!-- block " + Number(n) + u" --><span class=\"note\">" + word() + u"</span>" + eol;
        break;
    }
  }
  page += u"<footer>&copy; 2024 " + word() + u"</footer></body></html>" + eol;
  return page;
}

std::u16string HostileOneLinePage(std::size_t chars, std::size_t hrefs) {
  std::u16string page = u"<!DOCTYPE html><html><head><title>shop</title></head><body>";
  const std::size_t per = chars / (hrefs ? hrefs : 1);
  for (std::size_t i = 0; i < hrefs; ++i) {
    std::u16string anchor = u"<a href=\"/p/" + Number(unsigned(i)) + u"\" class=\"item\">";
    while (anchor.size() + 4 < per) anchor += u"item ";
    anchor += u"</a>";
    page += anchor;
  }
  page += u"</body></html>";
  return page;
}

std::u16string Witness(std::u16string_view pattern, const WitnessStyle& style) {
  // Groups are expanded recursively: pick one branch, emit its witness.
  struct Parser {
    std::u16string_view p;
    const WitnessStyle& style;
    std::size_t i = 0;

    std::u16string Sequence() {
      std::u16string out;
      while (i < p.size() && p[i] != u')' && p[i] != u'|') {
        const char16_t c = p[i];
        if (c == u'(') {
          if (p.substr(i, 5) == u"(.*?)") {
            out += style.lazyRun;
            i += 5;
            continue;
          }
          ++i;
          std::vector<std::u16string> branches{Sequence()};
          while (i < p.size() && p[i] == u'|') {
            ++i;
            branches.push_back(Sequence());
          }
          ++i;  // ')'
          out += branches[style.branch % branches.size()];
        } else if (c == u'\\') {
          const char16_t e = p[i + 1];
          i += 2;
          if (e == u'd') {
            if (i < p.size() && p[i] == u'*') {
              ++i;
              out += u"12";
            } else {
              out += u'7';
            }
          } else {
            out += e;
          }
        } else if (c == u'.') {
          out += style.anyChar;
          ++i;
        } else {
          out += c;
          ++i;
        }
      }
      return out;
    }
  };
  Parser parser{pattern, style};
  return parser.Sequence();
}

std::string Narrow(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += char(c);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
      out += buf;
    }
  }
  return out;
}

}  // namespace corpus
