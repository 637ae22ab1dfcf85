// WinZip AES: key derivation, the little-endian counter mode, the authentication code, the two
// stream wrappers and the 0x9901 extra field.
#include "codec/aes_crypt.h"

#include <algorithm>
#include <vector>

#include "codec/aes_primitives.h"
#include "platform/random.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

constexpr int kPbkdf2Iterations = 1000;
constexpr size_t kBlockSize = 16;
// Counter blocks encrypted per call into the crypto library.
constexpr size_t kKeystreamBlocks = 256;

int KeySize(AesStrength strength) {
  switch (strength) {
    case AesStrength::kAes128:
      return 16;
    case AesStrength::kAes192:
      return 24;
    case AesStrength::kAes256:
      break;
  }
  return 32;
}

}  // namespace

// The keys of one item and the state of its counter and authentication code.
class AesEngine {
 public:
  AesEngine(AesStrength strength, const std::string& password, std::span<const uint8_t> salt) {
    // Key material: AES key, HMAC key (same length), then the 2-byte password verifier.
    const auto key_size = static_cast<size_t>(KeySize(strength));
    std::vector<uint8_t> derived(2 * key_size + kAesVerifierSize);
    struct Cleanse {
      std::vector<uint8_t>& bytes;
      ~Cleanse() { aes::Cleanse(bytes); }
    } cleanse{derived};
    aes::DeriveKeys(password, salt, kPbkdf2Iterations, derived);
    const std::span<const uint8_t> keys(derived);
    cipher_ = std::make_unique<aes::BlockCipher>(keys.subspan(0, key_size));
    mac_ = std::make_unique<aes::HmacSha1>(keys.subspan(key_size, key_size));
    std::copy_n(derived.begin() + static_cast<std::ptrdiff_t>(2 * key_size), kAesVerifierSize,
                verifier_.begin());
  }
  ~AesEngine() { aes::Cleanse(keystream_); }

  const std::array<uint8_t, kAesVerifierSize>& Verifier() const { return verifier_; }

  // XORs the key stream into the bytes: encrypts and decrypts alike.
  void Crypt(uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (keystream_used_ == keystream_.size()) NextKeystream();
      data[i] ^= keystream_[keystream_used_++];
    }
  }

  // Feeds encrypted bytes to the authentication code.
  void Authenticate(const uint8_t* data, size_t count) { mac_->Update({data, count}); }

  std::array<uint8_t, kAesMacSize> Code() {
    const auto full = mac_->Final();
    std::array<uint8_t, kAesMacSize> code{};
    std::copy_n(full.begin(), kAesMacSize, code.begin());
    return code;
  }

 private:
  // The next counter blocks, encrypted. The counter is 128-bit little-endian from 1; its high 64
  // bits stay 0, since no item holds 2^68 bytes.
  void NextKeystream() {
    std::array<uint8_t, kKeystreamBlocks * kBlockSize> counters{};
    for (size_t block = 0; block < kKeystreamBlocks; ++block) {
      ++counter_;
      for (size_t i = 0; i < 8; ++i) {
        counters[block * kBlockSize + i] = static_cast<uint8_t>(counter_ >> (8 * i));
      }
    }
    cipher_->Encrypt(counters, keystream_);
    keystream_used_ = 0;
  }

  std::unique_ptr<aes::BlockCipher> cipher_;
  std::unique_ptr<aes::HmacSha1> mac_;
  std::array<uint8_t, kAesVerifierSize> verifier_{};
  std::array<uint8_t, kKeystreamBlocks * kBlockSize> keystream_{};
  size_t keystream_used_ = kKeystreamBlocks * kBlockSize;
  uint64_t counter_ = 0;
};

// ---- Sizes and the extra field ---------------------------------------------------------------

int AesSaltSize(AesStrength strength) {
  return KeySize(strength) / 2;
}

int AesOverhead(AesStrength strength) {
  return AesSaltSize(strength) + kAesVerifierSize + kAesMacSize;
}

AesExtraField ParseAesExtraField(std::span<const uint8_t> data) {
  if (data.size() != kAesExtraFieldSize) {
    throw AesError("AES extra field has " + std::to_string(data.size()) +
                   " data bytes (7 expected)");
  }
  AesExtraField field;
  field.vendor_version = static_cast<uint16_t>(data[0] | data[1] << 8);
  if (field.vendor_version != 1 && field.vendor_version != 2) {
    throw AesError("AES extra field names version " + std::to_string(field.vendor_version) +
                   " (AE-1 or AE-2 expected)");
  }
  if (data[2] != 'A' || data[3] != 'E') throw AesError("AES extra field's vendor is not \"AE\"");
  if (data[4] < 1 || data[4] > 3) {
    throw AesError("AES extra field names key strength " + std::to_string(data[4]) +
                   " (1 to 3 expected)");
  }
  field.strength = static_cast<AesStrength>(data[4]);
  field.method = static_cast<uint16_t>(data[5] | data[6] << 8);
  return field;
}

std::array<uint8_t, kAesExtraFieldSize> AesExtraFieldData(const AesExtraField& field) {
  return {static_cast<uint8_t>(field.vendor_version),
          static_cast<uint8_t>(field.vendor_version >> 8),
          'A',
          'E',
          static_cast<uint8_t>(field.strength),
          static_cast<uint8_t>(field.method),
          static_cast<uint8_t>(field.method >> 8)};
}

// ---- Decryption ------------------------------------------------------------------------------

AesDecryptStream::AesDecryptStream(Stream& stream, AesStrength strength, int64_t item_size,
                                   std::string password)
    : stream_(stream), strength_(strength), item_size_(item_size), password_(std::move(password)) {}

AesDecryptStream::~AesDecryptStream() = default;

bool AesDecryptStream::ReadAndVerifyHeader() {
  Check(!password_.empty(), "AesDecryptStream.ReadAndVerifyHeader: need a password");
  const int overhead = AesOverhead(strength_);
  if (item_size_ < overhead) {
    throw AesError("AES item of " + std::to_string(item_size_) +
                   " bytes is too short for its salt, password verifier and authentication code (" +
                   std::to_string(overhead) + " bytes)");
  }
  const auto salt_size = static_cast<size_t>(AesSaltSize(strength_));
  std::vector<uint8_t> header(salt_size + kAesVerifierSize);
  stream_.ReadBuffer(header);
  engine_ = std::make_unique<AesEngine>(strength_, password_,
                                        std::span<const uint8_t>(header).first(salt_size));
  ready_ = std::equal(engine_->Verifier().begin(), engine_->Verifier().end(),
                      header.begin() + static_cast<std::ptrdiff_t>(salt_size));
  if (!ready_) {
    engine_.reset();
    stream_.Seek(-static_cast<int64_t>(header.size()), kSeekCurrent);
    return false;
  }
  data_size_ = item_size_ - overhead;
  return true;
}

int64_t AesDecryptStream::Read(std::span<uint8_t> buffer) {
  Check(ready_, "AesDecryptStream.Read: the password has not been verified");
  Check(position_ == read_, "AesDecryptStream.Read: cannot read after a seek");
  const auto want = static_cast<size_t>(
      std::min<int64_t>(static_cast<int64_t>(buffer.size()), data_size_ - read_));
  if (want == 0) {
    if (!buffer.empty()) CheckCode();
    return 0;
  }
  const int64_t n = stream_.Read(buffer.first(want));
  if (n <= 0) {
    throw AesError("AES item's data ends " + std::to_string(data_size_ - read_) +
                   " bytes before its stored size");
  }
  engine_->Authenticate(buffer.data(), static_cast<size_t>(n));
  engine_->Crypt(buffer.data(), static_cast<size_t>(n));
  read_ += n;
  position_ = read_;
  if (read_ == data_size_) CheckCode();
  return n;
}

void AesDecryptStream::VerifyAuthentication() {
  Check(ready_, "AesDecryptStream.VerifyAuthentication: the password has not been verified");
  std::vector<uint8_t> rest;
  while (read_ < data_size_) {
    rest.resize(static_cast<size_t>(std::min<int64_t>(data_size_ - read_, 64 * 1024)));
    const int64_t n = stream_.Read(rest);
    if (n <= 0) {
      throw AesError("AES item's data ends " + std::to_string(data_size_ - read_) +
                     " bytes before its stored size");
    }
    engine_->Authenticate(rest.data(), static_cast<size_t>(n));
    read_ += n;
  }
  CheckCode();
}

void AesDecryptStream::CheckCode() {
  if (checked_) return;
  checked_ = true;
  std::array<uint8_t, kAesMacSize> stored{};
  size_t got = 0;
  while (got < stored.size()) {
    const int64_t n = stream_.Read(std::span(stored).subspan(got));
    if (n <= 0) throw AesError("AES item ends before its authentication code");
    got += static_cast<size_t>(n);
  }
  const auto computed = engine_->Code();
  // Compared in a time that does not tell where the first difference is.
  uint8_t difference = 0;
  for (size_t i = 0; i < stored.size(); ++i) difference |= stored[i] ^ computed[i];
  if (difference != 0) {
    throw AesError("AES authentication failed: the data is damaged or the password is wrong");
  }
}

int64_t AesDecryptStream::Write(std::span<const uint8_t>) {
  throw AssertionError("AesDecryptStream.Write: the stream is read-only");
}

int64_t AesDecryptStream::Seek(int64_t offset, int origin) {
  int64_t base = position_;
  if (origin == kSeekBegin) base = 0;
  if (origin == kSeekEnd) base = data_size_;
  position_ = std::max<int64_t>(base + offset, 0);
  return position_;
}

// ---- Encryption ------------------------------------------------------------------------------

AesEncryptStream::AesEncryptStream(Stream& stream, AesStrength strength,
                                   const std::string& password, RandomByteSource random)
    : stream_(stream) {
  Check(!password.empty(), "AesEncryptStream: need a password");
  std::vector<uint8_t> header(static_cast<size_t>(AesSaltSize(strength)));
  if (random) {
    random(header);
  } else {
    FillRandomBytes(header);
  }
  engine_ = std::make_unique<AesEngine>(strength, password, header);
  header.insert(header.end(), engine_->Verifier().begin(), engine_->Verifier().end());
  stream_.WriteBuffer(header);
}

AesEncryptStream::~AesEncryptStream() = default;

int64_t AesEncryptStream::Write(std::span<const uint8_t> buffer) {
  Check(!finished_, "AesEncryptStream.Write: the authentication code is already written");
  work_.assign(buffer.begin(), buffer.end());
  engine_->Crypt(work_.data(), work_.size());
  engine_->Authenticate(work_.data(), work_.size());
  return stream_.Write(work_);
}

void AesEncryptStream::Finish() {
  Check(!finished_, "AesEncryptStream.Finish: the authentication code is already written");
  finished_ = true;
  stream_.WriteBuffer(engine_->Code());
}

int64_t AesEncryptStream::Read(std::span<uint8_t>) {
  throw AssertionError("AesEncryptStream.Read: the stream is write-only");
}

int64_t AesEncryptStream::Seek(int64_t offset, int origin) {
  return stream_.Seek(offset, origin);
}

}  // namespace vz
