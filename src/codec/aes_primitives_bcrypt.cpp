// The WinZip AES primitives from Windows's crypto library (BCrypt), which stands where libcrypto
// does on Linux.
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <vector>

#include "codec/aes_crypt.h"
#include "codec/aes_primitives.h"

namespace vz::aes {

namespace {

void Check(NTSTATUS status, const char* what) {
  if (status < 0) CryptoFailure(what);
}

// An algorithm provider, opened once for the program: a provider's handle serves every thread at
// once (each key and hash is an object of its own). Not per thread: the Windows runtime may free a
// thread's storage before it runs the destructors of its thread_local objects.
class Provider {
 public:
  Provider(const wchar_t* algorithm, ULONG flags) {
    Check(::BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, flags), "open a provider");
  }
  ~Provider() { ::BCryptCloseAlgorithmProvider(handle_, 0); }
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

BCRYPT_ALG_HANDLE AesEcb() {
  static const Provider provider = [] {
    Provider p(BCRYPT_AES_ALGORITHM, 0);
    const wchar_t mode[] = BCRYPT_CHAIN_MODE_ECB;
    Check(::BCryptSetProperty(p.Get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)), sizeof mode, 0),
          "choose ECB");
    return p;
  }();
  return provider.Get();
}

BCRYPT_ALG_HANDLE Sha1Hmac() {
  static const Provider provider(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  return provider.Get();
}

}  // namespace

void CryptoFailure(const char* what) {
  throw AesError(std::string("AES: BCrypt failed to ") + what);
}

void DeriveKeys(const std::string& password, std::span<const uint8_t> salt, int iterations,
                std::span<uint8_t> out) {
  std::vector<uint8_t> secret(password.begin(), password.end());
  Check(::BCryptDeriveKeyPBKDF2(Sha1Hmac(), secret.data(), static_cast<ULONG>(secret.size()),
                                const_cast<PUCHAR>(salt.data()), static_cast<ULONG>(salt.size()),
                                static_cast<ULONGLONG>(iterations), out.data(),
                                static_cast<ULONG>(out.size()), 0),
        "derive the keys");
  Cleanse(secret);
}

void Cleanse(std::span<uint8_t> bytes) {
  ::SecureZeroMemory(bytes.data(), bytes.size());
}

struct BlockCipher::State {
  BCRYPT_KEY_HANDLE key = nullptr;
  ~State() {
    if (key != nullptr) ::BCryptDestroyKey(key);
  }
};

BlockCipher::BlockCipher(std::span<const uint8_t> key) : state_(std::make_unique<State>()) {
  Check(::BCryptGenerateSymmetricKey(AesEcb(), &state_->key, nullptr, 0,
                                     const_cast<PUCHAR>(key.data()), static_cast<ULONG>(key.size()),
                                     0),
        "start AES");
}

BlockCipher::~BlockCipher() = default;

void BlockCipher::Encrypt(std::span<const uint8_t> in, std::span<uint8_t> out) {
  ULONG length = 0;
  Check(
      ::BCryptEncrypt(state_->key, const_cast<PUCHAR>(in.data()), static_cast<ULONG>(in.size()),
                      nullptr, nullptr, 0, out.data(), static_cast<ULONG>(out.size()), &length, 0),
      "encrypt the counter");
  if (length != out.size()) CryptoFailure("encrypt the counter");
}

struct HmacSha1::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
  }
};

HmacSha1::HmacSha1(std::span<const uint8_t> key) : state_(std::make_unique<State>()) {
  Check(::BCryptCreateHash(Sha1Hmac(), &state_->hash, nullptr, 0, const_cast<PUCHAR>(key.data()),
                           static_cast<ULONG>(key.size()), 0),
        "start HMAC-SHA1");
}

HmacSha1::~HmacSha1() = default;

void HmacSha1::Update(std::span<const uint8_t> data) {
  if (data.empty()) return;
  Check(::BCryptHashData(state_->hash, const_cast<PUCHAR>(data.data()),
                         static_cast<ULONG>(data.size()), 0),
        "authenticate");
}

std::array<uint8_t, kSha1Size> HmacSha1::Final() {
  std::array<uint8_t, kSha1Size> code{};
  Check(::BCryptFinishHash(state_->hash, code.data(), static_cast<ULONG>(code.size()), 0),
        "finish the authentication code");
  return code;
}

}  // namespace vz::aes
