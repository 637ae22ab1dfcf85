// Password retries over the traditional zip cipher, for the legacy decoders.
#include "codec/zip_crypt.h"

#include "errors/errors.h"

namespace vz {

ZDecoder::ZDecoder(std::string password, bool one_byte_check, uint32_t check_value, Stream& stream)
    : check_value_(check_value),
      one_byte_check_(one_byte_check),
      password_(std::move(password)),
      stream_(stream) {}

void ZDecoder::DoNeedPassword() {
  if (!on_need_password_) throw ZipInvalidPasswordError();
  on_need_password_(this, password_);
}

bool ZDecoder::VerifyPassword() {
  const int64_t start = stream_.Position();
  bool verified = false;
  for (int attempt = 0; !verified && attempt < attempts_; ++attempt) {
    keys_.Init(password_);
    stream_.Seek(start, kSeekBegin);
    // A short read is not detected here: the missing bytes keep their old values and the check
    // almost surely fails.
    stream_.Read(header_);
    keys_.Decrypt(header_, kZipCryptHeaderSize);
    verified = header_[11] == static_cast<uint8_t>(check_value_ >> 24) &&
               (one_byte_check_ || header_[10] == static_cast<uint8_t>(check_value_ >> 16));
    if (!verified) DoNeedPassword();
  }
  if (!verified) throw ZipInvalidPasswordError();
  return true;
}

}  // namespace vz
