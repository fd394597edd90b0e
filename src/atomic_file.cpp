#include "src/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace nc {
namespace {

[[noreturn]] void raiseFileError(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

struct FileDescriptor {
  int fd;
  explicit FileDescriptor(int fd) : fd(fd) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

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

}  // namespace

void writeFileAtomically(const std::string& path, const std::string& text, mode_t mode) {
  std::string directory = directoryOf(path);
  auto slash = path.rfind('/');
  std::string tempPath = directory + "/." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  FileDescriptor temp(::mkostemp(tempPath.data(), O_CLOEXEC));
  if (temp.fd < 0) raiseFileError(errno, "cannot create a temporary file in " + directory);
  try {
    writeAll(temp.fd, text, tempPath);
    if (::fchmod(temp.fd, mode) != 0) raiseFileError(errno, "cannot set the mode of " + tempPath);
    if (::fsync(temp.fd) != 0) raiseFileError(errno, "cannot sync " + tempPath);
    if (::rename(tempPath.c_str(), path.c_str()) != 0) raiseFileError(errno, "cannot replace " + path);
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
  syncDirectory(directory);
}

}  // namespace nc
