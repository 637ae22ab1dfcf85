// The WinZip AES primitives from libcrypto.
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include "codec/aes_crypt.h"
#include "codec/aes_primitives.h"

namespace vz::aes {

void CryptoFailure(const char* what) {
  throw AesError(std::string("AES: libcrypto failed to ") + what);
}

void DeriveKeys(const std::string& password, std::span<const uint8_t> salt, int iterations,
                std::span<uint8_t> out) {
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                        static_cast<int>(salt.size()), iterations, EVP_sha1(),
                        static_cast<int>(out.size()), out.data()) != 1) {
    CryptoFailure("derive the keys");
  }
}

void Cleanse(std::span<uint8_t> bytes) {
  OPENSSL_cleanse(bytes.data(), bytes.size());
}

struct BlockCipher::State {
  EVP_CIPHER_CTX* context = nullptr;
  ~State() { EVP_CIPHER_CTX_free(context); }
};

BlockCipher::BlockCipher(std::span<const uint8_t> key) : state_(std::make_unique<State>()) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                             : key.size() == 24 ? EVP_aes_192_ecb()
                                                : EVP_aes_256_ecb();
  state_->context = EVP_CIPHER_CTX_new();
  if (state_->context == nullptr ||
      EVP_EncryptInit_ex(state_->context, cipher, nullptr, key.data(), nullptr) != 1) {
    CryptoFailure("start AES");
  }
  EVP_CIPHER_CTX_set_padding(state_->context, 0);
}

BlockCipher::~BlockCipher() = default;

void BlockCipher::Encrypt(std::span<const uint8_t> in, std::span<uint8_t> out) {
  int length = 0;
  if (EVP_EncryptUpdate(state_->context, out.data(), &length, in.data(),
                        static_cast<int>(in.size())) != 1 ||
      static_cast<size_t>(length) != out.size()) {
    CryptoFailure("encrypt the counter");
  }
}

struct HmacSha1::State {
  EVP_MAC_CTX* context = nullptr;
  ~State() { EVP_MAC_CTX_free(context); }
};

HmacSha1::HmacSha1(std::span<const uint8_t> key) : state_(std::make_unique<State>()) {
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (hmac == nullptr) CryptoFailure("find HMAC");
  state_->context = EVP_MAC_CTX_new(hmac);
  EVP_MAC_free(hmac);
  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  if (state_->context == nullptr ||
      EVP_MAC_init(state_->context, key.data(), key.size(), params) != 1) {
    CryptoFailure("start HMAC-SHA1");
  }
}

HmacSha1::~HmacSha1() = default;

void HmacSha1::Update(std::span<const uint8_t> data) {
  if (!data.empty() && EVP_MAC_update(state_->context, data.data(), data.size()) != 1) {
    CryptoFailure("authenticate");
  }
}

std::array<uint8_t, kSha1Size> HmacSha1::Final() {
  std::array<uint8_t, EVP_MAX_MD_SIZE> full{};
  size_t length = 0;
  if (EVP_MAC_final(state_->context, full.data(), &length, full.size()) != 1 ||
      length != kSha1Size) {
    CryptoFailure("finish the authentication code");
  }
  std::array<uint8_t, kSha1Size> code{};
  std::copy_n(full.begin(), kSha1Size, code.begin());
  return code;
}

}  // namespace vz::aes
