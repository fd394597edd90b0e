#include "src/forwarder/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <system_error>

#include "src/forwarder/stale_temp_files.h"

namespace nc {
namespace {

[[noreturn]] void raiseFileError(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

// Closes a descriptor when it goes out of scope.
struct FileDescriptor {
  int fd;
  explicit FileDescriptor(int fd) : fd(fd) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string resolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) raiseFileError(errno, "cannot resolve " + path);
  return resolved;
}

std::string directoryOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void writeAll(int fd, std::string_view text, const std::string& name) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raiseFileError(errno, "cannot write " + name);
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void syncDirectory(const std::string& directory) {
  FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd < 0 || ::fsync(dir.fd) != 0) raiseFileError(errno, "cannot sync " + directory);
}

// Fills a temporary file beside `target`, lets `setOwnership` give it its mode
// (and owner), syncs it and renames it over `target`.
void writeThroughTemporary(const std::string& target, const std::string& text,
                           const std::function<void(int fd, const std::string& tempPath)>& setOwnership) {
  std::string directory = directoryOf(target);
  auto slash = target.rfind('/');
  std::string tempPath = temporaryTemplateFor(directory, target.substr(slash == std::string::npos ? 0 : slash + 1));
  FileDescriptor temp(::mkostemp(tempPath.data(), O_CLOEXEC));
  if (temp.fd < 0) raiseFileError(errno, "cannot create a temporary file in " + directory);
  try {
    writeAll(temp.fd, text, tempPath);
    setOwnership(temp.fd, tempPath);
    if (::fsync(temp.fd) != 0) raiseFileError(errno, "cannot sync " + tempPath);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) raiseFileError(errno, "cannot replace " + target);
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
  syncDirectory(directory);
}

}  // namespace

std::string readWholeFile(const std::string& path, size_t maxBytes) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) raiseFileError(errno, "cannot open " + path);
  std::string text;
  char chunk[16384];
  for (;;) {
    ssize_t n = ::read(file.fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raiseFileError(errno, "cannot read " + path);
    if (n == 0) return text;
    if (static_cast<size_t>(n) > maxBytes - text.size()) throw FileTooLargeError(path, maxBytes);
    text.append(chunk, static_cast<size_t>(n));
  }
}

void replaceFileAtomically(const std::string& path, const std::string& text) {
  std::string target = resolvedPath(path);
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) raiseFileError(errno, "cannot stat " + target);
  writeThroughTemporary(target, text, [&](int fd, const std::string& tempPath) {
    if (::fchmod(fd, old.st_mode & 07777) != 0) raiseFileError(errno, "cannot set the mode of " + tempPath);
    // Only a privileged process may give a file away; otherwise it stays ours.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
      raiseFileError(errno, "cannot set the owner of " + tempPath);
  });
}

void writeFileAtomically(const std::string& path, const std::string& text, mode_t mode) {
  writeThroughTemporary(path, text, [&](int fd, const std::string& tempPath) {
    if (::fchmod(fd, mode) != 0) raiseFileError(errno, "cannot set the mode of " + tempPath);
  });
}

}  // namespace nc
