// The connections that wait for a client's next request, longest waiting
// first, so that the server can let go of them when descriptors run out.
#pragma once

#include <cstddef>

#include "transport/connection.h"
#include "transport/longest_first.h"

namespace nc {

class IdleConnections {
 public:
  using Slot = LongestFirst<Connection>::Slot;

  IdleConnections() = default;
  IdleConnections(const IdleConnections&) = delete;
  IdleConnections& operator=(const IdleConnections&) = delete;

  // The connection waits for a new request from now on, behind all others.
  void enter(Slot& slot) { waiting_.enter(slot); }
  // It has bytes to read again, or it is closing; harmless when not listed.
  void leave(Slot& slot) { waiting_.leave(slot); }
  // Closes up to `count` connections, those idle longest first; returns how many.
  size_t closeLongestIdle(size_t count);
  size_t size() const { return waiting_.size(); }

 private:
  LongestFirst<Connection> waiting_;
};

}  // namespace nc
