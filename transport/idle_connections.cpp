#include "transport/idle_connections.h"

namespace nc {

void IdleConnections::enter(Slot& slot) {
  if (slot.listed_) return;
  slot.at_ = slot.node_.begin();
  waiting_.splice(waiting_.end(), slot.node_, slot.at_);
  slot.listed_ = true;
}

void IdleConnections::leave(Slot& slot) {
  if (!slot.listed_) return;
  slot.node_.splice(slot.node_.end(), waiting_, slot.at_);
  slot.listed_ = false;
}

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
