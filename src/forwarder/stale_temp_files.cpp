#include "src/forwarder/stale_temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace nc {
namespace {

// The 32-bit readdir() ends the listing early, looking like its end, at the
// first inode number or directory position that does not fit in 32 bits.
static_assert(sizeof(off_t) == 8, "32-bit builds need -D_FILE_OFFSET_BITS=64 (CMakeLists.txt)");

// The part of mkostemp's template that it replaces with random characters.
constexpr std::string_view randomPart = "XXXXXX";

bool isTemplateCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

// The file's real directory and name, so that the files found are the ones a
// replacement through a symbolic link made beside its target. A path that does
// not resolve is taken as it is written.
std::pair<std::string, std::string> directoryAndName(const std::string& path) {
  char resolved[PATH_MAX];
  const std::string target = ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
  const size_t slash = target.rfind('/');
  if (slash == std::string::npos) return {".", target};
  return {slash == 0 ? "/" : target.substr(0, slash), target.substr(slash + 1)};
}

bool isStale(const struct stat& info, std::chrono::system_clock::time_point now) {
  const auto changed = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) +
                       std::chrono::duration_cast<std::chrono::system_clock::duration>(
                           std::chrono::nanoseconds(info.st_mtim.tv_nsec));
  return now - changed > staleTemporaryAge;
}

}  // namespace

std::string temporaryTemplateFor(const std::string& directory, std::string_view name) {
  return (directory == "/" ? std::string() : directory) + "/." + std::string(name) + "." + std::string(randomPart);
}

bool isTemporaryNameFor(std::string_view entry, std::string_view name) {
  const size_t prefixLength = 1 + name.size() + 1;
  if (entry.size() != prefixLength + randomPart.size()) return false;
  if (entry[0] != '.' || entry.substr(1, name.size()) != name || entry[prefixLength - 1] != '.') return false;
  for (char c : entry.substr(prefixLength))
    if (!isTemplateCharacter(c)) return false;
  return true;
}

void removeStaleTemporaryFiles(const std::string& path, Logger& log, std::chrono::system_clock::time_point now) {
  const auto [directoryPath, name] = directoryAndName(path);
  std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(directoryPath.c_str()));
  if (!directory) return;
  const int directoryFd = ::dirfd(directory.get());
  const std::string shownDirectory = directoryPath == "/" ? "" : directoryPath;
  while (const dirent* entry = ::readdir(directory.get())) {
    if (!isTemporaryNameFor(entry->d_name, name)) continue;
    struct stat info {};
    // Not followed: a symbolic link of that name is not a file we wrote.
    if (::fstatat(directoryFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) || !isStale(info, now)) continue;
    const std::string shown = shownDirectory + "/" + entry->d_name;
    if (::unlinkat(directoryFd, entry->d_name, 0) == 0) {
      log.notice("removed stale temporary file " + shown);
    } else {
      log.warning("cannot remove stale temporary file " + shown + ": " + std::strerror(errno));
    }
  }
}

}  // namespace nc
