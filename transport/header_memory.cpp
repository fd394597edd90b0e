#include "transport/header_memory.h"

namespace nc {

bool HeaderMemory::charge(Share& share, size_t bytes) {
  while (bytes > budget_ - inUse_) {
    if (!closeLongestHolderBesides(share)) return false;
  }
  inUse_ += bytes;
  share.charged_ += bytes;
  incomplete_.enter(share.slot_);
  return true;
}

void HeaderMemory::complete(Share& share) { incomplete_.leave(share.slot_); }

void HeaderMemory::release(Share& share) {
  inUse_ -= share.charged_;
  share.charged_ = 0;
  incomplete_.leave(share.slot_);
}

// The memory comes back here and now, not once the closed connection's reader
// has run: a burst of newcomers would otherwise hold theirs beside the
// memory of all they pushed out.
bool HeaderMemory::closeLongestHolderBesides(const Share& share) {
  for (Share* holder : incomplete_) {
    if (holder == &share) continue;
    holder->headers_.clear();
    release(*holder);
    holder->connection_.close();
    return true;
  }
  return false;
}

}  // namespace nc
