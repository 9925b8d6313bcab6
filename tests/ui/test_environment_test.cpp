// What CTest hands every test program: Qt's offscreen platform and the source
// folder (where the tests find the shipped files). Both travel as test
// properties; a list of them in one property used to lose all but the first.
#include <QDir>
#include <QtGlobal>
#include <gtest/gtest.h>

TEST(TestEnvironment, CTestGivesThePlatformAndTheSourceFolder) {
  // CTest marks the programs it starts with this variable; run by hand, the
  // environment is whatever the developer's shell has.
  if (!qEnvironmentVariableIsSet("CTEST_INTERACTIVE_DEBUG_MODE")) GTEST_SKIP() << "not run by CTest";
  EXPECT_EQ(qEnvironmentVariable("QT_QPA_PLATFORM").toStdString(), "offscreen");
  EXPECT_EQ(QDir(qEnvironmentVariable("LUMASIFT_SOURCE_DIR")).canonicalPath().toStdString(),
            QDir(QStringLiteral(LUMASIFT_TEST_SOURCE_DIR)).canonicalPath().toStdString());
}
