#include "src/accounts/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string_view>

#include "utils/private_mode.h"

namespace nc {
namespace {

constexpr mode_t ownerOnly = S_IRUSR | S_IWUSR;

// The files SQLite keeps beside a database while it works on it.
constexpr std::array<std::string_view, 3> companionSuffixes{"-journal", "-wal", "-shm"};

void createOwnerOnly(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly);
  if (fd >= 0) ::close(fd);
}

}  // namespace

void keepDatabasePrivate(const std::string& path, Logger& log) {
  // SQLite's names for a temporary and an in-memory database: no file to guard.
  if (path.empty() || path == ":memory:") return;
  createOwnerOnly(path);
  makePrivate(path, log);
  for (std::string_view suffix : companionSuffixes) makePrivate(path + std::string(suffix), log);
}

}  // namespace nc
