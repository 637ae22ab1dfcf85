// The password check and decryption used by the legacy decoders (shrink, reduce, implode). Unlike
// the stream wrappers it retries by itself: after a wrong password it asks its owner for another
// one, a fixed number of times, and gives up with ZipInvalidPasswordError.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "codec/crypt_streams.h"
#include "platform/stream.h"

namespace vz {

class ZDecoder {
 public:
  // Asked for another password after a failed attempt; whatever it leaves in new_password is tried
  // next (an empty answer too).
  using PasswordRequest = std::function<void(void* sender, std::string& new_password)>;

  // one_byte_check compares only the check value's top byte; otherwise bits 16-23 must match too.
  ZDecoder(std::string password, bool one_byte_check, uint32_t check_value, Stream& stream);
  virtual ~ZDecoder() = default;
  ZDecoder(const ZDecoder&) = delete;
  ZDecoder& operator=(const ZDecoder&) = delete;

  // Checks the header at the stream's position, retrying as described above. Leaves the stream
  // after the header with the keys ready for the data, or raises ZipInvalidPasswordError.
  bool VerifyPassword();
  // Decrypts in place, continuing the key state.
  void DecryptBuffer(uint8_t* buffer, int64_t count) { keys_.Decrypt(buffer, count); }

  uint8_t Attempts() const { return attempts_; }
  void SetAttempts(uint8_t attempts) { attempts_ = attempts; }
  void SetOnNeedPassword(PasswordRequest request) { on_need_password_ = std::move(request); }
  const std::string& Password() const { return password_; }

 protected:
  // Raises ZipInvalidPasswordError when no request handler is set; otherwise lets it replace the
  // password.
  virtual void DoNeedPassword();

 private:
  ZipCipherKeys keys_;
  uint8_t header_[kZipCryptHeaderSize] = {};
  uint32_t check_value_;
  bool one_byte_check_;
  PasswordRequest on_need_password_;
  std::string password_;
  uint8_t attempts_ = 3;
  Stream& stream_;
};

}  // namespace vz
