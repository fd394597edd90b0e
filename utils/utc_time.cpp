#include "utils/utc_time.h"

namespace nc {

std::string utcTimeText(std::time_t at) {
  std::tm utc{};
  ::gmtime_r(&at, &utc);
  char text[sizeof "-2147483648-01-01T00:00:00Z"];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace nc
