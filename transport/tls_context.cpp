#include "transport/tls_context.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <array>
#include <cstring>
#include <string_view>

namespace nc {
namespace {

// The widely used "intermediate" profile: forward-secret AEAD suites only,
// which every browser of the last decade offers. TLS 1.3's own suites are
// OpenSSL's defaults, which are the same three.
constexpr const char* intermediateCiphers =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
    "DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-GCM-SHA384:DHE-RSA-CHACHA20-POLY1305";
constexpr const char* intermediateGroups = "X25519:prime256v1:secp384r1";

// ALPN's wire form: one length-prefixed name. Only HTTP/1.1 is spoken here.
constexpr std::array<unsigned char, 9> http11Protocol{8, 'h', 't', 't', 'p', '/', '1', '.', '1'};

// A browser reconnecting within this time skips the full handshake; the
// ticket keys outlive every ticket sealed with them by at least that much.
constexpr long sessionTicketLifetimeSeconds = ticketKeyLifetime.count();
// TLS 1.3 tickets sent after a handshake: a browser resumes with one, and
// each costs a record on every new connection.
constexpr size_t ticketsPerHandshake = 1;

int selectHttp11(SSL*, const unsigned char** selected, unsigned char* selectedLength, const unsigned char* offered,
                 unsigned int offeredLength, void*) {
  unsigned char* chosen = nullptr;
  const int outcome = SSL_select_next_proto(&chosen, selectedLength, http11Protocol.data(), http11Protocol.size(),
                                            offered, offeredLength);
  if (outcome != OPENSSL_NPN_NEGOTIATED) return SSL_TLSEXT_ERR_ALERT_FATAL;
  *selected = chosen;
  return SSL_TLSEXT_ERR_OK;
}

void fillRandom(unsigned char* bytes, size_t count) {
  if (RAND_bytes(bytes, static_cast<int>(count)) != 1) throw TlsSetupError(takeTlsErrorText("no random bytes"));
}

TicketKeys::Key newTicketKey() {
  TicketKeys::Key key;
  fillRandom(key.name.data(), key.name.size());
  fillRandom(key.cipherKey.data(), key.cipherKey.size());
  fillRandom(key.macKey.data(), key.macKey.size());
  return key;
}

bool setMacKey(EVP_MAC_CTX* mac, const TicketKeys::Key& key) {
  std::array<OSSL_PARAM, 3> parameters{
      OSSL_PARAM_construct_octet_string(OSSL_MAC_PARAM_KEY, const_cast<unsigned char*>(key.macKey.data()),
                                        key.macKey.size()),
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>("SHA256"), 0),
      OSSL_PARAM_construct_end()};
  return EVP_MAC_CTX_set_params(mac, parameters.data()) == 1;
}

// OpenSSL's ticket callback: 1 sealed or opened, 2 opened and to be replaced
// (the client gets a fresh ticket), 0 a ticket no key opens any more. A TLS
// 1.2 ticket is replaced once the previous key opened it. A TLS 1.3 client
// uses each ticket once (RFC 8446, C.4), so each resumption gives it a fresh
// one: without, every second connection of a browser (or of wrk) was a full
// handshake.
int sealTicket(SSL* session, unsigned char* name, unsigned char* iv, EVP_CIPHER_CTX* cipher, EVP_MAC_CTX* mac,
               int sealing) {
  auto& keys = *static_cast<TicketKeys*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(session)));
  try {
    if (sealing == 1) {
      const TicketKeys::Key& key = keys.current();
      fillRandom(iv, EVP_CIPHER_get_iv_length(EVP_aes_256_cbc()));
      std::memcpy(name, key.name.data(), key.name.size());
      const bool ready = EVP_EncryptInit_ex(cipher, EVP_aes_256_cbc(), nullptr, key.cipherKey.data(), iv) == 1;
      return ready && setMacKey(mac, key) ? 1 : -1;
    }
    const TicketKeys::Key* key = keys.find(name);
    if (key == nullptr) return 0;
    const bool ready = EVP_DecryptInit_ex(cipher, EVP_aes_256_cbc(), nullptr, key->cipherKey.data(), iv) == 1;
    if (!ready || !setMacKey(mac, *key)) return -1;
    return keys.isCurrent(key) && SSL_version(session) != TLS1_3_VERSION ? 1 : 2;
  } catch (const TlsSetupError&) {
    return -1;
  }
}

void require(bool done, const std::string& what) {
  if (!done) throw TlsSetupError(takeTlsErrorText(what));
}

void configure(SSL_CTX* context) {
  require(SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1, "cannot require TLS 1.2");
  require(SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION) == 1, "cannot allow TLS 1.3");
  require(SSL_CTX_set_cipher_list(context, intermediateCiphers) == 1, "cannot set the cipher list");
  require(SSL_CTX_set1_groups_list(context, intermediateGroups) == 1, "cannot set the key exchange groups");
  SSL_CTX_set_dh_auto(context, 1);
  // The list's order holds, so that no client can talk the server down to the
  // weakest suite it accepts; a client that puts ChaCha20 first (one without
  // AES instructions, as many phones) still gets it, for speed.
  SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE |
                                   SSL_OP_PRIORITIZE_CHACHA);
  // A client that closes without close_notify has gone: OpenSSL would answer
  // with a fatal alert, written to a peer that no longer reads (a failed
  // write and a SIGPIPE per such connection). A request is framed by its own
  // length, so the end of the stream cannot cut one short unnoticed: the
  // reader meets it as it does on a connection in clear.
  SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Idle connections give their read and write buffers back: with a thousand
  // of them open that is most of what TLS would cost.
  SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
  // A record is read with what follows it in one read() rather than its
  // 5-byte header first and its body then: one system call less per request.
  SSL_CTX_set_read_ahead(context, 1);
  SSL_CTX_set_alpn_select_cb(context, selectHttp11, nullptr);
  SSL_CTX_set_timeout(context, sessionTicketLifetimeSeconds);
  SSL_CTX_set_num_tickets(context, ticketsPerHandshake);
  // Tickets carry the session, so the server keeps no cache of its own.
  SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
}

}  // namespace

TicketKeys::TicketKeys(TlsClock clock) : clock_(std::move(clock)), current_(newTicketKey()), made_(clock_()) {}

void TicketKeys::rotateWhenDue() {
  const auto now = clock_();
  if (now - made_ < ticketKeyLifetime) return;
  // After a long pause even the current key is too old to keep.
  previous_.reset();
  if (now - made_ < 2 * ticketKeyLifetime) previous_ = current_;
  current_ = newTicketKey();
  made_ = now;
}

const TicketKeys::Key& TicketKeys::current() {
  rotateWhenDue();
  return current_;
}

const TicketKeys::Key* TicketKeys::find(const unsigned char* name) {
  rotateWhenDue();
  if (std::memcmp(name, current_.name.data(), current_.name.size()) == 0) return &current_;
  if (previous_ && std::memcmp(name, previous_->name.data(), previous_->name.size()) == 0) return &*previous_;
  return nullptr;
}

std::string takeTlsErrorText(const std::string& fallback) {
  const unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  std::array<char, 256> text{};
  ERR_error_string_n(code, text.data(), text.size());
  return fallback + ": " + text.data();
}

TlsContext::TlsContext(const std::string& certificatePath, const std::string& keyPath, TlsClock clock)
    : context_(SSL_CTX_new(TLS_server_method())), ticketKeys_(std::move(clock)) {
  try {
    require(context_ != nullptr, "cannot create a TLS context");
    configure(context_);
    SSL_CTX_set_app_data(context_, &ticketKeys_);
    SSL_CTX_set_tlsext_ticket_key_evp_cb(context_, sealTicket);
    require(SSL_CTX_use_certificate_chain_file(context_, certificatePath.c_str()) == 1,
            "cannot read the certificate " + certificatePath);
    const std::string mismatch = "the key " + keyPath + " does not belong to the certificate " + certificatePath;
    const bool keyTaken = SSL_CTX_use_PrivateKey_file(context_, keyPath.c_str(), SSL_FILETYPE_PEM) == 1;
    if (!keyTaken && ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH) {
      ERR_clear_error();
      throw TlsSetupError(mismatch);
    }
    require(keyTaken, "cannot read the key " + keyPath);
    require(SSL_CTX_check_private_key(context_) == 1, mismatch);
  } catch (...) {
    SSL_CTX_free(context_);
    throw;
  }
}

TlsContext::~TlsContext() { SSL_CTX_free(context_); }

ssl_st* TlsContext::newSession(int descriptor) const {
  SSL* session = SSL_new(context_);
  if (session == nullptr || SSL_set_fd(session, descriptor) != 1) {
    SSL_free(session);
    throw TlsSetupError(takeTlsErrorText("cannot start a TLS session"));
  }
  SSL_set_accept_state(session);
  return session;
}

}  // namespace nc
