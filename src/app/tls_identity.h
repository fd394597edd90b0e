// The certificate and key an HTTPS port serves with: the operator's own, or a
// self-signed pair the service makes on first start and keeps.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "transport/tls_context.h"
#include "utils/logger.h"

namespace nc {

// What a made certificate names: the machine's host name (also as
// HOST.local), localhost, the loopback addresses, and `addresses`.
struct MachineNames {
  std::string hostName;
  std::vector<std::string> addresses;  // IPv4 and IPv6 literals
};

// A made pair, as PEM text.
struct PemPair {
  std::string certificate;
  std::string key;
};

struct TlsIdentity {
  std::shared_ptr<const TlsContext> context;
  std::string fingerprint;  // SHA-256 of the certificate, "AB:CD:..."
};

// An ECDSA P-256 key and a certificate signed with it, valid from `now` for
// madeCertificateDays, for server authentication only.
PemPair makeSelfSignedPair(const MachineNames& names, std::time_t now);

// The SHA-256 fingerprint of the first certificate in `pem`.
std::string certificateFingerprint(const std::string& pem);

// Whole days from `now` until the first certificate in `pem` expires
// (negative once it has); whether it is one that makeSelfSignedPair made.
int certificateDaysLeft(const std::string& pem, std::time_t now);
bool isMadeHere(const std::string& pem);

// Both files present: used as they are, except that a pair made here with
// fewer than renewalDays left is made anew (an operator's own certificate
// only earns a warning). Both missing: a pair is made there, folders and all
// (the key with mode 0600). Raises TlsSetupError, naming the file, when only
// one exists, or a file cannot be read, or the key does not match.
TlsIdentity prepareTlsIdentity(const std::string& certificatePath, const std::string& keyPath,
                               const MachineNames& names, std::time_t now, Logger& log);

// A made certificate's validity: the longest that Apple platforms accept.
inline constexpr int madeCertificateDays = 825;
// A made certificate is renewed at start once it has fewer days left than
// this, so that a gateway restarted monthly never serves an expired one.
inline constexpr int renewalDays = 30;

}  // namespace nc
