#include "src/app/start_up.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <ctime>

#include <cerrno>
#include <climits>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "server/embedded_files.h"
#include "server/http_server.h"
#include "server/static_files.h"
#include "src/api/context.h"
#include "src/api/entry_handlers.h"
#include "src/api/failure_table.h"
#include "src/api/metrics_endpoint.h"
#include "src/api/procedure_table.h"
#include "src/app/tls_identity.h"
#include "src/forwarder/atomic_file.h"
#include "utils/logger.h"
#include "utils/quoted_text.h"

namespace nc {
namespace {

// The largest request body the service accepts: procedure calls are small.
constexpr int64_t maxRequestBody = 4096;

constexpr int64_t maxPort = 65535;

// The name the machine goes by on its network, as a browser may type it.
std::string machineName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// /metrics is served only with a token; its file is read once, here, so a
// missing or unusable one stops the start.
Handler metricsRoute(const Settings& settings, std::shared_ptr<Context> context, const HttpServer& server) {
  if (settings.metricsTokenFile.empty()) return metricsOffHandler();
  MetricsSources sources{std::move(context), server.server, server.replies};
  return metricsHandler(std::move(sources), readMetricsToken(settings.metricsTokenFile));
}

// The addresses of the machine's interfaces now, for a made certificate;
// link-local IPv6 ones are left out, since a certificate cannot name their zone.
std::vector<std::string> interfaceAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr) continue;
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (entry->ifa_addr->sa_family == AF_INET) {
      ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text.data(), text.size());
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      const auto* address = &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
      if (IN6_IS_ADDR_LINKLOCAL(address)) continue;
      ::inet_ntop(AF_INET6, address, text.data(), text.size());
    }
    const std::string address = text.data();
    if (!address.empty() && std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.push_back(address);
  }
  ::freeifaddrs(list);
  return addresses;
}

// With both files named the port speaks HTTPS; the fingerprint is printed, and
// kept for system/info, for the operator to compare with the one a browser shows.
std::shared_ptr<const TlsContext> tlsContextFor(const Settings& settings, Context& context) {
  if (settings.tlsCertificate.empty() && settings.tlsKey.empty()) return nullptr;
  if (settings.tlsCertificate.empty() || settings.tlsKey.empty())
    throw std::invalid_argument("--tlsCertificate and --tlsKey go together: give both, or neither for plain HTTP");
  const MachineNames names{machineName(), interfaceAddresses()};
  TlsIdentity identity =
      prepareTlsIdentity(settings.tlsCertificate, settings.tlsKey, names, std::time(nullptr), serviceLog());
  serviceLog().info("TLS certificate SHA-256 fingerprint " + identity.fingerprint);
  context.tlsFingerprint = identity.fingerprint;
  return identity.context;
}

std::shared_ptr<HttpServer> buildServer(std::shared_ptr<Context> context, const Settings& settings) {
  auto server = newHttpServer(maxRequestBody);
  server->server->tls = tlsContextFor(settings, *context);
  server->allowedHosts = newAllowedHosts(machineName(), settings.allowedHosts);
  mount(*server, "metrics", metricsRoute(settings, context, *server));
  setupJsonApiRoute(*server, std::move(context));
  mount(*server, "ui", embeddedFileHandler(uiFiles()));
  mount(*server, "health", healthCheck);
  mount(*server, "", rootRedirect);
  catchErrors(*server, newFailureCatcher());
  return server;
}

// Runs the event loop until serving ends; a failure of serve is rethrown here.
// The forwarder's journal is read beside serving, from the start.
void runServer(std::shared_ptr<HttpServer> server, std::shared_ptr<TrafficFeed> traffic, uint16_t port,
               const std::string& listen) {
  // Everything runs on this one thread and nothing touches the loop from
  // another, so the scheduler and the reactor need no locks.
  asio::io_context io(ASIO_CONCURRENCY_HINT_UNSAFE);
  asio::co_spawn(io, keepTrafficCurrent(std::move(traffic)), asio::detached);
  std::exception_ptr failure;
  asio::co_spawn(io, serve(server, port, listen), [&](std::exception_ptr e) {
    failure = e;
    io.stop();
  });
  io.run();
  if (failure) std::rethrow_exception(failure);
}

void logOsError(const OsError& e) {
  const std::string message = e.code().value() == 0 ? std::string() : e.code().message();
  const bool additional = !e.additionalInfo().empty();
  if (!message.empty() || !additional) serviceLog().error(message.empty() ? "unknown OS error" : message);
  if (additional) serviceLog().error("Additional info: " + quoteEscaped(e.additionalInfo()));
  serviceLog().error("OSError code: " + std::to_string(e.code().value()));
}

// A password file holds one short line; anything longer is not one.
constexpr size_t maxInitialPasswordFileBytes = 1024;

// The first line of the operator's password file, without its line end. A
// missing file gives none: a database made before there was one keeps its
// factory password as the first-run one, and a new database cannot be made.
std::optional<std::string> readInitialPassword(const std::string& path) {
  std::string text;
  try {
    text = readWholeFile(path, maxInitialPasswordFileBytes);
  } catch (const std::system_error& e) {
    if (e.code().value() == ENOENT) return std::nullopt;
    throw std::runtime_error("Cannot read the initial password file: " + std::string(e.what()));
  }
  std::string password = text.substr(0, text.find_first_of("\r\n"));
  std::fill(text.begin(), text.end(), '\0');
  if (password.empty()) throw std::invalid_argument("The initial password file " + path + " holds no password");
  return password;
}

// Values the command line parses but the service cannot run with.
void refuseNonsense(const Settings& settings) {
  if (settings.port < 0 || settings.port > maxPort)
    throw std::invalid_argument("Invalid port: " + std::to_string(settings.port) + " (expected 0 to 65535)");
  if (settings.tokenLifetime < 0)
    throw std::invalid_argument("Invalid token lifetime: " + std::to_string(settings.tokenLifetime) +
                                " (expected seconds, or 0 for no limit)");
  if (settings.forwarderSettleSeconds < 1 || settings.forwarderSettleSeconds > maxSettleWindow.count())
    throw std::invalid_argument("Invalid forwarder settle window: " + std::to_string(settings.forwarderSettleSeconds) +
                                " (expected 1 to " + std::to_string(maxSettleWindow.count()) + " seconds)");
}

}  // namespace

int nodeconsole(const Settings& settings) {
  serviceLog().info("starting nodeconsole v" NODECONSOLE_VERSION);
  try {
    refuseNonsense(settings);
    auto context = newContext(settings.forwarderConfigPath, settings.forwarderUnitServiceName, settings.dataPath);
    context->access.tokenLifetime = settings.tokenLifetime;
    context->forwarderSettleWindow = std::chrono::seconds(settings.forwarderSettleSeconds);
    if (!settings.initialPasswordFile.empty()) {
      context->firstRunPassword = readInitialPassword(settings.initialPasswordFile);
      if (!context->firstRunPassword)
        serviceLog().info("No initial password file " + settings.initialPasswordFile +
                          ": only an existing account database can be used");
    }
    initAccounts(*context);
    tidyForwarderFiles(forwarderTargetOf(*context), serviceLog());
    auto server = buildServer(context, settings);
    serviceLog().info("Listening " + settings.listen + ":" + std::to_string(settings.port));
    runServer(server, context->traffic, static_cast<uint16_t>(settings.port), settings.listen);
  } catch (const OsError& e) {
    logOsError(e);
  } catch (const std::exception& e) {
    serviceLog().error(e.what());
  }
  // Serving only ends through a failure; a zero status would tell a supervisor
  // such as systemd that the service stopped cleanly, so it would not restart it.
  return startUpFailureStatus;
}

}  // namespace nc
