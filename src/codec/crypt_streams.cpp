// The traditional zip cipher: key schedule, engines and stream wrappers.
#include "codec/crypt_streams.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codec/deflate_base.h"
#include "platform/random.h"
#include "platform/runtime_errors.h"

namespace vz {

void ZipCipherKeys::Init(const std::string& password) {
  *this = ZipCipherKeys();
  for (const char c : password) Update(static_cast<uint8_t>(c));
}

void ZipCipherKeys::Update(uint8_t plain) {
  const uint32_t* table = Crc32Table();
  k0 = table[(k0 ^ plain) & 0xFFu] ^ (k0 >> 8);
  k1 = (k1 + (k0 & 0xFFu)) * 134775813u + 1u;
  k2 = table[(k2 ^ (k1 >> 24)) & 0xFFu] ^ (k2 >> 8);
}

void ZipCipherKeys::Decrypt(uint8_t* data, int64_t count) {
  for (int64_t i = 0; i < count; ++i) data[i] = DecryptByte(data[i]);
}

void ZipCipherKeys::Encrypt(uint8_t* data, int64_t count) {
  for (int64_t i = 0; i < count; ++i) data[i] = EncryptByte(data[i]);
}

RandomByteSource SeededRandomBytes(uint32_t seed) {
  return [seed](std::span<uint8_t> out) mutable {
    for (auto& b : out) {
      seed = seed * 134775813u + 1u;
      b = static_cast<uint8_t>(seed >> 24);
    }
  };
}

// ---- Decryption ------------------------------------------------------------------------------

bool ZipDecryptEngine::VerifyHeader(std::span<const uint8_t> header, const std::string& password,
                                    uint32_t check_value) {
  Check(!password.empty(), "ZipDecryptEngine.VerifyHeader: need a passphrase");
  Check(header.size() == kZipCryptHeaderSize, "ZipDecryptEngine.VerifyHeader: header of 12 bytes");
  std::array<uint8_t, kZipCryptHeaderSize> copy;
  std::copy(header.begin(), header.end(), copy.begin());
  keys_.Init(password);
  keys_.Decrypt(copy.data(), kZipCryptHeaderSize);
  ready_ = copy[11] == static_cast<uint8_t>(check_value >> 24);
  return ready_;
}

void ZipDecryptEngine::Decode(uint8_t* buffer, int64_t count) {
  Check(ready_, "ZipDecryptEngine.Decode: must successfully call VerifyHeader first");
  keys_.Decrypt(buffer, count);
}

DfDecryptStream::DfDecryptStream(Stream& stream, uint32_t check_value, std::string password)
    : stream_(stream), check_value_(check_value), password_(std::move(password)) {}

bool DfDecryptStream::ReadAndVerifyHeader() {
  std::array<uint8_t, kZipCryptHeaderSize> header;
  stream_.ReadBuffer(header);
  ready_ = engine_.VerifyHeader(header, password_, check_value_);
  if (!ready_) stream_.Seek(-kZipCryptHeaderSize, kSeekCurrent);
  return ready_;
}

int64_t DfDecryptStream::Read(std::span<uint8_t> buffer) {
  Check(ready_, "DfDecryptStream.Read: the stream header has not been verified");
  const int64_t n = stream_.Read(buffer);
  if (n > 0) engine_.Decode(buffer.data(), n);
  return n;
}

int64_t DfDecryptStream::Write(std::span<const uint8_t>) {
  throw AssertionError("DfDecryptStream.Write: the stream is read-only");
}

int64_t DfDecryptStream::Seek(int64_t offset, int origin) {
  return stream_.Seek(offset, origin);
}

// ---- Encryption ------------------------------------------------------------------------------

ZipEncryptEngine::ZipEncryptEngine(RandomByteSource random) : random_(std::move(random)) {
  if (!random_) random_ = [](std::span<uint8_t> out) { FillRandomBytes(out); };
}

void ZipEncryptEngine::CreateHeader(std::span<uint8_t> header, const std::string& password,
                                    uint32_t check_value) {
  Check(!password.empty(), "ZipEncryptEngine.CreateHeader: need a passphrase");
  Check(header.size() == kZipCryptHeaderSize, "ZipEncryptEngine.CreateHeader: header of 12 bytes");
  std::array<uint8_t, 10> random;
  random_(random);
  // The random bytes are encrypted twice, the second time with fresh keys as the header's
  // plaintext; the first pass only whitens them.
  keys_.Init(password);
  for (size_t i = 0; i < random.size(); ++i) header[i] = keys_.EncryptByte(random[i]);
  keys_.Init(password);
  for (size_t i = 0; i < random.size(); ++i) header[i] = keys_.EncryptByte(header[i]);
  header[10] = keys_.EncryptByte(static_cast<uint8_t>(check_value >> 16));
  header[11] = keys_.EncryptByte(static_cast<uint8_t>(check_value >> 24));
  ready_ = true;
}

void ZipEncryptEngine::EncodeBuffer(uint8_t* buffer, int64_t count) {
  Check(ready_, "ZipEncryptEngine.EncodeBuffer: must call CreateHeader first");
  keys_.Encrypt(buffer, count);
}

DfEncryptStream::DfEncryptStream(Stream& stream, uint32_t check_value, const std::string& password,
                                 RandomByteSource random)
    : stream_(stream), engine_(std::move(random)) {
  std::array<uint8_t, kZipCryptHeaderSize> header;
  engine_.CreateHeader(header, password, check_value);
  stream_.WriteBuffer(header);
}

int64_t DfEncryptStream::Write(std::span<const uint8_t> buffer) {
  if (buffer.empty()) return 0;
  if (work_.size() < buffer.size()) work_.resize(buffer.size());
  std::memcpy(work_.data(), buffer.data(), buffer.size());
  engine_.EncodeBuffer(work_.data(), static_cast<int64_t>(buffer.size()));
  return stream_.Write({work_.data(), buffer.size()});
}

int64_t DfEncryptStream::Read(std::span<uint8_t>) {
  throw AssertionError("DfEncryptStream.Read: the stream is write-only");
}

int64_t DfEncryptStream::Seek(int64_t offset, int origin) {
  return stream_.Seek(offset, origin);
}

}  // namespace vz
