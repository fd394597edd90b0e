#include "server/http_error.h"

namespace nc {

// A switch rather than a lookup table so that the compiler reports a code
// added to the enumeration without its text.
std::string_view errorCodeText(ErrorCode code) {
  switch (code) {
    case ErrorCode::UnspecifiedError: return "Unspecified error";
    case ErrorCode::InternalError: return "Internal error";
    case ErrorCode::NotImplemented: return "Not implemented";
    case ErrorCode::GetMethodRequired: return "GET method is required";
    case ErrorCode::PostMethodRequired: return "POST method is required";
    case ErrorCode::PutMethodRequired: return "PUT method is required";
    case ErrorCode::PatchMethodRequired: return "PATCH method is required";
    case ErrorCode::DeleteMethodRequired: return "DELETE method is required";
    case ErrorCode::MissingQuery: return "Missing query";
    case ErrorCode::MissingHeader: return "Missing header";
    case ErrorCode::MissingBody: return "Missing body";
    case ErrorCode::MissingField: return "Missing field";
    case ErrorCode::Unknown: return "Unknown";
    case ErrorCode::UnknownPath: return "Unknown path";
    case ErrorCode::UnknownId: return "Unknown ID";
    case ErrorCode::UnknownDataSourceKind: return "Unknown data source kind";
    case ErrorCode::UnknownUsername: return "Unknown username";
    case ErrorCode::UnknownAccountRole: return "Unknown account role";
    case ErrorCode::UnknownOwnerToken: return "Unknown owner token";
    case ErrorCode::UnknownField: return "Unknown field";
    case ErrorCode::UnknownFormat: return "Unknown format";
    case ErrorCode::UnknownRequester: return "Unknown requester";
    case ErrorCode::Invalid: return "Invalid";
    case ErrorCode::InvalidFormat: return "Invalid format";
    case ErrorCode::InvalidJsonFormat: return "Invalid JSON format";
    case ErrorCode::InvalidDataSourceKind: return "Invalid data source kind";
    case ErrorCode::InvalidTimeFormat:
      return "Invalid time format. Time must be in form of 2006-01-02T03:04:05.000Z";
    case ErrorCode::InvalidNonce: return "Invalid nonce";
    case ErrorCode::InvalidMessageSize: return "Invalid message size";
    case ErrorCode::InvalidLimit: return "Invalid limit";
    case ErrorCode::InvalidId: return "Invalid ID";
    case ErrorCode::InvalidPassword: return "Invalid password";
    case ErrorCode::InvalidAuthToken: return "Invalid auth token";
    case ErrorCode::InvalidAccountId: return "Invalid account ID";
    case ErrorCode::InvalidUsername: return "Invalid username";
    case ErrorCode::InvalidEventPin: return "Invalid eventPin";
    case ErrorCode::InvalidFilter: return "Invalid filter";
    case ErrorCode::Mismatch: return "Mismatch";
    case ErrorCode::ChecksumsMismatch: return "Checksums mismatch";
    case ErrorCode::MacsMismatch: return "Message Authentication Codes mismatch";
    case ErrorCode::MessageSizesMismatch: return "Message sizes mismatch";
    case ErrorCode::PasswordMismatch: return "Password mismatch";
    case ErrorCode::ExceedLimit: return "Exceed limit";
    case ErrorCode::ExceedMaxItems: return "Exceed maximum number of items";
    case ErrorCode::ExceedMaxSubscriptions: return "Exceed maximum number of subscriptions";
    case ErrorCode::ExceedMaxConnections: return "Exceed maximum number of connections";
    case ErrorCode::Duplicated: return "Duplicated";
    case ErrorCode::DuplicatedUsername: return "Duplicated username";
    case ErrorCode::OldPassword: return "Old password";
    case ErrorCode::ExpiredAuthToken: return "Expired auth token";
    case ErrorCode::Forbidden: return "Forbidden";
    case ErrorCode::PrivilegedAccountOnly: return "Privileged account only";
    case ErrorCode::InsufficientAccessRight: return "Insufficient access right";
    case ErrorCode::SessionAlreadyEstablished: return "Another session has already established";
  }
  // Only a cast can make a value outside the enumeration; it must still not
  // leave the client without a message.
  return "Unspecified error";
}

HttpException::HttpException(int httpCode, ErrorCode errorCode, const std::string& errorMessage,
                             const std::string& baseMessage)
    : std::runtime_error(baseMessage.empty() ? errorMessage : baseMessage),
      httpCode(httpCode),
      errorCode(errorCodeNumber(errorCode)),
      errorMessage(errorMessage.empty() ? std::string(errorCodeText(errorCode)) : errorMessage) {}

HttpException newHttpException(int httpCode, ErrorCode errorCode, const std::string& errorMessage,
                               const std::string& baseMessage) {
  return HttpException(httpCode, errorCode, errorMessage, baseMessage);
}

void raiseHttpException(int httpCode, ErrorCode errorCode, const std::string& errorMessage,
                        const std::string& baseMessage) {
  throw newHttpException(httpCode, errorCode, errorMessage, baseMessage);
}

namespace {

JsonValue newJsonErrorBody(int64_t code, std::string message) {
  return JsonObject{{"error", JsonObject{{"code", code}, {"message", std::move(message)}}}};
}

}  // namespace

JsonValue newJsonError(const HttpException& exception) {
  return newJsonErrorBody(exception.errorCode, exception.errorMessage);
}

JsonValue newJsonError(ErrorCode code) {
  return newJsonErrorBody(errorCodeNumber(code), std::string(errorCodeText(code)));
}

FailureReply knownFailureReply(int status, ErrorCode code, std::string_view message) {
  if (message.empty()) return {status, newJsonError(code), std::nullopt};
  return {status, newJsonErrorBody(errorCodeNumber(code), std::string(message)), std::nullopt};
}

namespace {

std::string textOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown failure";
  }
}

}  // namespace

FailureReply FailureTable::replyFor(const std::exception_ptr& failure) const {
  if (!failure) return {500, newJsonError(ErrorCode::UnspecifiedError), std::nullopt};
  try {
    std::rethrow_exception(failure);
  } catch (const HttpException& e) {
    return {e.httpCode, newJsonError(e), std::nullopt, e.headers};
  } catch (...) {
  }
  for (const auto& row : rows_)
    if (auto reply = row(failure)) return std::move(*reply);
  return {500, newJsonError(ErrorCode::UnspecifiedError), textOf(failure)};
}

}  // namespace nc
