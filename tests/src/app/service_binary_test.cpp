// The service binary as an operator runs it: start-up lines and failures, the
// health check, the redirect, and one whole session over HTTP.
#include <gtest/gtest.h>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/fake_systemctl.h"
#include "support/test_support.h"
#include "utils/json.h"

namespace nc::test {
namespace {


// A patch answers only after the forwarder's settle window, 5 s by default.
std::string post(uint16_t port, const std::string& path, const std::string& body) {
  RawClient client(port, std::chrono::seconds(20));
  client.send("POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n" + body);
  return client.readResponse();
}

struct Service {
  TempDir dir;
  uint16_t port = freePort();
  std::filesystem::path config = dir.path() / "global_conf.json";
  std::vector<std::string> args() const {
    return {"--port", std::to_string(port), "-f", config.string(), "-d", (dir.path() / "db.sqlite3").string()};
  }
};

}  // namespace

TEST(ServiceBinary, startUpLinesHealthAndRedirect) {
  Service service;
  ServiceProcess process(service.args());
  EXPECT_EQ(process.output(), "starting nodeconsole v1.1.1\nListening 127.0.0.1:" + std::to_string(service.port) + "\n");
  std::string health = roundTrip(service.port, "GET /health HTTP/1.1\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(statusOf(health), 200);
  JsonValue body = parseJson(bodyOf(health));
  ASSERT_TRUE(body.isObject());
  ASSERT_EQ(body.asObject().size(), 1u);
  // The test is built by the same compiler as the service.
#if defined(__clang__)
  EXPECT_EQ(body.asObject().begin()->first, "clang");
  EXPECT_EQ(body.asObject().begin()->second.asString(), std::to_string(__clang_major__) + "." +
                                                            std::to_string(__clang_minor__) + "." +
                                                            std::to_string(__clang_patchlevel__));
#else
  EXPECT_EQ(body.asObject().begin()->first, "gcc");
  EXPECT_EQ(body.asObject().begin()->second.asString(),
            std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." + std::to_string(__GNUC_PATCHLEVEL__));
#endif
  EXPECT_EQ(roundTrip(service.port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"),
            "HTTP/1.1 302 Found\r\nLocation: /ui\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(roundTrip(service.port, "PUT /no/such/place HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n"),
            "HTTP/1.1 302 Found\r\nLocation: /ui\r\nContent-Length: 0\r\n\r\n");
}

TEST(ServiceBinary, anEmptyListenAddressBindsEveryInterface) {
  Service service;
  // A port found free on the loopback may be another test's client's own port
  // by the time the service binds every interface; a new port is tried then.
  std::optional<ServiceProcess> process;
  for (int attempt = 0; attempt < 3 && !process; ++attempt) {
    std::vector<std::string> args = service.args();
    args.push_back("--listen=");
    try {
      process.emplace(args);
    } catch (const std::runtime_error& e) {
      if (std::string(e.what()).find("Address already in use") == std::string::npos) throw;
      service.port = freePort();
    }
  }
  ASSERT_TRUE(process);
  EXPECT_EQ(process->output(), "starting nodeconsole v1.1.1\nListening :" + std::to_string(service.port) + "\n");
  EXPECT_EQ(statusOf(roundTrip(service.port, "GET /health HTTP/1.1\r\nHost: localhost\r\n\r\n")), 200);
}

TEST(ServiceBinary, startUpFailuresEndWithStatusOne) {
  Service service;
  ServiceProcess first(service.args());
  ProcessResult second = runBinary(service.args());
  EXPECT_EQ(second.exitStatus, 1);
  EXPECT_EQ(second.out, "starting nodeconsole v1.1.1\nListening 127.0.0.1:" + std::to_string(service.port) +
                            "\nAddress already in use\nOSError code: 98\n");

  ProcessResult noDatabase = runBinary({"-p", std::to_string(freePort()), "-d", "/nonexistent/dir/db.sqlite3"});
  EXPECT_EQ(noDatabase.exitStatus, 1);
  EXPECT_EQ(noDatabase.out, "starting nodeconsole v1.1.1\nunable to open database file\n");

  ProcessResult badPort = runBinary({"-p", "70000", "-d", (service.dir.path() / "other.sqlite3").string()});
  EXPECT_EQ(badPort.exitStatus, 1);
  EXPECT_EQ(badPort.out, "starting nodeconsole v1.1.1\nInvalid port: 70000 (expected 0 to 65535)\n");

  const std::string badHostPort = std::to_string(freePort());
  ProcessResult badHost = runBinary({"-p", badHostPort, "-l", "no-such-host.invalid", "-d",
                                     (service.dir.path() / "third.sqlite3").string()});
  EXPECT_EQ(badHost.exitStatus, 1);
  // The resolver's own text, and no system error behind it: the number is 0
  // and no system message comes first. Which text depends on the machine's DNS.
  std::string listening = "starting nodeconsole v1.1.1\nListening no-such-host.invalid:" + badHostPort + "\n";
  std::vector<std::string> expected;
  for (int failure : {EAI_NONAME, EAI_AGAIN, EAI_FAIL}) {
    expected.push_back(listening + "Additional info: \"" + ::gai_strerror(failure) + "\"\nOSError code: 0\n");
  }
  EXPECT_NE(std::find(expected.begin(), expected.end(), badHost.out), expected.end()) << badHost.out;
}

TEST(ServiceBinary, anOperatorSession) {
  Service service;
  FakeSystemctl fake;
  writeFile(service.config, readTestData("semtech-eu868-global_conf.json"));
  std::vector<std::string> args = service.args();
  args.insert(args.end(), {"--forwarderSettleSeconds", "1"});
  ServiceProcess process(args, fake.environment());
  uint16_t port = service.port;

  std::string login = post(port, "/rpc/v1/login/password", R"({"username":"admin","password":"qzvtk"})");
  ASSERT_EQ(statusOf(login), 200) << login;
  std::string token = parseJson(bodyOf(login)).asObject().at("output").asObject().at("auth").asString();
  std::string auth = R"("auth":")" + token + "\"";

  std::string config = post(port, "/rpc/forwarder-config/get", "{" + auth + "}");
  EXPECT_EQ(parseJson(bodyOf(config)).asObject().at("output").asObject().at("gateway_conf").asObject().at(
                "serv_port_up").asInt(),
            1680);

  const auto patchStart = std::chrono::steady_clock::now();
  std::string patch = post(port, "/rpc/forwarder-config/patch",
                           "{" + auth + R"(,"input":{"gateway_conf":{"serv_port_up":1700,"serv_port_down":1700}}})");
  EXPECT_EQ(bodyOf(patch), R"({"output":{}})");
  // The window of the command line, not the default one.
  const auto patchTook = std::chrono::steady_clock::now() - patchStart;
  EXPECT_GE(patchTook, std::chrono::seconds(1));
  EXPECT_LT(patchTook, std::chrono::milliseconds(4500));
  JsonValue written = parseJson(readFile(service.config));
  EXPECT_EQ(written.asObject().at("gateway_conf").asObject().at("serv_port_down").asInt(), 1700);
  // The file as it was, comments and all, is kept beside the database.
  struct stat history {};
  ASSERT_EQ(::stat((service.dir.path() / "forwarder-history").c_str(), &history), 0);
  EXPECT_EQ(history.st_mode & 0777, 0700u);
  EXPECT_EQ(readFile(service.dir.path() / "forwarder-history" / "version-1.json"),
            readTestData("semtech-eu868-global_conf.json"));

  std::string update = post(port, "/rpc/password/update",
                            "{" + auth + R"(,"input":{"currentPassword":"qzvtk","newPassword":"field-2026"}})");
  // The change ends the old token and hands out a fresh one.
  EXPECT_EQ(statusOf(post(port, "/rpc/forwarder-config/get", "{" + auth + "}")), 403);
  auth = R"("auth":")" + parseJson(bodyOf(update)).asObject().at("output").asObject().at("auth").asString() + "\"";
  EXPECT_EQ(statusOf(post(port, "/rpc/v1/login/password", R"({"username":"admin","password":"qzvtk"})")), 403);
  EXPECT_EQ(statusOf(post(port, "/rpc/v1/login/password", R"({"username":"admin","password":"field-2026"})")), 200);

  EXPECT_EQ(bodyOf(post(port, "/rpc/sshd/start", "{" + auth + R"(,"input":{}})")), R"({"output":{}})");
  EXPECT_EQ(bodyOf(post(port, "/rpc/v1/sshd/stop", "{" + auth + R"(,"input":{}})")), R"({"output":{}})");
  EXPECT_EQ(fake.calls(), (std::vector<std::string>{"restart packet-forwarder", "start ssh", "enable ssh", "stop ssh",
                                                    "disable ssh"}));

  // An unexpected failure is printed on one line; the client sees only the generic error.
  std::string noInput = post(port, "/rpc/forwarder-config/patch", "{" + auth + "}");
  EXPECT_EQ(bodyOf(noInput), R"({"error":{"code":10000,"message":"Unspecified error"}})");
  EXPECT_NE(process.output().find("\nkey not found: input\n"), std::string::npos);
}

// The package writes a random password for a new database; the factory one,
// printed in every manual, then opens nothing, and the banner covers the new
// one until it is changed.
TEST(ServiceBinary, initialPasswordFile) {
  Service service;
  const std::filesystem::path passwordFile = service.dir.path() / "initial-password";
  std::vector<std::string> args = service.args();
  args.insert(args.end(), {"--initialPasswordFile", passwordFile.string()});

  ProcessResult missing = runBinary(args);
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_NE(missing.out.find("its initial password is missing"), std::string::npos) << missing.out;

  writeFile(passwordFile, "kelp-7-harbour\n");
  {
    ServiceProcess process(args);
    EXPECT_EQ(statusOf(post(service.port, "/rpc/v1/login/password", R"({"username":"admin","password":"qzvtk"})")),
              403);
    std::string login =
        post(service.port, "/rpc/v1/login/password", R"({"username":"admin","password":"kelp-7-harbour"})");
    ASSERT_EQ(statusOf(login), 200) << login;
    EXPECT_TRUE(parseJson(bodyOf(login)).asObject().at("output").asObject().at("factoryPassword").asBool());
  }
  // The database made, the file may go: its password is the account's now.
  std::filesystem::remove(passwordFile);
  ServiceProcess process(args);
  EXPECT_EQ(statusOf(post(service.port, "/rpc/v1/login/password",
                          R"({"username":"admin","password":"kelp-7-harbour"})")),
            200);
  writeFile(passwordFile, "\n");
  EXPECT_EQ(runBinary(args).exitStatus, 1);
}

TEST(ServiceBinary, privateDatabaseAllowedHostsAndTokenLifetime) {
  Service service;
  const std::filesystem::path database = service.dir.path() / "db.sqlite3";
  writeFile(database, "");
  std::filesystem::permissions(database, std::filesystem::perms(0644));
  std::vector<std::string> args = service.args();
  args.insert(args.end(), {"--allowedHosts", "console.example.net, gw", "--tokenLifetime", "0"});
  ServiceProcess process(args);
  EXPECT_EQ(process.output(), "starting nodeconsole v1.1.1\nmade " + database.string() +
                                  " private: mode 0644 -> 0600\nListening 127.0.0.1:" + std::to_string(service.port) +
                                  "\n");
  EXPECT_EQ(std::filesystem::perms(0600), std::filesystem::status(database).permissions());
  for (const std::string host : {"console.example.net:9992", "GW", "localhost", "[::1]"})
    EXPECT_EQ(statusOf(roundTrip(service.port, "GET /health HTTP/1.1\r\nHost: " + host + "\r\n\r\n")), 200) << host;
  EXPECT_EQ(roundTrip(service.port, "GET /health HTTP/1.1\r\nHost: evil.example\r\n\r\n"),
            "HTTP/1.1 403 Forbidden\r\nContent-Type: application/json\r\nContent-Length: 46\r\n\r\n"
            R"({"error":{"code":28000,"message":"Forbidden"}})");

  ProcessResult negative = runBinary({"-p", std::to_string(freePort()), "--tokenLifetime=-1", "-d",
                                      (service.dir.path() / "other.sqlite3").string()});
  EXPECT_EQ(negative.exitStatus, 1);
  EXPECT_EQ(negative.out, "starting nodeconsole v1.1.1\nInvalid token lifetime: -1 (expected seconds, or 0 for no limit)\n");
  for (const std::string window : {"0", "-5", "121"}) {
    ProcessResult refused = runBinary({"-p", std::to_string(freePort()), "--forwarderSettleSeconds", window, "-d",
                                       (service.dir.path() / "other.sqlite3").string()});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.out, "starting nodeconsole v1.1.1\nInvalid forwarder settle window: " + window +
                               " (expected 1 to 120 seconds)\n");
  }
}

// /metrics answers only with a token file; one that cannot serve stops the
// start, and the Host check stands before the token check.
TEST(ServiceBinary, metricsTokenFile) {
  Service service;
  {
    ServiceProcess process(service.args());
    EXPECT_EQ(statusOf(roundTrip(service.port, "GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n")), 404);
  }
  const std::filesystem::path token = service.dir.path() / "metrics.token";
  const auto startWith = [&](const std::string& content) {
    if (!content.empty()) writeFile(token, content);
    std::vector<std::string> args = service.args();
    args.insert(args.end(), {"--metricsTokenFile", token.string()});
    return runBinary(args);
  };
  const std::string starting = "starting nodeconsole v1.1.1\n";
  EXPECT_EQ(startWith("").out, starting + "Cannot read the metrics token file " + token.string() + "\n");
  EXPECT_EQ(startWith(" \n").out, starting + "The metrics token file " + token.string() + " is empty\n");
  const ProcessResult comma = startWith("one,two\n");
  EXPECT_EQ(comma.exitStatus, 1);
  EXPECT_EQ(comma.out, starting + "The metrics token in " + token.string() +
                           " holds white space, a comma or a control character; use letters, digits and - _ . ~ + /\n");

  writeFile(token, "s3cret\n");
  std::vector<std::string> args = service.args();
  args.insert(args.end(), {"--metricsTokenFile", token.string()});
  ServiceProcess process(args);
  EXPECT_EQ(statusOf(roundTrip(service.port, "GET /metrics HTTP/1.1\r\nHost: evil.example\r\n"
                                             "Authorization: Bearer s3cret\r\n\r\n")),
            403);
  EXPECT_EQ(statusOf(roundTrip(service.port, "GET /metrics HTTP/1.1\r\nHost: localhost\r\n"
                                             "Authorization: Bearer s3cret\r\n\r\n")),
            200);
}

TEST(ServiceBinary, httpsWithAPairMadeAtFirstStart) {
  Service service;
  const std::string certificate = (service.dir.path() / "cert.pem").string();
  const std::string key = (service.dir.path() / "key.pem").string();
  std::vector<std::string> args = service.args();
  args.insert(args.end(), {"--tlsCertificate", certificate, "--tlsKey", key});
  std::string firstOutput;
  {
    ServiceProcess first(args);
    firstOutput = first.output();
    const std::string url = "https://127.0.0.1:" + std::to_string(service.port) + "/health";
    const ProcessResult health = runProgram({"curl", "-sS", "--cacert", certificate, url});
    EXPECT_EQ(parseJson(health.out).asObject().size(), 1u) << health.err;
    const std::string plain = roundTrip(service.port, "GET /ui?x HTTP/1.1\r\nHost: localhost:9992\r\n\r\n");
    EXPECT_EQ(plain.rfind("HTTP/1.1 308 Permanent Redirect\r\nLocation: https://localhost:9992/ui?x\r\n", 0), 0u)
        << plain;
  }
  const std::string fingerprint =
      runProgram({"openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", certificate}).out.substr(19);
  EXPECT_EQ(firstOutput, "starting nodeconsole v1.1.1\nmade a self-signed TLS certificate " + certificate +
                             " valid for 825 days, and its key " + key + "\nTLS certificate SHA-256 fingerprint " +
                             fingerprint + "Listening 127.0.0.1:" + std::to_string(service.port) + "\n");
  // A restart keeps the pair.
  ServiceProcess second(args);
  EXPECT_EQ(second.output(), "starting nodeconsole v1.1.1\nTLS certificate SHA-256 fingerprint " + fingerprint +
                                 "Listening 127.0.0.1:" + std::to_string(service.port) + "\n");
  // system/info names the same certificate, for an operator to compare with the browser's warning page.
  const auto call = [&](const std::string& name, const std::string& body) {
    const ProcessResult reply =
        runProgram({"curl", "-sS", "--cacert", certificate, "-H", "Content-Type: application/json", "--data-binary",
                    body, "https://127.0.0.1:" + std::to_string(service.port) + "/rpc/v1/" + name});
    return parseJson(reply.out).asObject().at("output");
  };
  const JsonValue login = call("login/password", R"({"username":"admin","password":"qzvtk"})");
  const JsonValue info = call("system/info", R"({"auth":")" + login.asObject().at("auth").asString() + R"("})");
  EXPECT_EQ(info.asObject().at("tlsFingerprint").asString() + "\n", fingerprint);
}

TEST(ServiceBinary, anIncompleteOrMismatchedTlsPairStopsTheStart) {
  Service service;
  const std::string certificate = (service.dir.path() / "cert.pem").string();
  const std::string key = (service.dir.path() / "key.pem").string();
  std::vector<std::string> args = service.args();
  const ProcessResult oneOption = runBinary({"-p", "0", "--tlsKey", key});
  EXPECT_EQ(oneOption.exitStatus, 1);
  EXPECT_NE(oneOption.out.find("--tlsCertificate and --tlsKey go together"), std::string::npos) << oneOption.out;
  args.insert(args.end(), {"--tlsCertificate", certificate, "--tlsKey", key});
  writeFile(certificate, readTestData("tls-test-certificate.pem"));
  const ProcessResult oneFile = runBinary(args);
  EXPECT_EQ(oneFile.exitStatus, 1);
  EXPECT_NE(oneFile.out.find(key + " is missing while " + certificate + " exists"), std::string::npos) << oneFile.out;
  writeFile(key, readTestData("tls-test-other-key.pem"));
  const ProcessResult mismatched = runBinary(args);
  EXPECT_EQ(mismatched.exitStatus, 1);
  EXPECT_NE(mismatched.out.find("does not belong to the certificate"), std::string::npos) << mismatched.out;
  EXPECT_EQ(mismatched.out.find("Listening"), std::string::npos);
}

}  // namespace nc::test
