#include "src/api/access_guard.h"

#include "src/accounts/tokens.h"

namespace nc {

Procedure loginOnly(std::shared_ptr<Context> context, GuardedProcedure procedure) {
  // Not a coroutine: the check runs before the procedure's frame exists, and
  // a refusal propagates to the API handler that awaits the call.
  return [context, procedure](std::shared_ptr<Session>, const JsonValue& body) {
    std::string account = checkToken(*context->secret, context->access, httpJsonMustGetString(body, "auth"));
    return procedure(*context, body, std::move(account));
  };
}

}  // namespace nc
