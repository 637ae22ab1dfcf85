// The traditional PKWARE zip cipher and the two stream wrappers built on it.
//
// The cipher is a byte-wise stream cipher over three 32-bit keys that the password initialises and
// every plaintext byte advances (CRC-32 steps and a linear congruence). A 12-byte header precedes
// the item data; its last byte holds the top byte of a check value, which lets a reader reject most
// wrong passwords (255 in 256) before decrypting anything. The key state depends on every earlier
// byte, so each engine decrypts or encrypts exactly one continuous byte sequence.
//
// The random bytes at the head of a new header come from the operating system; tests hand in a
// RandomByteSource of their own (SeededRandomBytes) to make headers repeatable.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace vz {

inline constexpr int kZipCryptHeaderSize = 12;

// The three keys of the cipher and its three steps.
struct ZipCipherKeys {
  uint32_t k0 = 0x12345678u;
  uint32_t k1 = 0x23456789u;
  uint32_t k2 = 0x34567890u;

  // Starts the keys from the password's bytes as they are held.
  void Init(const std::string& password);
  // Advances the keys by one plaintext byte.
  void Update(uint8_t plain);
  uint8_t StreamByte() const {
    const uint32_t t = (k2 & 0xFFFFu) | 2u;
    return static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
  }
  uint8_t DecryptByte(uint8_t c) {
    const uint8_t p = c ^ StreamByte();
    Update(p);
    return p;
  }
  uint8_t EncryptByte(uint8_t p) {
    const uint8_t c = p ^ StreamByte();
    Update(p);
    return c;
  }
  void Decrypt(uint8_t* data, int64_t count);
  void Encrypt(uint8_t* data, int64_t count);
};

// Fills a buffer with the random bytes of a new header.
using RandomByteSource = std::function<void(std::span<uint8_t>)>;
// A repeatable source for tests: a 32-bit linear congruential generator (seed * 134775813 + 1),
// each byte the top 8 bits of the new seed.
RandomByteSource SeededRandomBytes(uint32_t seed);

// Decrypts one item's data after checking its header against a password.
class ZipDecryptEngine {
 public:
  // Decrypts a copy of the 12 header bytes with the password; true when the last one equals the
  // check value's top byte. The keys then stand ready for the first data byte.
  bool VerifyHeader(std::span<const uint8_t> header, const std::string& password,
                    uint32_t check_value);
  // Decrypts in place, continuing the key state. Only after a successful VerifyHeader.
  void Decode(uint8_t* buffer, int64_t count);
  bool Ready() const { return ready_; }

 private:
  bool ready_ = false;
  ZipCipherKeys keys_;
};

// Encrypts one item's data after making its header.
class ZipEncryptEngine {
 public:
  // An empty source means the operating system's random bytes.
  explicit ZipEncryptEngine(RandomByteSource random = {});
  // Makes the 12 header bytes: ten random bytes, then bits 16-23 and 24-31 of the check value,
  // all encrypted. The keys then stand ready for the first data byte.
  void CreateHeader(std::span<uint8_t> header, const std::string& password, uint32_t check_value);
  // Encrypts in place, continuing the key state. Only after CreateHeader.
  void EncodeBuffer(uint8_t* buffer, int64_t count);
  bool Ready() const { return ready_; }

 private:
  bool ready_ = false;
  ZipCipherKeys keys_;
  RandomByteSource random_;
};

// A read-only stream that decrypts what it reads from the wrapped stream.
class DfDecryptStream : public Stream {
 public:
  DfDecryptStream(Stream& stream, uint32_t check_value, std::string password);

  // Reads and checks the 12-byte header. On a wrong password the wrapped stream is moved back to
  // the header's first byte so that another password can be tried. A short read raises the
  // wrapped stream's read error.
  bool ReadAndVerifyHeader();
  int64_t Read(std::span<uint8_t> buffer) override;
  // Always an assertion failure: the stream is read-only.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Moves the wrapped stream; the key state does not follow, so reading after a seek is
  // meaningless (used to give back read-ahead input at the end).
  int64_t Seek(int64_t offset, int origin) override;

 private:
  Stream& stream_;
  uint32_t check_value_;
  std::string password_;
  ZipDecryptEngine engine_;
  bool ready_ = false;
};

// A write-only stream that writes the encryption header at once and encrypts what passes through.
class DfEncryptStream : public Stream {
 public:
  DfEncryptStream(Stream& stream, uint32_t check_value, const std::string& password,
                  RandomByteSource random = {});

  // Encrypts a copy of the bytes (the caller's buffer is untouched) and writes it; returns what
  // the wrapped stream's write returned.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Always an assertion failure: the stream is write-only.
  int64_t Read(std::span<uint8_t> buffer) override;
  int64_t Seek(int64_t offset, int origin) override;

 private:
  Stream& stream_;
  ZipEncryptEngine engine_;
  std::vector<uint8_t> work_;
};

}  // namespace vz
