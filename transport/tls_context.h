// The server side of TLS: one context built from a certificate and its key,
// shared by every connection of a port.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

using ssl_ctx_st = struct ssl_ctx_st;
using ssl_st = struct ssl_st;

namespace nc {

// A certificate or key that cannot be read, parsed or paired, or a context
// OpenSSL refuses to build; the text names the file and OpenSSL's reason.
class TlsSetupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TlsContext {
 public:
  // Reads the PEM certificate (with any chain after it) and the PEM key.
  TlsContext(const std::string& certificatePath, const std::string& keyPath);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // A new server-side session on the connected socket `descriptor`.
  ssl_st* newSession(int descriptor) const;

 private:
  ssl_ctx_st* context_ = nullptr;
};

// The last OpenSSL error's text, and the queue emptied; `fallback` when none is queued.
std::string takeTlsErrorText(const std::string& fallback);

}  // namespace nc
