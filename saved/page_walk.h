#pragma once
// The files of --pages: paths given one after another, a folder standing for
// the page files under it. A folder is walked depth first, the entries of
// each folder in byte order of their names (so a walk is the same on every
// run), holding one folder's listing per level; links to folders are not
// followed (no walk can loop). In a folder only regular files (or links to
// them) are taken, and of those only page files (names ending in .html,
// .htm, .xhtml or .shtml, in any case) unless every file is asked for; a
// path given itself is always taken.
//
// Threads: one walk belongs to one thread at a time.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace saved {

class PageWalk {
 public:
  explicit PageWalk(bool everyFile = false) : everyFile_(everyFile) {}

  // A path to walk after those added before.
  void Add(std::string path);

  struct Item {
    std::string path;   // as given, or the folder's path joined with the names below it
    std::string error;  // not empty: the path is a folder that cannot be listed (the system's text)
  };
  // The next file, or nothing when every path is walked. A path that is not
  // a folder (a file, a name that does not exist) is an item of its own: its
  // reading tells what is wrong with it.
  std::optional<Item> Next();

  // Whether a name found in a folder is taken without "every file".
  static bool IsPageFileName(const std::string& name);

 private:
  struct Level {
    std::string folder;
    std::vector<std::string> names;  // sorted
    std::size_t next = 0;
  };
  bool everyFile_;
  std::vector<std::string> given_;
  std::size_t nextGiven_ = 0;
  std::vector<Level> levels_;
};

}  // namespace saved
