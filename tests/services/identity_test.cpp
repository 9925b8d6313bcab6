#include "services/identity.h"

#include <gtest/gtest.h>

namespace {

TEST(IdentityTest, ProgramCarriesItsVersionInformation) {
  const services::TEXEVersionData data = services::ReadVersionInformation();
  EXPECT_EQ(data.CompanyName, "CORVANE");
  EXPECT_EQ(data.ProductName, "Lumasift");
  EXPECT_EQ(data.FileVersion, "1.5.0.0");
  EXPECT_EQ(data.ProductVersion, "1.5.0.0");
  EXPECT_FALSE(data.FileDescription.isEmpty());
  EXPECT_FALSE(data.LegalCopyright.isEmpty());
  EXPECT_TRUE(data.PrivateBuild.isEmpty());
  EXPECT_TRUE(data.SpecialBuild.isEmpty());
  EXPECT_EQ(services::ProgramVersionInfo().fileVersion, (std::array<uint16_t, 4>{1, 5, 0, 0}));
  // The texts lie where a reader of the resource looks for them.
  ASSERT_NE(services::ProgramVersionInfo().Query("\\StringFileInfo\\040904E4\\ProductName"), nullptr);

  const services::TIdentity& identity = services::Identity();
  EXPECT_EQ(identity.CompanyName, "CORVANE");
  EXPECT_EQ(identity.ProductName, "Lumasift");
  EXPECT_EQ(identity.AppName, "CORVANE - Lumasift");
  EXPECT_EQ(identity.AppVersion, "1.5");
}

TEST(IdentityTest, KeysAreReadUnderTheFirstTranslationsSubBlock) {
  EXPECT_EQ(services::VersionSubBlockName({0x0409, 0x04E4}), "040904E4");
  EXPECT_EQ(services::VersionSubBlockName({0x0c0a, 0x04b0}), "0C0A04B0");

  services::TVersionInfoBlock block;
  block.translations = {{0x0409, 0x04E4}, {0x0407, 0x04B0}};
  block.fileVersion = {2, 11, 7, 3};
  block.strings["\\StringFileInfo\\040904E4\\ProductName"] = "Product";
  block.strings["\\StringFileInfo\\040904E4\\Comments"] = "Some comment";
  // Keys under another translation, or spelled in another case, are not read.
  block.strings["\\StringFileInfo\\040704B0\\CompanyName"] = "Other";
  block.strings["\\StringFileInfo\\040904e4\\CompanyName"] = "Lower";
  const services::TEXEVersionData data = services::ReadVersionInformation(block);
  EXPECT_EQ(data.ProductName, "Product");
  EXPECT_EQ(data.Comments, "Some comment");
  for (const QString* empty : {&data.CompanyName, &data.FileDescription, &data.FileVersion,
                               &data.InternalName, &data.LegalCopyright, &data.LegalTrademarks,
                               &data.OriginalFileName, &data.ProductVersion, &data.PrivateBuild,
                               &data.SpecialBuild}) {
    EXPECT_TRUE(empty->isEmpty()) << empty->toStdString();
  }
  const services::TIdentity identity = services::MakeIdentity(block);
  EXPECT_EQ(identity.AppName, " - Product");
  EXPECT_EQ(identity.AppVersion, "2.11");
}

TEST(IdentityTest, BlockWithoutTranslationFails) {
  services::TVersionInfoBlock block;
  block.strings["\\StringFileInfo\\040904E4\\ProductName"] = "Product";
  EXPECT_THROW(services::ReadVersionInformation(block), std::runtime_error);
}

}  // namespace
