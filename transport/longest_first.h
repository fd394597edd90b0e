// Members kept in the order they joined, the longest-standing first, so that
// when something runs short the oldest can be let go. Each member owns its one
// list node and lends it to the list while listed: joining and leaving
// allocate nothing.
#pragma once

#include <cstddef>
#include <list>

namespace nc {

template <class Member>
class LongestFirst {
 public:
  class Slot {
   public:
    explicit Slot(Member& member) : node_{&member} {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

   private:
    friend class LongestFirst;
    std::list<Member*> node_;
    typename std::list<Member*>::iterator at_{};
    bool listed_ = false;
  };

  LongestFirst() = default;
  LongestFirst(const LongestFirst&) = delete;
  LongestFirst& operator=(const LongestFirst&) = delete;

  // Behind all others; harmless when listed already.
  void enter(Slot& slot) {
    if (slot.listed_) return;
    slot.at_ = slot.node_.begin();
    members_.splice(members_.end(), slot.node_, slot.at_);
    slot.listed_ = true;
  }

  // Harmless when not listed.
  void leave(Slot& slot) {
    if (!slot.listed_) return;
    slot.node_.splice(slot.node_.end(), members_, slot.at_);
    slot.listed_ = false;
  }

  size_t size() const { return members_.size(); }
  // Longest listed first. Leaving invalidates only the iterator of the one who left.
  typename std::list<Member*>::const_iterator begin() const { return members_.begin(); }
  typename std::list<Member*>::const_iterator end() const { return members_.end(); }

 private:
  std::list<Member*> members_;
};

}  // namespace nc
