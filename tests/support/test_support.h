// Helpers shared by the tests: raw loopback sockets, running the service
// binary, temporary folders.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace nc::test {

// A blocking TCP client on 127.0.0.1. Every read is bounded by `timeout`.
class RawClient {
 public:
  // `sourceAddress`: a loopback address to send from; empty lets the system choose.
  explicit RawClient(uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(5),
                     const std::string& sourceAddress = {});
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  void send(const std::string& bytes);
  // Reads until the peer closes or the timeout passes; returns what arrived.
  std::string readAll();
  // Reads exactly n bytes, fewer only on close or timeout.
  std::string readExactly(size_t n);
  // Reads one reply whose head ends with a blank line and whose body length is
  // given by Content-Length (0 when absent). Empty when nothing arrived.
  std::string readResponse();
  // True when the peer has closed the connection (a read returns end of stream
  // within the timeout).
  bool peerClosed();
  void shutdownWrite();

 private:
  int fd_ = -1;
  std::chrono::milliseconds timeout_;
  std::string pending_;
  bool fill();
};

// The body of a raw reply (empty without a complete head) and its status code.
std::string bodyOf(const std::string& reply);
int statusOf(const std::string& reply);

// Sends one request on a new connection and returns the first reply.
std::string roundTrip(uint16_t port, const std::string& request);
// The same, sent from `sourceAddress` (of 127.0.0.0/8; empty: any).
std::string roundTripFrom(const std::string& sourceAddress, uint16_t port, const std::string& request);

// The heap bytes in use now, by the allocator the build links: glibc's, or
// AddressSanitizer's under it (glibc's figures do not see that one).
size_t bytesAllocated();

struct ProcessResult {
  int exitStatus = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs the service binary to its end with the given arguments; extra
// environment variables are added to the current environment.
ProcessResult runBinary(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env = {},
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs another program (looked up in PATH) to its end, `input` as its standard input.
ProcessResult runProgram(const std::vector<std::string>& command, const std::string& input = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The service binary running in the background. The constructor waits for the
// listening line and for the port to accept connections.
class ServiceProcess {
 public:
  ServiceProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
                 const std::filesystem::path& workDir = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Standard output so far.
  std::string output();
  // Standard error so far.
  std::string errorOutput();
  // Stops the process (SIGTERM, then SIGKILL) and returns its exit status.
  int stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::filesystem::path outPath_;
  bool stopped_ = false;
  int status_ = -1;
};

// Waits for the child process to end; past the deadline it is killed with
// SIGKILL and reaped. Returns its exit status, or 128 + the ending signal.
int waitForChild(pid_t pid, std::chrono::steady_clock::time_point deadline);

// A free TCP port on 127.0.0.1 (bound and released).
uint16_t freePort();

// A fresh temporary folder, removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// The content of a fixture in tests/data. Throws, naming the path, when the
// file is missing, rather than letting a test compare against an empty text.
std::string readTestData(const std::string& name);

std::string binaryPath();
std::filesystem::path sourceDir();

}  // namespace nc::test
