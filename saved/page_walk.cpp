#include "saved/page_walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace saved {

namespace {

bool EndsWithNoCase(const std::string& name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = name[name.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool IsFolder(const std::string& path, bool followLink) {
  struct stat info {};
  const int rc = followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
  return rc == 0 && S_ISDIR(info.st_mode);
}

// A regular file, or a link to one (a pipe or a device in a folder is no page).
bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool PageWalk::IsPageFileName(const std::string& name) {
  return EndsWithNoCase(name, ".html") || EndsWithNoCase(name, ".htm") || EndsWithNoCase(name, ".xhtml") ||
         EndsWithNoCase(name, ".shtml");
}

void PageWalk::Add(std::string path) { given_.push_back(std::move(path)); }

std::optional<PageWalk::Item> PageWalk::Next() {
  for (;;) {
    if (levels_.empty()) {
      if (nextGiven_ >= given_.size()) return std::nullopt;
      std::string path = std::move(given_[nextGiven_++]);
      // A folder given by name is walked even when the name is a link.
      if (!IsFolder(path, true)) return Item{std::move(path), {}};
      levels_.push_back(Level{std::move(path), {}, 0});
    } else if (levels_.back().next >= levels_.back().names.size()) {
      levels_.pop_back();
      continue;
    } else {
      Level& level = levels_.back();
      std::string path = Join(level.folder, level.names[level.next++]);
      if (IsFolder(path, false)) {
        levels_.push_back(Level{std::move(path), {}, 0});
      } else {
        const std::string name = path.substr(path.rfind('/') + 1);
        if ((everyFile_ || IsPageFileName(name)) && IsRegularFile(path)) return Item{std::move(path), {}};
        continue;
      }
    }
    // A new level: list its folder.
    Level& level = levels_.back();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(level.folder.c_str()), ::closedir);
    if (!dir) {
      Item failed{level.folder, std::strerror(errno)};
      levels_.pop_back();
      return failed;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") level.names.push_back(name);
    }
    std::sort(level.names.begin(), level.names.end());
  }
}

}  // namespace saved
