// The shipped extra signatures (Signatures/extra.txt) against pages written
// in each platform's own markup, and against pages of sites that run none of
// the catalogue's platforms.
//
// Fixture pages: tests/engine/extras/positive/CODE[-N].html must be credited
// with the platform CODE, and with no other platform by an entry of the
// shipped set (the built-in tables may add theirs); every entry of the shipped set ([plain], [regex]
// and [generator]) must be the one that credits at least one of them. tests/engine/extras/negative/*.html must stay
// without any platform. A straightforward matcher (substring search and
// PCRE2 over the whole page, entry by entry) is the reference the engine's
// single pass must agree with.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/compiled_signatures.h"
#include "engine/evidence.h"
#include "engine/generator_entries.h"
#include "engine/generator_meta.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "engine/link_rule.h"
#include "engine/regex_compile.h"
#include "engine/scanner_dialect.h"
#include "engine/signature_tables.h"
#include "engine/utf8_text.h"

namespace {

QString SourceDir() { return QString::fromLocal8Bit(qgetenv("LUMASIFT_SOURCE_DIR")); }

std::string Narrow(std::u16string_view s) { return engine::detail::ToUtf8(s); }

// A code of the built-in catalogue (whose name may be the code itself, as
// e107's is).
bool InCatalogue(std::u16string_view code) {
  return std::ranges::any_of(engine::CatalogueRows(),
                             [&](std::u16string_view row) { return row.substr(0, row.find(u',')) == code; });
}

std::u16string ReadPage(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  const QByteArray bytes = file.readAll();
  std::u16string text;
  EXPECT_TRUE(engine::detail::FromUtf8(std::string_view(bytes.constData(), bytes.size()), text)) << path.toStdString();
  return text;
}

// What a page gets with the extras by the straightforward way: each table
// (built-in entries, then the file's) walked entry by entry, every
// occurrence or match of an alternative tried in page order until one lies
// outside the links to other sites (the engine's link rule decides that;
// its own tests check it); then the generator entries.
struct TExtraResult {
  std::vector<std::u16string> names;  // plain, expression, generator; without duplicates
  int plainLine = 0, regexLine = 0;   // lines of the extra entries that won, or 0
  int generatorLine = 0;
};

class TReferenceMatcher {
 public:
  explicit TReferenceMatcher(const engine::TSignatureFile& file) : file_(file) {
    const auto add = [](auto& list, std::u16string_view text, int line) {
      const auto entry = engine::ParseSignatureEntry(text);
      if (!entry) return;
      auto& added = list.emplace_back();
      added.code = entry->code;
      added.line = line;
      for (const auto alternative : entry->alternatives) {
        if (!alternative.empty()) added.alternatives.emplace_back(alternative);
      }
    };
    for (const auto entry : engine::PlainSignatures()) add(plain_, entry, 0);
    for (const auto& entry : file.plain) add(plain_, entry.text, entry.line);
    for (const auto entry : engine::RegExSignatures()) add(regex_, entry, 0);
    for (const auto& entry : file.regex) add(regex_, entry.text, entry.line);
    for (auto& entry : regex_) {
      for (const auto& alternative : entry.alternatives) {
        entry.codes.push_back(engine::detail::CompileSignatureRegex(alternative).code);
      }
    }
    matchData_ = pcre2_match_data_create(1, nullptr);
  }
  ~TReferenceMatcher() {
    for (auto& entry : regex_)
      for (auto* code : entry.codes) pcre2_code_free(code);
    pcre2_match_data_free(matchData_);
  }

  TExtraResult Identify(std::u16string_view page) const {
    TExtraResult result;
    auto add = [&](std::u16string name) {
      if (name.empty()) return;
      for (const auto& earlier : result.names)
        if (earlier == name) return;
      result.names.push_back(std::move(name));
    };
    const engine::detail::TLinkRule links(page, u"");
    const auto counts = [&](std::size_t at, std::size_t length) { return !links.NoEvidence(at, length); };
    bool found = false;
    for (const auto& entry : plain_) {
      for (const auto& alternative : entry.alternatives) {
        for (auto at = page.find(alternative); !found && at != std::u16string_view::npos;
             at = page.find(alternative, at + 1)) {
          found = counts(at, alternative.size());
        }
      }
      if (!found) continue;
      add(engine::GetPlatformName(entry.code));
      result.plainLine = entry.line;
      break;
    }
    found = false;
    for (const auto& entry : regex_) {
      for (auto* code : entry.codes) {
        const auto subject = reinterpret_cast<PCRE2_SPTR>(page.data());
        for (std::size_t start = 0;
             !found && start <= page.size() &&
             pcre2_match(code, subject, page.size(), start, PCRE2_NOTEMPTY, matchData_, nullptr) >= 0;) {
          const PCRE2_SIZE* match = pcre2_get_ovector_pointer(matchData_);
          found = counts(match[0], match[1] - match[0]);
          start = match[0] + 1;
          if (start < page.size() && start > 0 && page[start] >= 0xDC00 && page[start] <= 0xDFFF &&
              page[start - 1] >= 0xD800 && page[start - 1] <= 0xDBFF) {
            ++start;
          }
        }
      }
      if (!found) continue;
      add(engine::GetPlatformName(entry.code));
      result.regexLine = entry.line;
      break;
    }
    // The first generator entry, in file order, one of whose names begins a
    // generator element's content.
    const auto contents = engine::detail::GeneratorContents(engine::detail::TPageScan(), page);
    for (std::size_t e = 0; e < file_.generator.size() && result.generatorLine == 0; ++e) {
      for (const auto& name : file_.generator[e].alternatives) {
        for (const auto& content : contents) {
          if (result.generatorLine != 0 || !engine::detail::GeneratorNameBegins(content.text, name)) continue;
          add(engine::GetPlatformName(file_.generator[e].code));
          result.generatorLine = file_.generator[e].line;
        }
      }
    }
    return result;
  }

  // Every entry that matches the page on its own, whatever the tables find:
  // its platform code and line. Within a section, an entry after one of the
  // page's own platform (`own`) that matches too is never reached on it, as
  // the first hit wins: that is how a fork's entry stands before the entry of
  // the platform whose markup it kept.
  std::vector<std::pair<std::u16string, int>> EntriesMatching(std::u16string_view page,
                                                              std::u16string_view own = u"") const {
    std::vector<std::pair<std::u16string, int>> hits;
    bool shadowed = false;
    for (const auto& entry : plain_) {
      if (entry.line == 0 || shadowed) continue;  // the built-in table's own entries
      for (const auto& alternative : entry.alternatives) {
        if (page.find(alternative) == std::u16string_view::npos) continue;
        hits.emplace_back(entry.code, entry.line);
        shadowed = !own.empty() && entry.code == own;
        break;
      }
    }
    shadowed = false;
    for (const auto& entry : regex_) {
      if (entry.line == 0 || shadowed) continue;  // the built-in table's own entries
      for (auto* code : entry.codes) {
        if (pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(page.data()), page.size(), 0, PCRE2_NOTEMPTY, matchData_,
                        nullptr) < 0)
          continue;
        hits.emplace_back(entry.code, entry.line);
        shadowed = !own.empty() && entry.code == own;
        break;
      }
    }
    const auto contents = engine::detail::GeneratorContents(engine::detail::TPageScan(), page);
    for (const auto& entry : file_.generator) {
      bool hit = false;
      for (const auto& name : entry.alternatives)
        for (const auto& content : contents) hit = hit || engine::detail::GeneratorNameBegins(content.text, name);
      if (hit) hits.emplace_back(entry.code, entry.line);
    }
    return hits;
  }

 private:
  struct TPlain {
    std::u16string code;
    int line = 0;  // 0: a built-in entry
    std::vector<std::u16string> alternatives;
  };
  struct TRegex : TPlain {
    std::vector<pcre2_code*> codes;
  };
  const engine::TSignatureFile& file_;
  std::vector<TPlain> plain_;
  std::vector<TRegex> regex_;
  pcre2_match_data* matchData_;
};

class ShippedExtraSignatures : public testing::Test {
 protected:
  void SetUp() override {
    engine::LoadPlatformInformation();
    ASSERT_FALSE(SourceDir().isEmpty());
    check_ = engine::LoadSignatureFile((SourceDir() + "/Signatures/extra.txt").toStdString());
    ASSERT_EQ(check_.errors, std::vector<std::string>());
    extras_ = std::make_unique<engine::TExtraSignatures>(std::vector<engine::TSignatureFile>{check_.file});
  }

  QStringList Pages(const QString& folder) const {
    QDir dir(SourceDir() + "/tests/engine/extras/" + folder);
    QStringList pages;
    for (const QString& name : dir.entryList({"*.html"}, QDir::Files, QDir::Name)) pages << dir.filePath(name);
    return pages;
  }

  engine::TSignatureFileCheck check_;
  std::unique_ptr<engine::TExtraSignatures> extras_;
};

TEST_F(ShippedExtraSignatures, NameOnlyCataloguePlatforms) {
  // A platform outside the catalogue would give a name to sites the built-in
  // catalogue has no row for.
  EXPECT_TRUE(check_.file.platforms.empty());
  for (const auto* table : {&check_.file.plain, &check_.file.regex}) {
    for (const auto& entry : *table) {
      EXPECT_TRUE(InCatalogue(entry.code)) << "line " << entry.line;
    }
  }
}

TEST_F(ShippedExtraSignatures, EveryTextIsLongEnoughToBeEvidence) {
  // A "||" inside an intended text (a script's "x || {}") cuts it into
  // pieces the grammar takes for alternatives; a piece of a few characters
  // turns up on pages of any platform.
  for (const auto& entry : check_.file.plain) {
    for (const auto& alternative : entry.alternatives) {
      EXPECT_GE(alternative.size(), 6u) << "line " << entry.line << ": \"" << Narrow(alternative) << "\"";
    }
  }
}

TEST_F(ShippedExtraSignatures, EveryExpressionHasLiteralsToFilterWith) {
  // An expression without them would be searched on every page.
  const auto& report = engine::detail::CompileReport(extras_->Set());
  EXPECT_TRUE(report.scannerAvailable);
  std::string unfiltered;
  for (const auto& alternative : report.unfilteredRegexAlternatives) unfiltered += Narrow(alternative) + "\n";
  EXPECT_EQ(unfiltered, "");
  // And one the one-pass scanner can search exactly: without that form (a
  // lookaround, a back reference) the expression runs through PCRE2 under the
  // limits on signature-file expressions, callout by callout, over the whole
  // page wherever its literals occur: a shipped entry like that once made
  // every page with an image twice as slow to identify.
  std::string unscanned;
  for (const auto& entry : check_.file.regex) {
    for (const auto& alternative : entry.alternatives) {
      const auto expression = engine::detail::ScannerExpression(alternative);
      if (!expression || expression->longestLiteral < 3) {
        unscanned += "line " + std::to_string(entry.line) + ": " + Narrow(alternative) + "\n";
      }
    }
  }
  EXPECT_EQ(unscanned, "");
}

TEST_F(ShippedExtraSignatures, CreditEachFixtureWithItsPlatformAndUseEveryEntry) {
  std::map<engine::TFindingSource, std::set<int>> used;
  const QStringList pages = Pages("positive");
  ASSERT_FALSE(pages.isEmpty());
  for (const QString& path : pages) {
    const QString base = QFileInfo(path).completeBaseName();
    const std::u16string code = base.section('-', 0, 0).toStdU16String();
    const std::u16string expected = engine::GetPlatformName(code);
    ASSERT_TRUE(InCatalogue(code)) << "no catalogue code: " << base.toStdString();
    const auto evidence = engine::IdentifySiteWithEvidence(ReadPage(path), u"", extras_.get());
    bool credited = false;
    for (const auto& finding : evidence.findings) {
      credited = credited || finding.platform == expected;
      if (finding.file.empty()) continue;
      // An entry of the shipped set that names another platform here would
      // name it on real pages of this one too.
      EXPECT_EQ(Narrow(finding.platform), Narrow(expected))
          << base.toStdString() << ": " << Narrow(finding.file) << " line " << finding.line;
      EXPECT_EQ(Narrow(finding.file), check_.file.name);
      used[finding.source].insert(static_cast<int>(finding.line));
    }
    EXPECT_TRUE(credited) << base.toStdString() << " gave: " << Narrow(evidence.platforms);
  }
  for (const auto& entry : check_.file.plain) {
    EXPECT_TRUE(used[engine::TFindingSource::Plain].contains(entry.line))
        << "no fixture page for the plain entry on line " << entry.line;
  }
  for (const auto& entry : check_.file.regex) {
    EXPECT_TRUE(used[engine::TFindingSource::Regex].contains(entry.line))
        << "no fixture page for the expression on line " << entry.line;
  }
  for (const auto& entry : check_.file.generator) {
    EXPECT_TRUE(used[engine::TFindingSource::Generator].contains(entry.line))
        << "no fixture page for the generator entry on line " << entry.line;
  }
}

// Every entry, built-in or shipped, that credits `page` with the extras on
// (links to other sites are no evidence), not just each table's first: so a
// fault names every entry to mend at once.
std::vector<std::string> EveryCredit(const engine::TExtraSignatures& extras, const engine::TSignatureFile& file,
                                     std::u16string_view page) {
  namespace detail = engine::detail;
  const auto& set = extras.Set();
  const auto scan = detail::ScanPage(set, page);
  const detail::TLinkRule links(page, u"");
  std::vector<std::string> credits;
  const auto credit = [&](const char* kind, std::u16string_view code, const detail::TEntryOrigin& origin,
                          std::size_t offset, std::size_t length) {
    credits.push_back(Narrow(engine::GetPlatformName(std::u16string(code))) + " by the " + kind + " entry " +
                      (origin.file.empty() ? "#" + std::to_string(origin.number) + " of the built-in table"
                                           : "on line " + std::to_string(origin.number)) +
                      ": \"" + Narrow(page.substr(offset, std::min<std::size_t>(length, 120))) + "\"");
  };
  for (auto hit = detail::PlainHit(set, scan, page, &links); hit.entry >= 0;
       hit = detail::PlainHit(set, scan, page, &links, hit.entry + 1)) {
    credit("plain", detail::PlainCode(set, hit.entry), detail::PlainOrigin(set, hit.entry), hit.offset, hit.length);
  }
  for (auto hit = detail::RegExHit(set, scan, page, &links); hit.entry >= 0;
       hit = detail::RegExHit(set, scan, page, &links, hit.entry + 1)) {
    credit("expression", detail::RegExCode(set, hit.entry), detail::RegExOrigin(set, hit.entry), hit.offset,
           hit.length);
  }
  const auto contents = detail::GeneratorContents(scan, page);
  for (const auto& entry : file.generator) {
    for (const auto& name : entry.alternatives) {
      for (const auto& content : contents) {
        if (!detail::GeneratorNameBegins(content.text, name)) continue;
        credits.push_back(Narrow(engine::GetPlatformName(entry.code)) + " by the generator entry on line " +
                          std::to_string(entry.line) + ": \"" + Narrow(content.text) + "\"");
      }
    }
  }
  return credits;
}

// Pages of sites that run none of the catalogue's platforms, and pages that
// link to other sites' files: with the extras on, no entry at all (built-in
// or shipped) credits them. Without extras they keep what the built-in
// tables alone give them (without-extras.txt says what). Every false credit
// found on a real page becomes one more page here.
TEST_F(ShippedExtraSignatures, LeavePagesOfOtherSoftwareWithoutPlatform) {
  std::map<QString, std::string> builtIn;
  QFile list(SourceDir() + "/tests/engine/extras/negative/without-extras.txt");
  ASSERT_TRUE(list.open(QIODevice::ReadOnly | QIODevice::Text));
  while (!list.atEnd()) {
    const QString line = QString::fromUtf8(list.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    builtIn[line.section(QStringLiteral(": "), 0, 0)] = line.section(QStringLiteral(": "), 1).toStdString();
  }
  const QStringList pages = Pages("negative");
  ASSERT_FALSE(pages.isEmpty());
  for (const QString& path : pages) {
    const auto page = ReadPage(path);
    const std::string name = QFileInfo(path).fileName().toStdString();
    EXPECT_EQ(Narrow(engine::IdentifySite(page, u"")), builtIn[QFileInfo(path).fileName()]) << name;
    builtIn.erase(QFileInfo(path).fileName());
    EXPECT_EQ(Narrow(engine::IdentifySite(page, u"", extras_.get())), "") << name;
    for (const auto& credit : EveryCredit(*extras_, check_.file, page)) ADD_FAILURE() << name << " gained " << credit;
  }
  for (const auto& [name, platforms] : builtIn) ADD_FAILURE() << "without-extras.txt names no page: " << name.toStdString();
}

// The tables' hits hide the extra entries on most fixture pages; real pages
// of the same platform may not give the tables a hit, so each entry on its
// own must keep to its platform's pages.
// A link to a file of another site is no evidence, also when the link
// element carries other attributes before its address: an entry that begins
// at the element must not reach past them into the address of a link.
TEST_F(ShippedExtraSignatures, CreditNothingForLinksToOtherSitesFiles) {
  const char16_t* const addresses[] = {
      u"https://city.example/media/system/js/core.min.js",
      u"https://city.example/bundles/contaocore/contao.css",
      u"https://city.example/cpresources/5f2a1b/js/app.js",
      u"https://city.example/sites/city.example/files/css/css_AbCdEfGhIjKlMnOpQrStUvWx.css",
      u"https://city.example/index.php?ACT=23&amp;id=4",
      u"https://city.example/user/themes/quark/css/theme.css",
      u"https://city.example/public/cards.min.css?v=1a2b3c",
      u"https://city.example/layouts/system/VisitorIdentification.js",
      u"https://static1.squarespace.com/static/vta/5c5a/css/site.css",
      u"https://static.parastorage.com/services/wix-thunderbolt/dist/main.js",
      u"https://city.example/system/modules/org.opencms.apollo.theme/css/style.css",
      u"https://city.example/Frontend-Assembly/Telerik.Sitefinity.Frontend/assets/main.css",
      u"https://city.example/_resources/themes/simple/css/layout.css",
      u"https://city.example/textpattern/css.php?n=default",
      u"https://city.example/serendipity.css.php",
      u"https://city.example/lib/tiki-js.js",
      u"https://cdn2.editmysite.com/css/sites.css",
      u"https://city.example/Portals/_default/Skins/Xcillion/skin.css",
      u"https://city.example/tmp/cache/stylesheet_combined_0a1b2c3d.css",
  };
  for (const char16_t* address : addresses) {
    const std::u16string page = std::u16string(u"<p>Our neighbours' <a class=\"download\" target=\"_blank\" href=\"") +
                                address + u"\">file</a>.</p>";
    for (const auto& credit : EveryCredit(*extras_, check_.file, page)) {
      ADD_FAILURE() << Narrow(address) << " gained " << credit;
    }
  }
}

TEST_F(ShippedExtraSignatures, NoEntryAloneMatchesAnotherPlatformsPage) {
  const TReferenceMatcher reference(check_.file);
  for (const QString& folder : {QStringLiteral("positive"), QStringLiteral("negative")}) {
    for (const QString& path : Pages(folder)) {
      const QString base = QFileInfo(path).completeBaseName();
      const std::u16string code = folder == "positive" ? base.section('-', 0, 0).toStdU16String() : u"";
      for (const auto& [entryCode, line] : reference.EntriesMatching(ReadPage(path), code)) {
        EXPECT_EQ(Narrow(entryCode), Narrow(code)) << folder.toStdString() << "/" << base.toStdString() << ": line " << line;
      }
    }
  }
}

// Every fixture page, alone, all run together (so that entries compete), and
// with line breaks inside attributes (which expressions such as [^"]* cross).
TEST_F(ShippedExtraSignatures, EngineAgreesWithTheStraightforwardMatcher) {
  const TReferenceMatcher reference(check_.file);
  std::vector<std::u16string> pages;
  std::u16string all;
  for (const QString& folder : {QStringLiteral("positive"), QStringLiteral("negative")}) {
    for (const QString& path : Pages(folder)) {
      pages.push_back(ReadPage(path));
      all += pages.back();
      std::u16string broken = pages.back();
      for (std::size_t at = broken.find(u"=\""); at != std::u16string::npos; at = broken.find(u"=\"", at + 4)) {
        broken.insert(at + 2, u"\r\n");
      }
      pages.push_back(std::move(broken));
    }
  }
  pages.push_back(all);
  for (const auto& page : pages) {
    const auto expected = reference.Identify(page);
    std::u16string text;
    for (const auto& name : expected.names) text += (text.empty() ? u"" : u", ") + name;
    EXPECT_EQ(Narrow(engine::IdentifySite(page, u"", extras_.get())), Narrow(text)) << Narrow(page.substr(0, 300));
  }
}

}  // namespace
