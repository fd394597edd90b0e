// The connections that wait for a client's next request, longest waiting
// first, so that the server can let go of them when descriptors run out.
#pragma once

#include <cstddef>
#include <list>

#include "transport/connection.h"

namespace nc {

class IdleConnections {
 public:
  // A connection's place in the list. It holds its one node while busy and
  // lends it to the list while idle, so waiting allocates nothing.
  class Slot {
   public:
    explicit Slot(Connection& connection) : node_{&connection} {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

   private:
    friend class IdleConnections;
    std::list<Connection*> node_;
    std::list<Connection*>::iterator at_{};
    bool listed_ = false;
  };

  IdleConnections() = default;
  IdleConnections(const IdleConnections&) = delete;
  IdleConnections& operator=(const IdleConnections&) = delete;

  // The connection waits for a new request from now on, behind all others.
  void enter(Slot& slot);
  // It has bytes to read again, or it is closing; harmless when not listed.
  void leave(Slot& slot);
  // Closes up to `count` connections, those idle longest first; returns how many.
  size_t closeLongestIdle(size_t count);
  size_t size() const { return waiting_.size(); }

 private:
  std::list<Connection*> waiting_;
};

}  // namespace nc
