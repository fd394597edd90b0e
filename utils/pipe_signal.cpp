#include "utils/pipe_signal.h"

#include <signal.h>

namespace nc {
namespace {

volatile sig_atomic_t quietPipeWrites = 0;

// Any other SIGPIPE gets the default action back and is raised again; it is
// held back while this handler runs and delivered, fatally, as it returns.
void passQuietOrEnd(int) {
  if (quietPipeWrites != 0) return;
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigemptyset(&byDefault.sa_mask);
  ::sigaction(SIGPIPE, &byDefault, nullptr);
  ::raise(SIGPIPE);
}

}  // namespace

QuietPipeWrite::QuietPipeWrite() { quietPipeWrites = 1; }

QuietPipeWrite::~QuietPipeWrite() { quietPipeWrites = 0; }

bool pipeSignalIsQuiet() noexcept { return quietPipeWrites != 0; }

// The program sets SIGPIPE's action once, at start, so the question is asked
// once, not for every connection (one thread: a plain flag will do).
void letQuietPipeSignalsPass() {
  static bool settled = false;
  if (settled) return;
  settled = true;
  struct sigaction current {};
  if (::sigaction(SIGPIPE, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction passing {};
  passing.sa_handler = passQuietOrEnd;
  ::sigemptyset(&passing.sa_mask);
  ::sigaction(SIGPIPE, &passing, nullptr);
}

}  // namespace nc
