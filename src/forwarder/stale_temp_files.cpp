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

std::optional<std::string_view> temporaryCopyOf(std::string_view entry) {
  // The leading dot, a name of at least one character, the dot, the random part.
  if (entry.size() < 3 + randomPart.size() || entry[0] != '.') return std::nullopt;
  const size_t dot = entry.size() - randomPart.size() - 1;
  if (entry[dot] != '.') return std::nullopt;
  for (char c : entry.substr(dot + 1))
    if (!isTemplateCharacter(c)) return std::nullopt;
  return entry.substr(1, dot - 1);
}

void removeStaleTemporaryFilesIn(const std::string& directoryPath, const std::function<bool(std::string_view)>& ours,
                                 Logger& log, std::chrono::system_clock::time_point now) {
  std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(directoryPath.c_str()));
  if (!directory) return;
  const int directoryFd = ::dirfd(directory.get());
  const std::string shownDirectory = directoryPath == "/" ? "" : directoryPath;
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::optional<std::string_view> copyOf = temporaryCopyOf(entry->d_name);
    if (!copyOf || !ours(*copyOf)) continue;
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

void removeStaleTemporaryFiles(const std::string& path, Logger& log, std::chrono::system_clock::time_point now) {
  // Named members, not a structured binding: clang 14 cannot capture one.
  const auto split = directoryAndName(path);
  const std::string& name = split.second;
  removeStaleTemporaryFilesIn(split.first, [&name](std::string_view copyOf) { return copyOf == name; }, log, now);
}

}  // namespace nc
