// If-None-Match against a reply's entity tag (RFC 9110 §13.1.2).
#pragma once

#include <string_view>

#include "transport/header_values.h"

namespace nc {

// Whether an If-None-Match field, as its comma-separated elements, names
// `etag` (a strong tag with its quotes) or is "*": then the client's copy is
// current and a GET or HEAD is answered 304. The comparison is the weak one
// the field calls for, so W/"x" names "x". Malformed elements name nothing.
bool noneMatchNames(const HeaderValues& field, std::string_view etag);

}  // namespace nc
