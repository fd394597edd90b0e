// The service's remote procedures, by name, each bound to the context.
#pragma once

#include <memory>

#include "server/http_handler.h"
#include "server/http_server.h"
#include "src/api/context.h"

namespace nc {

// Builds the procedure table and mounts it under "rpc" and then "rpc/v1".
void setupJsonApiRoute(HttpServer& server, std::shared_ptr<Context> context);

// The table itself, in registration order.
std::shared_ptr<JsonApiRouter> newProcedureTable(std::shared_ptr<Context> context);

}  // namespace nc
