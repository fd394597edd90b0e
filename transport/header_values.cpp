#include "transport/header_values.h"

namespace nc {

HeaderValues::HeaderValues(std::initializer_list<std::string_view> values) {
  size_t characters = 0;
  for (std::string_view value : values) characters += value.size();
  reserve(values.size(), characters);
  for (std::string_view value : values) push_back(value);
}

void HeaderValues::clear() {
  text_.clear();
  ends_.clear();
  size_ = 0;
}

}  // namespace nc
