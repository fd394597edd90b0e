// The one place that readies libsodium before its first use.
#pragma once

namespace nc {

// Runs sodium_init once. The library cannot produce safe random bytes without
// it, so a failure ends the process with a message on standard error and
// exit status 1 instead of carrying on with weak keys.
void ensureSodium();

}  // namespace nc
