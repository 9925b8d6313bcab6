// The walk of --pages: given paths in order, folders depth first in name
// order, page files only unless every file is asked for, links to folders
// not followed, folders that cannot be listed reported.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "saved/page_file.h"
#include "saved/page_walk.h"
#include "support/loopback_server.h"

namespace {

std::vector<std::string> Walk(saved::PageWalk& walk, const std::string& root) {
  std::vector<std::string> out;
  while (auto item = walk.Next()) {
    std::string path = item->path.starts_with(root) ? item->path.substr(root.size()) : item->path;
    out.push_back(item->error.empty() ? path : path + " ! " + item->error);
  }
  return out;
}

TEST(PageWalk, FoldersInNameOrderPageFilesOnlyLinksToFoldersLeftAlone) {
  testsupport::TempFolder temp;
  const std::string root = temp.Path().string();
  for (const char* name : {"site/b.html", "site/a/index.HTM", "site/a/style.css", "site/a/z/deep.xhtml",
                           "site/c.shtml", "site/readme.txt", "site/B.html", "loose.txt"})
    temp.Write(name, "<p>x</p>");
  std::filesystem::create_directory_symlink(temp.Path() / "site", temp.Path() / "site/a/loop");
  std::filesystem::create_symlink(temp.Path() / "site/b.html", temp.Path() / "site/link.html");
  ::mkfifo((temp.Path() / "site/pipe.html").c_str(), 0600);

  saved::PageWalk pages;
  pages.Add(root + "/site");
  pages.Add(root + "/loose.txt");  // a file given by name is taken whatever its name
  pages.Add(root + "/missing.html");
  EXPECT_EQ(Walk(pages, root), (std::vector<std::string>{"/site/B.html", "/site/a/index.HTM", "/site/a/z/deep.xhtml",
                                                         "/site/b.html", "/site/c.shtml", "/site/link.html",
                                                         "/loose.txt", "/missing.html"}));

  saved::PageWalk every(true);
  every.Add(root + "/site/");
  EXPECT_EQ(Walk(every, root), (std::vector<std::string>{"/site/B.html", "/site/a/index.HTM", "/site/a/style.css",
                                                         "/site/a/z/deep.xhtml", "/site/b.html", "/site/c.shtml",
                                                         "/site/link.html", "/site/readme.txt"}));
}

TEST(PageWalk, AFolderThatCannotBeListedIsAnItemWithItsReason) {
  if (::geteuid() == 0) GTEST_SKIP() << "root lists every folder";
  testsupport::TempFolder temp;
  temp.Write("shut/a.html", "x");
  std::filesystem::permissions(temp.Path() / "shut", std::filesystem::perms::none);
  saved::PageWalk walk;
  walk.Add((temp.Path() / "shut").string());
  const auto item = walk.Next();
  ASSERT_TRUE(item);
  EXPECT_EQ(item->error, "Permission denied");
  std::filesystem::permissions(temp.Path() / "shut", std::filesystem::perms::owner_all);
}

TEST(PageFile, ReadUpToALimitAndDecodedAsUtf8OrByteByByte) {
  testsupport::TempFolder temp;
  const auto utf8 = temp.Write("u.html", "\xEF\xBB\xBFh\xC3\xA9llo\nline");
  const auto latin = temp.Write("l.html", "h\xE9llo");
  std::string bytes, reason;
  ASSERT_TRUE(saved::ReadFileBytes(utf8.string(), bytes, reason));
  EXPECT_EQ(saved::PageFileText(bytes), u"h\u00e9llo\r\nline\r\n");
  ASSERT_TRUE(saved::ReadFileBytes(latin.string(), bytes, reason));
  EXPECT_EQ(saved::PageFileText(bytes), u"h\u00e9llo\r\n");
  ASSERT_TRUE(saved::ReadFileBytes(utf8.string(), bytes, reason, 4));
  EXPECT_EQ(bytes, "\xEF\xBB\xBFh");
  EXPECT_FALSE(saved::ReadFileBytes((temp.Path() / "none").string(), bytes, reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(saved::ReadFileBytes(temp.Path().string(), bytes, reason));
  EXPECT_EQ(reason, "Is a directory");
}

}  // namespace
