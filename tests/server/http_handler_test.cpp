#include <gtest/gtest.h>

#include "server/http_error.h"
#include "server/http_handler.h"
#include "support/in_process_server.h"
#include "support/test_support.h"

namespace nc::test {
namespace {

// Answers with the body it was called with, so tests see what reached it.
asio::awaitable<JsonValue> echo(std::shared_ptr<Session>, const JsonValue& body) {
  co_return JsonValue(JsonObject{{"output", body}});
}

asio::awaitable<JsonValue> forbidden(std::shared_ptr<Session>, const JsonValue&) {
  raiseHttpException(403, ErrorCode::InsufficientAccessRight);
  co_return JsonValue();
}

asio::awaitable<JsonValue> notAnObject(std::shared_ptr<Session>, const JsonValue&) { co_return JsonValue(5); }

asio::awaitable<JsonValue> readsAuth(std::shared_ptr<Session>, const JsonValue& body) {
  co_return JsonValue(JsonObject{{"output", httpJsonMustGetString(body, "auth")}});
}

class JsonApiHandler : public ::testing::Test {
 protected:
  JsonApiHandler() {
    auto procedures = newJsonApiRouter();
    mount(procedures, "login/password", Procedure(echo));
    mount(procedures, "sshd/stop", Procedure(forbidden));
    mount(procedures, "odd", Procedure(notAnObject));
    mount(procedures, "auth", Procedure(readsAuth));
    auto server = newHttpServer(4096);
    Handler api = jsonApiHandler(procedures);
    mount(*server, "rpc", api);
    mount(*server, "rpc/v1", api);
    running_ = std::make_unique<InProcessServer>(server);
  }

  std::string post(const std::string& path, const std::string& body) {
    return roundTrip(running_->port(), "POST " + path + " HTTP/1.1\r\nContent-Length: " +
                                          std::to_string(body.size()) + "\r\n\r\n" + body);
  }

  std::string request(const std::string& head) { return roundTrip(running_->port(), head + "\r\n"); }

  std::unique_ptr<InProcessServer> running_;
};


}  // namespace

TEST_F(JsonApiHandler, procedureNamedByUrlOrBody) {
  EXPECT_EQ(bodyOf(post("/rpc/v1/login/password", R"({"username":"u","password":"p"})")),
            R"({"output":{"username":"u","password":"p","path":"login/password"}})");
  EXPECT_EQ(bodyOf(post("/rpc/v1", R"({"path":"login/password"})")), R"({"output":{"path":"login/password"}})");
  // The body's path wins over the URL.
  EXPECT_EQ(bodyOf(post("/rpc/v1/sshd/stop", R"({"path":"login/password"})")),
            R"({"output":{"path":"login/password"}})");
  // The rest the procedure table leaves is ignored.
  EXPECT_EQ(bodyOf(post("/rpc/login/password/extra", "{}")), R"({"output":{"path":"login/password/extra"}})");
  EXPECT_EQ(post("/rpc/v1", "{}"),
            "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\nContent-Length: 50\r\n\r\n"
            R"({"error":{"code":21031,"message":"Missing field"}})");
  EXPECT_EQ(statusOf(post("/rpc/v1", R"({"path":"nothing/here"})")), 404);
  EXPECT_EQ(bodyOf(post("/rpc/v1", R"({"path":7})")), R"({"error":{"code":22001,"message":"Unknown path"}})");
}

TEST_F(JsonApiHandler, pinIsEchoedOnSuccessOnly) {
  EXPECT_EQ(bodyOf(post("/rpc/v1/login/password", R"({"pin":[1,{"a":null}]})")),
            R"({"output":{"pin":[1,{"a":null}],"path":"login/password"},"pin":[1,{"a":null}]})");
  EXPECT_EQ(bodyOf(post("/rpc/v1", R"({"path":"nothing","pin":3})")),
            R"({"error":{"code":22001,"message":"Unknown path"}})");
  EXPECT_EQ(bodyOf(post("/rpc/sshd/stop", R"({"pin":3})")),
            R"({"error":{"code":28002,"message":"Insufficient access right"}})");
  // A pin with a result that is not an object cannot be echoed: an internal failure.
  EXPECT_EQ(statusOf(post("/rpc/odd", R"({"pin":3})")), 500);
  EXPECT_EQ(bodyOf(post("/rpc/odd", "{}")), "5");
}

TEST_F(JsonApiHandler, preflight) {
  EXPECT_EQ(request("OPTIONS /rpc/v1/login/password HTTP/1.1\r\nAccess-Control-Request-Method: POST\r\n"),
            "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nAccess-Control-Allow-Methods: POST, OPTIONS\r\n"
            "Access-Control-Allow-Headers: Content-Type\r\nAccess-Control-Max-Age: 86400\r\n"
            "Content-Length: 0\r\n\r\n");
  const std::string refused = "HTTP/1.1 400 Bad Request\r\nContent-Length: 15\r\n\r\n400 Bad Request";
  EXPECT_EQ(request("OPTIONS /rpc/v1/login/password HTTP/1.1\r\nAccess-Control-Request-Method: post\r\n"), refused);
  EXPECT_EQ(request("OPTIONS /rpc/v1/login/password HTTP/1.1\r\n"), refused);
  EXPECT_EQ(request("OPTIONS /rpc HTTP/1.1\r\nAccess-Control-Request-Method: POST, GET\r\n"), refused);
  // An empty element is a value of its own, so the list is not "POST" alone.
  for (std::string list : {"POST,", ", POST", "POST, ", "POST,,"}) {
    EXPECT_EQ(request("OPTIONS /rpc HTTP/1.1\r\nAccess-Control-Request-Method: " + list + "\r\n"), refused) << list;
  }
  EXPECT_EQ(statusOf(request("OPTIONS /rpc HTTP/1.1\r\nAccess-Control-Request-Method:   POST\r\n")), 200);
}

TEST_F(JsonApiHandler, wrongMethodAndUnparsableBodies) {
  EXPECT_EQ(bodyOf(request("GET /rpc/v1/login/password HTTP/1.1\r\n")),
            R"({"error":{"code":21011,"message":"POST method is required"}})");
  const std::string unspecified = R"({"error":{"code":10000,"message":"Unspecified error"}})";
  for (std::string body : {"", "{", "not json", "[1,2]", "42", "\"text\"", "null"}) {
    std::string reply = post("/rpc/v1/login/password", body);
    EXPECT_EQ(statusOf(reply), 500) << body;
    EXPECT_EQ(bodyOf(reply), unspecified) << body;
  }
}

TEST_F(JsonApiHandler, fieldReaders) {
  EXPECT_EQ(bodyOf(post("/rpc/auth", R"({"auth":"token"})")), R"({"output":"token"})");
  EXPECT_EQ(bodyOf(post("/rpc/auth", R"({"auth":5})")),
            R"({"error":{"code":23001,"message":"Field auth is not a string"}})");
  EXPECT_EQ(bodyOf(post("/rpc/auth", "{}")), R"({"error":{"code":21031,"message":"Missing field auth"}})");
  const JsonValue array(JsonArray{1, 2});
  try {
    httpJsonMustGetString(array, "auth");
    FAIL() << "no exception";
  } catch (const HttpException& e) {
    EXPECT_EQ(e.httpCode, 400);
    EXPECT_EQ(e.errorCode, 23001);
    EXPECT_EQ(e.errorMessage, "Cannot get field auth from an non-object");
  }
}

}  // namespace nc::test
