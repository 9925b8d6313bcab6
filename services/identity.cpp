#include "services/identity.h"

#include <stdexcept>

namespace services {
namespace {

// The values come from the build (cmake/CommonConfig.cmake): the project
// version and the company and product cache variables.
constexpr uint16_t kMajor = LUMASIFT_VERSION_MAJOR;
constexpr uint16_t kMinor = LUMASIFT_VERSION_MINOR;
constexpr uint16_t kPatch = LUMASIFT_VERSION_PATCH;
constexpr uint16_t kTweak = LUMASIFT_VERSION_TWEAK;

TVersionInfoBlock BuildProgramVersionInfo() {
  TVersionInfoBlock block;
  const TVersionTranslation translation{0x0409, 0x04E4};
  block.translations.push_back(translation);
  block.fileVersion = {kMajor, kMinor, kPatch, kTweak};

  const QString company = QStringLiteral(LUMASIFT_COMPANY);
  const QString product = QStringLiteral(LUMASIFT_PRODUCT);
  const QString version = QStringLiteral("%1.%2.%3.%4").arg(kMajor).arg(kMinor).arg(kPatch).arg(kTweak);
  const QString executable = product.toLower();
  const QString prefix = QStringLiteral("\\StringFileInfo\\") + VersionSubBlockName(translation) + u'\\';
  // Empty texts (LegalTrademarks, PrivateBuild, SpecialBuild of a normal
  // build) are left out, as a resource compiler leaves them out.
  const std::pair<const char*, QString> texts[] = {
      {"CompanyName", company},
      {"FileDescription", product + QStringLiteral(": which web platform each site runs on")},
      {"FileVersion", version},
      {"InternalName", executable},
      {"LegalCopyright", QStringLiteral("Copyright (C) ") + company},
      {"OriginalFileName", executable},
      {"ProductName", product},
      {"ProductVersion", version},
      {"Comments", product + QStringLiteral(" tells which content-management system, shop, forum or "
                                            "site builder each web site in a list runs on.")},
  };
  for (const auto& [key, value] : texts) block.strings[prefix + QLatin1String(key)] = value;
  return block;
}

}  // namespace

const QString* TVersionInfoBlock::Query(const QString& path) const {
  const auto found = strings.find(path);
  return found == strings.end() ? nullptr : &found->second;
}

const TVersionInfoBlock& ProgramVersionInfo() {
  static const TVersionInfoBlock block = BuildProgramVersionInfo();
  return block;
}

QString VersionSubBlockName(const TVersionTranslation& translation) {
  return QStringLiteral("%1%2")
      .arg(translation.language, 4, 16, QLatin1Char('0'))
      .arg(translation.codePage, 4, 16, QLatin1Char('0'))
      .toUpper();
}

TEXEVersionData ReadVersionInformation(const TVersionInfoBlock& block) {
  if (block.translations.empty()) {
    throw std::runtime_error(
        "The version information has no translation entry (\\VarFileInfo\\Translation).");
  }
  const QString prefix =
      QStringLiteral("\\StringFileInfo\\") + VersionSubBlockName(block.translations.front());
  auto read = [&](const char* key) {
    const QString* value = block.Query(prefix + u'\\' + QLatin1String(key));
    return value ? *value : QString();
  };
  TEXEVersionData data;
  data.CompanyName = read("CompanyName");
  data.FileDescription = read("FileDescription");
  data.FileVersion = read("FileVersion");
  data.InternalName = read("InternalName");
  data.LegalCopyright = read("LegalCopyright");
  data.LegalTrademarks = read("LegalTrademarks");
  data.OriginalFileName = read("OriginalFileName");
  data.ProductName = read("ProductName");
  data.ProductVersion = read("ProductVersion");
  data.Comments = read("Comments");
  data.PrivateBuild = read("PrivateBuild");
  data.SpecialBuild = read("SpecialBuild");
  return data;
}

TEXEVersionData ReadVersionInformation() { return ReadVersionInformation(ProgramVersionInfo()); }

TIdentity MakeIdentity(const TVersionInfoBlock& block) {
  const TEXEVersionData data = ReadVersionInformation(block);
  TIdentity identity;
  identity.CompanyName = data.CompanyName;
  identity.ProductName = data.ProductName;
  identity.AppName = identity.CompanyName + QStringLiteral(" - ") + identity.ProductName;
  identity.AppVersion = QStringLiteral("%1.%2").arg(block.fileVersion[0]).arg(block.fileVersion[1]);
  return identity;
}

const TIdentity& Identity() {
  static const TIdentity identity = MakeIdentity(ProgramVersionInfo());
  return identity;
}

}  // namespace services
