#include "transport/idle_connections.h"

namespace nc {

size_t IdleConnections::closeLongestIdle(size_t count) {
  size_t closed = 0;
  // Closing cancels the connection's pending read; its reader then ends and
  // takes its node back through leave().
  for (auto at = waiting_.begin(); at != waiting_.end() && closed < count; ++at) {
    if ((*at)->isClosed()) continue;
    (*at)->close();
    ++closed;
  }
  return closed;
}

}  // namespace nc
