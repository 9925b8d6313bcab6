// The window's extra signatures: the Settings items, the user's file, and a
// run that reads the files at Start.
#include <QAbstractItemModel>
#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/extra_signatures.h"
#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "ui/signature_preparation.h"
#include "i18n/language.h"
#include "support/run_site.h"
#include "ui/signature_faults.h"

namespace {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;

// /ghost: a page only the shipped set knows; /mine: one only the user's file
// knows; /letters...: a megabyte of letters; /own, /other: a link to a file
// under this site's own or another site's WordPress uploads; all say
// "Server: site".
SiteReply Answer(const SiteRequest& request) {
  SiteReply reply;
  reply.headers.push_back({"Content-Type", "text/html"});
  reply.headers.push_back({"Server", "site"});
  if (request.path == "/ghost") {
    reply.body = "<html><head><meta name=\"generator\" content=\"Ghost 5.2\"></head></html>";
  } else if (request.path.starts_with("/letters")) {
    reply.body = "<html>" + std::string(1 << 20, 'q') + ";=</html>";
  } else if (request.path == "/own" || request.path == "/other") {
    const auto host = request.headers.find("host");
    const std::string site = request.path == "/own" && host != request.headers.end() ? host->second : "other.example";
    reply.body = "<html><body><a href=\"http://" + site + "/wp-content/uploads/a.pdf\">a</a></body></html>";
  } else {
    reply.body = "<html><body><div class=\"my-own-marker\"></div></body></html>";
  }
  return reply;
}

class ExtrasTest : public GuiTest {
 protected:
  QAction* Item(const char* name) { return Child<QAction>(name); }
  QString Setting() const {
    for (const QString& line : QString::fromUtf8(ReadData("settings.ini")).split(QStringLiteral("\r\n")))
      if (line.startsWith(QStringLiteral("ExtraSignatures="))) return line.mid(16);
    return QStringLiteral("<absent>");
  }
  // The shipped set where the window looks for it: beside the program.
  void ShipSignatures() {
    ASSERT_TRUE(QDir(folder_.path()).mkpath(QStringLiteral("Signatures")));
    const QString source = qEnvironmentVariable("LUMASIFT_SOURCE_DIR") + QStringLiteral("/Signatures/extra.txt");
    ASSERT_TRUE(QFile::copy(source, DataFile(QStringLiteral("Signatures/extra.txt")))) << source.toStdString();
  }
  QStringList Results() {
    QStringList rows;
    QAbstractItemModel* model = Child<QTableView>("ListView1")->model();
    for (int row = 0; row < model->rowCount(); ++row) rows << model->index(row, 1).data().toString();
    return rows;
  }
  QStringList Run(const QStringList& paths) {
    QStringList lines;
    for (const QString& path : paths) lines << QString::fromStdString(site_.Url(path.toStdString()));
    Editor()->setText(lines.join(u'\n'));
    // Start is disabled while the signatures compile.
    EXPECT_TRUE(WaitFor([this] { return StartButton()->isEnabled(); }));
    QTest::mouseClick(StartButton(), Qt::LeftButton);
    EXPECT_TRUE(WaitForIdle());
    return Results();
  }
  RunSite site_{Answer};
};

TEST_F(ExtrasTest, CheckItemIsStoredAndAbsentMeansOff) {
  OpenForm();
  EXPECT_TRUE(Item("ExtraSignatures1")->isCheckable());
  EXPECT_FALSE(Item("ExtraSignatures1")->isChecked());
  EXPECT_EQ(Setting(), QStringLiteral("<absent>"));
  Item("ExtraSignatures1")->trigger();
  EXPECT_EQ(Setting(), QStringLiteral("1"));
  OpenForm();
  EXPECT_TRUE(Item("ExtraSignatures1")->isChecked());
  Item("ExtraSignatures1")->trigger();
  EXPECT_EQ(Setting(), QStringLiteral("0"));
  OpenForm();
  EXPECT_FALSE(Item("ExtraSignatures1")->isChecked());
}

TEST_F(ExtrasTest, EditMySignaturesCreatesTheFileOnceAndOpensIt) {
  OpenForm();
  Item("EditMySignatures1")->trigger();
  const QString path = DataFile(QStringLiteral("signatures.txt"));
  ASSERT_EQ(openedFiles_, QList<QUrl>{QUrl::fromLocalFile(path)});
  // The example is a sound, empty file.
  const QByteArray example = ReadData(QStringLiteral("signatures.txt"));
  const auto check = engine::ParseSignatureFile("signatures.txt", std::string(example.constData(), example.size()));
  EXPECT_EQ(check.errors, std::vector<std::string>());
  EXPECT_TRUE(check.file.plain.empty() && check.file.regex.empty() && check.file.platforms.empty());
  EXPECT_TRUE(ui::TMessageBoxSeam::TakeShown().empty());
  // Like the other files of the data folder, the owner's alone.
  EXPECT_EQ(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);

  // The user's own file is never written over; nothing to open it with: a box
  // that names the file.
  WriteData(QStringLiteral("signatures.txt"), "[plain]\nmine:-wp\n");
  openFileWorks_ = false;
  Item("EditMySignatures1")->trigger();
  EXPECT_EQ(ReadData(QStringLiteral("signatures.txt")), QByteArray("[plain]\nmine:-wp\n"));
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].text.contains(QDir::toNativeSeparators(path))) << shown[0].text.toStdString();
}

// The files are compiled away from the window's thread: a Start waits for
// them with Start disabled and a word in the status bar, and the compiled
// set serves every later Start until a file changes.
TEST_F(ExtrasTest, SignaturesCompileOffTheWindowThreadAndAreKeptWhileUnchanged) {
  ShipSignatures();
  WriteData(QStringLiteral("signatures.txt"),
            "[platforms]\nmycms,My CMS,https://my.example/\n[plain]\nmy-own-marker:-mycms\n");
  OpenForm();
  auto* preparation = form_->findChild<ui::TSignaturePreparation*>();
  ASSERT_NE(preparation, nullptr);
  EXPECT_EQ(preparation->Compilations(), 0);  // off: nothing compiled
  Item("ExtraSignatures1")->trigger();        // on: compiled at once, in the background
  EXPECT_EQ(preparation->Compilations(), 1);
  EXPECT_FALSE(StartButton()->isEnabled());
  EXPECT_EQ(form_->StatusText(1), QStringLiteral("Preparing the extra signatures..."));
  // The window answers meanwhile.
  bool ticked = false;
  QTimer::singleShot(0, form_.get(), [&] { ticked = true; });
  EXPECT_TRUE(WaitFor([&] { return ticked; }, 5000));
  EXPECT_TRUE(WaitFor([&] { return StartButton()->isEnabled(); }, 20000));
  EXPECT_TRUE(form_->StatusText(1).isEmpty());

  EXPECT_EQ(Run({"/ghost", "/mine"}), (QStringList{"Ghost CMS, site", "My CMS, site"}));
  EXPECT_EQ(Run({"/mine"}), (QStringList{"My CMS, site"}));
  EXPECT_EQ(preparation->Compilations(), 1);  // unchanged files: the same set

  // A changed file: the Start waits for its new set, then runs with it.
  WriteData(QStringLiteral("signatures.txt"),
            "[platforms]\nmycms,My CMS,https://my.example/\n[plain]\nmy-own-marker:-ghost\n");
  Editor()->setText(QString::fromStdString(site_.Url("/mine")));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  EXPECT_FALSE(StartButton()->isEnabled());
  EXPECT_EQ(form_->StatusText(1), QStringLiteral("Preparing the extra signatures..."));
  EXPECT_TRUE(WaitForIdle());
  EXPECT_EQ(Results(), QStringList{"Ghost CMS, site"});
  EXPECT_EQ(preparation->Compilations(), 2);
  EXPECT_TRUE(ui::TMessageBoxSeam::TakeShown().empty());
}

// Turning the extras on from the menu disables Start while they compile;
// the keyboard focus it had comes back to it once they are ready.
TEST_F(ExtrasTest, StartKeepsTheKeyboardFocusWhileTheSignaturesCompile) {
  ShipSignatures();
  OpenForm();
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  StartButton()->setFocus(Qt::TabFocusReason);
  Item("ExtraSignatures1")->trigger();
  ASSERT_FALSE(StartButton()->isEnabled());
  EXPECT_TRUE(WaitFor([&] { return StartButton()->isEnabled(); }, 20000));
  EXPECT_EQ(form_->focusWidget(), StartButton());
}

TEST_F(ExtrasTest, FilesAreReadAtEveryStartAndAFaultyOneIsLeftOut) {
  ShipSignatures();
  WriteData(QStringLiteral("signatures.txt"),
            "[platforms]\nmycms,My CMS,https://my.example/\n[plain]\nmy-own-marker:-mycms\n");
  OpenForm();
  // Off: the built-in tables alone.
  EXPECT_EQ(Run({"/ghost", "/mine"}), (QStringList{"site", "site"}));
  Item("ExtraSignatures1")->trigger();
  EXPECT_EQ(Run({"/ghost", "/mine"}), (QStringList{"Ghost CMS, site", "My CMS, site"}));
  EXPECT_TRUE(ui::TMessageBoxSeam::TakeShown().empty());

  // Edited between runs: the next Start reads it; with faults it is left
  // out after one box that lists them, and the run goes on.
  WriteData(QStringLiteral("signatures.txt"), "[plain]\nmy-own-marker\nx:-nosuch\n");
  EXPECT_EQ(Run({"/ghost", "/mine"}), (QStringList{"Ghost CMS, site", "site"}));
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  const QString file = DataFile(QStringLiteral("signatures.txt"));
  EXPECT_TRUE(shown[0].text.contains(file + QStringLiteral(":2: entry without \":-\" and a platform code")))
      << shown[0].text.toStdString();
  EXPECT_TRUE(shown[0].text.contains(file + QStringLiteral(":3: unknown platform code \"nosuch\"")));
}

// An expression of the user's that runs away stops at its limit on each such
// page; the run ends as usual and then says so once, naming the expression,
// its first site and how many; the evidence names it for each site.
TEST_F(ExtrasTest, RunawayExpressionStopsAndEachRunWarnsOnce) {
  ShipSignatures();
  WriteData(QStringLiteral("signatures.txt"), "[regex]\n[a-z]*[a-z]*=:-ghost\n");
  OpenForm();
  Item("ExtraSignatures1")->trigger();
  for (int run = 0; run < 2; ++run) {
    // "class=" on the middle page is an ordinary match.
    EXPECT_EQ(Run({"/letters1", "/mine", "/letters2"}), (QStringList{"site", "Ghost CMS, site", "site"}));
    std::vector<ui::TShownMessage> shown;
    ASSERT_TRUE(WaitFor([&] {
      auto more = ui::TMessageBoxSeam::TakeShown();
      shown.insert(shown.end(), more.begin(), more.end());
      return !shown.empty();
    }));
    QTest::qWait(50);
    ASSERT_EQ(shown.size(), 1u);
    const QString file = DataFile(QStringLiteral("signatures.txt"));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral(" on 2 site(s)"))) << shown[0].text.toStdString();
    EXPECT_TRUE(shown[0].text.endsWith(QStringLiteral("expression 1 (") + file +
                                       QStringLiteral(" line 2) stopped at its limit\n") +
                                       QString::fromStdString(site_.Url("/letters1"))))
        << shown[0].text.toStdString();
  }
  const auto& record = form_->WorkList().at(2);
  ASSERT_EQ(record.evidence.Stopped().size(), 1u);
  EXPECT_EQ(form_->WorkList().at(1).evidence.Stopped().size(), 0u);
}

// Every fault a signature file can have, as the engine words it, is shown
// in the interface language: the file and line as they are, the reason
// translated, its variable parts (codes, names, the expression library's
// message) kept.
TEST(SignatureFaults, EveryReasonIsTranslatedInEveryShippedLanguage) {
  QTemporaryDir program, none;
  dialogtest::CopyShippedLanguages(program.path());
  const std::string file = "/sigs/my file:1.txt";  // a colon in a name does not confuse the reading
  std::vector<std::string> faults =
      engine::ParseSignatureFile(file, "stray line\n"
                                       "[nosuch]\n"
                                       "[platforms]\n"
                                       "just one field\n"
                                       "Bad!,Name,https://x.example/\n"
                                       "noname,,https://x.example/\n"
                                       "nohome,Name,ftp://x.example/\n"
                                       "joom,Not Joomla,https://x.example/\n"
                                       "twice,Twice,https://x.example/\n"
                                       "twice,Twice,https://x.example/\n"
                                       "[plain]\n"
                                       "no code here\n"
                                       "marker:-nosuchcode\n"
                                       "a||:-joom\n"
                                       ":-joom\n"
                                       "\xff\xfe:-joom\n"
                                       "</body>:-joom\n"
                                       "[regex]\n"
                                       "a||(b:-joom\n"
                                       "(b:-joom\n"
                                       "[generator]\n"
                                       "Joomla! ||Joomla:-joom\n")
          .errors;
  engine::TSignatureFile earlier{"/sigs/first.txt", {{u"mine", u"Mine", u"https://m.example/", 4}}, {}, {}, {}};
  engine::TSignatureFile later{file, {{u"mine", u"Other", u"https://m.example/", 2}}, {}, {}, {}};
  for (const std::string& conflict : engine::PlatformConflicts({earlier}, later)) faults.push_back(conflict);
  faults.push_back(engine::LoadSignatureFile("/nonexistent/sigs.txt").errors.at(0));
  ASSERT_EQ(faults.size(), 21u);
  const QStringList files{QString::fromStdString(file), QStringLiteral("/nonexistent/sigs.txt")};

  i18n::LoadLanguage(QString(), none.path());
  for (const std::string& fault : faults)
    EXPECT_EQ(ui::TranslatedSignatureFault(QString::fromStdString(fault), files), QString::fromStdString(fault))
        << "English stays as the engine says it";
  for (const char* language : {"German.lang.txt", "French.lang.txt", "Turkish.lang.txt"}) {
    i18n::LoadLanguage(QString::fromLatin1(language), program.path());
    for (const std::string& fault : faults) {
      const QString english = QString::fromStdString(fault);
      const QString shown = ui::TranslatedSignatureFault(english, files);
      EXPECT_NE(shown, english) << language << ": not recognised: " << fault;
      const QString where = english.left(english.indexOf(QLatin1String(": "), english.indexOf(QLatin1String(".txt"))) + 2);
      EXPECT_TRUE(shown.startsWith(where)) << language << ": " << shown.toStdString();
    }
  }
  // The variable parts stay: a code, a built-in name, the library's message.
  i18n::LoadLanguage(QStringLiteral("German.lang.txt"), program.path());
  const QString joined = [&] {
    QStringList all;
    for (const std::string& fault : faults) all << ui::TranslatedSignatureFault(QString::fromStdString(fault), files);
    return all.join(u'\n');
  }();
  EXPECT_TRUE(joined.contains(QStringLiteral("\"nosuchcode\""))) << joined.toStdString();
  EXPECT_TRUE(joined.contains(QStringLiteral("\"joom\" ist Joomla"))) << joined.toStdString();
  EXPECT_TRUE(joined.contains(QStringLiteral("Plattform \"twice\" ist bereits in Zeile 9 definiert"))) << joined.toStdString();
  i18n::LoadLanguage(QString(), none.path());
}

// With extras on, the site's URL tells its own files from another site's.
TEST_F(ExtrasTest, LinksToOtherSitesCountOnlyWithoutExtras) {
  ShipSignatures();
  OpenForm();
  EXPECT_EQ(Run({"/own", "/other"}), (QStringList{"WordPress, site", "WordPress, site"}));
  Item("ExtraSignatures1")->trigger();
  EXPECT_EQ(Run({"/own", "/other"}), (QStringList{"WordPress, site", "site"}));
}

}  // namespace
