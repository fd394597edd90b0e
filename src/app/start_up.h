// The service's start-up sequence and its last-resort failure handling.
#pragma once

#include <cstdint>
#include <string>

namespace nc {

// The exit status after a failure during start-up or serving: the same as for a
// command-line error or a fatal signal.
constexpr int startUpFailureStatus = 1;

// Builds the context and the server, mounts everything the service answers,
// announces the address and serves until the process ends. A failure during
// start-up or serving is printed on standard output and the result, the exit
// status, is startUpFailureStatus.
// `tokenLifetime` is in seconds, 0 for tokens that last until the process
// ends; `allowedHosts` names, comma-separated, the hosts a request's Host may
// name besides IP literals, "localhost" and the machine's own name.
int nodeconsole(const std::string& listen, int64_t port, const std::string& forwarderConfigPath,
                const std::string& forwarderUnitServiceName, const std::string& dataPath, int64_t tokenLifetime,
                const std::string& allowedHosts);

}  // namespace nc
