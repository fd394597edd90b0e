#include "support/test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

#if defined(__SANITIZE_ADDRESS__)
#define NC_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NC_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(NC_ADDRESS_SANITIZER)
// gcc ships no header for it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace nc::test {
namespace {

using Clock = std::chrono::steady_clock;

// From `source` when given: any address of 127.0.0.0/8 reaches the loopback,
// so one machine can play many clients.
int connectLoopback(uint16_t port, const std::string& source = {}) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  if (!source.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ::close(fd);
      throw std::runtime_error("cannot send from " + source);
    }
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("connect failed: " + std::string(std::strerror(errno)));
  }
  return fd;
}

bool canConnect(uint16_t port) {
  try {
    ::close(connectLoopback(port));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

int decodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// A cross-built binary runs under the build's emulator: without binfmt_misc
// the kernel cannot start it directly. The emulator runs the program in its own
// process, so the child's pid, signals and exit status are the program's.
std::vector<std::string> emulatorPrefix() {
  std::vector<std::string> words;
  std::istringstream in(NODECONSOLE_EMULATOR);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Runs `program` with `args`; standard input is `inPath`, else empty.
pid_t spawnProgram(const std::vector<std::string>& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const std::string& outPath,
                   const std::string& errPath, const std::filesystem::path& workDir, const std::string& inPath = {}) {
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    auto eq = entry.find('=');
    if (eq != std::string::npos && env.count(entry.substr(0, eq))) continue;
    envStrings.push_back(entry);
  }
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> argStrings = program;
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = ::open(inPath.empty() ? "/dev/null" : inPath.c_str(), O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(126);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

pid_t spawnWithOutput(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                      const std::string& outPath, const std::string& errPath, const std::filesystem::path& workDir) {
  std::vector<std::string> program = emulatorPrefix();
  program.push_back(binaryPath());
  return spawnProgram(program, args, env, outPath, errPath, workDir);
}

std::filesystem::path uniqueTempPath(const std::string& stem) {
  static std::mt19937_64 rng{std::random_device{}()};
  return std::filesystem::temp_directory_path() / (stem + std::to_string(::getpid()) + "-" + std::to_string(rng()));
}

}  // namespace

size_t bytesAllocated() {
#if defined(NC_ADDRESS_SANITIZER)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

RawClient::RawClient(uint16_t port, std::chrono::milliseconds timeout, const std::string& sourceAddress)
    : fd_(connectLoopback(port, sourceAddress)), timeout_(timeout) {}

RawClient::~RawClient() {
  if (fd_ >= 0) ::close(fd_);
}

void RawClient::send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send failed: " + std::string(std::strerror(errno)));
    sent += static_cast<size_t>(n);
  }
}

void RawClient::shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

// Waits for more bytes; false on end of stream, error or timeout.
bool RawClient::fill() {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout_.count())) <= 0) return false;
  char chunk[65536];
  ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
  if (n <= 0) return false;
  pending_.append(chunk, static_cast<size_t>(n));
  return true;
}

std::string RawClient::readAll() {
  while (fill()) {
  }
  return std::exchange(pending_, {});
}

std::string RawClient::readExactly(size_t n) {
  while (pending_.size() < n && fill()) {
  }
  std::string out = pending_.substr(0, n);
  pending_.erase(0, out.size());
  return out;
}

std::string RawClient::readResponse() {
  size_t headEnd;
  while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
    if (!fill()) return std::exchange(pending_, {});
  }
  size_t length = 0;
  std::string head = pending_.substr(0, headEnd);
  std::string lowerHead = head;
  for (auto& c : lowerHead) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto at = lowerHead.find("\r\ncontent-length:");
  if (at != std::string::npos) length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
  size_t total = headEnd + 4 + length;
  while (pending_.size() < total && fill()) {
  }
  std::string out = pending_.substr(0, total);
  pending_.erase(0, out.size());
  return out;
}

bool RawClient::peerClosed() {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout_.count())) <= 0) return false;
  char c;
  ssize_t n = ::recv(fd_, &c, 1, MSG_PEEK);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::string bodyOf(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

int statusOf(const std::string& reply) { return reply.size() < 12 ? 0 : std::atoi(reply.substr(9, 3).c_str()); }

std::string roundTrip(uint16_t port, const std::string& request) { return roundTripFrom("", port, request); }

std::string roundTripFrom(const std::string& sourceAddress, uint16_t port, const std::string& request) {
  RawClient client(port, std::chrono::seconds(5), sourceAddress);
  client.send(request);
  return client.readResponse();
}

ProcessResult runBinary(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                        std::chrono::milliseconds timeout) {
  TempDir dir;
  auto outPath = dir.path() / "out", errPath = dir.path() / "err";
  pid_t pid = spawnWithOutput(args, env, outPath, errPath, {});
  int exitStatus = waitForChild(pid, Clock::now() + timeout);
  return {exitStatus, readFile(outPath), readFile(errPath)};
}

ProcessResult runProgram(const std::vector<std::string>& command, const std::string& input,
                         std::chrono::milliseconds timeout) {
  TempDir dir;
  const auto inPath = dir.path() / "in", outPath = dir.path() / "out", errPath = dir.path() / "err";
  writeFile(inPath, input);
  const pid_t pid = spawnProgram(command, {}, {}, outPath, errPath, {}, inPath);
  const int exitStatus = waitForChild(pid, Clock::now() + timeout);
  return {exitStatus, readFile(outPath), readFile(errPath)};
}

ServiceProcess::ServiceProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                               const std::filesystem::path& workDir)
    : outPath_(uniqueTempPath("nodeconsole-out-")) {
  uint16_t port = 0;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--port" || args[i] == "-p") port = static_cast<uint16_t>(std::stoi(args[i + 1]));
  pid_ = spawnWithOutput(args, env, outPath_, outPath_.string() + ".err", workDir);
  auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      stopped_ = true;
      status_ = decodeStatus(status);
      throw std::runtime_error("service ended at start: " + output() + readFile(outPath_.string() + ".err"));
    }
    if (output().find("Listening ") != std::string::npos && (port == 0 || canConnect(port))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop();
  throw std::runtime_error("service did not start listening");
}

ServiceProcess::~ServiceProcess() {
  stop();
  std::error_code ignored;
  std::filesystem::remove(outPath_, ignored);
  std::filesystem::remove(outPath_.string() + ".err", ignored);
}

std::string ServiceProcess::output() { return readFile(outPath_); }

std::string ServiceProcess::errorOutput() { return readFile(outPath_.string() + ".err"); }

int ServiceProcess::stop() {
  if (stopped_) return status_;
  stopped_ = true;
  ::kill(pid_, SIGTERM);
  status_ = waitForChild(pid_, Clock::now() + std::chrono::seconds(5));
  return status_;
}

int waitForChild(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return decodeStatus(status);
}

uint16_t freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TempDir::TempDir() : path_(uniqueTempPath("nodeconsole-test-")) { std::filesystem::create_directories(path_); }

TempDir::~TempDir() {
  std::error_code ignored;
  // Restore write permission on anything a test made read-only, so removal works.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string binaryPath() { return NODECONSOLE_BINARY; }
std::string readTestData(const std::string& name) {
  const std::filesystem::path file = sourceDir() / "tests" / "data" / name;
  if (!std::filesystem::is_regular_file(file)) throw std::runtime_error("the test fixture is missing: " + file.string());
  return readFile(file);
}
std::filesystem::path sourceDir() { return NODECONSOLE_SOURCE_DIR; }

}  // namespace nc::test
