// The service's start-up sequence and its last-resort failure handling.
#pragma once

#include "src/app/settings.h"

namespace nc {

// The exit status after a failure during start-up or serving: the same as for a
// command-line error or a fatal signal.
constexpr int startUpFailureStatus = 1;

// Builds the context and the server, mounts everything the service answers,
// announces the address and serves until the process ends. A failure during
// start-up or serving is logged and the result, the exit status, is
// startUpFailureStatus.
int nodeconsole(const Settings& settings);

}  // namespace nc
