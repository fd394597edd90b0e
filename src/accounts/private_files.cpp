#include "src/accounts/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "utils/logger.h"

namespace nc {
namespace {

constexpr mode_t ownerOnly = S_IRUSR | S_IWUSR;
constexpr mode_t groupAndOther = S_IRWXG | S_IRWXO;

// The files SQLite keeps beside a database while it works on it.
constexpr std::array<std::string_view, 3> companionSuffixes{"-journal", "-wal", "-shm"};

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

void createOwnerOnly(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly);
  if (fd >= 0) ::close(fd);
}

void tighten(const std::string& path, Logger& log) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || (status.st_mode & groupAndOther) == 0)
    return;
  const mode_t tightened = status.st_mode & ~groupAndOther & 07777;
  if (::chmod(path.c_str(), tightened) != 0) {
    log.warning("could not make " + path + " private: " + std::strerror(errno));
    return;
  }
  log.notice("made " + path + " private: mode " + octal(status.st_mode) + " -> " + octal(tightened));
}

}  // namespace

void keepDatabasePrivate(const std::string& path, Logger& log) {
  // SQLite's names for a temporary and an in-memory database: no file to guard.
  if (path.empty() || path == ":memory:") return;
  createOwnerOnly(path);
  tighten(path, log);
  for (std::string_view suffix : companionSuffixes) tighten(path + std::string(suffix), log);
}

}  // namespace nc
