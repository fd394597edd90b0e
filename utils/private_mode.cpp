#include "utils/private_mode.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace nc {
namespace {

constexpr mode_t groupAndOther = S_IRWXG | S_IRWXO;

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

void makePrivate(const std::string& path, Logger& log, LinkRule links) {
  struct stat status {};
  const int found = links == LinkRule::follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
  if (found != 0 || !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) || (status.st_mode & groupAndOther) == 0)
    return;
  const mode_t tightened = status.st_mode & ~groupAndOther & 07777;
  if (::chmod(path.c_str(), tightened) != 0) {
    log.warning("could not make " + path + " private: " + std::strerror(errno));
    return;
  }
  log.notice("made " + path + " private: mode " + octal(status.st_mode) + " -> " + octal(tightened));
}

}  // namespace nc
