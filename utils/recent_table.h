// A map from text keys to values that holds at most a fixed number of
// entries: adding one more forgets the entry touched longest ago. Lookups and
// insertions count as touches.
#pragma once

#include <cassert>
#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace nc {

template <class Value>
class RecentTable {
 public:
  explicit RecentTable(size_t capacity) : capacity_(capacity) { assert(capacity > 0); }

  // nullptr when absent; a found entry becomes the most recent.
  Value* find(std::string_view key) {
    auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return &found->second->second;
  }

  // The entry for `key`, made with Value{} if absent.
  Value& touch(std::string_view key) {
    if (Value* existing = find(key)) return *existing;
    if (order_.size() == capacity_) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
    order_.emplace_front(std::string(key), Value{});
    index_.emplace(order_.front().first, order_.begin());
    return order_.front().second;
  }

  void erase(std::string_view key) {
    auto found = index_.find(key);
    if (found == index_.end()) return;
    order_.erase(found->second);
    index_.erase(found);
  }

  size_t size() const { return order_.size(); }

 private:
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  using Order = std::list<std::pair<std::string, Value>>;

  size_t capacity_;
  Order order_;  // most recent first
  // Keys are views of the strings held in order_, whose nodes never move.
  std::unordered_map<std::string_view, typename Order::iterator, KeyHash, std::equal_to<>> index_;
};

}  // namespace nc
