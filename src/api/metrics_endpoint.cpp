#include "src/api/metrics_endpoint.h"

#include <sodium.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "src/system/process_figures.h"
#include "src/units/unit_status.h"
#include "transport/ascii_case.h"
#include "utils/prometheus_text.h"

namespace nc {
namespace {

// A token file holds one short line; a file far larger is not one.
constexpr std::streamsize maxTokenFileBytes = 4096;

// The states systemd gives a unit, each a series of its own, and the two the
// service gives when it cannot tell or manages no forwarder.
constexpr std::string_view unitStates[] = {"active",     "reloading",    "inactive", "failed",
                                           "activating", "deactivating", "unknown",  "unmanaged"};

MetricsTokenDigest digestOf(std::string_view token) {
  MetricsTokenDigest digest{};
  crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(token.data()), token.size(),
                     nullptr, 0);
  return digest;
}

bool isTokenCharacter(char c) { return static_cast<unsigned char>(c) > ' ' && c != ',' && c != 0x7F; }

struct Endpoint {
  MetricsSources sources;
  MetricsTokenDigest token;
};

// The token of "Bearer TOKEN", the scheme in any case; empty when the header
// is absent, repeated or of another scheme.
std::string_view bearerTokenOf(const HttpHeaders& headers) {
  const HeaderValues* values = headers.get("authorization");
  if (values == nullptr || values->size() != 1) return {};
  std::string_view value = values->front();
  constexpr std::string_view scheme = "bearer ";
  if (value.size() <= scheme.size() || !equalsIgnoreCase(value.substr(0, scheme.size()), scheme)) return {};
  value.remove_prefix(scheme.size());
  value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
  return value;
}

// Compared as digests, so that the comparison takes the same time whatever
// the offered token's length and content.
bool authorized(const Endpoint& endpoint, const HttpHeaders& headers) {
  const std::string_view offered = bearerTokenOf(headers);
  if (offered.empty()) return false;
  const MetricsTokenDigest digest = digestOf(offered);
  return sodium_memcmp(digest.data(), endpoint.token.data(), digest.size()) == 0;
}

void counter(PrometheusText& text, std::string_view name, std::string_view help, uint64_t value) {
  text.family(name, "counter", help);
  text.sample(value);
}

void forwarderMetrics(PrometheusText& text, const TrafficFeed& feed) {
  const TrafficTotals& totals = feed.window().totals();
  counter(text, "nodeconsole_forwarder_reports_total", "Statistics reports of the forwarder read from its journal.",
          totals.reports);
  counter(text, "nodeconsole_forwarder_rx_packets_total", "RF packets received by the concentrator.", totals.received);
  counter(text, "nodeconsole_forwarder_rx_crc_ok_packets_total",
          "RF packets received with a valid CRC (each report's received count times its CRC_OK share, rounded).",
          totals.crcOkPackets);
  counter(text, "nodeconsole_forwarder_forwarded_packets_total", "RF packets forwarded to the network server.",
          totals.forwarded);
  counter(text, "nodeconsole_forwarder_push_data_sent_total", "PUSH_DATA datagrams sent to the network server.",
          totals.pushDataSent);
  counter(text, "nodeconsole_forwarder_downlinks_sent_total", "RF packets sent to the concentrator for transmission.",
          totals.downlinksSent);
  counter(text, "nodeconsole_forwarder_tx_errors_total", "Transmissions that failed.", totals.txErrors);
  text.family("nodeconsole_forwarder_push_data_ack_ratio", "gauge",
              "Share of PUSH_DATA datagrams acknowledged in the last report (0 to 1).");
  const auto& last = totals.last;
  if (last && last->share(TrafficShare::pushDataAck)) text.sample(*last->share(TrafficShare::pushDataAck) / 100);
  text.family("nodeconsole_forwarder_last_report_timestamp_seconds", "gauge",
              "Time of the last statistics report, in seconds since the epoch.");
  if (last) text.sample(static_cast<double>(last->time));
  text.family("nodeconsole_forwarder_journal_up", "gauge", "1 when the last read of the forwarder's journal worked.");
  text.sample(uint64_t{feed.readFailure().empty()});
}

void unitStateMetrics(PrometheusText& text, const std::string& state) {
  text.family("nodeconsole_forwarder_unit_state", "gauge", "1 for the state the forwarder's systemd unit is in.");
  bool listed = false;
  for (std::string_view known : unitStates) {
    listed = listed || known == state;
    text.sample(uint64_t{known == state}, {{"state", known}});
  }
  if (!listed) text.sample(uint64_t{1}, {{"state", state}});
}

void serviceMetrics(PrometheusText& text, const MetricsSources& sources) {
  const ServiceCounts& counts = sources.context->counts;
  text.family("nodeconsole_http_connections_open", "gauge", "HTTP connections open.");
  text.sample(static_cast<uint64_t>(sources.transport->openConnections));
  text.family("nodeconsole_http_requests_total", "counter",
              "Requests answered by the service's handlers, by status class.");
  constexpr std::string_view classes[] = {"1xx", "2xx", "3xx", "4xx", "5xx"};
  for (size_t i = 0; i < std::size(classes); ++i) text.sample(sources.replies->byClass[i], {{"class", classes[i]}});
  text.family("nodeconsole_http_header_memory_bytes", "gauge", "Header memory the open requests hold.");
  text.sample(static_cast<uint64_t>(sources.transport->headerMemory->inUse()));
  text.family("nodeconsole_login_refusals_total", "counter", "Logins refused, by reason.");
  text.sample(counts.loginsThrottled, {{"reason", "throttled"}});
  text.sample(counts.loginsWrongPassword, {{"reason", "wrong_password"}});
  text.sample(counts.loginsUnknownUser, {{"reason", "unknown_user"}});
  text.family("nodeconsole_forwarder_applies_total", "counter",
              "Forwarder configuration changes (patches and restores), by outcome.");
  text.sample(counts.appliesHeld, {{"outcome", "held"}});
  text.sample(counts.appliesFailed, {{"outcome", "failed"}});
}

void processMetrics(PrometheusText& text) {
  const std::optional<ProcessFigures> figures = readProcessFigures();
  if (!figures) return;
  text.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
  text.sample(figures->residentBytes);
  text.family("process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.");
  text.sample(figures->cpuSeconds);
}

asio::awaitable<std::string> forwarderState(const Context& context) {
  if (context.forwarderUnitServiceName.empty()) co_return "unmanaged";
  co_return (co_await readUnitStatus(context.forwarderUnitServiceName)).state;
}

// Built outside the coroutine: gcc 12 cannot keep a braced list of string
// literals across a suspension.
const HttpHeaders onlyGet{{"allow", "GET"}};
const HttpHeaders bearerWanted{{"www-authenticate", "Bearer"}};
const HttpHeaders exposition{{"content-type", std::string(prometheusContentType)}};

asio::awaitable<void> answerMetrics(std::shared_ptr<const Endpoint> endpoint, std::shared_ptr<Session> session) {
  if (session->request.reqMethod != HttpMethod::HttpGet) {
    co_await respondStatus(*session, 405, onlyGet);
    co_return;
  }
  if (!authorized(*endpoint, session->request.headers)) {
    co_await respondStatus(*session, 401, bearerWanted);
    co_return;
  }
  const MetricsSources& sources = endpoint->sources;
  co_await sources.context->traffic->catchUp();
  PrometheusText text;
  forwarderMetrics(text, *sources.context->traffic);
  unitStateMetrics(text, co_await forwarderState(*sources.context));
  serviceMetrics(text, sources);
  processMetrics(text);
  co_await respond(*session, 200, text.text(), exposition);
}

asio::awaitable<void> answerNotFound(std::shared_ptr<Session> session) { co_await respondStatus(*session, 404); }

}  // namespace

MetricsTokenDigest readMetricsToken(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MetricsTokenError("Cannot read the metrics token file " + path);
  std::string text(static_cast<size_t>(maxTokenFileBytes), '\0');
  in.read(text.data(), maxTokenFileBytes);
  text.resize(static_cast<size_t>(in.gcount()));
  constexpr std::string_view around = " \t\r\n";
  const size_t first = text.find_first_not_of(around);
  if (first == std::string::npos) throw MetricsTokenError("The metrics token file " + path + " is empty");
  const std::string_view token = std::string_view(text).substr(first, text.find_last_not_of(around) + 1 - first);
  const bool usable = std::all_of(token.begin(), token.end(), isTokenCharacter);
  const MetricsTokenDigest digest = digestOf(token);
  sodium_memzero(text.data(), text.size());
  if (!usable)
    throw MetricsTokenError("The metrics token in " + path +
                            " holds white space, a comma or a control character; use letters, digits and - _ . ~ + /");
  return digest;
}

Handler metricsHandler(MetricsSources sources, MetricsTokenDigest token) {
  auto endpoint = std::make_shared<const Endpoint>(Endpoint{std::move(sources), token});
  return [endpoint](std::shared_ptr<Session> session) { return answerMetrics(endpoint, std::move(session)); };
}

Handler metricsOffHandler() { return answerNotFound; }

}  // namespace nc
