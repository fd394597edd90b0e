// SIGPIPE around writes that cannot be told not to raise it. send() takes
// MSG_NOSIGNAL, but sendfile() has no such flag, and this program keeps
// SIGPIPE fatal for its other writes (a closed standard error, say). Holding
// the signal back around each sendfile() would cost two system calls per
// reply; instead the write runs inside a QuietPipeWrite, and the SIGPIPE
// handler lets the signal pass while one is open. The signal is raised by the
// failing call itself and taken before that call returns, so the one thread
// still sits inside the guard when the handler runs; the write then reports
// the broken pipe as EPIPE.
#pragma once

namespace nc {

// Marks the writes in its scope as expecting SIGPIPE. Not nestable.
class QuietPipeWrite {
 public:
  QuietPipeWrite();
  ~QuietPipeWrite();
  QuietPipeWrite(const QuietPipeWrite&) = delete;
  QuietPipeWrite& operator=(const QuietPipeWrite&) = delete;
};

// Whether a QuietPipeWrite is open. Safe in a signal handler: a SIGPIPE
// handler returns at once when this is true.
bool pipeSignalIsQuiet() noexcept;

// Makes sure a SIGPIPE from a quiet write cannot end the process: when SIGPIPE
// has its default action, installs a handler that lets the quiet ones pass and
// ends the process on any other, as the default action would. An ignored
// SIGPIPE, or a handler already installed (which honours pipeSignalIsQuiet()),
// is left as it is. Only the first call looks: SIGPIPE's action is the
// program's to set, at start.
void letQuietPipeSignalsPass();

}  // namespace nc
