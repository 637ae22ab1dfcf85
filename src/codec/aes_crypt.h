// WinZip AES encryption (AE-1 and AE-2), through OpenSSL's libcrypto.
//
// An AES item has method 99; its real method, the key strength and the AE version sit in a 0x9901
// extra field. Its stored data is
//   salt (8, 12 or 16 bytes) | password verifier (2) | encrypted data | authentication code (10)
// and its compressed size counts all four. From the password and the salt, PBKDF2-HMAC-SHA1 with
// 1,000 iterations derives an AES key, an HMAC key of the same length and the 2-byte verifier.
// The data is encrypted with AES in counter mode, the counter a 128-bit little-endian number that
// starts at 1 (which is why OpenSSL's big-endian CTR mode is not used: we encrypt the counter
// blocks with AES-ECB and XOR them ourselves). The authentication code is HMAC-SHA1 over the
// encrypted data, cut to its first 10 bytes.
//
// AE-1 items keep the CRC-32 of their data; AE-2 items store 0 there, and the authentication code
// is their only check (WinZip and 7-Zip write AE-2), so the archive layer compares CRCs for AE-1
// only and always calls VerifyAuthentication.
//
// The two streams wrap the archive's stream the way the traditional cipher's streams do: a wrong
// password is not an exception but a false from ReadAndVerifyHeader, with the stream moved back
// so that the caller can ask for another one and try again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/crypt_streams.h"
#include "platform/stream.h"

namespace vz {

inline constexpr uint16_t kAesMethod = 99;
inline constexpr uint16_t kAesExtraFieldId = 0x9901;
inline constexpr size_t kAesExtraFieldSize = 7;
// The "version needed to extract" of an AES item.
inline constexpr uint16_t kAesVersionNeeded = 51;
inline constexpr int kAesVerifierSize = 2;
inline constexpr int kAesMacSize = 10;

enum class AesStrength : uint8_t { kAes128 = 1, kAes192 = 2, kAes256 = 3 };

// Bytes of salt: 8, 12 or 16.
int AesSaltSize(AesStrength strength);
// Bytes AES adds to an item's data: salt, verifier and authentication code.
int AesOverhead(AesStrength strength);

// The 7 data bytes of the 0x9901 extra field.
struct AesExtraField {
  uint16_t vendor_version = 2;  // 1 = AE-1, 2 = AE-2
  AesStrength strength = AesStrength::kAes256;
  uint16_t method = 0;  // the item's real compression method
};

// Reads the field's data bytes (after its id and size). Raises AesError, naming what is wrong, for
// a size other than 7, a vendor version other than 1 or 2, a vendor id other than "AE", or a
// strength other than 1 to 3.
AesExtraField ParseAesExtraField(std::span<const uint8_t> data);
// The field's 7 data bytes (the caller adds the id and size).
std::array<uint8_t, kAesExtraFieldSize> AesExtraFieldData(const AesExtraField& field);

class AesEngine;

// A read-only stream that authenticates and decrypts one AES item's data.
class AesDecryptStream : public Stream {
 public:
  // stream stands at the salt; item_size is the item's whole stored size (salt through code).
  AesDecryptStream(Stream& stream, AesStrength strength, int64_t item_size, std::string password);
  ~AesDecryptStream() override;

  // Reads the salt and verifier and derives the keys. False for a wrong password, with the stream
  // moved back to the salt. Raises AesError when item_size cannot hold salt, verifier and code;
  // a short read raises the stream's read error. (One wrong password in 65,536 passes the
  // verifier; the authentication code then fails.)
  bool ReadAndVerifyHeader();
  // Bytes of data between the verifier and the authentication code.
  int64_t DataSize() const { return data_size_; }

  // Decrypts up to the end of the data, never beyond. The read that delivers the last data byte
  // also reads the authentication code and checks it (raising AesError on a mismatch).
  int64_t Read(std::span<uint8_t> buffer) override;
  // Reads whatever data is left unread (a decoder may stop short of it), then checks the
  // authentication code: AesError when it does not match. Checks only once; later calls return.
  void VerifyAuthentication();

  // Always an assertion failure: the stream is read-only.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Positions count from the first data byte. A seek that moves the position (a decoder giving
  // back read-ahead input when it ends) is only recorded: reading after it is an assertion
  // failure, since the counter cannot follow.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return data_size_; }

 private:
  void CheckCode();

  Stream& stream_;
  AesStrength strength_;
  int64_t item_size_;
  std::string password_;
  std::unique_ptr<AesEngine> engine_;
  int64_t data_size_ = 0;
  int64_t read_ = 0;      // data bytes read from the stream
  int64_t position_ = 0;  // position as seen by the reader
  bool ready_ = false;
  bool checked_ = false;
};

// A write-only stream that encrypts one item's data; the salt and verifier are written at once.
class AesEncryptStream : public Stream {
 public:
  // An empty random source means the operating system's random bytes (for the salt).
  AesEncryptStream(Stream& stream, AesStrength strength, const std::string& password,
                   RandomByteSource random = {});
  ~AesEncryptStream() override;

  // Encrypts a copy of the bytes and writes it; returns what the wrapped stream took.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Writes the authentication code. Call once, after the last data byte; writing afterwards is an
  // assertion failure.
  void Finish();

  // Always an assertion failure: the stream is write-only.
  int64_t Read(std::span<uint8_t> buffer) override;
  // Passed to the wrapped stream.
  int64_t Seek(int64_t offset, int origin) override;

 private:
  Stream& stream_;
  std::unique_ptr<AesEngine> engine_;
  std::vector<uint8_t> work_;
  bool finished_ = false;
};

// A damaged or unsupported AES item: its extra field, its size, or its authentication code.
class AesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vz
