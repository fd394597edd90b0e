#include "server/http_error.h"

#include <set>

#include <gtest/gtest.h>

#include "support/expect_throw_msg.h"

namespace nc {

TEST(HttpError, everyCodeHasItsWireNumberAndText) {
  const std::pair<int64_t, std::string> expected[] = {
      {10000, "Unspecified error"},
      {10001, "Internal error"},
      {10002, "Not implemented"},
      {21010, "GET method is required"},
      {21011, "POST method is required"},
      {21012, "PUT method is required"},
      {21013, "PATCH method is required"},
      {21014, "DELETE method is required"},
      {21022, "Missing query"},
      {21023, "Missing header"},
      {21024, "Missing body"},
      {21031, "Missing field"},
      {22000, "Unknown"},
      {22001, "Unknown path"},
      {22002, "Unknown ID"},
      {22003, "Unknown data source kind"},
      {22004, "Unknown username"},
      {22005, "Unknown account role"},
      {22006, "Unknown owner token"},
      {22007, "Unknown field"},
      {22008, "Unknown format"},
      {22009, "Unknown requester"},
      {23000, "Invalid"},
      {23001, "Invalid format"},
      {23002, "Invalid JSON format"},
      {23003, "Invalid data source kind"},
      {23004, "Invalid time format. Time must be in form of 2006-01-02T03:04:05.000Z"},
      {23005, "Invalid nonce"},
      {23006, "Invalid message size"},
      {23007, "Invalid limit"},
      {23008, "Invalid ID"},
      {23009, "Invalid password"},
      {23010, "Invalid auth token"},
      {23011, "Invalid account ID"},
      {23012, "Invalid username"},
      {23013, "Invalid eventPin"},
      {23014, "Invalid filter"},
      {24000, "Mismatch"},
      {24001, "Checksums mismatch"},
      {24002, "Message Authentication Codes mismatch"},
      {24003, "Message sizes mismatch"},
      {24004, "Password mismatch"},
      {25000, "Exceed limit"},
      {25001, "Exceed maximum number of items"},
      {25002, "Exceed maximum number of subscriptions"},
      {25003, "Exceed maximum number of connections"},
      {26000, "Duplicated"},
      {26001, "Duplicated username"},
      {27001, "Old password"},
      {27002, "Expired auth token"},
      {28000, "Forbidden"},
      {28001, "Privileged account only"},
      {28002, "Insufficient access right"},
      {28003, "Another session has already established"},
  };
  std::set<int64_t> numbers;
  for (const auto& [number, text] : expected) {
    const ErrorCode code = static_cast<ErrorCode>(number);
    EXPECT_EQ(errorCodeText(code), text) << number;
    EXPECT_EQ(toCompactJson(newJsonError(code)),
              "{\"error\":{\"code\":" + std::to_string(number) + ",\"message\":\"" + text + "\"}}");
    numbers.insert(number);
  }
  EXPECT_EQ(numbers.size(), 54u);
  EXPECT_EQ(errorCodeNumber(ErrorCode::MissingField), 21031);
}

TEST(HttpError, messagesFollowTheBaseMessageRule) {
  const HttpException codeOnly = newHttpException(404, ErrorCode::UnknownPath);
  EXPECT_EQ(codeOnly.httpCode, 404);
  EXPECT_EQ(codeOnly.errorCode, 22001);
  EXPECT_EQ(codeOnly.errorMessage, "Unknown path");
  EXPECT_EQ(std::string(codeOnly.what()), "");

  const HttpException withMessage = newHttpException(400, ErrorCode::MissingField, "Missing field auth");
  EXPECT_EQ(withMessage.errorMessage, "Missing field auth");
  EXPECT_EQ(std::string(withMessage.what()), "Missing field auth");

  const HttpException withBase = newHttpException(400, ErrorCode::InvalidFormat, "", "bad input at byte 7");
  EXPECT_EQ(withBase.errorMessage, "Invalid format");
  EXPECT_EQ(std::string(withBase.what()), "bad input at byte 7");
  EXPECT_EQ(toCompactJson(newJsonError(withBase)), R"({"error":{"code":23001,"message":"Invalid format"}})");

  const HttpException both = newHttpException(403, ErrorCode::InvalidAuthToken, "Token refused", "Invalid MAC: x");
  EXPECT_EQ(both.errorMessage, "Token refused");
  EXPECT_EQ(std::string(both.what()), "Invalid MAC: x");
}

TEST(HttpError, errorBodies) {
  EXPECT_EQ(toCompactJson(newJsonError(ErrorCode::UnspecifiedError)),
            R"({"error":{"code":10000,"message":"Unspecified error"}})");
  EXPECT_EQ(toCompactJson(newJsonError(newHttpException(403, ErrorCode::InsufficientAccessRight))),
            R"({"error":{"code":28002,"message":"Insufficient access right"}})");
  EXPECT_EQ(toCompactJson(newJsonError(newHttpException(400, ErrorCode::InvalidFormat, "Field \"a\"\n"))),
            R"({"error":{"code":23001,"message":"Field \"a\"\n"}})");
  EXPECT_EQ(errorCodeText(static_cast<ErrorCode>(12345)), "Unspecified error");
}

TEST(HttpError, raiseThrowsTheSameException) {
  EXPECT_THROW_MSG(raiseHttpException(400, ErrorCode::MissingField, "Missing field username"), HttpException,
                   "Missing field username");
  bool caught = false;
  try {
    raiseHttpException(403, ErrorCode::InvalidPassword);
  } catch (const std::runtime_error& error) {
    caught = true;
    const auto* http = dynamic_cast<const HttpException*>(&error);
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(http->httpCode, 403);
    EXPECT_EQ(http->errorCode, 23009);
    EXPECT_EQ(http->errorMessage, "Invalid password");
  }
  EXPECT_TRUE(caught);
}

namespace {

class QuotaError : public std::runtime_error {
 public:
  QuotaError() : std::runtime_error("quota of /data exhausted") {}
};

class DiskQuotaError : public QuotaError {};

template <class Failure>
std::exception_ptr failureOf(Failure failure) {
  return std::make_exception_ptr(std::move(failure));
}

std::string bodyOf(const FailureReply& reply) { return toCompactJson(reply.body); }

}  // namespace

TEST(FailureTable, anApplicationTypeAnswersItsStatusAndCode) {
  FailureTable failures;
  failures.add<QuotaError>(409, ErrorCode::ExceedLimit);
  failures.add<DiskQuotaError>(400, ErrorCode::Invalid);

  for (const auto& failure : {failureOf(QuotaError()), failureOf(DiskQuotaError())}) {
    const FailureReply reply = failures.replyFor(failure);
    EXPECT_EQ(reply.status, 409);
    EXPECT_EQ(bodyOf(reply), R"({"error":{"code":25000,"message":"Exceed limit"}})");
    EXPECT_FALSE(reply.unexpected);  // a known failure's text stays private
  }
}

TEST(FailureTable, httpExceptionsAnswerThemselvesWhateverTheRows) {
  FailureTable failures;
  failures.add<std::exception>(418, ErrorCode::Unknown);
  const FailureReply reply = failures.replyFor(failureOf(newHttpException(403, ErrorCode::InsufficientAccessRight)));
  EXPECT_EQ(reply.status, 403);
  EXPECT_EQ(bodyOf(reply), R"({"error":{"code":28002,"message":"Insufficient access right"}})");
  EXPECT_FALSE(reply.unexpected);
  EXPECT_EQ(failures.replyFor(failureOf(QuotaError())).status, 418);
}

TEST(FailureTable, anythingElseIsAnUnexpected500) {
  const std::string unspecified = R"({"error":{"code":10000,"message":"Unspecified error"}})";
  FailureTable failures;
  failures.add<QuotaError>(409, ErrorCode::ExceedLimit);

  const FailureReply other = failures.replyFor(failureOf(std::runtime_error("disk on fire")));
  EXPECT_EQ(other.status, 500);
  EXPECT_EQ(bodyOf(other), unspecified);
  EXPECT_EQ(other.unexpected, "disk on fire");

  const FailureReply notAnException = failures.replyFor(failureOf(42));
  EXPECT_EQ(notAnException.status, 500);
  EXPECT_EQ(notAnException.unexpected, "unknown failure");

  const FailureReply none = failures.replyFor(nullptr);
  EXPECT_EQ(none.status, 500);
  EXPECT_EQ(bodyOf(none), unspecified);
  EXPECT_FALSE(none.unexpected);

  EXPECT_EQ(FailureTable().replyFor(failureOf(QuotaError())).unexpected, "quota of /data exhausted");
}

}  // namespace nc
