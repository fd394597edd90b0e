#include "src/app/tls_identity.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "src/forwarder/atomic_file.h"
#include "utils/private_mode.h"

namespace nc {
namespace {

template <typename T, void (*Free)(T*)>
struct Freeing {
  void operator()(T* pointer) const { Free(pointer); }
};
using Certificate = std::unique_ptr<X509, Freeing<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freeing<EVP_PKEY, EVP_PKEY_free>>;
using Bio = std::unique_ptr<BIO, Freeing<BIO, BIO_free_all>>;
using Time = std::unique_ptr<ASN1_TIME, Freeing<ASN1_TIME, ASN1_TIME_free>>;

// The organisation a made certificate names: it tells the service's own
// certificates, which it may replace, from an operator's.
constexpr const char* madeHere = "nodeconsole self-signed";

// Random serial numbers this long keep two made certificates from ever sharing one.
constexpr int serialBits = 127;
// The certificate is shown to everyone who connects anyway; the key is the owner's alone.
constexpr mode_t certificateFileMode = 0644;
constexpr mode_t keyFileMode = 0600;

void require(bool done, const std::string& what) {
  if (!done) throw TlsSetupError(takeTlsErrorText(what));
}

Certificate readCertificate(const std::string& pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  Certificate certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  require(certificate != nullptr, "not a PEM certificate");
  return certificate;
}

std::string alternativeNames(const MachineNames& names) {
  std::string list = "DNS:localhost,IP:127.0.0.1,IP:::1";
  if (!names.hostName.empty()) list += ",DNS:" + names.hostName + ",DNS:" + names.hostName + ".local";
  for (const std::string& address : names.addresses) list += ",IP:" + address;
  return list;
}

void addExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  require(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1, "cannot add " + value);
  X509_EXTENSION_free(extension);
}

void setSerialAndValidity(X509* certificate, std::time_t now) {
  std::unique_ptr<BIGNUM, Freeing<BIGNUM, BN_free>> serial(BN_new());
  require(serial && BN_rand(serial.get(), serialBits, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate)) != nullptr,
          "cannot make a serial number");
  require(X509_time_adj_ex(X509_getm_notBefore(certificate), 0, 0, &now) != nullptr &&
              X509_time_adj_ex(X509_getm_notAfter(certificate), madeCertificateDays, 0, &now) != nullptr,
          "cannot set the validity");
}

std::string pemOf(const std::function<int(BIO*)>& write) {
  Bio bio(BIO_new(BIO_s_mem()));
  require(bio && write(bio.get()) == 1, "cannot write PEM");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

// Made anew, on first start or for a renewal, and its fingerprint logged.
TlsIdentity makePair(const std::string& certificatePath, const std::string& keyPath, const MachineNames& names,
                     std::time_t now, Logger& log) {
  const PemPair pair = makeSelfSignedPair(names, now);
  for (const std::string& path : {certificatePath, keyPath}) {
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
  }
  writeFileAtomically(keyPath, pair.key, keyFileMode);
  writeFileAtomically(certificatePath, pair.certificate, certificateFileMode);
  log.info("made a self-signed TLS certificate " + certificatePath + " valid for " +
           std::to_string(madeCertificateDays) + " days, and its key " + keyPath);
  return {std::make_shared<const TlsContext>(certificatePath, keyPath), certificateFingerprint(pair.certificate)};
}

std::string readPem(const std::string& path) {
  try {
    return readWholeFile(path);
  } catch (const std::system_error& e) {
    throw TlsSetupError("cannot read " + path + ": " + e.code().message());
  }
}

}  // namespace

PemPair makeSelfSignedPair(const MachineNames& names, std::time_t now) {
  Key key(EVP_EC_gen("P-256"));
  require(key != nullptr, "cannot make an ECDSA P-256 key");
  Certificate certificate(X509_new());
  require(certificate && X509_set_version(certificate.get(), 2) == 1, "cannot make a certificate");
  setSerialAndValidity(certificate.get(), now);
  X509_NAME* subject = X509_get_subject_name(certificate.get());
  const std::string commonName = names.hostName.empty() ? "localhost" : names.hostName;
  require(X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(madeHere),
                                     -1, -1, 0) == 1 &&
              X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0) == 1 &&
              X509_set_issuer_name(certificate.get(), subject) == 1 &&
              X509_set_pubkey(certificate.get(), key.get()) == 1,
          "cannot name the certificate");
  addExtension(certificate.get(), NID_subject_alt_name, alternativeNames(names));
  addExtension(certificate.get(), NID_ext_key_usage, "serverAuth");
  addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature");
  addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE");
  addExtension(certificate.get(), NID_subject_key_identifier, "hash");
  require(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "cannot sign the certificate");
  return {pemOf([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()); }),
          pemOf([&](BIO* bio) {
            return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
          })};
}

std::string certificateFingerprint(const std::string& pem) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  require(X509_digest(readCertificate(pem).get(), EVP_sha256(), digest.data(), &length) == 1,
          "cannot take the certificate's fingerprint");
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    std::array<char, 4> pair{};
    std::snprintf(pair.data(), pair.size(), i == 0 ? "%02X" : ":%02X", digest[i]);
    text += pair.data();
  }
  return text;
}

int certificateDaysLeft(const std::string& pem, std::time_t now) {
  Time from(ASN1_TIME_set(nullptr, now));
  int days = 0, seconds = 0;
  require(from && ASN1_TIME_diff(&days, &seconds, from.get(), X509_get0_notAfter(readCertificate(pem).get())) == 1,
          "cannot read the certificate's expiry");
  return days;
}

bool isMadeHere(const std::string& pem) {
  const Certificate certificate = readCertificate(pem);
  std::array<char, 64> organisation{};
  const X509_NAME* subject = X509_get_subject_name(certificate.get());
  return X509_NAME_cmp(subject, X509_get_issuer_name(certificate.get())) == 0 &&
         X509_NAME_get_text_by_NID(subject, NID_organizationName, organisation.data(), organisation.size()) > 0 &&
         std::string_view(organisation.data()) == madeHere;
}

TlsIdentity prepareTlsIdentity(const std::string& certificatePath, const std::string& keyPath,
                               const MachineNames& names, std::time_t now, Logger& log) {
  const bool hasCertificate = std::filesystem::exists(certificatePath);
  const bool hasKey = std::filesystem::exists(keyPath);
  if (!hasCertificate && !hasKey) return makePair(certificatePath, keyPath, names, now, log);
  if (!hasCertificate || !hasKey)
    throw TlsSetupError((hasKey ? certificatePath : keyPath) + " is missing while " +
                        (hasKey ? keyPath : certificatePath) + " exists: give both, or neither to have them made");
  const std::string pem = readPem(certificatePath);
  try {
    const int daysLeft = certificateDaysLeft(pem, now);
    // The operator's own certificate is theirs to renew; only a made one is replaced.
    if (daysLeft < renewalDays && isMadeHere(pem)) return makePair(certificatePath, keyPath, names, now, log);
    if (daysLeft < renewalDays) log.warning("the TLS certificate " + certificatePath + " expires in " +
                                            std::to_string(daysLeft) + " days");
  } catch (const TlsSetupError& e) {
    throw TlsSetupError(certificatePath + ": " + e.what());
  }
  makePrivate(keyPath, log);
  return {std::make_shared<const TlsContext>(certificatePath, keyPath), certificateFingerprint(pem)};
}

}  // namespace nc
