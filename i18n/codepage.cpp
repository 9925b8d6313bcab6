#include "i18n/codepage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <unicode/ucnv.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

namespace i18n {
namespace {

constexpr int kEnglishUnitedStates = 1033;

QString FirstNonEmptyEnvironment(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const QString value = qEnvironmentVariable(name);
    if (name == std::string_view("LANGUAGE")) {
      for (const QString& entry : value.split(u':', Qt::SkipEmptyParts)) return entry;
    } else if (!value.isEmpty()) {
      return value;
    }
  }
  return QStringLiteral("C");
}

// The parts of a locale name that matter here, spelled the way ICU wants
// them. glibc's "@latin" and "@cyrillic" modifiers name a script; other
// modifiers ("@euro") and the code set (".UTF-8") are dropped.
struct LocaleParts {
  std::string language;  // lower case; empty for "C", "POSIX" and ""
  std::string script;    // "Latn", "Cyrl"... only when the name states one
  std::string region;    // "DE", "TW"... only when the name states one
};

// The text an ICU locale function writes into a caller's buffer, however
// long it is. ICU's fixed capacities are no bound: a result that exactly
// fills its buffer comes back without a terminating NUL (only a warning says
// so), a longer one does not fit at all; either way the buffer is sized from
// the length ICU reports and the call made again. nullopt when ICU fails.
template <typename IcuCall>
std::optional<std::string> LocaleText(IcuCall call) {
  std::string text(ULOC_FULLNAME_CAPACITY, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = call(text.data(), static_cast<int32_t>(text.size()), &error);
    if (length >= 0 && error != U_BUFFER_OVERFLOW_ERROR && error != U_STRING_NOT_TERMINATED_WARNING) {
      if (U_FAILURE(error) || static_cast<size_t>(length) >= text.size()) return std::nullopt;
      text.resize(static_cast<size_t>(length));
      return text;
    }
    if (length < 0 || length == INT32_MAX) return std::nullopt;
    text.assign(static_cast<size_t>(length) + 1, '\0');
  }
  return std::nullopt;
}

LocaleParts SplitLocaleName(const QString& localeName) {
  QString name = localeName.trimmed();
  QString modifier;
  if (const qsizetype at = name.indexOf(u'@'); at >= 0) {
    modifier = name.mid(at + 1).toLower();
    name.truncate(at);
  }
  if (const qsizetype dot = name.indexOf(u'.'); dot >= 0) name.truncate(dot);
  name.replace(u'-', u'_');

  LocaleParts parts;
  if (name.isEmpty() || name == u"C" || name == u"POSIX") return parts;

  const QByteArray latin1 = name.toLatin1();
  const std::optional<std::string> canonical = LocaleText([&](char* buffer, int32_t capacity, UErrorCode* error) {
    return uloc_canonicalize(latin1.constData(), buffer, capacity, error);
  });
  if (!canonical) return parts;
  const char* id = canonical->c_str();
  auto part = [id](auto icuGetter) {
    return LocaleText([&](char* buffer, int32_t capacity, UErrorCode* error) {
             return icuGetter(id, buffer, capacity, error);
           })
        .value_or(std::string());
  };
  parts.language = part(uloc_getLanguage);
  parts.script = part(uloc_getScript);
  parts.region = part(uloc_getCountry);

  if (modifier == u"latin") parts.script = "Latn";
  if (modifier == u"cyrillic") parts.script = "Cyrl";
  if (parts.language == "c" || parts.language == "posix") parts.language.clear();
  return parts;
}

std::string Join(const std::string& language, const std::string& script, const std::string& region) {
  std::string id = language;
  if (!script.empty()) id += "_" + script;
  if (!region.empty()) id += "_" + region;
  return id;
}

// The most likely script and region of a language (ICU's likely subtags):
// "de" -> Latn, DE; "sr" -> Cyrl, RS; "zh_TW" -> Hant, TW.
LocaleParts Likely(const LocaleParts& parts) {
  LocaleParts likely = parts;
  const std::string given = Join(parts.language, parts.script, parts.region);
  const std::optional<std::string> maximal = LocaleText([&](char* buffer, int32_t capacity, UErrorCode* error) {
    return uloc_addLikelySubtags(given.c_str(), buffer, capacity, error);
  });
  if (!maximal) return likely;
  auto part = [&maximal](auto icuGetter) {
    return LocaleText([&](char* buffer, int32_t capacity, UErrorCode* error) {
             return icuGetter(maximal->c_str(), buffer, capacity, error);
           })
        .value_or(std::string());
  };
  if (likely.script.empty()) likely.script = part(uloc_getScript);
  if (likely.region.empty()) likely.region = part(uloc_getCountry);
  return likely;
}

// A LANGID names a language as spoken in a region when its sub-language
// (upper six bits) is neither 0 (language neutral, "de" = 0x0007) nor one of
// the script-neutral values from 0x19 up ("sr" = 0x7C1A, "zh-Hans" = 0x7804).
bool IsSpecific(uint32_t lcid) {
  const uint32_t sublanguage = (lcid >> 10) & 0x3F;
  return lcid != 0 && sublanguage != 0 && sublanguage < 0x19;
}

// Code page -> ICU converter. The "windows-" aliases are ambiguous in ICU's
// alias table only by standard; each resolves to Microsoft's own table.
std::string ConverterName(int codePage) { return "windows-" + std::to_string(codePage); }

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenConverter(int codePage) {
  UErrorCode error = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(ConverterName(codePage).c_str(), &error));
  if (U_FAILURE(error) || !converter) {
    throw std::runtime_error("No converter for code page " + std::to_string(codePage) + ": " +
                             u_errorName(error));
  }
  return converter;
}

bool StartsWith(const QByteArray& bytes, std::initializer_list<unsigned char> mark) {
  if (bytes.size() < qsizetype(mark.size())) return false;
  qsizetype i = 0;
  for (unsigned char byte : mark) {
    if (static_cast<unsigned char>(bytes[i++]) != byte) return false;
  }
  return true;
}

QByteArray WithoutUtf8Mark(const QByteArray& bytes) {
  return StartsWith(bytes, {0xEF, 0xBB, 0xBF}) ? bytes.mid(3) : bytes;
}

}  // namespace

QString UiLocaleName() {
  return FirstNonEmptyEnvironment({"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"});
}

int LanguageIdForLocale(const QString& localeName) {
  const LocaleParts given = SplitLocaleName(localeName);
  if (given.language.empty()) return kEnglishUnitedStates;

  const LocaleParts likely = Likely(given);
  const LocaleParts languageOnly = Likely(LocaleParts{given.language, given.script, {}});
  // Most specific first: the name as given, then with its likely script and
  // region filled in, then without a script ICU's table may not list, then
  // the language in its most likely region (for a region the language is
  // not known in, such as "en_XX").
  const std::string candidates[] = {
      Join(given.language, given.script, given.region),
      Join(likely.language, likely.script, likely.region),
      Join(likely.language, given.script.empty() ? std::string() : likely.script, likely.region),
      Join(likely.language, {}, likely.region),
      Join(languageOnly.language, languageOnly.script, languageOnly.region),
      Join(languageOnly.language, {}, languageOnly.region),
  };
  uint32_t fallback = 0;
  for (const std::string& candidate : candidates) {
    const uint32_t lcid = uloc_getLCID(candidate.c_str());
    if (IsSpecific(lcid)) return static_cast<int>(lcid);
    if (fallback == 0) fallback = lcid;
  }
  return fallback != 0 ? static_cast<int>(fallback) : kEnglishUnitedStates;
}

int UserDefaultUILanguage() { return LanguageIdForLocale(UiLocaleName()); }

int AnsiCodePageForLocale(const QString& localeName) {
  const LocaleParts given = SplitLocaleName(localeName);
  if (given.language.empty()) return 1252;
  const LocaleParts parts = Likely(given);
  const std::string& language = parts.language;
  const bool cyrillic = parts.script == "Cyrl";

  auto in = [&language](std::initializer_list<const char*> languages) {
    for (const char* candidate : languages) {
      if (language == candidate) return true;
    }
    return false;
  };

  if (language == "zh") return parts.script == "Hant" ? 950 : 936;
  if (language == "ja") return 932;
  if (language == "ko") return 949;
  if (language == "th") return 874;
  if (language == "vi") return 1258;
  if (language == "el") return 1253;
  if (in({"he", "iw", "yi"})) return 1255;
  if (in({"ar", "fa", "ur", "ps", "ug", "ckb", "sd", "prs"})) return 1256;
  if (in({"et", "lt", "lv"})) return 1257;
  if (in({"tr"})) return 1254;
  if (in({"az", "uz"})) return cyrillic ? 1251 : 1254;
  if (in({"sr", "bs"})) return cyrillic ? 1251 : 1250;
  if (in({"cs", "hr", "hu", "pl", "ro", "sk", "sl", "sq", "tk"})) return 1250;
  if (in({"be", "bg", "kk", "ky", "mk", "mn", "ru", "tt", "uk", "ba", "sah", "tg"})) return 1251;
  if (cyrillic) return 1251;
  return 1252;
}

int AnsiCodePage() { return AnsiCodePageForLocale(UiLocaleName()); }

QString DecodeCodePage(const QByteArray& bytes, int codePage) {
  ConverterPtr converter = OpenConverter(codePage);
  if (bytes.isEmpty()) return QString();
  // No code page yields more UTF-16 units than bytes, plus one for the end.
  QString text(bytes.size() + 1, Qt::Uninitialized);
  UErrorCode error = U_ZERO_ERROR;
  int32_t length =
      ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()), int32_t(text.size()),
                    bytes.constData(), int32_t(bytes.size()), &error);
  if (error == U_BUFFER_OVERFLOW_ERROR) {
    text.resize(length + 1);
    error = U_ZERO_ERROR;
    length = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()), int32_t(text.size()),
                           bytes.constData(), int32_t(bytes.size()), &error);
  }
  if (U_FAILURE(error)) {
    throw std::runtime_error(std::string("Cannot decode code page text: ") + u_errorName(error));
  }
  text.truncate(length);
  return text;
}

QByteArray EncodeCodePage(const QString& text, int codePage) {
  ConverterPtr converter = OpenConverter(codePage);
  if (text.isEmpty()) return QByteArray();
  UErrorCode error = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.get(), "?", 1, &error);
  error = U_ZERO_ERROR;
  // Double-byte code pages need at most two bytes per UTF-16 unit.
  QByteArray bytes(text.size() * 2 + 2, Qt::Uninitialized);
  int32_t length =
      ucnv_fromUChars(converter.get(), bytes.data(), int32_t(bytes.size()),
                      reinterpret_cast<const UChar*>(text.constData()), int32_t(text.size()), &error);
  if (error == U_BUFFER_OVERFLOW_ERROR) {
    bytes.resize(length + 1);
    error = U_ZERO_ERROR;
    length = ucnv_fromUChars(converter.get(), bytes.data(), int32_t(bytes.size()),
                             reinterpret_cast<const UChar*>(text.constData()), int32_t(text.size()), &error);
  }
  if (U_FAILURE(error)) {
    throw std::runtime_error(std::string("Cannot encode text in code page: ") + u_errorName(error));
  }
  bytes.truncate(length);
  return bytes;
}

QString DecodeAnsi(const QByteArray& bytes) { return DecodeCodePage(bytes, AnsiCodePage()); }

QByteArray EncodeAnsi(const QString& text) { return EncodeCodePage(text, AnsiCodePage()); }

std::optional<QString> DecodeUtf8Strict(const QByteArray& bytes) {
  const QByteArray body = WithoutUtf8Mark(bytes);
  if (body.isEmpty()) return QString();
  // Beyond what one conversion takes: not taken for UTF-8.
  if (body.size() >= INT32_MAX) return std::nullopt;
  // UTF-8 never needs more UTF-16 units than it has bytes.
  QString text(body.size(), Qt::Uninitialized);
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8(reinterpret_cast<UChar*>(text.data()), int32_t(text.size()), &length,
                body.constData(), int32_t(body.size()), &error);
  if (U_FAILURE(error)) return std::nullopt;
  text.truncate(length);
  return text;
}

QString DecodeUtf8Lenient(const QByteArray& bytes) {
  const QByteArray body = WithoutUtf8Mark(bytes);
  if (body.isEmpty()) return QString();
  QString text(body.size(), Qt::Uninitialized);
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(text.data()), int32_t(text.size()), &length,
                       body.constData(), int32_t(body.size()), 0xFFFD, nullptr, &error);
  if (U_FAILURE(error)) return QString::fromUtf8(body);
  text.truncate(length);
  return text;
}

QString DecodeByByteOrderMark(const QByteArray& bytes) {
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return DecodeUtf8Lenient(bytes);
  if (StartsWith(bytes, {0xFF, 0xFE})) {
    QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Default);
    return decoder.decode(QByteArrayView(bytes).sliced(2));
  }
  if (StartsWith(bytes, {0xFE, 0xFF})) {
    QStringDecoder decoder(QStringConverter::Utf16BE, QStringConverter::Flag::Default);
    return decoder.decode(QByteArrayView(bytes).sliced(2));
  }
  return DecodeAnsi(bytes);
}

QByteArray ReadFileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(path), file.errorString())
                                 .toStdString());
  }
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw std::runtime_error(QStringLiteral("Cannot read file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(path), file.errorString())
                                 .toStdString());
  }
  return bytes;
}

QStringList SplitTextLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  const qsizetype size = text.size();
  for (qsizetype i = 0; i < size; ++i) {
    const QChar c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    lines.append(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < size) lines.append(text.mid(start));
  return lines;
}

}  // namespace i18n
