#pragma once
// Extra signature files: entries beside the built-in tables, in the built-in
// tables' own notation, from the set shipped with the program or from the
// user.
//
//   # a comment: a line whose first character is '#'
//   [platforms]
//   code,name,home page          platforms the catalogue lacks
//   [plain]
//   alternative||alternative:-code
//   [regex]
//   expression||expression:-code
//   [generator]
//   name||name:-code             generator meta elements that begin with a name
//
// A file is UTF-8 (a leading byte-order mark is dropped); LF or CR LF ends a
// line; blank lines are skipped. An entry is read exactly as a built-in entry
// (ParseSignatureEntry): cut at its first ":-", no escapes. A code is 2 to 11
// of a-z, 0-9 and '_', and is either in the catalogue or in the file's
// [platforms] section, in any order in the file.
//
// A file is checked whole and loads with every entry or not at all. Every
// fault is reported, each as "FILE:LINE: reason", in line order, FILE being
// the name the file was given by.
//
// Everything here is plain data and re-entrant.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {
namespace detail {
class TCompiledSignatures;
class TGeneratorTable;
}

struct TExtraPlatform {
  std::u16string code, name, homePage;
  int line = 0;  // 1-based line in its file
};

struct TExtraEntry {
  std::u16string text;  // the entry as written, blanks at its ends dropped
  std::u16string code;
  std::vector<std::u16string> alternatives;  // in order, none empty
  int line = 0;                              // 1-based line in its file
};

struct TSignatureFile {
  std::string name;  // as given: the path on the command line, the file the window reads
  std::vector<TExtraPlatform> platforms;
  std::vector<TExtraEntry> plain, regex;  // file order
  std::vector<TExtraEntry> generator;     // file order; the alternatives are the names
};

struct TSignatureFileCheck {
  TSignatureFile file;              // usable only when `errors` is empty
  std::vector<std::string> errors;  // "FILE:LINE: reason" (UTF-8), in line order
};

// Checks the bytes of a signature file called `name`.
TSignatureFileCheck ParseSignatureFile(std::string_view name, std::string_view bytes);

// Reads and checks the file at `path` (its name in messages is `path`); a
// file that cannot be read gives the one error "FILE: cannot read: reason".
TSignatureFileCheck LoadSignatureFile(const std::string& path);

// Rows of `next`'s [platforms] that give a code another name than a file
// used before it does, as "FILE:LINE: reason"; empty when there are none.
// (Each file is checked on its own when loaded; files used together must
// also agree with each other.)
std::vector<std::string> PlatformConflicts(const std::vector<TSignatureFile>& earlier, const TSignatureFile& next);

// Files read and checked in order (shipped set first, then the user's): the
// sound ones that agree with those before them, and the faults of the
// others, one list per file left out.
struct TSignatureFilesLoad {
  std::vector<TSignatureFile> files;
  std::vector<std::vector<std::string>> rejected;
};
TSignatureFilesLoad LoadSignatureFiles(const std::vector<std::string>& paths);

// Where the shipped set lies in the folder of a program: Signatures/extra.txt.
std::string ShippedSignaturePath(const std::string& programFolder);

// "FILE: N platforms, N plain entries, N regular-expression entries, N
// generator entries".
std::string SignatureFileSummary(const TSignatureFile& file);

// The built-in tables followed by the entries of signature files, compiled
// into one set that a page is matched against in one pass: the plain entries
// in the order built-in table, then each file's [plain] entries in file
// order (files in the order given), and likewise the expressions. As the
// first entry that matches wins, an extra entry counts only where the
// built-in table of its kind finds nothing. The [generator] entries make a
// third list in the same order, whose first entry that names a generator
// meta element of the page adds its platform after the tables' names (see
// IdentifySite). Read-only once built; may be shared by any number of
// threads.
class TExtraSignatures {
 public:
  // `files` must each be free of errors and agree with the files before them
  // (PlatformConflicts). Compiling takes some milliseconds: once per run.
  explicit TExtraSignatures(std::vector<TSignatureFile> files);
  ~TExtraSignatures();
  TExtraSignatures(const TExtraSignatures&) = delete;
  TExtraSignatures& operator=(const TExtraSignatures&) = delete;

  const std::vector<TSignatureFile>& Files() const { return files_; }
  // The name a file's [platforms] section gives `code`, or empty.
  std::u16string_view PlatformName(std::u16string_view code) const;

  const detail::TCompiledSignatures& Set() const { return *set_; }
  // The [generator] entries of every file, in the files' order.
  const detail::TGeneratorTable& Generators() const { return *generator_; }

 private:
  std::vector<TSignatureFile> files_;
  std::shared_ptr<const detail::TCompiledSignatures> set_;
  std::unique_ptr<const detail::TGeneratorTable> generator_;
};

// Whether `code` is 2 to 11 of a-z, 0-9 and '_'.
bool IsValidPlatformCode(std::u16string_view code);

}  // namespace engine
