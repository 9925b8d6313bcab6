#include "engine/extra_signatures.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <span>

#include "engine/compiled_signatures.h"
#include "engine/generator_entries.h"
#include "engine/regex_compile.h"
#include "engine/signature_tables.h"
#include "engine/utf8_text.h"

namespace engine {
namespace {

enum class TSection { None, Platforms, Plain, Regex, Generator, Unknown };

// What every page holds whatever made it: an entry found in this would
// credit every page with its platform.
constexpr std::u16string_view kPageSkeleton =
    u"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    u"<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
    u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title></title>\n"
    u"<meta name=\"description\" content=\"\">\n<link rel=\"stylesheet\" href=\"\" type=\"text/css\" media=\"all\">\n"
    u"<link rel=\"icon\" href=\"\">\n<style type=\"text/css\"></style>\n"
    u"<script type=\"text/javascript\" src=\"\"></script>\n<script></script>\n</head>\n<body class=\"\">\n"
    u"<div id=\"\" class=\"\"><p><a href=\"\" title=\"\"><img src=\"\" alt=\"\" width=\"\" height=\"\"></a>"
    u"<span></span><br /></p></div>\n<div class=\"\"></div>\n<ul><li><a href=\"\"></a></li></ul>\n"
    u"<form method=\"post\" action=\"\"><input type=\"text\" name=\"\" value=\"\">"
    u"<button type=\"submit\"></button></form>\n</body>\n</html>\n";

// Characters (code points) in `text`.
std::size_t CharacterCount(std::u16string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char16_t c) { return c < 0xDC00 || c > 0xDFFF; }));
}

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
  return s;
}

// The catalogue's name for `code`, or nothing.
std::optional<std::u16string_view> CatalogueName(std::u16string_view code) {
  for (const std::u16string_view row : CatalogueRows()) {
    if (row.size() <= code.size() || !row.starts_with(code) || row[code.size()] != u',') continue;
    const auto rest = row.substr(code.size() + 1);
    return rest.substr(0, rest.find(u','));
  }
  return std::nullopt;
}

class TFileChecker {
 public:
  explicit TFileChecker(std::string_view name) { check_.file.name = std::string(name); }

  TSignatureFileCheck Run(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    struct TPendingEntry {
      TSection section;
      int line;
      std::u16string text;
    };
    std::vector<TPendingEntry> entries;
    TSection section = TSection::None;
    int number = 0;
    for (std::size_t start = 0; start < bytes.size();) {
      ++number;
      // LF, CR LF or a lone CR (old Mac editors) ends a line.
      const auto end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
      std::string_view raw = bytes.substr(start, end - start);
      start = end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1);
      std::u16string line;
      if (!detail::FromUtf8(raw, line)) {
        Error(number, "not UTF-8");
        continue;
      }
      if (line.starts_with(u'#') || TrimBlanks(line).empty()) continue;
      const auto trimmed = TrimBlanks(line);
      if (trimmed.starts_with(u'[') && trimmed.ends_with(u']')) {
        if (trimmed == u"[platforms]") {
          section = TSection::Platforms;
        } else if (trimmed == u"[plain]") {
          section = TSection::Plain;
        } else if (trimmed == u"[regex]") {
          section = TSection::Regex;
        } else if (trimmed == u"[generator]") {
          section = TSection::Generator;
        } else {
          // Its lines are passed over: one error says enough.
          section = TSection::Unknown;
          Error(number, "unknown section " + detail::ToUtf8(trimmed) +
                          " (known: [platforms], [plain], [regex], [generator])");
        }
        continue;
      }
      switch (section) {
        case TSection::None:
          Error(number, "line outside a section ([platforms], [plain], [regex] or [generator])");
          break;
        case TSection::Platforms:
          AddPlatform(number, trimmed);
          break;
        case TSection::Plain:
        case TSection::Regex:
        case TSection::Generator:
          entries.push_back({section, number, line});
          break;
        case TSection::Unknown:
          break;
      }
    }
    // Entries may name platforms defined further down the file.
    for (const auto& pending : entries) AddEntry(pending.section, pending.line, pending.text);
    if (!check_.errors.empty()) {
      std::stable_sort(check_.errors.begin(), check_.errors.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    TSignatureFileCheck result;
    result.file = std::move(check_.file);
    for (auto& [line, text] : check_.errors) result.errors.push_back(std::move(text));
    if (!result.errors.empty()) result.file = TSignatureFile{result.file.name, {}, {}, {}, {}};
    return result;
  }

 private:
  struct {
    TSignatureFile file;
    std::vector<std::pair<int, std::string>> errors;
  } check_;
  std::map<std::u16string, int> platformLines_;  // code -> line of its row

  void Error(int line, const std::string& reason) {
    check_.errors.emplace_back(line, check_.file.name + ":" + std::to_string(line) + ": " + reason);
  }

  void AddPlatform(int line, std::u16string_view row) {
    const auto first = row.find(u',');
    const auto second = first == std::u16string_view::npos ? first : row.find(u',', first + 1);
    if (second == std::u16string_view::npos || row.find(u',', second + 1) != std::u16string_view::npos) {
      Error(line, "a platform row is \"code,name,home page\" (names hold no comma)");
      return;
    }
    TExtraPlatform platform{std::u16string(TrimBlanks(row.substr(0, first))),
                            std::u16string(TrimBlanks(row.substr(first + 1, second - first - 1))),
                            std::u16string(TrimBlanks(row.substr(second + 1))), line};
    const std::string code = detail::ToUtf8(platform.code);
    bool good = true;
    if (!IsValidPlatformCode(platform.code)) {
      Error(line, "platform code \"" + code + "\" is not 2 to 11 of a-z, 0-9 and _");
      good = false;
    }
    if (platform.name.empty()) {
      Error(line, "platform \"" + code + "\" has no name");
      good = false;
    }
    if (!platform.homePage.starts_with(u"https://") && !platform.homePage.starts_with(u"http://")) {
      Error(line, "home page of \"" + code + "\" does not begin with http:// or https://");
      good = false;
    }
    if (const auto builtIn = CatalogueName(platform.code); builtIn && *builtIn != platform.name) {
      Error(line, "built-in code \"" + code + "\" is " + detail::ToUtf8(*builtIn) +
                      "; it may be used in entries but not redefined");
      good = false;
    }
    if (const auto [it, added] = platformLines_.emplace(platform.code, line); !added) {
      Error(line, "platform \"" + code + "\" is already defined on line " + std::to_string(it->second));
      good = false;
    }
    if (good) check_.file.platforms.push_back(std::move(platform));
  }

  void AddEntry(TSection section, int line, std::u16string_view text) {
    const auto parsed = ParseSignatureEntry(text);
    if (!parsed) {
      Error(line, "entry without \":-\" and a platform code");
      return;
    }
    bool good = true;
    const std::string code = detail::ToUtf8(parsed->code);
    if (!CatalogueName(parsed->code) && !platformLines_.contains(std::u16string(parsed->code))) {
      Error(line, "unknown platform code \"" + code + "\" (neither in the catalogue nor in [platforms])");
      good = false;
    }
    TExtraEntry entry{std::u16string(TrimBlanks(text)), std::u16string(parsed->code), {}, line};
    for (std::size_t i = 0; i < parsed->alternatives.size(); ++i) {
      const auto alternative = parsed->alternatives[i];
      const std::string which = parsed->alternatives.size() > 1 ? "alternative " + std::to_string(i + 1) : "the entry";
      if (alternative.empty()) {
        Error(line, parsed->alternatives.size() > 1 ? "empty " + which : "empty entry: nothing before \":-\"");
        good = false;
        continue;
      }
      if (section == TSection::Generator && (alternative.front() <= u' ' || alternative.back() <= u' ')) {
        // Content is compared from its first character on, and a name
        // ends where the content's word does: blanks there are a slip.
        Error(line, "generator name of " + which + " begins or ends with a blank");
        good = false;
        continue;
      }
      if (section == TSection::Regex) {
        const auto compiled = detail::CompileSignatureRegex(alternative);
        if (compiled.code == nullptr) {
          Error(line, "expression of " + which + " does not compile: " + compiled.message + " at offset " +
                          std::to_string(compiled.offset));
          good = false;
          continue;
        }
        pcre2_code_free(compiled.code);
      }
      // Searched for anywhere in a page: too short a text is found in
      // nearly every page, and so is the markup every page has.
      if (section != TSection::Generator && CharacterCount(alternative) < 3) {
        Error(line, which + " is shorter than three characters: it would credit nearly every page");
        good = false;
        continue;
      }
      if (section == TSection::Plain && kPageSkeleton.find(alternative) != std::u16string_view::npos) {
        Error(line, which + " occurs in every ordinary page: \"" + detail::ToUtf8(alternative) + "\"");
        good = false;
        continue;
      }
      entry.alternatives.emplace_back(alternative);
    }
    if (!good) return;
    (section == TSection::Plain ? check_.file.plain
     : section == TSection::Regex ? check_.file.regex
                                  : check_.file.generator)
        .push_back(std::move(entry));
  }
};

}  // namespace

bool IsValidPlatformCode(std::u16string_view code) {
  if (code.size() < 2 || code.size() > 11) return false;
  for (char16_t c : code) {
    if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_')) return false;
  }
  return true;
}

TSignatureFileCheck ParseSignatureFile(std::string_view name, std::string_view bytes) {
  return TFileChecker(name).Run(bytes);
}

TSignatureFileCheck LoadSignatureFile(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  int error = file == nullptr ? errno : 0;
  if (file != nullptr) {
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    if (std::ferror(file)) error = errno != 0 ? errno : EIO;
    std::fclose(file);
  }
  if (error != 0) {
    TSignatureFileCheck failed;
    failed.file.name = path;
    failed.errors.push_back(path + ": cannot read: " + std::strerror(error));
    return failed;
  }
  return ParseSignatureFile(path, bytes);
}

std::vector<std::string> PlatformConflicts(const std::vector<TSignatureFile>& earlier, const TSignatureFile& next) {
  std::vector<std::string> conflicts;
  for (const auto& platform : next.platforms) {
    for (const auto& file : earlier) {
      const auto same = std::find_if(file.platforms.begin(), file.platforms.end(),
                                     [&](const TExtraPlatform& p) { return p.code == platform.code; });
      if (same == file.platforms.end() || same->name == platform.name) continue;
      conflicts.push_back(next.name + ":" + std::to_string(platform.line) + ": platform \"" +
                          detail::ToUtf8(platform.code) + "\" is " + detail::ToUtf8(same->name) + " in " + file.name +
                          " (line " + std::to_string(same->line) + ")");
      break;
    }
  }
  return conflicts;
}

TExtraSignatures::TExtraSignatures(std::vector<TSignatureFile> files) : files_(std::move(files)) {
  auto plain = detail::BuiltInSources(PlainSignatures());
  auto regex = detail::BuiltInSources(RegExSignatures());
  std::vector<detail::TGeneratorEntry> generator;
  for (const auto& file : files_) {
    std::u16string name;
    if (!detail::FromUtf8(file.name, name)) name.assign(file.name.begin(), file.name.end());
    for (std::size_t i = 0; i < file.plain.size(); ++i) {
      plain.push_back({file.plain[i].text,
                       {name, static_cast<std::uint32_t>(file.plain[i].line), static_cast<std::uint32_t>(i + 1)}});
    }
    for (std::size_t i = 0; i < file.regex.size(); ++i) {
      regex.push_back({file.regex[i].text,
                       {name, static_cast<std::uint32_t>(file.regex[i].line), static_cast<std::uint32_t>(i + 1)}});
    }
    for (std::size_t i = 0; i < file.generator.size(); ++i) {
      const auto& entry = file.generator[i];
      generator.push_back(
          {entry.code, entry.alternatives,
           {name, static_cast<std::uint32_t>(entry.line), static_cast<std::uint32_t>(i + 1)}});
    }
  }
  set_ = detail::CompileSignatureSet(std::move(plain), std::move(regex));
  generator_ = std::make_unique<detail::TGeneratorTable>(std::move(generator));
}

TExtraSignatures::~TExtraSignatures() = default;

std::u16string_view TExtraSignatures::PlatformName(std::u16string_view code) const {
  for (const auto& file : files_) {
    for (const auto& platform : file.platforms) {
      if (platform.code == code) return platform.name;
    }
  }
  return {};
}

TSignatureFilesLoad LoadSignatureFiles(const std::vector<std::string>& paths) {
  TSignatureFilesLoad load;
  for (const auto& path : paths) {
    auto check = LoadSignatureFile(path);
    if (check.errors.empty()) check.errors = PlatformConflicts(load.files, check.file);
    if (check.errors.empty()) {
      load.files.push_back(std::move(check.file));
    } else {
      load.rejected.push_back(std::move(check.errors));
    }
  }
  return load;
}

std::string ShippedSignaturePath(const std::string& programFolder) {
  std::string path = programFolder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + "Signatures/extra.txt";
}

std::string SignatureFileSummary(const TSignatureFile& file) {
  return file.name + ": " + std::to_string(file.platforms.size()) + " platforms, " +
         std::to_string(file.plain.size()) + " plain entries, " + std::to_string(file.regex.size()) +
         " regular-expression entries, " + std::to_string(file.generator.size()) + " generator entries";
}

}  // namespace engine
