// The reply value of every procedure: an object whose only member is "output".
#pragma once

#include <utility>

#include "utils/json.h"

namespace nc {

inline JsonValue output(JsonValue value) { return JsonValue(JsonObject{{"output", std::move(value)}}); }
inline JsonValue emptyOutput() { return output(JsonValue(JsonObject{})); }

}  // namespace nc
