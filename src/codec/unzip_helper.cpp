// Shrink, reduce and implode decoding. The bit reader takes bits least significant first; the
// three expanders share it and the output path (32 KB buffer, CRC-32, progress, read-back of
// earlier output).
#include "codec/unzip_helper.h"

#include <algorithm>
#include <bit>

#include "codec/deflate_base.h"
#include "codec/percent.h"
#include "codec/sliding_window_stream.h"
#include "codec/zip_crypt.h"
#include "errors/errors.h"

namespace vz {

namespace {

// Damaged data that would overrun one of the decoders' tables.
[[noreturn]] void CorruptData() {
  throw ZipBadCRCError();
}

}  // namespace

UnzipHelper::UnzipHelper(Stream& input, ZDecoder* decoder, Stream& output)
    : output_writer_(&output),
      output_(output),
      compressed_size_(input.Size() - input.Position()),
      decoder_(decoder),
      output_buffer_(static_cast<size_t>(kOutputBufferSize)),
      input_buffer_(static_cast<size_t>(kInputBufferSize)),
      input_(&input) {}

UnzipHelper::~UnzipHelper() = default;

uint32_t UnzipHelper::DecodeItem() {
  bit_buffer_ = 0;
  bits_left_ = 0;
  bytes_written_ = 0;
  output_fill_ = 0;
  end_of_input_ = false;
  std::unique_ptr<SlidingWindowStream> window;
  if (method_ >= 2 && method_ <= 6) {
    window = std::make_unique<SlidingWindowStream>(output_);
    output_writer_ = window.get();
  }
  input_left_ = compressed_size_;
  input_index_ = 0;
  input_count_ = 0;
  try {
    if (decoder_ != nullptr) {
      decoder_->VerifyPassword();
      input_left_ -= kZipCryptHeaderSize;
    }
    switch (method_) {
      case 1:
        ExpandShrunk();
        break;
      case 2:
      case 3:
      case 4:
      case 5:
        ExpandReduced();
        break;
      case 6:
        ExpandImploded();
        break;
      default:
        throw ZipInvalidMethodError();
    }
    FlushOutput();
    if (window) window->FlushAllChunks();
  } catch (...) {
    // What was decoded still goes out; a second failure while doing so must not hide the first.
    try {
      if (output_fill_ > 0) {
        output_writer_->WriteBuffer({output_buffer_.data(), static_cast<size_t>(output_fill_)});
        UpdateCrc32(crc_, output_buffer_.data(), output_fill_);
        bytes_written_ += output_fill_;
        output_fill_ = 0;
      }
      if (window) window->FlushAllChunks();
    } catch (...) {
    }
    output_writer_ = &output_;
    throw;
  }
  output_writer_ = &output_;
  return ~crc_;
}

// ---- input -----------------------------------------------------------------------------------

void UnzipHelper::FillInput() {
  if (input_left_ <= 0) {
    end_of_input_ = true;
    return;
  }
  int64_t available = input_->Size() - input_->Position();
  if (available <= 0 && next_part_) {
    if (Stream* next = next_part_()) {
      input_ = next;
      available = input_->Size() - input_->Position();
    }
  }
  const int64_t want = std::min({kInputBufferSize, input_left_, available});
  const int64_t got =
      want > 0 ? input_->Read({input_buffer_.data(), static_cast<size_t>(want)}) : 0;
  if (got <= 0) throw ReadError();
  if (decoder_ != nullptr) decoder_->DecryptBuffer(input_buffer_.data(), got);
  input_left_ -= got;
  input_count_ = got;
  input_index_ = 0;
}

uint32_t UnzipHelper::ReadLegacyBits(int count) {
  while (bits_left_ < count) {
    if (input_index_ >= input_count_) {
      FillInput();
      if (end_of_input_) break;
    }
    bit_buffer_ |= static_cast<uint32_t>(input_buffer_[static_cast<size_t>(input_index_++)])
                   << bits_left_;
    bits_left_ += 8;
  }
  const uint32_t result = bit_buffer_ & ((1u << count) - 1);
  const int used = std::min(count, bits_left_);
  bit_buffer_ >>= used;
  bits_left_ -= used;
  return result;
}

// ---- output ----------------------------------------------------------------------------------

void UnzipHelper::PutOutputByte(uint8_t byte) {
  if (OutputFull()) return;
  output_buffer_[static_cast<size_t>(output_fill_++)] = byte;
  if (output_fill_ == kOutputBufferSize || OutputFull()) FlushOutput();
}

void UnzipHelper::FlushOutput() {
  if (output_fill_ > 0) {
    output_writer_->WriteBuffer({output_buffer_.data(), static_cast<size_t>(output_fill_)});
    UpdateCrc32(crc_, output_buffer_.data(), output_fill_);
    bytes_written_ += output_fill_;
    output_fill_ = 0;
  }
  const uint8_t percent = Percentage(bytes_written_, uncompressed_size_);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  if (!progress_hook_) return;
  bool abort = false;
  progress_hook_(percent, abort);
  if (abort) throw UserAbortError();
}

uint8_t UnzipHelper::EarlierOutput(int64_t source) {
  if (source < 0) return 0;
  if (source >= bytes_written_) return output_buffer_[static_cast<size_t>(source - bytes_written_)];
  // Already passed to the window (every distance of these methods is far inside it).
  uint8_t byte = 0;
  output_writer_->Seek(source, kSeekBegin);
  output_writer_->ReadBuffer({&byte, 1});
  output_writer_->Seek(0, kSeekEnd);
  return byte;
}

void UnzipHelper::CopyEarlierOutput(int64_t distance, int64_t length) {
  int64_t source = bytes_written_ + output_fill_ - distance;
  for (int64_t i = 0; i < length && !OutputFull(); ++i) PutOutputByte(EarlierOutput(source++));
}

// ---- shrink ----------------------------------------------------------------------------------
//
// Dynamic LZW: codes start at 9 bits; code 256 followed by 1 widens them by one bit (up to 13),
// followed by 2 frees every entry that is no other entry's prefix (a partial clear). A new entry
// (previous code's string plus the first byte of the current one) goes into the lowest free slot.
// A code whose entry does not exist yet is the one being defined (the KwKwK case): the previous
// string plus its own first byte.

void UnzipHelper::ExpandShrunk() {
  constexpr int kFirstFree = 257;
  constexpr int kTableSize = 8192;  // 13-bit codes
  constexpr int kMaxCodeSize = 13;
  constexpr int16_t kFree = -1;
  std::vector<int16_t> parent(kTableSize, kFree);
  std::vector<uint8_t> suffix(kTableSize, 0);
  std::vector<uint8_t> stack;
  stack.reserve(kTableSize);
  for (int c = 0; c < 256; ++c) {
    parent[static_cast<size_t>(c)] = 0;
    suffix[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
  }
  int code_size = 9;
  int next_free = kFirstFree;
  const auto advance_free = [&](int from) {
    next_free = from;
    while (next_free < kTableSize && parent[static_cast<size_t>(next_free)] != kFree) ++next_free;
  };
  const auto partial_clear = [&] {
    std::vector<uint8_t> leaf(kTableSize, 0);
    for (int i = kFirstFree; i < next_free; ++i) {
      leaf[static_cast<size_t>(i)] = parent[static_cast<size_t>(i)] != kFree;
    }
    for (int i = kFirstFree; i < next_free; ++i) {
      const int p = parent[static_cast<size_t>(i)];
      if (p >= kFirstFree) leaf[static_cast<size_t>(p)] = 0;
    }
    for (int i = kFirstFree; i < next_free; ++i) {
      if (leaf[static_cast<size_t>(i)]) parent[static_cast<size_t>(i)] = kFree;
    }
    advance_free(kFirstFree);
  };

  if (OutputFull()) return;
  int old = static_cast<int>(ReadLegacyBits(9));
  if (end_of_input_) return;
  auto finchar = static_cast<uint8_t>(old);
  PutOutputByte(finchar);
  while (!end_of_input_ && !OutputFull()) {
    int code = static_cast<int>(ReadLegacyBits(code_size));
    while (code == 256 && !end_of_input_) {
      const uint32_t sub = ReadLegacyBits(code_size);
      if (sub == 1) {
        if (++code_size > kMaxCodeSize) CorruptData();
      } else if (sub == 2) {
        partial_clear();
      }
      code = static_cast<int>(ReadLegacyBits(code_size));
    }
    if (end_of_input_) break;
    const int new_code = code;
    stack.clear();
    if (parent[static_cast<size_t>(code)] == kFree) {
      stack.push_back(finchar);
      code = old;
    }
    while (code >= kFirstFree) {
      // A longer chain than the table has entries can only be a loop in damaged data.
      if (stack.size() >= static_cast<size_t>(kTableSize)) CorruptData();
      if (parent[static_cast<size_t>(code)] == kFree) {
        stack.push_back(finchar);
        code = old;
      } else {
        stack.push_back(suffix[static_cast<size_t>(code)]);
        code = parent[static_cast<size_t>(code)];
      }
    }
    finchar = suffix[static_cast<size_t>(code)];
    PutOutputByte(finchar);
    while (!stack.empty()) {
      PutOutputByte(stack.back());
      stack.pop_back();
    }
    if (next_free < kTableSize) {
      parent[static_cast<size_t>(next_free)] = static_cast<int16_t>(old);
      suffix[static_cast<size_t>(next_free)] = finchar;
      advance_free(next_free + 1);
    }
    old = new_code;
  }
}

// ---- reduce ----------------------------------------------------------------------------------
//
// Each byte is coded against the byte before it in the coded stream: when that byte has a
// follower set, a 0 bit and an index into the set, else a 1 bit and the plain byte. Byte 90 hex
// escapes: 90 00 is a literal 90; 90 V [L] D copies from earlier output, the factor deciding how V
// splits into length bits (low) and distance bits (high).

namespace {

// Bits that index a follower set of n entries: the bit length of n - 1, at least 1.
constexpr int FollowerIndexBits(int n) {
  return n <= 2 ? 1 : static_cast<int>(std::bit_width(static_cast<unsigned>(n - 1)));
}

}  // namespace

void UnzipHelper::ExpandReduced() {
  const int factor = method_ - 1;
  if (factor < 1 || factor > 4) throw ZipInvalidFactorError();
  const uint32_t length_mask = 0xFFu >> factor;  // 7F, 3F, 1F, 0F
  constexpr int kMaxFollowers = 32;
  std::vector<std::array<uint8_t, kMaxFollowers>> followers(256);
  std::array<int, 256> follower_count{};
  for (int c = 255; c >= 0; --c) {
    const auto n = static_cast<int>(ReadLegacyBits(6));
    if (n > kMaxFollowers) CorruptData();
    follower_count[static_cast<size_t>(c)] = n;
    for (int i = 0; i < n; ++i) {
      followers[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          static_cast<uint8_t>(ReadLegacyBits(8));
    }
  }

  uint8_t last = 0;
  int state = 0;
  uint32_t v = 0;
  int64_t length = 0;
  while (!end_of_input_ && !OutputFull()) {
    const int n = follower_count[last];
    uint8_t c;
    if (n == 0 || ReadLegacyBits(1) == 1) {
      c = static_cast<uint8_t>(ReadLegacyBits(8));
    } else {
      c = followers[last][ReadLegacyBits(FollowerIndexBits(n))];
    }
    last = c;
    if (end_of_input_) break;
    switch (state) {
      case 0:
        if (c == 0x90) {
          state = 1;
        } else {
          PutOutputByte(c);
        }
        break;
      case 1:
        if (c == 0) {
          PutOutputByte(0x90);
          state = 0;
        } else {
          v = c;
          length = v & length_mask;
          state = length == length_mask ? 2 : 3;
        }
        break;
      case 2:
        length += c;
        state = 3;
        break;
      default: {
        const int64_t distance = static_cast<int64_t>(v >> (8 - factor)) * 256 + c + 1;
        CopyEarlierOutput(distance, length + 3);
        state = 0;
        break;
      }
    }
  }
}

// ---- implode ---------------------------------------------------------------------------------
//
// A 1 bit and a literal (Shannon-Fano coded with three trees, 8 plain bits with two), or a 0 bit
// and a match: the distance's low 6 (4 KB dictionary) or 7 (8 KB) bits plain, its high 6 bits and
// the length coded. A length code of 63 takes 8 more plain bits. Lengths start at 3 with a literal
// tree, at 2 without.

void UnzipHelper::ReadShannonFanoTree(ShannonFanoTree& tree, int entries) {
  tree = ShannonFanoTree{};
  tree.entry_count = entries;
  for (int i = 0; i < entries; ++i) tree.value[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  const int descriptions = static_cast<int>(ReadLegacyBits(8)) + 1;
  int index = 0;
  for (int d = 0; d < descriptions; ++d) {
    const uint32_t b = ReadLegacyBits(8);
    const int bit_length = static_cast<int>(b & 15) + 1;
    const int count = static_cast<int>(b >> 4) + 1;
    if (index + count > entries) CorruptData();
    for (int i = 0; i < count; ++i) {
      tree.bit_length[static_cast<size_t>(index++)] = static_cast<uint8_t>(bit_length);
    }
    tree.longest = std::max(tree.longest, bit_length);
  }
  // Entries in order of bit length, then value; codes are handed out from the last entry back.
  std::array<int, 256> order{};
  for (int i = 0; i < entries; ++i) order[static_cast<size_t>(i)] = i;
  std::sort(order.begin(), order.begin() + entries, [&](int a, int b) {
    const auto& len = tree.bit_length;
    return len[static_cast<size_t>(a)] != len[static_cast<size_t>(b)]
               ? len[static_cast<size_t>(a)] < len[static_cast<size_t>(b)]
               : a < b;
  });
  ShannonFanoTree sorted = tree;
  for (int i = 0; i < entries; ++i) {
    const auto from = static_cast<size_t>(order[static_cast<size_t>(i)]);
    sorted.bit_length[static_cast<size_t>(i)] = tree.bit_length[from];
    sorted.value[static_cast<size_t>(i)] = tree.value[from];
  }
  uint32_t code = 0;
  uint32_t increment = 0;
  int previous_length = 0;
  for (int i = entries - 1; i >= 0; --i) {
    code = (code + increment) & 0xFFFFu;
    const int bit_length = sorted.bit_length[static_cast<size_t>(i)];
    if (bit_length != previous_length) {
      previous_length = bit_length;
      increment = 1u << (16 - bit_length);
    }
    // Bits are read least significant first, so the code is kept reversed.
    uint32_t reversed = 0;
    for (int bit = 0; bit < 16; ++bit) reversed |= ((code >> bit) & 1u) << (15 - bit);
    sorted.code[static_cast<size_t>(i)] = static_cast<uint16_t>(reversed);
  }
  tree = sorted;
}

int UnzipHelper::DecodeShannonFano(const ShannonFanoTree& tree) {
  uint32_t bits = 0;
  int count = 0;
  int index = 0;
  const int n = tree.entry_count;
  while (true) {
    bits |= ReadLegacyBits(1) << count;
    ++count;
    while (index < n && tree.bit_length[static_cast<size_t>(index)] < count) ++index;
    if (index >= n) return 0;  // no code matches
    const uint32_t mask = (1u << count) - 1;
    while (index < n && tree.bit_length[static_cast<size_t>(index)] == count) {
      if ((tree.code[static_cast<size_t>(index)] & mask) == bits) {
        return tree.value[static_cast<size_t>(index)];
      }
      ++index;
    }
    if (index >= n) return 0;
  }
}

void UnzipHelper::ExpandImploded() {
  const int low_bits = dictionary_size_ == 2 ? 7 : 6;
  const bool literal_tree = tree_count_ == 3;
  const int minimum_length = literal_tree ? 3 : 2;
  auto literals = std::make_unique<ShannonFanoTree>();
  auto lengths = std::make_unique<ShannonFanoTree>();
  auto distances = std::make_unique<ShannonFanoTree>();
  if (literal_tree) ReadShannonFanoTree(*literals, 256);
  ReadShannonFanoTree(*lengths, 64);
  ReadShannonFanoTree(*distances, 64);

  while (!end_of_input_ && !OutputFull()) {
    if (ReadLegacyBits(1) == 1) {
      const int literal =
          literal_tree ? DecodeShannonFano(*literals) : static_cast<int>(ReadLegacyBits(8));
      if (end_of_input_) break;
      PutOutputByte(static_cast<uint8_t>(literal));
      continue;
    }
    const uint32_t low = ReadLegacyBits(low_bits);
    const auto high = static_cast<uint32_t>(DecodeShannonFano(*distances));
    const int64_t distance = low | (high << low_bits);
    int64_t length = DecodeShannonFano(*lengths);
    if (length == 63) length += ReadLegacyBits(8);
    length += minimum_length;
    if (end_of_input_) break;
    CopyEarlierOutput(distance + 1, length);
  }
}

}  // namespace vz
