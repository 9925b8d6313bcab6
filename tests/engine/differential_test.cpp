// The engine against the literal method: every alternative on its own, a
// generated corpus, hostile and malformed pages, and many threads at once.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/compiled_signatures.h"
#include "engine/identify.h"
#include "engine/literal_reference.h"
#include "engine/page_corpus.h"
#include "engine/signature_tables.h"

namespace {

using corpus::Narrow;

struct Alternative {
  bool regex;
  std::size_t entry;  // index into its table
  std::u16string pattern;
  std::u16string code;
};

std::vector<Alternative> AllAlternatives() {
  std::vector<Alternative> all;
  for (int t = 0; t < 2; ++t) {
    const auto table = t ? engine::RegExSignatures() : engine::PlainSignatures();
    for (std::size_t e = 0; e < table.size(); ++e) {
      const auto entry = engine::ParseSignatureEntry(table[e]);
      if (!entry) continue;
      for (auto a : entry->alternatives) all.push_back({t == 1, e, std::u16string(a), std::u16string(entry->code)});
    }
  }
  return all;
}

std::u16string TextFor(const Alternative& a, const corpus::WitnessStyle& style = {}) {
  return a.regex ? corpus::Witness(a.pattern, style) : a.pattern;
}

// Engine and literal method agree on both matchers and on the whole result.
void ExpectSameAsLiteral(std::u16string_view page, std::u16string_view headers = u"") {
  EXPECT_EQ(Narrow(engine::FindBySignature(page)), Narrow(reference::FindBySignature(page))) << Narrow(page.substr(0, 300));
  EXPECT_EQ(Narrow(engine::FindByRegEx(page)), Narrow(reference::FindByRegEx(page)))
      << Narrow(page.substr(page.size() > 300 ? page.size() - 300 : 0));
  EXPECT_EQ(Narrow(engine::IdentifySite(page, headers)), Narrow(reference::IdentifySite(page, headers)))
      << Narrow(page.substr(0, 300));
}

std::size_t EntryIndex(bool regex, const std::u16string& code, std::size_t upTo) {
  // The first entry (at or before upTo) carrying `code`.
  const auto table = regex ? engine::RegExSignatures() : engine::PlainSignatures();
  for (std::size_t e = 0; e <= upTo; ++e) {
    const auto entry = engine::ParseSignatureEntry(table[e]);
    if (entry && entry->code == code) return e;
  }
  return table.size();
}

TEST(Differential, EveryAlternativeCreditsItsPlatformAlone) {
  engine::LoadPlatformInformation();
  const auto& report = engine::detail::CompileReport(engine::detail::CompiledSignatures());
  EXPECT_TRUE(report.scannerAvailable);
  EXPECT_TRUE(report.unfilteredRegexAlternatives.empty()) << "an expression left the scanner's dialect";

  const std::u16string before = corpus::OrdinaryPage(600, false, 7);
  for (const auto& a : AllAlternatives()) {
    const std::u16string page = before + u"<div>" + TextFor(a) + u"</div>\r\n</body></html>\r\n";
    const std::u16string winner = a.regex ? reference::RegExCode(page) : reference::PlainCode(page);
    // The alternative must match its own page: its entry or an earlier one wins.
    ASSERT_FALSE(winner.empty()) << Narrow(a.pattern);
    EXPECT_LE(EntryIndex(a.regex, winner, a.entry), a.entry) << Narrow(a.pattern) << " credited " << Narrow(winner);
    const std::u16string found = a.regex ? engine::FindByRegEx(page) : engine::FindBySignature(page);
    EXPECT_EQ(Narrow(found), Narrow(engine::GetPlatformName(winner))) << Narrow(a.pattern);
  }
}

TEST(Differential, OrdinaryPagesCarryNoSignature) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    for (bool oneLine : {false, true}) {
      const auto page = corpus::OrdinaryPage(20000, oneLine, seed);
      EXPECT_EQ(Narrow(reference::IdentifySite(page, u"")), "");
      EXPECT_EQ(Narrow(engine::IdentifySite(page, u"")), "");
    }
  }
}

TEST(Differential, GeneratedCorpusMatchesLiteralMethod) {
  const auto all = AllAlternatives();
  const std::u16string filler = corpus::OrdinaryPage(300, false, 3);

  // Each alternative with its parts filled in every way that matters: other
  // branches, non-ASCII and astral characters in runs and single-character
  // positions, empty runs, and every kind of line break or an invalid unit
  // inside a run (which must stop it).
  const std::u16string unpaired = std::u16string(1, char16_t(0xD800));
  const std::u16string lone = std::u16string(1, char16_t(0xDC00));
  const std::u16string_view runs[] = {u" x ", u"", u"é日😀", u"\r\n", u"\r", u"\n", u"\v", u"\f", u"\u0085",
                                      u"\u2028", u"\u2029", unpaired, lone, std::u16string_view(u"\0", 1)};
  const std::u16string_view dots[] = {u".", u"é", u"😀", u"\u2028", unpaired};
  for (const auto& a : all) {
    if (!a.regex) {
      // Broken across a line, at every position.
      for (std::size_t cut = 1; cut < a.pattern.size(); cut += 3) {
        ExpectSameAsLiteral(filler + a.pattern.substr(0, cut) + u"\r\n" + a.pattern.substr(cut) + u"\r\n");
      }
      continue;
    }
    for (std::size_t branch = 0; branch < 3; ++branch) {
      for (auto run : runs) {
        ExpectSameAsLiteral(filler + corpus::Witness(a.pattern, {run, u".", branch}) + u"\r\n");
      }
      for (auto dot : dots) {
        ExpectSameAsLiteral(filler + corpus::Witness(a.pattern, {u" x ", dot, branch}) + u"\r\n");
      }
    }
  }

  // Pairs of signatures in both orders, on one line and on two.
  std::mt19937 random(20240501);
  for (int i = 0; i < 600; ++i) {
    const auto& x = all[random() % all.size()];
    const auto& y = all[random() % all.size()];
    const auto tx = TextFor(x), ty = TextFor(y);
    for (std::u16string_view gap : {u" ", u"\r\n"}) {
      ExpectSameAsLiteral(filler + tx + std::u16string(gap) + ty + u"\r\n", u"Server: nginx\r\n");
      ExpectSameAsLiteral(filler + ty + std::u16string(gap) + tx + u"\r\n", u"X-Powered-By: PHP\r\n");
    }
  }

  // Pages that begin with "Error: ", and a bare signature with nothing around it.
  for (std::size_t i = 0; i < all.size(); i += 7) {
    ExpectSameAsLiteral(u"Error: " + TextFor(all[i]) + u"\r\n", u"Server: x\r\n");
    ExpectSameAsLiteral(TextFor(all[i]));
  }
}

// Former bugs, each on the page that showed it.
TEST(Differential, FormerBugs) {
  // With the literal pass in single-match mode, the report of the literal "["
  // went missing on this page, so the expression was never confirmed.
  const std::u16string ipbVars = corpus::OrdinaryPage(300, false, 3) + u"ipb.vars[ x = x </script>\r\n";
  EXPECT_EQ(Narrow(engine::FindByRegEx(ipbVars)), "IP.Board community forum");
  ExpectSameAsLiteral(ipbVars);
}

TEST(Differential, HostileOneLinePageStaysLinear) {
  // 1 MB on one line with 10,000 href= and no signature. The literal method
  // takes minutes here (each href= starts a lazy run to the end of the line);
  // that it finds nothing follows from the ordinary pages above and from the
  // smaller version below, which both methods run.
  const auto big = corpus::HostileOneLinePage(1'000'000, 10'000);
  EXPECT_EQ(Narrow(engine::IdentifySite(big, u"")), "");
  const auto small = corpus::HostileOneLinePage(20'000, 200);
  ExpectSameAsLiteral(small);

  // The same long line before a real match on the next line (split by a line
  // break that the scanner's own dot would cross): the confirmation must not
  // walk the long line from every href=.
  for (std::u16string_view br : {u"\r\n", u"\u2028", u"\v"}) {
    const std::u16string page = big + std::u16string(br) + u"<a href=\"//cdn.shopify.com/s/x.css\">\r\n";
    EXPECT_EQ(Narrow(engine::FindByRegEx(page)), "Shopify");
    ExpectSameAsLiteral(small + std::u16string(br) + u"<a href=\"//cdn.shopify.com/s/x.css\">\r\n");
  }
  // And with the signature's start on the long line but its end past a break.
  const std::u16string split = big + u"\u2028cdn.shopify.com/\r\n";
  EXPECT_EQ(Narrow(engine::FindByRegEx(split)), "");
}

TEST(Differential, MalformedTextDoesNotCrash) {
  std::mt19937 random(99);
  for (int i = 0; i < 200; ++i) {
    std::u16string page;
    const std::size_t length = random() % 400;
    for (std::size_t k = 0; k < length; ++k) {
      switch (random() % 6) {
        case 0: page += char16_t(0xD800 + random() % 0x800); break;  // surrogates, mostly unpaired
        case 1: page += char16_t(0); break;
        case 2: page += char16_t(random() % 0x10000); break;
        default: page += char16_t(u' ' + random() % 95); break;
      }
    }
    // Signatures glued to malformed text on both sides.
    page += u"\xD800/wp-content/\xDC00 Powered by \xDBFF JForum</a>\0";
    ExpectSameAsLiteral(page, page);
  }
}

TEST(ThreadSafety, ManyThreadsMatchAtOnce) {
  const auto all = AllAlternatives();
  std::vector<std::u16string> pages;
  std::vector<std::u16string> expected;
  for (std::size_t i = 0; i < all.size(); i += 3) {
    pages.push_back(corpus::OrdinaryPage(4000, i % 2 == 0, unsigned(i)) + TextFor(all[i]) + u"\r\n");
    expected.push_back(engine::IdentifySite(pages.back(), u"Server: nginx\r\n"));
  }
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        for (std::size_t p = 0; p < pages.size(); ++p) {
          const std::size_t k = (p + std::size_t(t) * 7 + std::size_t(round)) % pages.size();
          if (engine::IdentifySite(pages[k], u"Server: nginx\r\n") != expected[k]) ++failures[t];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
