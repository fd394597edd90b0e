#include "src/app/fatal_signals.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <string_view>

#include "utils/pipe_signal.h"

namespace nc {
namespace {

struct FatalSignal {
  int number;
  std::string_view line;
};

constexpr std::array<FatalSignal, 6> fatalSignals{{
    {SIGINT, "SIGINT: Interrupted by Ctrl-C.\n"},
    {SIGSEGV, "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
    {SIGABRT, "SIGABRT: Abnormal termination.\n"},
    {SIGFPE, "SIGFPE: Arithmetic error.\n"},
    {SIGILL, "SIGILL: Illegal operation.\n"},
    {SIGPIPE, "SIGPIPE: Pipe closed.\n"},
}};

// Runs inside a signal handler: only write(2) and _exit(2), no allocation,
// no stdio, no locks that the interrupted code might hold. A SIGPIPE that a
// quiet write expects is no end: that write reports the broken pipe itself.
void endOnSignal(int number) {
  if (number == SIGPIPE && pipeSignalIsQuiet()) return;
  for (const FatalSignal& signal : fatalSignals) {
    if (signal.number != number) continue;
    // Nothing is left to do if standard error is gone; the status still tells.
    const ssize_t written = ::write(STDERR_FILENO, signal.line.data(), signal.line.size());
    static_cast<void>(written);
  }
  ::_exit(1);
}

// A stack overflow raises SIGSEGV with no stack left to run the handler on.
void useAlternateSignalStack() {
  static char stack[64 * 1024];
  stack_t alternate{};
  alternate.ss_sp = stack;
  alternate.ss_size = sizeof stack;
  ::sigaltstack(&alternate, nullptr);
}

}  // namespace

void installFatalSignalHandlers() {
  useAlternateSignalStack();
  for (const FatalSignal& signal : fatalSignals) {
    struct sigaction action {};
    action.sa_handler = endOnSignal;
    action.sa_flags = SA_ONSTACK;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal.number, &action, nullptr);
  }
}

}  // namespace nc
