// The service's start-up sequence and its last-resort failure handling.
#pragma once

#include <cstdint>
#include <string>

namespace nc {

// Builds the context and the server, mounts everything the service answers,
// announces the address and serves until the process ends. A failure during
// start-up or serving is printed on standard output; the result is the exit status.
int nodeconsole(const std::string& listen, int64_t port, const std::string& forwarderConfigPath,
                const std::string& forwarderUnitServiceName, const std::string& dataPath);

}  // namespace nc
