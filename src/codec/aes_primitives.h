// The three primitives WinZip AES is made of, from the system's crypto library: PBKDF2 with
// HMAC-SHA1, AES on whole blocks, and HMAC-SHA1. libcrypto supplies them on Linux, BCrypt on
// Windows; aes_crypt builds the format on them alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vz::aes {

inline constexpr size_t kBlockSize = 16;
inline constexpr size_t kSha1Size = 20;

// PBKDF2 with HMAC-SHA1: out.size() bytes of key material.
void DeriveKeys(const std::string& password, std::span<const uint8_t> salt, int iterations,
                std::span<uint8_t> out);

// Overwrites secret bytes in a way the compiler does not drop.
void Cleanse(std::span<uint8_t> bytes);

// AES with a 16, 24 or 32-byte key, encrypting whole blocks one by one (ECB).
class BlockCipher {
 public:
  explicit BlockCipher(std::span<const uint8_t> key);
  ~BlockCipher();
  BlockCipher(const BlockCipher&) = delete;
  BlockCipher& operator=(const BlockCipher&) = delete;
  // in and out hold the same whole number of blocks.
  void Encrypt(std::span<const uint8_t> in, std::span<uint8_t> out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class HmacSha1 {
 public:
  explicit HmacSha1(std::span<const uint8_t> key);
  ~HmacSha1();
  HmacSha1(const HmacSha1&) = delete;
  HmacSha1& operator=(const HmacSha1&) = delete;
  void Update(std::span<const uint8_t> data);
  std::array<uint8_t, kSha1Size> Final();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Failures of the library raise AesError("AES: <library> failed to <what>").
[[noreturn]] void CryptoFailure(const char* what);

}  // namespace vz::aes
