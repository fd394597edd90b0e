// The one failure type that reaches clients as its own status and JSON error
// body, the application error codes that body carries, and the table that
// decides how every other failure is answered.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "transport/http_types.h"
#include "utils/json.h"

namespace nc {

// Application error codes. The number is what goes on the wire, never the
// position in this list; the runs are not contiguous.
enum class ErrorCode : uint16_t {
  UnspecifiedError = 10000,
  InternalError = 10001,
  NotImplemented = 10002,
  GetMethodRequired = 21010,
  PostMethodRequired = 21011,
  PutMethodRequired = 21012,
  PatchMethodRequired = 21013,
  DeleteMethodRequired = 21014,
  MissingQuery = 21022,
  MissingHeader = 21023,
  MissingBody = 21024,
  MissingField = 21031,
  Unknown = 22000,
  UnknownPath = 22001,
  UnknownId = 22002,
  UnknownDataSourceKind = 22003,
  UnknownUsername = 22004,
  UnknownAccountRole = 22005,
  UnknownOwnerToken = 22006,
  UnknownField = 22007,
  UnknownFormat = 22008,
  UnknownRequester = 22009,
  Invalid = 23000,
  InvalidFormat = 23001,
  InvalidJsonFormat = 23002,
  InvalidDataSourceKind = 23003,
  InvalidTimeFormat = 23004,
  InvalidNonce = 23005,
  InvalidMessageSize = 23006,
  InvalidLimit = 23007,
  InvalidId = 23008,
  InvalidPassword = 23009,
  InvalidAuthToken = 23010,
  InvalidAccountId = 23011,
  InvalidUsername = 23012,
  InvalidEventPin = 23013,
  InvalidFilter = 23014,
  Mismatch = 24000,
  ChecksumsMismatch = 24001,
  MacsMismatch = 24002,
  MessageSizesMismatch = 24003,
  PasswordMismatch = 24004,
  ExceedLimit = 25000,
  ExceedMaxItems = 25001,
  ExceedMaxSubscriptions = 25002,
  ExceedMaxConnections = 25003,
  Duplicated = 26000,
  DuplicatedUsername = 26001,
  OldPassword = 27001,
  ExpiredAuthToken = 27002,
  Forbidden = 28000,
  PrivilegedAccountOnly = 28001,
  InsufficientAccessRight = 28002,
  SessionAlreadyEstablished = 28003,
};

// The code's fixed text, also the default client message.
std::string_view errorCodeText(ErrorCode code);

inline int64_t errorCodeNumber(ErrorCode code) { return static_cast<int64_t>(code); }

// A failure answered with `httpCode` and the JSON error body of `errorCode`
// and `errorMessage`. what() is the base message, which never reaches the
// client.
class HttpException : public std::runtime_error {
 public:
  // The base message defaults to the client message as given; the client
  // message defaults to the code's text.
  HttpException(int httpCode, ErrorCode errorCode, const std::string& errorMessage = "",
                const std::string& baseMessage = "");

  int httpCode;
  int64_t errorCode;
  std::string errorMessage;
  // Sent with the error reply, e.g. Retry-After with a 429.
  HttpHeaders headers;
};

HttpException newHttpException(int httpCode, ErrorCode errorCode, const std::string& errorMessage = "",
                               const std::string& baseMessage = "");

[[noreturn]] void raiseHttpException(int httpCode, ErrorCode errorCode, const std::string& errorMessage = "",
                                     const std::string& baseMessage = "");

// {"error":{"code":N,"message":"..."}}
JsonValue newJsonError(const HttpException& exception);
JsonValue newJsonError(ErrorCode code);

// How a failure is answered.
struct FailureReply {
  int status;
  JsonValue body;
  // The failure's own text when it is of no known type: worth reporting to
  // whoever runs the service, never sent to the client.
  std::optional<std::string> unexpected;
  // Sent with the reply, e.g. Retry-After with a 429.
  HttpHeaders headers = {};
};

// The reply of a known failure: `status` with the body of `code`, whose
// message is `message` when given, else the code's text.
FailureReply knownFailureReply(int status, ErrorCode code, std::string_view message = {});

// From failure type to reply. An HttpException always answers its own status
// and body; an application adds the types it knows how to answer; anything
// else, or no failure at all, answers 500 "Unspecified error".
class FailureTable {
 public:
  // Failures of type `Failure`, or of a type derived from it, answer what
  // `answer` makes of them. Rows are tried in the order they were added.
  template <class Failure>
  void add(std::function<FailureReply(const Failure&)> answer) {
    rows_.push_back([answer = std::move(answer)](const std::exception_ptr& failure) -> std::optional<FailureReply> {
      try {
        std::rethrow_exception(failure);
      } catch (const Failure& known) {
        return answer(known);
      } catch (...) {
        return std::nullopt;
      }
    });
  }

  // Failures of type `Failure` answer `status` with the body of `code`.
  template <class Failure>
  void add(int status, ErrorCode code) {
    add<Failure>([status, code](const Failure&) { return knownFailureReply(status, code); });
  }

  FailureReply replyFor(const std::exception_ptr& failure) const;

 private:
  std::vector<std::function<std::optional<FailureReply>(const std::exception_ptr&)>> rows_;
};

}  // namespace nc
