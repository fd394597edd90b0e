// Ends the process with a one-line reason and status 1 on the signals that
// would otherwise kill it silently or dump core.
#pragma once

namespace nc {

// SIGINT, SIGSEGV, SIGABRT, SIGFPE, SIGILL and SIGPIPE; but a SIGPIPE raised
// inside a QuietPipeWrite (utils/pipe_signal.h) is let pass.
void installFatalSignalHandlers();

}  // namespace nc
