// The shipped extra signatures (Signatures/extra.txt) against pages written
// in each platform's own markup, and against pages of sites that run none of
// the catalogue's platforms.
//
// Fixture pages: tests/engine/extras/positive/CODE[-N].html must be credited
// with the platform CODE; every entry of the shipped set ([plain], [regex]
// and [generator]) must be the one that credits at least one of them. tests/engine/extras/negative/*.html must stay
// without any platform. A straightforward matcher (substring search and
// PCRE2 over the whole page, entry by entry) is the reference the engine's
// single pass must agree with.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

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
#include "engine/regex_compile.h"
#include "engine/utf8_text.h"

namespace {

QString SourceDir() { return QString::fromLocal8Bit(qgetenv("LUMASIFT_SOURCE_DIR")); }

std::string Narrow(std::u16string_view s) { return engine::detail::ToUtf8(s); }

std::u16string ReadPage(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  const QByteArray bytes = file.readAll();
  std::u16string text;
  EXPECT_TRUE(engine::detail::FromUtf8(std::string_view(bytes.constData(), bytes.size()), text)) << path.toStdString();
  return text;
}

// What a page gets with the extras by the straightforward way: the built-in
// tables first; the extra entries of a table only when that table finds
// nothing, first hit wins.
struct TExtraResult {
  std::vector<std::u16string> names;  // plain, expression; without duplicates
  int plainLine = 0, regexLine = 0;   // lines of the extra entries that won, or 0
  int generatorLine = 0;
};

class TReferenceMatcher {
 public:
  explicit TReferenceMatcher(const engine::TSignatureFile& file) : file_(file) {
    for (const auto& entry : file.regex) {
      std::vector<pcre2_code*> codes;
      for (const auto& alternative : entry.alternatives) {
        codes.push_back(engine::detail::CompileSignatureRegex(alternative).code);
      }
      regex_.push_back(std::move(codes));
    }
    matchData_ = pcre2_match_data_create(1, nullptr);
  }
  ~TReferenceMatcher() {
    for (auto& codes : regex_)
      for (auto* code : codes) pcre2_code_free(code);
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
    std::u16string plain = engine::FindBySignature(page);
    for (std::size_t e = 0; plain.empty() && e < file_.plain.size(); ++e) {
      for (const auto& alternative : file_.plain[e].alternatives) {
        if (page.find(alternative) == std::u16string_view::npos) continue;
        plain = engine::GetPlatformName(file_.plain[e].code);
        result.plainLine = file_.plain[e].line;
        break;
      }
    }
    add(plain);
    std::u16string regex = engine::FindByRegEx(page);
    for (std::size_t e = 0; regex.empty() && e < file_.regex.size(); ++e) {
      for (auto* code : regex_[e]) {
        if (pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(page.data()), page.size(), 0, PCRE2_NOTEMPTY, matchData_,
                        nullptr) < 0)
          continue;
        regex = engine::GetPlatformName(file_.regex[e].code);
        result.regexLine = file_.regex[e].line;
        break;
      }
    }
    add(regex);
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

 private:
  const engine::TSignatureFile& file_;
  std::vector<std::vector<pcre2_code*>> regex_;
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
      EXPECT_NE(engine::GetPlatformName(entry.code), entry.code) << "line " << entry.line;
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
}

TEST_F(ShippedExtraSignatures, CreditEachFixtureWithItsPlatformAndUseEveryEntry) {
  std::map<engine::TFindingSource, std::set<int>> used;
  const QStringList pages = Pages("positive");
  ASSERT_FALSE(pages.isEmpty());
  for (const QString& path : pages) {
    const QString base = QFileInfo(path).completeBaseName();
    const std::u16string code = base.section('-', 0, 0).toStdU16String();
    const std::u16string expected = engine::GetPlatformName(code);
    ASSERT_NE(expected, code) << "no catalogue code: " << base.toStdString();
    const auto evidence = engine::IdentifySiteWithEvidence(ReadPage(path), u"", extras_.get());
    bool credited = false;
    for (const auto& finding : evidence.findings) {
      credited = credited || finding.platform == expected;
      if (finding.file.empty()) continue;
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

TEST_F(ShippedExtraSignatures, LeavePagesOfOtherSoftwareWithoutPlatform) {
  const QStringList pages = Pages("negative");
  ASSERT_FALSE(pages.isEmpty());
  for (const QString& path : pages) {
    const auto page = ReadPage(path);
    EXPECT_EQ(Narrow(engine::IdentifySite(page, u"")), "") << path.toStdString();
    const auto evidence = engine::IdentifySiteWithEvidence(page, u"", extras_.get());
    for (const auto& finding : evidence.findings) {
      ADD_FAILURE() << QFileInfo(path).fileName().toStdString() << " gained " << Narrow(finding.platform) << " ("
                    << Narrow(finding.file) << " line " << finding.line << ")";
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
