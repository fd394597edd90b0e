// The header memory held by the requests of all connections of one server.
#pragma once

#include <cstddef>

#include "transport/connection.h"
#include "transport/http_types.h"
#include "transport/longest_first.h"

namespace nc {

// When the memory runs short, the connection that has held incomplete headers
// longest is closed and its memory goes to the newcomer: refusing the newcomer
// instead let a client that never ends its headers keep everyone else out for
// as long as it liked.
class HeaderMemory {
 public:
  // What one connection's request holds: the headers stored so far.
  class Share {
   public:
    Share(Connection& connection, HttpHeaders& headers) : connection_(connection), headers_(headers), slot_(*this) {}
    Share(const Share&) = delete;
    Share& operator=(const Share&) = delete;

   private:
    friend class HeaderMemory;
    Connection& connection_;
    HttpHeaders& headers_;
    LongestFirst<Share>::Slot slot_;  // listed while the request's headers are incomplete
    size_t charged_ = 0;
  };

  explicit HeaderMemory(size_t budget) : budget_(budget) {}
  HeaderMemory(const HeaderMemory&) = delete;
  HeaderMemory& operator=(const HeaderMemory&) = delete;

  // Charges `bytes` to a share whose headers are still arriving. When they do
  // not fit, the other connections holding incomplete headers are closed,
  // longest holding first, and their shares taken back until the bytes fit;
  // false, charging nothing, when no other is left to close.
  bool charge(Share& share, size_t bytes);
  // The share's headers are complete: its connection is no longer closed to
  // make room, and keeps its memory until it releases it.
  void complete(Share& share);
  // Gives back all the share holds.
  void release(Share& share);
  size_t inUse() const { return inUse_; }

 private:
  size_t budget_;
  size_t inUse_ = 0;
  LongestFirst<Share> incomplete_;

  // False when none but `share` holds incomplete headers.
  bool closeLongestHolderBesides(const Share& share);
};

}  // namespace nc
