// The one table that says how each failure of the service reaches a client:
// its HTTP status, error code and message.
#pragma once

#include "server/http_error.h"
#include "server/http_server.h"

namespace nc {

FailureTable serviceFailures();

// The service's error hook: answers from serviceFailures(), and logs the text
// of any other failure on one line before answering 500 "Unspecified error".
ErrorHook newFailureCatcher();

}  // namespace nc
