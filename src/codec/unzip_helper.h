// The decoder of the zip methods that came before Deflate: 1 shrunk (LZW with partial clearing),
// 2 to 5 reduced with factors 1 to 4 (follower sets and run copies) and 6 imploded (Shannon-Fano
// coded LZ77 with a 4 KB or 8 KB dictionary).
//
// One helper decodes one item. Input comes in 4 KB reads from a plain stream (decrypted when a
// ZDecoder is given; when the stream runs dry early, a next-part hook may hand over the stream
// that continues it, as the next part of a spanned set does), output leaves in 32 KB writes.
// Methods 2 to 6 read their earlier output back through a SlidingWindowStream, which holds far more
// than the 8 KB the largest dictionary needs.
//
// These methods come from old archives and are rarely seen, so every table they index is checked:
// data that would overrun a table, a follower set or the LZW stack fails the item with
// ZipBadCRCError (the same report that other damaged data of these methods earns through the CRC
// test), and no item produces more than its declared uncompressed size.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/stream.h"

namespace vz {

class ZDecoder;

class UnzipHelper {
 public:
  static constexpr int64_t kInputBufferSize = 4096;
  static constexpr int64_t kOutputBufferSize = 32768;

  // input stands at the item's data (the encryption header of an encrypted item); decoder, when
  // given, checks the password and decrypts; output receives the decoded bytes from its position.
  // The compressed size starts as what is left of input.
  UnzipHelper(Stream& input, ZDecoder* decoder, Stream& output);
  ~UnzipHelper();
  UnzipHelper(const UnzipHelper&) = delete;
  UnzipHelper& operator=(const UnzipHelper&) = delete;

  // Bytes of item data, the encryption header included.
  void SetCompressedSize(int64_t size) { compressed_size_ = size; }
  // The declared size: decoding never produces more.
  void SetUncompressedSize(int64_t size) { uncompressed_size_ = size; }
  // Methods 1 to 6 decode; any other fails with ZipInvalidMethodError after the password check.
  void SetCompressionMethod(uint16_t method) { method_ = method; }
  // Implode only: 1 for the 4 KB dictionary, 2 for 8 KB.
  void SetDictionarySize(int size) { dictionary_size_ = size; }
  // Implode only: 3 when a literal tree is present, else 2.
  void SetTreeCount(int count) { tree_count_ = count; }
  // Receives whole percentages of the output; setting abort raises UserAbortError.
  using ProgressHook = std::function<void(uint8_t percent, bool& abort)>;
  void SetProgressHook(ProgressHook hook) { progress_hook_ = std::move(hook); }
  // Called when the input stream ends while compressed bytes remain: returns the stream that
  // continues the data, read from its position, or nullptr when there is none.
  using NextPartHook = std::function<Stream*()>;
  void SetNextPartHook(NextPartHook hook) { next_part_ = std::move(hook); }

  // Decodes the item; returns the CRC-32 of the output. Whatever was decoded before a failure is
  // still written to the output.
  uint32_t DecodeItem();

 private:
  void FillInput();
  uint32_t ReadLegacyBits(int count);
  bool OutputFull() const { return bytes_written_ + output_fill_ >= uncompressed_size_; }
  void PutOutputByte(uint8_t byte);
  void FlushOutput();
  // The output byte at stream position source (0 before the start of the output).
  uint8_t EarlierOutput(int64_t source);
  // Appends length bytes copied from distance bytes back, one at a time (runs may overlap).
  void CopyEarlierOutput(int64_t distance, int64_t length);

  void ExpandShrunk();
  void ExpandReduced();
  void ExpandImploded();

  struct ShannonFanoTree {
    int entry_count = 0;
    int longest = 0;
    std::array<uint16_t, 256> code{};
    std::array<uint8_t, 256> value{};
    std::array<uint8_t, 256> bit_length{};
  };
  void ReadShannonFanoTree(ShannonFanoTree& tree, int entries);
  int DecodeShannonFano(const ShannonFanoTree& tree);

  Stream* output_writer_;
  Stream& output_;
  int64_t uncompressed_size_ = 0;
  uint32_t crc_ = 0xFFFFFFFFu;
  int64_t compressed_size_;
  uint16_t method_ = 8;
  ZDecoder* decoder_;
  int dictionary_size_ = 0;
  int tree_count_ = 0;
  ProgressHook progress_hook_;
  NextPartHook next_part_;
  uint8_t last_percent_ = 0;
  std::vector<uint8_t> output_buffer_;
  int64_t bytes_written_ = 0;
  int64_t output_fill_ = 0;
  std::vector<uint8_t> input_buffer_;
  int64_t input_index_ = 0;
  int64_t input_count_ = 0;
  int64_t input_left_ = 0;
  bool end_of_input_ = false;
  uint32_t bit_buffer_ = 0;
  int bits_left_ = 0;
  Stream* input_;
};

}  // namespace vz
