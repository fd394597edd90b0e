// Wall-clock times as the service shows them: ISO-8601 in UTC, to the second,
// whatever the gateway's time zone.
#pragma once

#include <ctime>
#include <string>

namespace nc {

// "2026-12-08T20:11:19Z"
std::string utcTimeText(std::time_t at = std::time(nullptr));

}  // namespace nc
