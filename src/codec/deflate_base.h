// What the two codecs share: the CRC-32 and Adler-32 checksums, the options record of a deflate or
// inflate run (DeflateHelper) with its presets, the write-only log stream, the node allocator of
// the code-length generator, and the exceptions through which the codecs report failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "platform/stream.h"

namespace vz {

// ---- Checksums -------------------------------------------------------------------------------

// The standard CRC-32 table of the reflected polynomial 0xEDB88320.
const uint32_t* Crc32Table();
// Folds bytes into a running CRC-32 register: no initialisation and no final inversion (start at
// 0xFFFFFFFF, invert at the end).
void UpdateCrc32(uint32_t& reg, const uint8_t* data, int64_t count);
inline void UpdateCrc32(uint32_t& reg, std::span<const uint8_t> data) {
  UpdateCrc32(reg, data.data(), static_cast<int64_t>(data.size()));
}
inline void UpdateCrc32Byte(uint32_t& reg, uint8_t b) {
  reg = Crc32Table()[(reg ^ b) & 0xFF] ^ (reg >> 8);
}
// The finished checksum of a whole buffer.
inline uint32_t Crc32Of(std::span<const uint8_t> data) {
  uint32_t reg = 0xFFFFFFFFu;
  UpdateCrc32(reg, data);
  return ~reg;
}

// Folds bytes into a running Adler-32 value (starts at 1, no final transformation).
void UpdateAdler32(uint32_t& value, const uint8_t* data, int64_t count);

// ---- Deflation options -----------------------------------------------------------------------

// The four ways to deflate an item that a user chooses from (doInvalid: none chosen).
enum ZipDeflationOption : uint8_t {
  doInvalid = 0,
  doNormal = 1,
  doMaximum = 2,
  doFast = 3,
  doSuperFast = 4,
};

// What one deflation option asks of the encoder, and how a zip header records it.
struct DeflationSettings {
  ZipDeflationOption option;
  char preset_code;        // what DeflateHelper::PresetCode() reports afterwards
  uint32_t block_options;  // the low four option bits: block types and lazy matching
  int32_t sufficient_length;
  int32_t chain_limit;
  int32_t lazy_limit;
  uint16_t zip_flag_bits;  // general purpose bits 1 and 2 of a deflated item
};

// The option's row of the one table; doInvalid, and any value outside the enumeration, give
// stored blocks only.
const DeflationSettings& DeflationSettingsOf(ZipDeflationOption option);

// ---- Options of one codec run ----------------------------------------------------------------

enum DeflateOption : uint32_t {
  dfoStored = 0x01,
  dfoStatic = 0x02,
  dfoDynamic = 0x04,
  dfoLazy = 0x08,
  dfoDeflate64 = 0x10,
  dfoAdler32 = 0x20,
  dfoTestOnly = 0x40000000,
};

// Options and results of one Deflate or Inflate run. Writing SufficientLength, ChainLimit,
// LazyLimit, Options or PresetCode follows the clamping and preset rules; every other field is
// stored as given. CompressedBytes and UncompressedBytes are the run's results.
class DeflateHelper {
 public:
  using PercentDone = std::function<void(int32_t percent)>;

  DeflateHelper() = default;
  // Copies every field except the two results.
  void AssignFrom(const DeflateHelper& other);

  int32_t SufficientLength() const { return sufficient_length_; }
  void SetSufficientLength(int32_t value);
  int32_t ChainLimit() const { return chain_limit_; }
  void SetChainLimit(int32_t value);
  int32_t LazyLimit() const { return lazy_limit_; }
  void SetLazyLimit(int32_t value);
  uint32_t Options() const { return options_; }
  void SetOptions(uint32_t value);
  char PresetCode() const { return preset_code_; }
  // Applies a preset ('0', '2', 'f', 'n', 's', 'x'; upper case accepted); others are ignored.
  void SetPresetCode(char code);
  // Takes the option's row whatever was set before; option bits above the low four stay.
  void UseDeflationOption(ZipDeflationOption option);

  int32_t CryptCheck() const { return crypt_check_; }
  void SetCryptCheck(int32_t value) { crypt_check_ = value; }
  const std::string& LogFileName() const { return log_file_name_; }
  void SetLogFileName(const std::string& value) { log_file_name_ = value; }
  const PercentDone& OnPercentDone() const { return on_percent_done_; }
  void SetOnPercentDone(PercentDone callback) { on_percent_done_ = std::move(callback); }
  int64_t OutputLimit() const { return output_limit_; }
  void SetOutputLimit(int64_t value) { output_limit_ = value; }
  const std::string& CryptPassword() const { return crypt_password_; }
  void SetCryptPassword(const std::string& value) { crypt_password_ = value; }
  int32_t SourceSize() const { return source_size_; }
  void SetSourceSize(int32_t value) { source_size_ = value; }
  int32_t SlidingWindowSize() const { return sliding_window_size_; }
  void SetSlidingWindowSize(int32_t value) { sliding_window_size_ = value; }

  int32_t CompressedBytes() const { return compressed_bytes_; }
  void SetCompressedBytes(int32_t value) { compressed_bytes_ = value; }
  int32_t UncompressedBytes() const { return uncompressed_bytes_; }
  void SetUncompressedBytes(int32_t value) { uncompressed_bytes_ = value; }

 private:
  int32_t sufficient_length_ = 8;
  int32_t chain_limit_ = 32;
  int32_t crypt_check_ = -1;
  std::string log_file_name_;
  int32_t lazy_limit_ = 16;
  PercentDone on_percent_done_;
  uint32_t options_ = 15;
  int64_t output_limit_ = 0;
  std::string crypt_password_;
  int32_t compressed_bytes_ = 0;
  int32_t uncompressed_bytes_ = 0;
  int32_t source_size_ = 0;
  int32_t sliding_window_size_ = 32768;
  char preset_code_ = 'n';
};

// ---- Log stream ------------------------------------------------------------------------------

// A write-only, buffered text sink over a newly created file. Lines end with CR LF.
class Logger : public Stream {
 public:
  // Creates (or truncates) the file; an empty name is a programming error.
  explicit Logger(const std::string& file_name);
  ~Logger() override;

  void WriteTextLine(const std::string& text);
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Loggers cannot be read: raises AssertionError.
  int64_t Read(std::span<uint8_t> buffer) override;
  // Only Seek(0, current or end) is allowed: the bytes logged so far.
  int64_t Seek(int64_t offset, int origin) override;

 private:
  bool FlushBuffer();

  static constexpr size_t kBufferSize = 4096;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  std::unique_ptr<FileStream> file_;
};

// ---- Node allocator --------------------------------------------------------------------------

// Hands out fixed-size nodes carved from 8 KiB pages and frees them all at once.
class NodeManager {
 public:
  explicit NodeManager(uint32_t node_size);
  ~NodeManager();
  NodeManager(const NodeManager&) = delete;
  NodeManager& operator=(const NodeManager&) = delete;

  void* TakeNode();
  uint32_t NodeSize() const { return node_size_; }
  uint32_t NodesPerPage() const { return nodes_per_page_; }
  uint32_t PageSize() const { return page_size_; }

 private:
  void AddPage();

  void* free_list_ = nullptr;
  uint32_t node_size_;
  uint32_t nodes_per_page_;
  uint32_t page_size_;
  void* pages_ = nullptr;
};

// ---- Exceptions ------------------------------------------------------------------------------

// Raised inside the encoder when the destination refuses bytes.
class InternalDeflateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// What Deflate raises in place of an InternalDeflateError.
class DeflateError : public std::runtime_error {
 public:
  explicit DeflateError(const std::string& internal_message)
      : std::runtime_error("Deflate error. (Internal cause: " + internal_message + ")") {}
};
// Raised inside the decoder on malformed input, with the decoder's own text.
class InternalInflateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// What Inflate raises in place of an InternalInflateError.
class InflateError : public std::runtime_error {
 public:
  explicit InflateError(const std::string& internal_message)
      : std::runtime_error(
            "Inflate error, possibly a corrupted compressed stream. (Internal cause: " +
            internal_message + ")") {}
};
// The password does not match the encryption header.
class InflatePasswordError : public std::runtime_error {
 public:
  InflatePasswordError()
      : std::runtime_error("Inflate: stream is encrypted but passphrase is wrong") {}
};
// The output limit was reached; caught inside Inflate.
class PartSizedInflateError : public std::runtime_error {
 public:
  PartSizedInflateError() : std::runtime_error("") {}
};
// The user asked to abort from a codec progress report ("Process aborted by user").
class AbortProgressError : public std::runtime_error {
 public:
  AbortProgressError();
};

}  // namespace vz
