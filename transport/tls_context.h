// The server side of TLS: one context built from a certificate and its key,
// shared by every connection of a port.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
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

using TlsClock = std::function<std::chrono::steady_clock::time_point()>;

// Session tickets are sealed with keys that live only in memory: a new one
// every ticketKeyLifetime, the one before it still opening tickets, so that a
// ticket stays good for at least that long and a key that leaked (or a
// ticket copied off the LAN) stops opening anything within two lifetimes.
inline constexpr std::chrono::seconds ticketKeyLifetime = std::chrono::hours(1);

class TicketKeys {
 public:
  struct Key {
    std::array<unsigned char, 16> name{};
    std::array<unsigned char, 32> cipherKey{};
    std::array<unsigned char, 32> macKey{};
  };

  explicit TicketKeys(TlsClock clock);
  // The key new tickets are sealed with, replaced first when its time is up.
  const Key& current();
  // The key named, while it still opens tickets; nullptr otherwise.
  const Key* find(const unsigned char* name);
  bool isCurrent(const Key* key) const { return key == &current_; }

 private:
  TlsClock clock_;
  Key current_;
  std::optional<Key> previous_;
  std::chrono::steady_clock::time_point made_;
  void rotateWhenDue();
};

class TlsContext {
 public:
  // Reads the PEM certificate (with any chain after it) and the PEM key.
  // `clock` times the ticket keys; tests move it.
  TlsContext(const std::string& certificatePath, const std::string& keyPath,
             TlsClock clock = std::chrono::steady_clock::now);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // A new server-side session on the connected socket `descriptor`.
  ssl_st* newSession(int descriptor) const;

 private:
  ssl_ctx_st* context_ = nullptr;
  TicketKeys ticketKeys_;
};

// The last OpenSSL error's text, and the queue emptied; `fallback` when none is queued.
std::string takeTlsErrorText(const std::string& fallback);

}  // namespace nc
