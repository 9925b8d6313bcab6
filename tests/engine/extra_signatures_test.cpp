// Extra signature files: the notation, and every fault of a file reported at once.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <ostream>
#include <string>
#include <vector>

#include "engine/extra_signatures.h"

namespace {

using engine::ParseSignatureFile;

struct GoodFile {
  const char* name;
  std::string_view bytes;
  std::size_t platforms, plain, regex, generator;
};

void PrintTo(const GoodFile& c, std::ostream* os) { *os << c.name; }

class GoodSignatureFiles : public testing::TestWithParam<GoodFile> {};

TEST_P(GoodSignatureFiles, LoadWhole) {
  const auto& c = GetParam();
  const auto check = ParseSignatureFile("my.txt", c.bytes);
  EXPECT_EQ(check.errors, std::vector<std::string>());
  EXPECT_EQ(check.file.platforms.size(), c.platforms);
  EXPECT_EQ(check.file.plain.size(), c.plain);
  EXPECT_EQ(check.file.regex.size(), c.regex);
  EXPECT_EQ(check.file.generator.size(), c.generator);
}

const GoodFile kGoodFiles[] = {
    {"Empty", "", 0, 0, 0, 0},
    {"OnlyCommentsAndBlanks", "# a\n\n   \n\t\n#[plain]\n", 0, 0, 0, 0},
    {"AllSections",
     "[platforms]\nghostx,Ghost Blog,https://ghost.org/\n[plain]\n<meta name=\"generator\" content=\"Ghost||/ghost/api/:-ghostx\n"
     "[regex]\n<script[^>]+/media/system/js/core(\\.min)?\\.js:-joom\n",
     1, 1, 1, 0},
    {"ByteOrderMarkAndCrLf", "\xEF\xBB\xBF[plain]\r\nabc:-wp\r\n", 0, 1, 0, 0},
    {"PlatformDefinedAfterUse", "[plain]\nabc:-newcms\n[platforms]\nnewcms,New CMS,https://new.example/\n", 1, 1, 0, 0},
    {"SectionsRepeat", "[plain]\naa1:-wp\n[regex]\nbb\\d:-wp\n[plain]\naa2:-dru\n", 0, 2, 1, 0},
    {"BuiltInCodeWithItsOwnName", "[platforms]\nwp,WordPress,https://wordpress.org/\n", 1, 0, 0, 0},
    {"CodeOfElevenWithUnderscore", "[platforms]\nabc_def_123,X,http://x.example/\n[plain]\nqqq:-abc_def_123\n", 1, 1, 0, 0},
    {"NonAsciiText", "[plain]\n<p>Redakční systém:-ipo\n", 0, 1, 0, 0},
    {"HashInsideALineIsText", "[plain]\n  # not a comment:-wp\n", 0, 1, 0, 0},
    {"NoFinalLineBreak", "[regex]\nfoo(bar)?:-wp", 0, 0, 1, 0},
    {"GeneratorNames", "[generator]\nDrupal:-dru\n# c\nJoomla! - Open Source||Joomla!:-joom\nМой сайт:-newcms\n"
     "[platforms]\nnewcms,New CMS,https://new.example/\n",
     1, 0, 0, 3},
};

INSTANTIATE_TEST_SUITE_P(Cases, GoodSignatureFiles, testing::ValuesIn(kGoodFiles),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadFile {
  const char* name;
  std::string_view bytes;
  std::vector<std::string> errors;
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

class BadSignatureFiles : public testing::TestWithParam<BadFile> {};

TEST_P(BadSignatureFiles, ReportEveryFaultAndLoadNothing) {
  const auto& c = GetParam();
  const auto check = ParseSignatureFile("my.txt", c.bytes);
  EXPECT_EQ(check.errors, c.errors);
  EXPECT_TRUE(check.file.platforms.empty() && check.file.plain.empty() && check.file.regex.empty() &&
              check.file.generator.empty());
}

const BadFile kBadFiles[] = {
    {"LineOutsideASection", "# fine\nabc:-wp\n", {"my.txt:2: line outside a section ([platforms], [plain], [regex] or [generator])"}},
    {"EntryWithoutCode", "[plain]\nabc-wp\n", {"my.txt:2: entry without \":-\" and a platform code"}},
    {"EmptyAlternatives",
     "[plain]\nabc||||bcd:-wp\n||abc:-wp\n:-wp\n",
     {"my.txt:2: empty alternative 2", "my.txt:3: empty alternative 1", "my.txt:4: empty entry: nothing before \":-\""}},
    {"UnknownCode", "[plain]\nabc:-nosuch\nabc:-WP\n",
     {"my.txt:2: unknown platform code \"nosuch\" (neither in the catalogue nor in [platforms])",
      "my.txt:3: unknown platform code \"WP\" (neither in the catalogue nor in [platforms])"}},
    {"BadPlatformRows",
     "[platforms]\nx,One letter,https://x.example/\ntoolongcode12,Long,https://x.example/\nAb,Upper,https://x.example/\n"
     "ok,,https://x.example/\nok2,Name\nok3,A,B,https://x.example/\nok4,Name,ftp://x.example/\n",
     {"my.txt:2: platform code \"x\" is not 2 to 11 of a-z, 0-9 and _",
      "my.txt:3: platform code \"toolongcode12\" is not 2 to 11 of a-z, 0-9 and _",
      "my.txt:4: platform code \"Ab\" is not 2 to 11 of a-z, 0-9 and _", "my.txt:5: platform \"ok\" has no name",
      "my.txt:6: a platform row is \"code,name,home page\" (names hold no comma)",
      "my.txt:7: a platform row is \"code,name,home page\" (names hold no comma)",
      "my.txt:8: home page of \"ok4\" does not begin with http:// or https://"}},
    {"RedefinedBuiltInCode", "[platforms]\nwp,WordPress.com,https://wordpress.com/\n",
     {"my.txt:2: built-in code \"wp\" is WordPress; it may be used in entries but not redefined"}},
    {"PlatformTwice", "[platforms]\nnewcms,New,https://a.example/\nnewcms,New,https://a.example/\n",
     {"my.txt:3: platform \"newcms\" is already defined on line 2"}},
    {"ExpressionsThatDoNotCompile", "[regex]\nfoo(bar:-wp\nokay||a[b:-wp\n",
     {"my.txt:2: expression of the entry does not compile: missing closing parenthesis at offset 7",
      "my.txt:3: expression of alternative 2 does not compile: missing terminating ] for character class at offset 3"}},
    {"PlainTextIsNotCompiled", "[plain]\nfoo(bar:-wp\n[regex]\nfoo(bar:-wp\n",
     {"my.txt:4: expression of the entry does not compile: missing closing parenthesis at offset 7"}},
    {"UnknownSectionReportedOnce", "[plain]\nabc:-wp\n[regexp]\nfoo(:-wp\nbar(:-wp\n",
     {"my.txt:3: unknown section [regexp] (known: [platforms], [plain], [regex], [generator])"}},
    {"GeneratorNames",
     "[generator]\nDrupal ||Backdrop:-dru\nHugo|| Ghost:-hugo\n||Ghost:-ghost\nGhost:-nosuch\n(Drupal:-dru\n",
     {"my.txt:2: generator name of alternative 1 begins or ends with a blank",
      "my.txt:3: generator name of alternative 2 begins or ends with a blank", "my.txt:4: empty alternative 1",
      "my.txt:5: unknown platform code \"nosuch\" (neither in the catalogue nor in [platforms])"}},
    {"NotUtf8", "[plain]\ncaf\xE9:-wp\n\xC0\xAF:-wp\n", {"my.txt:2: not UTF-8", "my.txt:3: not UTF-8"}},
    {"ErrorsInLineOrderAcrossSections",
     "[plain]\n:-wp\n[platforms]\nbad code,X,https://x.example/\n[regex]\n(:-nosuch\n",
     {"my.txt:2: empty entry: nothing before \":-\"",
      "my.txt:4: platform code \"bad code\" is not 2 to 11 of a-z, 0-9 and _",
      "my.txt:6: unknown platform code \"nosuch\" (neither in the catalogue nor in [platforms])",
      "my.txt:6: expression of the entry does not compile: missing closing parenthesis at offset 1"}},
};

// Entries that would credit nearly every page; a file saved with CR alone
// at its line ends is read line by line (its faults on their own lines).
const BadFile kCarelessFiles[] = {
    {"ShortAlternatives", "[plain]\n<||abc:-wp\n[regex]\n.:-wp\n.*:-wp\nab:-wp\n[generator]\nOx:-wp\n",
     {"my.txt:2: alternative 1 is shorter than three characters: it would credit nearly every page",
      "my.txt:4: the entry is shorter than three characters: it would credit nearly every page",
      "my.txt:5: the entry is shorter than three characters: it would credit nearly every page",
      "my.txt:6: the entry is shorter than three characters: it would credit nearly every page"}},
    {"PageSkeleton",
     "[plain]\n<html:-wp\nwp-content||<div class=\":-wp\n</body>:-wp\n<HTML:-wp\n",
     {"my.txt:2: the entry occurs in every ordinary page: \"<html\"",
      "my.txt:3: alternative 2 occurs in every ordinary page: \"<div class=\"\"",
      "my.txt:4: the entry occurs in every ordinary page: \"</body>\""}},
    {"CrOnlyLineEnds", "[plain]\rno code\r\r[regex]\rfoo(:-wp\r\n(:-wp\r",
     {"my.txt:2: entry without \":-\" and a platform code",
      "my.txt:5: expression of the entry does not compile: missing closing parenthesis at offset 4",
      "my.txt:6: expression of the entry does not compile: missing closing parenthesis at offset 1"}},
};

INSTANTIATE_TEST_SUITE_P(Careless, BadSignatureFiles, testing::ValuesIn(kCarelessFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SignatureFile, CrOnlyLineEndsEndLines) {
  const auto check = ParseSignatureFile("my.txt", "# old editor\r[plain]\rwp-marker:-wp\r\rghost-mark:-ghost");
  ASSERT_EQ(check.errors, std::vector<std::string>());
  ASSERT_EQ(check.file.plain.size(), 2u);
  EXPECT_EQ(check.file.plain[0].line, 3);
  EXPECT_EQ(check.file.plain[1].line, 5);
  EXPECT_EQ(check.file.plain[1].alternatives, std::vector<std::u16string>{u"ghost-mark"});
}

INSTANTIATE_TEST_SUITE_P(Cases, BadSignatureFiles, testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SignatureFile, KeepsEntriesAsWrittenWithTheirLines) {
  const auto check = ParseSignatureFile(
      "my.txt", "[plain]\n# c\n  a b ||cde:- wp \n[regex]\n\nx(y|z)\\d:-ghost\n[platforms]\nnew_1,New One,https://n.example/\n");
  ASSERT_EQ(check.errors, std::vector<std::string>());
  ASSERT_EQ(check.file.plain.size(), 1u);
  // Built-in rules: the whole pattern side is trimmed, a blank inside an
  // alternative belongs to it.
  EXPECT_EQ(check.file.plain[0].alternatives, (std::vector<std::u16string>{u"a b ", u"cde"}));
  EXPECT_EQ(check.file.plain[0].code, u"wp");
  EXPECT_EQ(check.file.plain[0].line, 3);
  ASSERT_EQ(check.file.regex.size(), 1u);
  EXPECT_EQ(check.file.regex[0].alternatives, (std::vector<std::u16string>{u"x(y|z)\\d"}));
  EXPECT_EQ(check.file.regex[0].line, 6);
  ASSERT_EQ(check.file.platforms.size(), 1u);
  EXPECT_EQ(check.file.platforms[0].name, u"New One");
  EXPECT_EQ(check.file.platforms[0].homePage, u"https://n.example/");
  EXPECT_EQ(engine::SignatureFileSummary(check.file),
            "my.txt: 1 platforms, 1 plain entries, 1 regular-expression entries, 0 generator entries");
}

TEST(SignatureFile, FilesUsedTogetherAgreeOnPlatformNames) {
  const auto first = ParseSignatureFile("a.txt", "[platforms]\nnewcms,New CMS,https://a.example/\nother,Other,https://o.example/\n");
  const auto same = ParseSignatureFile("b.txt", "# b\n[platforms]\nnewcms,New CMS,https://elsewhere.example/\n");
  const auto renamed = ParseSignatureFile("c.txt", "[platforms]\nthird,Third,https://t.example/\nnewcms,Newer CMS,https://a.example/\n");
  ASSERT_TRUE(first.errors.empty() && same.errors.empty() && renamed.errors.empty());
  EXPECT_EQ(engine::PlatformConflicts({first.file}, same.file), std::vector<std::string>());
  EXPECT_EQ(engine::PlatformConflicts({first.file, same.file}, renamed.file),
            std::vector<std::string>{"c.txt:3: platform \"newcms\" is New CMS in a.txt (line 2)"});
  EXPECT_EQ(engine::PlatformConflicts({}, renamed.file), std::vector<std::string>());
}

TEST(SignatureFile, FilesLoadInOrderAndAFaultyOneIsLeftOut) {
  QTemporaryDir dir;
  auto write = [&](const char* name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return dir.filePath(name).toStdString();
  };
  const auto shipped = write("extra.txt", "[platforms]\nnewcms,New CMS,https://a.example/\n[plain]\naa1:-newcms\n");
  const auto faulty = write("bad.txt", "[plain]\nno code\n");
  const auto renaming = write("renaming.txt", "[platforms]\nnewcms,Other,https://a.example/\n");
  const auto user = write("mine.txt", "[plain]\nbb1:-ghost\n");
  const auto missing = dir.filePath("missing.txt").toStdString();
  const auto load = engine::LoadSignatureFiles({shipped, faulty, renaming, user, missing});
  ASSERT_EQ(load.files.size(), 2u);
  EXPECT_EQ(load.files[0].name, shipped);
  EXPECT_EQ(load.files[1].name, user);
  EXPECT_EQ(load.rejected, (std::vector<std::vector<std::string>>{
                               {faulty + ":2: entry without \":-\" and a platform code"},
                               {renaming + ":2: platform \"newcms\" is New CMS in " + shipped + " (line 2)"},
                               {missing + ": cannot read: No such file or directory"}}));
  EXPECT_EQ(engine::ShippedSignaturePath("/opt/app"), "/opt/app/Signatures/extra.txt");
  EXPECT_EQ(engine::ShippedSignaturePath("/opt/app/"), "/opt/app/Signatures/extra.txt");
}

TEST(SignatureFile, LoadsFromDiskOrSaysWhyNot) {
  QTemporaryDir dir;
  const QString path = dir.filePath("sig.txt");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[plain]\nabc:-wp\n");
  file.close();
  const auto good = engine::LoadSignatureFile(path.toStdString());
  EXPECT_EQ(good.errors, std::vector<std::string>());
  EXPECT_EQ(good.file.name, path.toStdString());
  EXPECT_EQ(good.file.plain.size(), 1u);

  const std::string missing = dir.filePath("missing.txt").toStdString();
  EXPECT_EQ(engine::LoadSignatureFile(missing).errors,
            std::vector<std::string>{missing + ": cannot read: No such file or directory"});
  const std::string folder = dir.path().toStdString();
  EXPECT_EQ(engine::LoadSignatureFile(folder).errors,
            std::vector<std::string>{folder + ": cannot read: Is a directory"});
}

}  // namespace
