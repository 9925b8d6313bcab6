#pragma once
// The program's version information and the identity values taken from it.
//
// Linux executables carry no version resource, so the program builds its
// own: the same twelve texts, one translation entry (language 0x0409, code
// page 0x04E4) and a fixed file version, compiled in from the build's single
// source of truth (the CMake project version and the LUMASIFT_COMPANY and
// LUMASIFT_PRODUCT cache variables). The reader works on such a block the
// way it would on a resource: it finds the first translation, builds the
// sub-block name from it and looks every key up under
// "\StringFileInfo\<sub-block>\"; a key the block lacks leaves its field
// empty.
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include <QString>

namespace services {

// The twelve texts, in the order the version information lists them.
struct TEXEVersionData {
  QString CompanyName;
  QString FileDescription;
  QString FileVersion;
  QString InternalName;
  QString LegalCopyright;
  QString LegalTrademarks;
  QString OriginalFileName;
  QString ProductName;
  QString ProductVersion;
  QString Comments;
  QString PrivateBuild;
  QString SpecialBuild;
};

// One entry of "\VarFileInfo\Translation".
struct TVersionTranslation {
  uint16_t language = 0;  // e.g. 0x0409
  uint16_t codePage = 0;  // e.g. 0x04E4
};

// A version-information block: what a program file would carry.
struct TVersionInfoBlock {
  std::vector<TVersionTranslation> translations;  // "\VarFileInfo\Translation"
  // Text values by their full path, e.g. "\StringFileInfo\040904E4\ProductName".
  std::map<QString, QString> strings;
  // The fixed part's file version: major, minor, patch, build.
  std::array<uint16_t, 4> fileVersion{};

  // The value at a full path, or nullptr when the block has none there.
  const QString* Query(const QString& path) const;
};

// The block built into this program.
const TVersionInfoBlock& ProgramVersionInfo();

// The sub-block name of a translation: "%.4x%.4x" in upper case ("040904E4").
QString VersionSubBlockName(const TVersionTranslation& translation);

// Reads the twelve texts from a block. Throws std::runtime_error when the
// block has no translation entry; a missing key is no error.
TEXEVersionData ReadVersionInformation(const TVersionInfoBlock& block);

// The program's own version information.
TEXEVersionData ReadVersionInformation();

// The identity values, read once from the program's own version information:
// "CORVANE", "Lumasift", "CORVANE - Lumasift" and "1.5" (major.minor of the
// fixed file version).
struct TIdentity {
  QString CompanyName;
  QString ProductName;
  QString AppName;     // CompanyName + " - " + ProductName; the window title
  QString AppVersion;  // "%d.%d" of the file version's major and minor numbers
};

// Built from a block (tests feed their own).
TIdentity MakeIdentity(const TVersionInfoBlock& block);

// The program's identity; computed on first use, safe from any thread.
const TIdentity& Identity();

}  // namespace services
