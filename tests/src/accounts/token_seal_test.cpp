#include "src/accounts/token_seal.h"

#include <gtest/gtest.h>

#include "support/expect_throw_msg.h"
#include "utils/chachapoly.h"

namespace nc {
namespace {

JsonValue userPayload(std::string name) { return JsonObject{{"username", JsonValue(std::move(name))}}; }

// A token whose sealed plaintext is chosen freely, to get past the MAC.
std::string sealedToken(const Buffer& key, std::string_view plaintext) {
  const BufferRef nonce = genChachapolyNonce();
  return base64(*concat(*nonce, *chachapolyEncrypt(key, *nonce, *newBuffer(plaintext))));
}

TEST(TokenSeal, tokensOpenToTheirPayload) {
  const BufferRef key = genChachapolyKey();
  const std::string token = encodeAuthToken(*key, userPayload("admin"));
  EXPECT_EQ(64u, token.size());
  EXPECT_EQ(std::string::npos, token.find('='));
  // Layout: nonce, then ciphertext and tag over the compact JSON text.
  const BufferRef bytes = decodeBase64(token);
  EXPECT_EQ(R"({"username":"admin"})",
            toString(*chachapolyDecrypt(*key, *range(bytes, 0, 11), *rangeToEnd(bytes, 12, 1))));
  EXPECT_EQ(userPayload("admin"), decodeAuthToken(*key, token));

  const std::string again = encodeAuthToken(*key, userPayload("admin"));
  EXPECT_NE(token, again);
  EXPECT_EQ(userPayload("admin"), decodeAuthToken(*key, again));

  const JsonValue awkward = userPayload("a\"b\\c\nd");
  EXPECT_EQ(awkward, decodeAuthToken(*key, encodeAuthToken(*key, awkward)));
}

TEST(TokenSeal, alteredOrForeignTokensFailTheMac) {
  const BufferRef key = genChachapolyKey();
  const std::string token = encodeAuthToken(*key, userPayload("admin"));
  const BufferRef bytes = decodeBase64(token);
  for (int64_t i = 0; i < bytes->nByte; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      (*bytes)[i] ^= static_cast<uint8_t>(1 << bit);
      const std::string altered = base64(*bytes);
      EXPECT_THROW_MSG(decodeAuthToken(*key, altered), InvalidTokenError, "Invalid MAC: " + altered);
      (*bytes)[i] ^= static_cast<uint8_t>(1 << bit);
    }
  }
  // A new key is what a restart of the service makes.
  EXPECT_THROW_MSG(decodeAuthToken(*genChachapolyKey(), token), InvalidTokenError, "Invalid MAC: " + token);
  EXPECT_THROW_MSG(decodeAuthToken(*newBuffer(16), token), InvalidTokenError, "Invalid MAC: " + token);
}

TEST(TokenSeal, tokenLengths) {
  const BufferRef key = genChachapolyKey();
  EXPECT_THROW_MSG(decodeAuthToken(*key, ""), InvalidTokenError, "Invalid size: ");
  const std::string twelveBytes(16, 'A');
  EXPECT_THROW_MSG(decodeAuthToken(*key, twelveBytes), InvalidTokenError, "Invalid size: " + twelveBytes);
  const std::string fifteenBytes(20, 'A');
  EXPECT_THROW_MSG(decodeAuthToken(*key, fifteenBytes), InvalidTokenError, "Invalid MAC: " + fifteenBytes);
  const std::string token = encodeAuthToken(*key, userPayload("admin"));
  const std::string truncated = token.substr(0, 60);
  EXPECT_THROW_MSG(decodeAuthToken(*key, truncated), InvalidTokenError, "Invalid MAC: " + truncated);
}

TEST(TokenSeal, textThatIsNotBase64) {
  const BufferRef key = genChachapolyKey();
  const std::string token = encodeAuthToken(*key, userPayload("admin"));
  EXPECT_THROW_MSG(decodeAuthToken(*key, token.substr(1)), BufferValueError, "Only base64 with padding is supported");
  EXPECT_THROW_MSG(decodeAuthToken(*key, "-" + token.substr(1)), BufferValueError, "Invalid base64 charactor: -");
  EXPECT_THROW_MSG(decodeAuthToken(*key, token + "\n"), BufferValueError, "Only base64 with padding is supported");
}

TEST(TokenSeal, sealedTextThatIsNotJson) {
  const BufferRef key = genChachapolyKey();
  for (const std::string_view plaintext : {"not json", "", "{\"username\":", "{} {}"}) {
    const std::string token = sealedToken(*key, plaintext);
    EXPECT_THROW_MSG(decodeAuthToken(*key, token), InvalidTokenError, "Invalid MAC: " + token);
  }
  EXPECT_EQ(JsonValue(JsonArray{JsonValue(1)}), decodeAuthToken(*key, sealedToken(*key, "[1]")));
}

}  // namespace
}  // namespace nc
