#include "src/app/tls_identity.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "support/test_support.h"

namespace nc::test {
namespace {

constexpr std::time_t firstStart = 1800000000;  // 2027-01-15
constexpr std::time_t day = 24 * 60 * 60;

const MachineNames names{"gw", {"192.0.2.7", "2001:db8::7"}};

mode_t modeOf(const std::filesystem::path& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

std::string opensslText(const std::filesystem::path& certificate, const std::string& option) {
  return runProgram({"openssl", "x509", "-noout", option, "-sha256", "-in", certificate.string()}).out;
}

struct Pair {
  TempDir dir;
  std::filesystem::path certificate = dir.path() / "tls" / "cert.pem";
  std::filesystem::path key = dir.path() / "tls" / "key.pem";
  std::ostringstream logText;
  Logger log{logText, false};

  TlsIdentity prepare(std::time_t now) { return prepareTlsIdentity(certificate, key, names, now, log); }
};

}  // namespace

TEST(TlsIdentity, aMadePairIsWhatBrowsersAccept) {
  const PemPair pair = makeSelfSignedPair(names, firstStart);
  TempDir dir;
  writeFile(dir.path() / "cert.pem", pair.certificate);
  const std::string text = opensslText(dir.path() / "cert.pem", "-text");
  EXPECT_NE(text.find("DNS:localhost, IP Address:127.0.0.1, IP Address:0:0:0:0:0:0:0:1, DNS:gw, DNS:gw.local, "
                      "IP Address:192.0.2.7, IP Address:2001:DB8:0:0:0:0:0:7"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("TLS Web Server Authentication"), std::string::npos);
  EXPECT_NE(text.find("NIST CURVE: P-256"), std::string::npos);
  EXPECT_NE(text.find("Not Before: Jan 15 08:00:00 2027 GMT"), std::string::npos) << text;
  EXPECT_EQ(certificateDaysLeft(pair.certificate, firstStart), 825);
  EXPECT_TRUE(isMadeHere(pair.certificate));
  EXPECT_FALSE(isMadeHere(readTestData("tls-test-certificate.pem")));
  // The fingerprint is the one openssl (and a browser's warning page) shows.
  EXPECT_EQ("sha256 Fingerprint=" + certificateFingerprint(pair.certificate) + "\n",
            opensslText(dir.path() / "cert.pem", "-fingerprint"));
}

TEST(TlsIdentity, madeOnceKeptAcrossRestartsRenewedNearTheEnd) {
  Pair pair;
  const TlsIdentity made = pair.prepare(firstStart);
  EXPECT_EQ(modeOf(pair.key), 0600u);
  EXPECT_EQ(modeOf(pair.certificate), 0644u);
  const std::string key = readFile(pair.key);
  EXPECT_EQ(made.fingerprint, certificateFingerprint(readFile(pair.certificate)));
  EXPECT_EQ(pair.prepare(firstStart + 794 * day).fingerprint, made.fingerprint);
  EXPECT_EQ(readFile(pair.key), key);
  const TlsIdentity renewed = pair.prepare(firstStart + 796 * day);
  EXPECT_NE(renewed.fingerprint, made.fingerprint);
  EXPECT_EQ(certificateDaysLeft(readFile(pair.certificate), firstStart + 796 * day), 825);
  EXPECT_EQ(modeOf(pair.key), 0600u);
}

TEST(TlsIdentity, anOperatorsPairIsUsedAsItIsAndCheckedWhole) {
  Pair pair;
  std::filesystem::create_directories(pair.certificate.parent_path());
  const std::string certificate = readTestData("tls-test-certificate.pem");
  writeFile(pair.certificate, certificate);
  EXPECT_THROW(pair.prepare(firstStart), TlsSetupError);
  writeFile(pair.key, readTestData("tls-test-other-key.pem"));
  try {
    pair.prepare(firstStart);
    ADD_FAILURE() << "a key of another certificate was taken";
  } catch (const TlsSetupError& e) {
    EXPECT_NE(std::string(e.what()).find("does not belong to the certificate"), std::string::npos) << e.what();
  }
  writeFile(pair.key, readTestData("tls-test-key.pem"));
  ::chmod(pair.key.c_str(), 0644);
  // Even near its end an operator's own certificate is never replaced, only warned about.
  const std::time_t nearItsEnd = firstStart + (certificateDaysLeft(certificate, firstStart) - 10) * day;
  EXPECT_EQ(pair.prepare(nearItsEnd).fingerprint, certificateFingerprint(certificate));
  EXPECT_EQ(readFile(pair.certificate), certificate);
  EXPECT_NE(pair.logText.str().find("expires in"), std::string::npos) << pair.logText.str();
  EXPECT_EQ(modeOf(pair.key), 0600u);
  writeFile(pair.certificate, "not a certificate");
  EXPECT_THROW(pair.prepare(firstStart), TlsSetupError);
}

}  // namespace nc::test
