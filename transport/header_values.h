// The value list of one header field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace nc {

// The values of one header name, kept one after another in one string with
// where each ends beside them: a line of thousands of commas then holds four
// bytes per empty value, not a string object each. Iterating yields views.
class HeaderValues {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    Iterator(const HeaderValues* values, size_t at) : values_(values), at_(at) {}
    std::string_view operator*() const { return (*values_)[at_]; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) { return Iterator(values_, at_++); }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    const HeaderValues* values_ = nullptr;
    size_t at_ = 0;
  };

  using iterator = Iterator;
  using const_iterator = Iterator;
  using value_type = std::string_view;

  HeaderValues() = default;
  HeaderValues(std::initializer_list<std::string_view> values);

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view operator[](size_t i) const {
    const size_t from = i == 0 ? 0 : ends_[i - 1];
    const size_t to = i + 1 == size_ ? text_.size() : ends_[i];
    return std::string_view(text_).substr(from, to - from);
  }
  std::string_view front() const { return (*this)[0]; }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size_); }

  // Room for `values` more values of `characters` in all, taken at once.
  void reserve(size_t values, size_t characters) {
    if (text_.size() + characters > text_.capacity()) text_.reserve(text_.size() + characters);
    if (size_ + values > 1) ends_.reserve(size_ + values - 1);
  }
  void push_back(std::string_view value) {
    if (size_ > 0) ends_.push_back(static_cast<uint32_t>(text_.size()));
    if (!value.empty()) text_.append(value);
    ++size_;
  }
  void clear();
  bool operator==(const HeaderValues& other) const = default;

 private:
  std::string text_;
  std::vector<uint32_t> ends_;  // where each value but the last ends in text_
  size_t size_ = 0;
};

}  // namespace nc
