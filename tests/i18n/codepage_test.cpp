#include "i18n/codepage.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <thread>

namespace {

// Sets the locale variables for one test and puts the old values back.
class ScopedLocale {
 public:
  ScopedLocale(const char* language, const char* lcAll, const char* lcMessages, const char* lang) {
    const char* values[] = {language, lcAll, lcMessages, lang};
    for (int i = 0; i < 4; ++i) {
      saved_[i] = qgetenv(kNames[i]);
      had_[i] = qEnvironmentVariableIsSet(kNames[i]);
      if (values[i]) qputenv(kNames[i], values[i]); else qunsetenv(kNames[i]);
    }
  }
  explicit ScopedLocale(const char* lang) : ScopedLocale(nullptr, nullptr, nullptr, lang) {}
  ~ScopedLocale() {
    for (int i = 0; i < 4; ++i) {
      if (had_[i]) qputenv(kNames[i], saved_[i]); else qunsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char* kNames[4] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  QByteArray saved_[4];
  bool had_[4] = {};
};

TEST(UiLocaleNameTest, FollowsLanguageThenLcAllThenLcMessagesThenLang) {
  {
    ScopedLocale env(":fr_FR:de", "de_DE.UTF-8", "es_ES", "it_IT");
    EXPECT_EQ(i18n::UiLocaleName(), "fr_FR");
  }
  {
    ScopedLocale env("", "", "es_ES.UTF-8", "it_IT");
    EXPECT_EQ(i18n::UiLocaleName(), "es_ES.UTF-8");
  }
  {
    ScopedLocale env(nullptr, nullptr, nullptr, "tr_TR.UTF-8");
    EXPECT_EQ(i18n::UiLocaleName(), "tr_TR.UTF-8");
    EXPECT_EQ(i18n::UserDefaultUILanguage(), 1055);
  }
  {
    ScopedLocale env(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(i18n::UiLocaleName(), "C");
    EXPECT_EQ(i18n::UserDefaultUILanguage(), 1033);
  }
}

TEST(LanguageIdTest, LocaleNamesBecomeWindowsLanguageIds) {
  const struct {
    const char* locale;
    int id;
  } cases[] = {
      {"de_DE.UTF-8", 1031},  {"de_DE.UTF-8@euro", 1031}, {"de", 1031},       {"de_AT", 3079},
      {"en_US", 1033},        {"en_GB.UTF-8", 2057},      {"en", 1033},       {"en_XX", 1033},
      {"C", 1033},            {"POSIX", 1033},            {"C.UTF-8", 1033},  {"", 1033},
      {"tlh", 1033},          {"fr_FR", 1036},            {"tr_TR.ISO-8859-9", 1055},
      {"pt_BR", 1046},        {"pt_PT", 2070},            {"zh_CN.GB18030", 2052},
      {"zh_TW", 1028},        {"zh", 2052},               {"sr_RS", 10266},   {"sr_RS@latin", 9242},
      {"ja_JP.eucJP", 1041},  {"ru", 1049},               {"uk_UA", 1058},    {"de-DE", 1031},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(i18n::LanguageIdForLocale(QString::fromLatin1(c.locale)), c.id) << c.locale;
  }
}

TEST(AnsiCodePageTest, CodePageOfTheInterfaceLanguage) {
  const struct {
    const char* locale;
    int codePage;
  } cases[] = {
      {"en_US.UTF-8", 1252}, {"de_DE", 1252}, {"fr", 1252},        {"C", 1252},
      {"pl_PL", 1250},       {"cs_CZ", 1250}, {"hu", 1250},        {"sr_RS@latin", 1250},
      {"ru_RU", 1251},       {"uk", 1251},    {"bg_BG", 1251},     {"sr_RS", 1251},
      {"el_GR", 1253},       {"tr_TR", 1254}, {"az_AZ", 1254},     {"he_IL", 1255},
      {"ar_EG", 1256},       {"fa_IR", 1256}, {"lt_LT", 1257},     {"lv", 1257},
      {"et_EE", 1257},       {"vi_VN", 1258}, {"th_TH", 874},      {"ja_JP.UTF-8", 932},
      {"zh_CN", 936},        {"zh_SG", 936},  {"ko_KR", 949},      {"zh_TW", 950},
      {"zh_HK", 950},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(i18n::AnsiCodePageForLocale(QString::fromLatin1(c.locale)), c.codePage) << c.locale;
  }
}

// ICU writes locale names into fixed buffers of ULOC_FULLNAME_CAPACITY (157)
// bytes; a name that fills one exactly comes back without its terminating
// NUL, a longer one does not fit at all. Names around that size (built from
// letters so that every length is a name ICU accepts) keep their language
// and region, and a name that is only a long unknown language is English.
// The cases run on a thread of their own: its stack is fresh, so the bytes
// after a buffer are zeros, and a read past an unterminated buffer goes on
// into the address sanitizer's red zone (this file is also built with it)
// instead of stopping early at whatever an earlier call left there.
TEST(LanguageIdTest, NamesAroundIcusBufferSizeKeepTheirLanguage) {
  const struct {
    const char* prefix;
    int length;  // of the whole name
    int id;
    int codePage;
  } cases[] = {
      {"", 157, 1033, 1252},       {"", 156, 1033, 1252},       {"", 158, 1033, 1252},
      {"", 1000, 1033, 1252},      {"de_DE_", 156, 1031, 1252}, {"de_DE_", 157, 1031, 1252},
      {"de_DE_", 158, 1031, 1252}, {"de_DE_", 400, 1031, 1252}, {"ru_RU_", 157, 1049, 1251},
      {"ru_RU_", 158, 1049, 1251}, {"de__", 157, 1031, 1252},
  };
  std::thread([&cases] {
    for (const auto& c : cases) {
      QString name = QString::fromLatin1(c.prefix);
      name += QString(c.length - name.size(), u'x');
      EXPECT_EQ(i18n::LanguageIdForLocale(name), c.id) << c.prefix << c.length;
      EXPECT_EQ(i18n::AnsiCodePageForLocale(name), c.codePage) << c.prefix << c.length;
      EXPECT_EQ(i18n::AnsiCodePageForLocale(name + QStringLiteral(".UTF-8@euro")), c.codePage)
          << c.prefix << c.length;
    }
  }).join();
  // The environment at the window's start, and the code page of a list.txt
  // that is not UTF-8.
  const QByteArray letters(157, 'x');
  ScopedLocale env(nullptr, letters.constData(), nullptr, letters.constData());
  std::thread([] {
    EXPECT_EQ(i18n::UserDefaultUILanguage(), 1033);
    EXPECT_EQ(i18n::DecodeAnsi("Caf\xE9"), QString::fromUtf8("Café"));
  }).join();
}

TEST(AnsiCodePageTest, DecodesAndEncodesInTheUsersCodePage) {
  {
    ScopedLocale env("de_DE.UTF-8");
    EXPECT_EQ(i18n::AnsiCodePage(), 1252);
    EXPECT_EQ(i18n::DecodeAnsi("Caf\xE9 \x80"), QString::fromUtf8("Café €"));
    EXPECT_EQ(i18n::EncodeAnsi(QString::fromUtf8("Café €")), QByteArray("Caf\xE9 \x80"));
    EXPECT_EQ(i18n::EncodeAnsi(QString::fromUtf8("日本")), QByteArray("??"));
  }
  {
    ScopedLocale env("ru_RU.UTF-8");
    EXPECT_EQ(i18n::DecodeAnsi("Caf\xE9"), QString::fromUtf8("Cafй"));
  }
  {
    ScopedLocale env("ja_JP.UTF-8");
    EXPECT_EQ(i18n::DecodeAnsi("\x82\xA0\x93\xFA"), QString::fromUtf8("あ日"));
    EXPECT_EQ(i18n::EncodeAnsi(QString::fromUtf8("あ日")), QByteArray("\x82\xA0\x93\xFA"));
  }
  for (int codePage : {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    EXPECT_NO_THROW(i18n::DecodeCodePage("abc", codePage)) << codePage;
  }
  EXPECT_THROW(i18n::DecodeCodePage("abc", 12345), std::runtime_error);
}

TEST(Utf8Test, StrictDecodingRejectsEveryIllFormedSequence) {
  const struct {
    const char* name;
    QByteArray bytes;
    std::optional<QString> text;
  } cases[] = {
      {"plain", "abc", QStringLiteral("abc")},
      {"mark skipped", "\xEF\xBB\xBF" "abc", QStringLiteral("abc")},
      {"mark only", "\xEF\xBB\xBF", QString()},
      {"empty", "", QString()},
      {"second mark kept", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", QString(QChar(0xFEFF)) + u'a'},
      {"accents and astral", "\xC3\xA9\xF0\x9F\x98\x80", QString::fromUtf8("é\xF0\x9F\x98\x80")},
      {"latin-1 byte", "Caf\xE9", std::nullopt},
      {"stray continuation", "a\x80", std::nullopt},
      {"truncated at end", "a\xC3", std::nullopt},
      {"overlong slash", "\xC0\xAF", std::nullopt},
      {"encoded surrogate", "\xED\xA0\x80", std::nullopt},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(i18n::DecodeUtf8Strict(c.bytes), c.text) << c.name;
  }
  EXPECT_EQ(i18n::DecodeUtf8Lenient("\xEF\xBB\xBF" "a\x80z"), QString::fromUtf8("a\xEF\xBF\xBDz"));
}

TEST(ByteOrderMarkTest, MarkDecidesTheEncodingElseAnsi) {
  ScopedLocale env("de_DE.UTF-8");
  EXPECT_EQ(i18n::DecodeByByteOrderMark("\xEF\xBB\xBF\xC3\xA4,x"), QString::fromUtf8("ä,x"));
  EXPECT_EQ(i18n::DecodeByByteOrderMark(QByteArray("\xFF\xFE\xE4\x00,\x00", 6)), QString::fromUtf8("ä,"));
  EXPECT_EQ(i18n::DecodeByByteOrderMark(QByteArray("\xFE\xFF\x00\xE4\x00,", 6)), QString::fromUtf8("ä,"));
  // Without a mark, even valid UTF-8 is read in the ANSI code page.
  EXPECT_EQ(i18n::DecodeByByteOrderMark("\xE4"), QString::fromUtf8("ä"));
  EXPECT_EQ(i18n::DecodeByByteOrderMark("\xC3\xA4"), QString::fromUtf8("Ã¤"));
}

TEST(SplitTextLinesTest, EveryBreakStyleEndsALine) {
  EXPECT_EQ(i18n::SplitTextLines("a\r\nb\nc\rd"), QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(i18n::SplitTextLines("a\n"), QStringList({"a"}));
  EXPECT_EQ(i18n::SplitTextLines("\n\r\n"), QStringList({"", ""}));
  EXPECT_EQ(i18n::SplitTextLines(""), QStringList());
  EXPECT_EQ(i18n::SplitTextLines("a\r\rb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(i18n::SplitTextLines("a\r\n\r\nb\r\n"), QStringList({"a", "", "b"}));
}

}  // namespace
