#include "src/api/failure_table.h"

#include <string>

#include "src/accounts/account_store.h"
#include "src/accounts/login.h"
#include "src/accounts/token_seal.h"
#include "src/accounts/tokens.h"
#include "src/forwarder/apply.h"
#include "src/forwarder/atomic_file.h"
#include "src/forwarder/history.h"
#include "src/units/systemctl.h"
#include "utils/logger.h"

namespace nc {
namespace {

template <class Failure>
void answerWithItsMessage(FailureTable& failures, int status, ErrorCode code) {
  failures.add<Failure>([status, code](const Failure& failure) { return knownFailureReply(status, code, failure.what()); });
}

FailureReply throttled(const LoginThrottledError& failure) {
  FailureReply reply = knownFailureReply(429, ErrorCode::ExceedLimit);
  reply.headers.set("retry-after", std::to_string(failure.wait.count()));
  return reply;
}

}  // namespace

FailureTable serviceFailures() {
  FailureTable failures;
  // Logins and the password update.
  failures.add<LoginThrottledError>(throttled);
  failures.add<WrongPasswordError>(403, ErrorCode::InvalidPassword);
  failures.add<UserNotFoundError>(400, ErrorCode::PasswordMismatch);
  failures.add<HashNotMatchError>(400, ErrorCode::PasswordMismatch);
  // The access guard.
  failures.add<InvalidTokenError>(403, ErrorCode::InvalidAuthToken);
  failures.add<RevokedTokenError>(403, ErrorCode::InvalidAuthToken);
  failures.add<ExpiredTokenError>(403, ErrorCode::ExpiredAuthToken);
  failures.add<UnreadableTokenError>(403, ErrorCode::InsufficientAccessRight);
  // The forwarder's configuration. A failed apply keeps status 500 and code
  // 10000, which callers already take for a failed restart.
  answerWithItsMessage<ApplyFailedError>(failures, 500, ErrorCode::UnspecifiedError);
  answerWithItsMessage<UnknownVersionError>(failures, 404, ErrorCode::UnknownId);
  answerWithItsMessage<UnrestorableVersionError>(failures, 400, ErrorCode::InvalidJsonFormat);
  failures.add<ConfigNotObjectError>(400, ErrorCode::InvalidFormat);
  answerWithItsMessage<FileTooLargeError>(failures, 500, ErrorCode::UnspecifiedError);
  // The ssh procedures' commands: the same status and code as a failed
  // forwarder change, with what systemctl said.
  failures.add<ExecError>([](const ExecError& failure) {
    return knownFailureReply(500, ErrorCode::UnspecifiedError, commandFailureText(failure));
  });
  return failures;
}

ErrorHook newFailureCatcher() {
  return answerFailures(serviceFailures(), [](const std::string& text) { serviceLog().error(text); });
}

}  // namespace nc
