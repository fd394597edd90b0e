#include "src/forwarder_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "src/context.h"
#include "utils/async_mutex.h"

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

// Fills the temporary file and makes it look like the file it replaces.
void prepareReplacement(int fd, const std::string& tempPath, const struct stat& old, const std::string& text) {
  writeAll(fd, text, tempPath);
  if (::fchmod(fd, old.st_mode & 07777) != 0) raiseFileError(errno, "cannot set the mode of " + tempPath);
  // Only a privileged process may give a file away; otherwise it stays ours.
  if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
    raiseFileError(errno, "cannot set the owner of " + tempPath);
  if (::fsync(fd) != 0) raiseFileError(errno, "cannot sync " + tempPath);
}

AsyncMutex& patchMutex() {
  static AsyncMutex mutex;
  return mutex;
}

// Lets other requests run between the steps of a file operation.
asio::awaitable<void> yieldToOthers() { co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable); }

}  // namespace

std::string readWholeFile(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) raiseFileError(errno, "cannot open " + path);
  std::string text;
  char chunk[16384];
  for (;;) {
    ssize_t n = ::read(file.fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raiseFileError(errno, "cannot read " + path);
    if (n == 0) return text;
    text.append(chunk, static_cast<size_t>(n));
  }
}

void replaceFileAtomically(const std::string& path, const std::string& text) {
  std::string target = resolvedPath(path);
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) raiseFileError(errno, "cannot stat " + target);
  std::string directory = directoryOf(target);
  std::string tempPath = directory + "/." + target.substr(directory.size() + (directory == "/" ? 0 : 1)) + ".XXXXXX";
  FileDescriptor temp(::mkostemp(tempPath.data(), O_CLOEXEC));
  if (temp.fd < 0) raiseFileError(errno, "cannot create a temporary file in " + directory);
  try {
    prepareReplacement(temp.fd, tempPath, old, text);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) raiseFileError(errno, "cannot replace " + target);
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
  syncDirectory(directory);
}

JsonValue merge(const JsonValue& base, const JsonValue& patch) {
  if (!base.isObject() || !patch.isObject()) return patch;
  const JsonObject& baseObject = base.asObject();
  const JsonObject& patchObject = patch.asObject();
  JsonObject result;
  for (const auto& [key, value] : baseObject)
    if (!patchObject.contains(key)) result.set(key, value);
  for (const auto& [key, value] : patchObject) {
    const JsonValue* baseValue = baseObject.find(key);
    result.set(key, baseValue ? merge(*baseValue, value) : value);
  }
  return JsonValue(std::move(result));
}

asio::awaitable<JsonValue> getForwarderConfig(const Context& context) {
  std::string text = readWholeFile(context.forwarderConfigPath);
  co_await yieldToOthers();
  co_return parseJson(text);
}

asio::awaitable<void> updateForwarderConfig(const Context& context, const JsonValue& patch) {
  // One patch at a time: two interleaved read-merge-write runs would lose one update.
  AsyncLock lock = co_await patchMutex().lock();
  JsonValue current = co_await getForwarderConfig(context);
  std::string text = toPrettyJson(merge(current, patch));
  co_await yieldToOthers();
  replaceFileAtomically(context.forwarderConfigPath, text);
}

}  // namespace nc
