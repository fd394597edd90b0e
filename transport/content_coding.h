// Choosing a reply's content coding by the request's Accept-Encoding
// (RFC 9110 §12.5.3).
#pragma once

#include <string_view>

#include "transport/header_values.h"

namespace nc {

// The codings a reply can take, in the order they are preferred among equal
// weights: Brotli makes the smallest text, gzip is understood everywhere.
enum class ContentCoding { brotli, gzip, identity };

// The "Content-Encoding" name of a coding; empty for identity.
std::string_view contentCodingName(ContentCoding coding);

// The weight, in thousandths, that an Accept-Encoding field gives `coding`:
// its own element's q-value, else that of "*", else 0, but for identity, which
// is acceptable unless excluded and then weighs least, so that a client
// naming only "gzip;q=0.5" gets gzip. Elements whose q-value does not parse
// are ignored. `field` is nullptr when the request has no Accept-Encoding,
// and then only identity is asked for. Names compare case-insensitively; "x-gzip" stands for gzip.
int acceptedWeight(const HeaderValues* field, ContentCoding coding);

// The best of the codings offered, by weight and then by the order above;
// identity when none of them is acceptable, since an unencoded reply is
// understood by every client even when it said otherwise.
ContentCoding chooseContentCoding(const HeaderValues* field, bool gzipOffered, bool brotliOffered);

}  // namespace nc
