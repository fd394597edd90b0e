// GET /metrics: the forwarder's traffic totals, its unit's state and the
// service's own figures in Prometheus' text format, for a fleet's scraper that
// holds the bearer token.
#pragma once

#include <array>
#include <memory>
#include <stdexcept>
#include <string>

#include "server/http_server.h"
#include "src/api/context.h"
#include "transport/async_http_server.h"

namespace nc {

// A metrics token file that cannot serve; the service does not start.
class MetricsTokenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The size of a token's digest: only the digest is kept in memory.
inline constexpr size_t metricsTokenDigestBytes = 32;
using MetricsTokenDigest = std::array<unsigned char, metricsTokenDigestBytes>;

// The digest of the bearer token in `path`: the file's text without the
// white space around it. A file that cannot be read, holds nothing, or whose
// token holds white space, a comma (where a header value ends) or a control
// character raises MetricsTokenError.
MetricsTokenDigest readMetricsToken(const std::string& path);

// What the figures come from.
struct MetricsSources {
  std::shared_ptr<Context> context;
  std::shared_ptr<AsyncHttpServer> transport;  // open connections, header memory
  std::shared_ptr<ReplyCounts> replies;
};

// Answers a GET with `Authorization: Bearer TOKEN` (compared in constant
// time) with the metrics; without it, 401 with `WWW-Authenticate: Bearer`.
// Another method is answered 405.
Handler metricsHandler(MetricsSources sources, MetricsTokenDigest token);

// While no token file is given: 404, so that a scraper pointed at a gateway
// without metrics fails plainly instead of following the redirect to the UI.
Handler metricsOffHandler();

}  // namespace nc
