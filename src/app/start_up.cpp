#include "src/app/start_up.h"

#include <unistd.h>

#include <climits>
#include <exception>
#include <iostream>
#include <stdexcept>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "server/http_server.h"
#include "src/api/context.h"
#include "src/api/entry_handlers.h"
#include "src/api/procedure_table.h"
#include "src/forwarder/stale_temp_files.h"
#include "server/static_files.h"
#include "server/embedded_files.h"
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

std::shared_ptr<HttpServer> buildServer(const std::string& allowedHosts) {
  auto server = newHttpServer(maxRequestBody);
  server->allowedHosts = newAllowedHosts(machineName(), allowedHosts);
  setupJsonApiRoute(*server);
  mount(*server, "ui", embeddedFileHandler(uiFiles()));
  mount(*server, "health", healthCheck);
  mount(*server, "", rootRedirect);
  catchErrors(*server, newFailureCatcher());
  return server;
}

// Runs the event loop until serving ends; a failure of serve is rethrown here.
void runServer(std::shared_ptr<HttpServer> server, std::shared_ptr<Context> context, uint16_t port,
               const std::string& listen) {
  // Everything runs on this one thread and nothing touches the loop from
  // another, so the scheduler and the reactor need no locks.
  asio::io_context io(ASIO_CONCURRENCY_HINT_UNSAFE);
  std::exception_ptr failure;
  ContextFactory factory = [context] { return context; };
  asio::co_spawn(io, serve(server, factory, port, listen), [&](std::exception_ptr e) {
    failure = e;
    io.stop();
  });
  io.run();
  if (failure) std::rethrow_exception(failure);
}

void printOsError(const OsError& e) {
  std::string message = e.code().value() == 0 ? std::string() : e.code().message();
  if (!e.additionalInfo().empty()) {
    if (!message.empty() && message.back() != '\n') message += '\n';
    message += "Additional info: " + quoteEscaped(e.additionalInfo());
  }
  if (message.empty()) message = "unknown OS error";
  std::cout << message << "\nOSError code: " << e.code().value() << std::endl;
}

}  // namespace

int nodeconsole(const std::string& listen, int64_t port, const std::string& forwarderConfigPath,
                const std::string& forwarderUnitServiceName, const std::string& dataPath, int64_t tokenLifetime,
                const std::string& allowedHosts) {
  std::cout << "starting nodeconsole v" NODECONSOLE_VERSION << std::endl;
  try {
    if (port < 0 || port > maxPort)
      throw std::invalid_argument("Invalid port: " + std::to_string(port) + " (expected 0 to 65535)");
    if (tokenLifetime < 0)
      throw std::invalid_argument("Invalid token lifetime: " + std::to_string(tokenLifetime) +
                                  " (expected seconds, or 0 for no limit)");
    auto context = newContext(forwarderConfigPath, forwarderUnitServiceName, dataPath);
    context->access.tokenLifetime = tokenLifetime;
    initAccounts(*context);
    // Left by a process killed in the middle of a patch.
    removeStaleTemporaryFiles(forwarderConfigPath, std::cout);
    auto server = buildServer(allowedHosts);
    std::cout << "Listening " << listen << ':' << port << std::endl;
    runServer(server, context, static_cast<uint16_t>(port), listen);
  } catch (const OsError& e) {
    printOsError(e);
  } catch (const std::exception& e) {
    std::cout << e.what() << std::endl;
  }
  // Serving only ends through a failure; a zero status would tell a supervisor
  // such as systemd that the service stopped cleanly, so it would not restart it.
  return startUpFailureStatus;
}

}  // namespace nc
