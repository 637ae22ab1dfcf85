// The library-backed methods: one driver loop for decoding, one for encoding, and a small adapter
// per library.
//
// The drivers own everything that makes a run safe and alike across methods: reading exactly the
// item's compressed bytes, the output limit, the CRC-32, the progress reports, the refusal of
// bytes after the end of the data, and the rule that a step which neither consumes nor produces
// ends the run (so damaged data can never make a loop spin). An adapter only moves bytes through
// its library once and translates the library's verdict into our message.
#include "codec/method_codecs.h"

#include <bzlib.h>
#include <lzma.h>
// For ZSTD_c_srcSizeHint, which lets the encoder size its tables to a small item without
// promising an exact size (a file may change while it is read).
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <memory>
#include <span>
#include <vector>

namespace vz {

namespace {

constexpr size_t kInChunk = 64 * 1024;
// Small enough for a BitBucketStream to take in one write.
constexpr size_t kOutChunk = 32 * 1024;
constexpr int64_t kMiB = 1024 * 1024;
constexpr int kZstdWindowLogMax = 30;
static_assert(int64_t{1} << kZstdWindowLogMax == kDecoderMemoryLimit);

// ---- Names, levels and messages -------------------------------------------------------------

struct MethodRow {
  LibMethod method;
  const char* name;
  const char* user_name;
  uint16_t version_needed;
};

constexpr MethodRow kMethods[] = {
    {LibMethod::kBzip2, "bzip2", "bzip2", 46},
    {LibMethod::kLzma, "LZMA", "lzma", 63},
    {LibMethod::kZstd, "zstd", "zstd", 63},
    {LibMethod::kXz, "xz", "xz", 63},
};

const MethodRow& RowOf(LibMethod method) {
  for (const MethodRow& row : kMethods) {
    if (row.method == method) return row;
  }
  return kMethods[0];
}

// Each encoder's setting for each MethodLevel, in the enum's order.
struct LevelRow {
  int bzip2_block_size;  // in units of 100,000 bytes
  uint32_t lzma_preset;  // LZMA and xz
  int zstd_level;
};

constexpr LevelRow kLevels[] = {
    {1, 1, 1},   // kSuperFast
    {5, 3, 2},   // kFast
    {9, 6, 3},   // kNormal
    {9, 9, 19},  // kMaximum
};

const LevelRow& LevelOf(MethodLevel level) {
  const auto index = static_cast<size_t>(level);
  return kLevels[index < std::size(kLevels) ? index : 2];
}

[[noreturn]] void DataError(LibMethod method, const std::string& cause) {
  throw MethodError(std::string(LibMethodName(method)) + " data error: " + cause);
}

[[noreturn]] void LibraryError(LibMethod method, const std::string& cause) {
  throw MethodError(std::string(LibMethodName(method)) + ": " + cause);
}

[[noreturn]] void MemoryError(LibMethod method, int64_t needed) {
  const std::string allowed = std::to_string(kDecoderMemoryLimit / kMiB) + " MiB allowed";
  if (needed <= 0) LibraryError(method, "the data needs more memory than the " + allowed);
  LibraryError(method, "the data needs " + std::to_string((needed + kMiB - 1) / kMiB) +
                           " MiB of memory, more than the " + allowed);
}

// ---- Progress, input and output --------------------------------------------------------------

// Whole percent of a total, reported only when it changes.
class PercentReporter {
 public:
  PercentReporter(int64_t total, const DeflateHelper::PercentDone& callback)
      : total_(total), callback_(callback) {}

  void Report(int64_t done) {
    if (!callback_ || total_ <= 0) return;
    // Nearest whole percent, ties to even.
    const long percent =
        std::lrint(static_cast<double>(done) * 100.0 / static_cast<double>(total_));
    const auto clamped = static_cast<int32_t>(std::clamp(percent, 0L, 100L));
    if (clamped == last_) return;
    last_ = clamped;
    callback_(clamped);
  }

 private:
  int64_t total_;
  const DeflateHelper::PercentDone& callback_;
  int32_t last_ = 0;
};

// Reads the item's compressed bytes, never more, into a window that the decoder consumes.
class InputReader {
 public:
  InputReader(Stream& source, int64_t size, const DeflateHelper::PercentDone& callback)
      : source_(source),
        remaining_(size),
        progress_(size >= 0 || !callback ? size : source.Size() - source.Position(), callback),
        buffer_(kInChunk),
        finished_(size == 0) {}

  // The bytes read and not yet consumed; a decoder step advances it.
  std::span<const uint8_t> window;

  // True once the window holds the last bytes there are.
  bool Finished() const { return finished_; }
  int64_t BytesConsumed() const { return read_ - static_cast<int64_t>(window.size()); }

  // Reads the next piece when the window is empty.
  void Refill() {
    if (!window.empty() || finished_) return;
    size_t want = buffer_.size();
    if (remaining_ >= 0) want = static_cast<size_t>(std::min<int64_t>(remaining_, kInChunk));
    size_t got = 0;
    while (got < want) {
      const int64_t n = source_.Read({buffer_.data() + got, want - got});
      if (n <= 0) {
        finished_ = true;
        break;
      }
      got += static_cast<size_t>(n);
    }
    read_ += static_cast<int64_t>(got);
    if (remaining_ >= 0) {
      remaining_ -= static_cast<int64_t>(got);
      if (remaining_ == 0) finished_ = true;
    }
    window = {buffer_.data(), got};
    progress_.Report(read_);
  }

  // Takes exactly out.size() bytes; false when the data ends first.
  bool Take(std::span<uint8_t> out) {
    size_t at = 0;
    while (at < out.size()) {
      Refill();
      if (window.empty()) return false;
      const size_t n = std::min(window.size(), out.size() - at);
      std::copy_n(window.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at));
      window = window.subspan(n);
      at += n;
    }
    return true;
  }

 private:
  Stream& source_;
  int64_t remaining_;
  PercentReporter progress_;
  std::vector<uint8_t> buffer_;
  bool finished_;
  int64_t read_ = 0;
};

// Writes the output, keeps its CRC-32 and stops it at the limit.
class OutputSink {
 public:
  OutputSink(Stream& dest, int64_t limit, LibMethod method)
      : dest_(dest), limit_(limit), method_(method) {}

  void Put(std::span<const uint8_t> bytes) {
    if (limit_ >= 0 && static_cast<int64_t>(bytes.size()) > limit_ - written_) {
      Emit(bytes.first(static_cast<size_t>(limit_ - written_)));
      throw MethodOverrunError(method_, limit_);
    }
    Emit(bytes);
  }
  // As much of the buffer as the decoder may fill: never more than one byte past the limit, which
  // is all it takes to see an overrun.
  std::span<uint8_t> Room(std::span<uint8_t> buffer) const {
    if (limit_ < 0) return buffer;
    return buffer.first(static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(buffer.size()), limit_ - written_ + 1)));
  }
  uint32_t Crc() const { return ~crc_; }
  int64_t Written() const { return written_; }

 private:
  void Emit(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    UpdateCrc32(crc_, bytes);
    dest_.WriteBuffer(bytes);
    written_ += static_cast<int64_t>(bytes.size());
  }

  Stream& dest_;
  int64_t limit_;
  LibMethod method_;
  uint32_t crc_ = 0xFFFFFFFFu;
  int64_t written_ = 0;
};

// ---- Adapters --------------------------------------------------------------------------------

// One library's decoder or encoder. Step consumes from the front of in and fills the front of out,
// advancing both; finish says that in holds the last input there is. It returns true when the
// data is complete (a decoder has seen its end, an encoder has flushed everything).
class LibraryCodec {
 public:
  virtual ~LibraryCodec() = default;
  virtual bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) = 0;
};

// The libraries count their buffers in unsigned int (bzip2) or size_t; our chunks fit both.
unsigned int AsUint(size_t n) {
  return static_cast<unsigned int>(n);
}

class Bzip2Decoder : public LibraryCodec {
 public:
  Bzip2Decoder() { Init(); }
  ~Bzip2Decoder() override { BZ2_bzDecompressEnd(&stream_); }

  bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) override {
    if (stream_ended_) {
      if (in.empty()) return finish;
      // Parallel bzip2 tools write one stream per piece of the input, back to back.
      BZ2_bzDecompressEnd(&stream_);
      Init();
    }
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    stream_.avail_in = AsUint(in.size());
    stream_.next_out = reinterpret_cast<char*>(out.data());
    stream_.avail_out = AsUint(out.size());
    const int rc = BZ2_bzDecompress(&stream_);
    in = in.subspan(in.size() - stream_.avail_in);
    out = out.subspan(out.size() - stream_.avail_out);
    switch (rc) {
      case BZ_OK:
        return false;
      case BZ_STREAM_END:
        stream_ended_ = true;
        ++streams_;
        return in.empty() && finish;
      case BZ_DATA_ERROR_MAGIC:
        if (streams_ > 0)
          DataError(LibMethod::kBzip2, "unexpected bytes after the end of the data");
        DataError(LibMethod::kBzip2, "not bzip2 data (no \"BZh\" signature)");
      case BZ_DATA_ERROR:
        DataError(LibMethod::kBzip2, "the data is damaged");
      case BZ_MEM_ERROR:
        LibraryError(LibMethod::kBzip2, "out of memory");
      default:
        LibraryError(LibMethod::kBzip2, "decoder failure " + std::to_string(rc));
    }
  }

 private:
  void Init() {
    stream_ = bz_stream{};
    const int rc = BZ2_bzDecompressInit(&stream_, 0, 0);
    if (rc != BZ_OK) LibraryError(LibMethod::kBzip2, "cannot start the decoder");
    stream_ended_ = false;
  }

  bz_stream stream_{};
  bool stream_ended_ = false;
  int streams_ = 0;
};

class Bzip2Encoder : public LibraryCodec {
 public:
  explicit Bzip2Encoder(int block_size) {
    const int rc = BZ2_bzCompressInit(&stream_, block_size, 0, 0);
    if (rc == BZ_MEM_ERROR) LibraryError(LibMethod::kBzip2, "out of memory");
    if (rc != BZ_OK) LibraryError(LibMethod::kBzip2, "cannot start the encoder");
  }
  ~Bzip2Encoder() override { BZ2_bzCompressEnd(&stream_); }

  bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) override {
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    stream_.avail_in = AsUint(in.size());
    stream_.next_out = reinterpret_cast<char*>(out.data());
    stream_.avail_out = AsUint(out.size());
    const int rc = BZ2_bzCompress(&stream_, finish ? BZ_FINISH : BZ_RUN);
    in = in.subspan(in.size() - stream_.avail_in);
    out = out.subspan(out.size() - stream_.avail_out);
    if (rc == BZ_STREAM_END) return true;
    if (rc == BZ_RUN_OK || rc == BZ_FINISH_OK) return false;
    LibraryError(LibMethod::kBzip2, "encoder failure " + std::to_string(rc));
  }

 private:
  bz_stream stream_{};
};

// liblzma's decoders and encoders share one stream type and one step.
class LzmaCodec : public LibraryCodec {
 public:
  explicit LzmaCodec(LibMethod method) : method_(method) {}
  ~LzmaCodec() override { lzma_end(&stream_); }

  bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) override {
    stream_.next_in = in.data();
    stream_.avail_in = in.size();
    stream_.next_out = out.data();
    stream_.avail_out = out.size();
    const lzma_ret rc = lzma_code(&stream_, finish ? LZMA_FINISH : LZMA_RUN);
    in = in.subspan(in.size() - stream_.avail_in);
    out = out.subspan(out.size() - stream_.avail_out);
    if (rc == LZMA_OK) return false;
    if (rc == LZMA_STREAM_END) return true;
    Fail(rc);
  }

 protected:
  [[noreturn]] void Fail(lzma_ret rc) {
    switch (rc) {
      case LZMA_MEM_ERROR:
        LibraryError(method_, "out of memory");
      case LZMA_MEMLIMIT_ERROR:
        MemoryError(method_, static_cast<int64_t>(lzma_memusage(&stream_)));
      case LZMA_FORMAT_ERROR:
        DataError(method_, "not xz data (no xz signature)");
      case LZMA_OPTIONS_ERROR:
        DataError(method_, "unsupported compression options");
      case LZMA_DATA_ERROR:
        DataError(method_, "the data is damaged");
      case LZMA_BUF_ERROR:
        DataError(method_, "the data ends before the end of the stream");
      default:
        LibraryError(method_, "liblzma failure " + std::to_string(static_cast<int>(rc)));
    }
  }

  LibMethod method_;
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

// The zip form of LZMA: a 4-byte header (encoder version, properties size), 5 properties bytes,
// then raw LZMA1 data.
constexpr size_t kLzmaPropertiesSize = 5;
constexpr size_t kLzmaHeaderSize = 4 + kLzmaPropertiesSize;

class LzmaDecoder : public LzmaCodec {
 public:
  LzmaDecoder(std::span<const uint8_t, kLzmaPropertiesSize> properties, bool end_marker,
              int64_t output_limit)
      : LzmaCodec(LibMethod::kLzma) {
    uint32_t byte = properties[0];
    if (byte >= 9 * 5 * 5) DataError(method_, "invalid properties byte " + std::to_string(byte));
    lzma_options_lzma options{};
    options.lc = byte % 9;
    byte /= 9;
    options.lp = byte % 5;
    options.pb = byte / 5;
    uint32_t dictionary = properties[1] | properties[2] << 8 | properties[3] << 16 |
                          static_cast<uint32_t>(properties[4]) << 24;
    // Nothing can refer back further than the output reaches, and the driver never lets the
    // output pass the limit by more than one byte, so a dictionary larger than that is never
    // needed; cutting it keeps a lying header from claiming gigabytes.
    if (output_limit >= 0) {
      dictionary = static_cast<uint32_t>(
          std::min<int64_t>(dictionary, std::max<int64_t>(output_limit + 1, LZMA_DICT_SIZE_MIN)));
    }
    options.dict_size = std::max<uint32_t>(dictionary, LZMA_DICT_SIZE_MIN);
    // With the end marker the stream says where it ends and the output limit guards the size.
    // Without it the stream ends after exactly the declared size; a marker there is still taken,
    // since it harms nothing.
    if (end_marker || output_limit < 0) {
      lzma_set_ext_size(options, UINT64_MAX);
    } else {
      lzma_set_ext_size(options, static_cast<uint64_t>(output_limit));
      options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    }
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const uint64_t memory = lzma_raw_decoder_memusage(filters);
    if (memory == UINT64_MAX) UnsupportedProperties(options);
    if (memory > static_cast<uint64_t>(kDecoderMemoryLimit)) {
      MemoryError(method_, static_cast<int64_t>(memory));
    }
    const lzma_ret rc = lzma_raw_decoder(&stream_, filters);
    if (rc == LZMA_OPTIONS_ERROR) UnsupportedProperties(options);
    if (rc != LZMA_OK) Fail(rc);
  }

 private:
  // liblzma takes lc + lp up to 4, as every common encoder writes them (7-Zip's default is
  // lc 3, lp 0); the format itself would allow more.
  [[noreturn]] void UnsupportedProperties(const lzma_options_lzma& o) {
    DataError(method_, "unsupported properties lc=" + std::to_string(o.lc) +
                           " lp=" + std::to_string(o.lp) + " pb=" + std::to_string(o.pb));
  }
};

class XzDecoder : public LzmaCodec {
 public:
  XzDecoder() : LzmaCodec(LibMethod::kXz) {
    // One stream: what follows its footer is left to the driver's check for trailing bytes.
    const lzma_ret rc =
        lzma_stream_decoder(&stream_, static_cast<uint64_t>(kDecoderMemoryLimit), 0);
    if (rc != LZMA_OK) Fail(rc);
  }
};

// The preset's options with the dictionary no larger than the data needs (4 KiB at least): a
// small item then costs a small encoder.
lzma_options_lzma PresetOptions(LibMethod method, uint32_t preset, int64_t source_size) {
  lzma_options_lzma options{};
  if (lzma_lzma_preset(&options, preset)) LibraryError(method, "unsupported preset");
  if (source_size >= 0) {
    options.dict_size = static_cast<uint32_t>(
        std::min<int64_t>(options.dict_size, std::max<int64_t>(source_size, LZMA_DICT_SIZE_MIN)));
  }
  return options;
}

class LzmaEncoder : public LzmaCodec {
 public:
  LzmaEncoder(uint32_t preset, int64_t source_size) : LzmaCodec(LibMethod::kLzma) {
    options_ = PresetOptions(method_, preset, source_size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options_}, {LZMA_VLI_UNKNOWN, nullptr}};
    // The version bytes are informational; readers skip them. We name the liblzma we built with.
    header_ = {LZMA_VERSION_MAJOR, LZMA_VERSION_MINOR, kLzmaPropertiesSize, 0};
    header_.resize(kLzmaHeaderSize);
    if (lzma_properties_encode(&filters[0], header_.data() + 4) != LZMA_OK) {
      LibraryError(method_, "cannot encode the properties");
    }
    // LZMA_FILTER_LZMA1 always ends the stream with an end marker.
    const lzma_ret rc = lzma_raw_encoder(&stream_, filters);
    if (rc != LZMA_OK) Fail(rc);
  }

  bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) override {
    if (header_written_ < header_.size()) {
      const size_t n = std::min(out.size(), header_.size() - header_written_);
      std::copy_n(header_.begin() + static_cast<std::ptrdiff_t>(header_written_), n, out.begin());
      header_written_ += n;
      out = out.subspan(n);
      return false;
    }
    return LzmaCodec::Step(in, out, finish);
  }

 private:
  lzma_options_lzma options_{};
  std::vector<uint8_t> header_;
  size_t header_written_ = 0;
};

class XzEncoder : public LzmaCodec {
 public:
  XzEncoder(uint32_t preset, int64_t source_size) : LzmaCodec(LibMethod::kXz) {
    lzma_options_lzma options = PresetOptions(method_, preset, source_size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret rc = lzma_stream_encoder(&stream_, filters, LZMA_CHECK_CRC64);
    if (rc != LZMA_OK) Fail(rc);
  }
};

class ZstdDecoder : public LibraryCodec {
 public:
  ZstdDecoder() : context_(ZSTD_createDCtx()) {
    if (context_ == nullptr) LibraryError(LibMethod::kZstd, "out of memory");
    ZSTD_DCtx_setParameter(context_.get(), ZSTD_d_windowLogMax, kZstdWindowLogMax);
  }

  bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) override {
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    const size_t rc = ZSTD_decompressStream(context_.get(), &output, &input);
    in = in.subspan(input.pos);
    out = out.subspan(output.pos);
    if (ZSTD_isError(rc)) {
      const ZSTD_ErrorCode code = ZSTD_getErrorCode(rc);
      if (code == ZSTD_error_frameParameter_windowTooLarge) MemoryError(LibMethod::kZstd, 0);
      if (code == ZSTD_error_memory_allocation) LibraryError(LibMethod::kZstd, "out of memory");
      DataError(LibMethod::kZstd, ZSTD_getErrorName(rc));
    }
    // 0: a frame has ended and all its output is out. Another frame may follow.
    frame_complete_ = rc == 0;
    return frame_complete_ && in.empty() && finish;
  }

 private:
  struct Free {
    void operator()(ZSTD_DCtx* c) const { ZSTD_freeDCtx(c); }
  };
  std::unique_ptr<ZSTD_DCtx, Free> context_;
  bool frame_complete_ = false;
};

class ZstdEncoder : public LibraryCodec {
 public:
  ZstdEncoder(int level, int64_t source_size) : context_(ZSTD_createCCtx()) {
    if (context_ == nullptr) LibraryError(LibMethod::kZstd, "out of memory");
    Set(ZSTD_c_compressionLevel, level);
    Set(ZSTD_c_checksumFlag, 1);
    if (source_size > 0 && source_size <= INT_MAX) {
      Set(ZSTD_c_srcSizeHint, static_cast<int>(source_size));
    }
  }

  bool Step(std::span<const uint8_t>& in, std::span<uint8_t>& out, bool finish) override {
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    const size_t rc = ZSTD_compressStream2(context_.get(), &output, &input,
                                           finish ? ZSTD_e_end : ZSTD_e_continue);
    in = in.subspan(input.pos);
    out = out.subspan(output.pos);
    if (ZSTD_isError(rc)) LibraryError(LibMethod::kZstd, ZSTD_getErrorName(rc));
    return finish && rc == 0;
  }

 private:
  void Set(ZSTD_cParameter parameter, int value) {
    const size_t rc = ZSTD_CCtx_setParameter(context_.get(), parameter, value);
    if (ZSTD_isError(rc)) LibraryError(LibMethod::kZstd, ZSTD_getErrorName(rc));
  }
  struct Free {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
  };
  std::unique_ptr<ZSTD_CCtx, Free> context_;
};

std::unique_ptr<LibraryCodec> MakeDecoder(LibMethod method, InputReader& input,
                                          const MethodDecodeOptions& options) {
  switch (method) {
    case LibMethod::kBzip2:
      return std::make_unique<Bzip2Decoder>();
    case LibMethod::kXz:
      return std::make_unique<XzDecoder>();
    case LibMethod::kZstd:
      return std::make_unique<ZstdDecoder>();
    case LibMethod::kLzma:
      break;
  }
  std::array<uint8_t, kLzmaHeaderSize> header{};
  if (!input.Take(std::span(header).first(4))) DataError(method, "the header is cut short");
  const unsigned properties_size = header[2] | header[3] << 8;
  if (properties_size != kLzmaPropertiesSize) {
    DataError(method, "the header gives " + std::to_string(properties_size) +
                          " properties bytes (5 expected)");
  }
  if (!input.Take(std::span(header).subspan(4))) DataError(method, "the header is cut short");
  return std::make_unique<LzmaDecoder>(std::span(header).subspan<4>(), options.lzma_end_marker,
                                       options.output_limit);
}

std::unique_ptr<LibraryCodec> MakeEncoder(LibMethod method, const MethodEncodeOptions& options) {
  const LevelRow& level = LevelOf(options.level);
  switch (method) {
    case LibMethod::kBzip2:
      return std::make_unique<Bzip2Encoder>(level.bzip2_block_size);
    case LibMethod::kLzma:
      return std::make_unique<LzmaEncoder>(level.lzma_preset, options.source_size);
    case LibMethod::kXz:
      return std::make_unique<XzEncoder>(level.lzma_preset, options.source_size);
    case LibMethod::kZstd:
      break;
  }
  return std::make_unique<ZstdEncoder>(level.zstd_level, options.source_size);
}

}  // namespace

// ---- Public surface --------------------------------------------------------------------------

std::optional<LibMethod> LibMethodFromZip(uint16_t zip_method) {
  for (const MethodRow& row : kMethods) {
    if (static_cast<uint16_t>(row.method) == zip_method) return row.method;
  }
  return std::nullopt;
}

std::optional<LibMethod> LibMethodFromName(std::string_view name) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (const MethodRow& row : kMethods) {
    const std::string_view candidate = row.user_name;
    if (candidate.size() == name.size() &&
        std::equal(name.begin(), name.end(), candidate.begin(),
                   [&](char a, char b) { return lower(a) == b; })) {
      return row.method;
    }
  }
  return std::nullopt;
}

const char* LibMethodName(LibMethod method) {
  return RowOf(method).name;
}

uint16_t LibMethodVersionNeeded(LibMethod method) {
  return RowOf(method).version_needed;
}

MethodOverrunError::MethodOverrunError(LibMethod method, int64_t limit)
    : MethodError(std::string(LibMethodName(method)) +
                  " data error: the data decodes to more than the declared size of " +
                  std::to_string(limit) + " bytes") {}

MethodResult DecodeMethod(LibMethod method, Stream& source, Stream& dest,
                          const MethodDecodeOptions& options) {
  InputReader input(source, options.compressed_size, options.on_percent_done);
  OutputSink output(dest, options.output_limit, method);
  const std::unique_ptr<LibraryCodec> decoder = MakeDecoder(method, input, options);
  std::vector<uint8_t> buffer(kOutChunk);
  for (;;) {
    input.Refill();
    const size_t available = input.window.size();
    std::span<uint8_t> room = output.Room(buffer);
    const bool complete = decoder->Step(input.window, room, input.Finished());
    const size_t produced = static_cast<size_t>(room.data() - buffer.data());
    output.Put({buffer.data(), produced});
    if (complete) break;
    if (produced == 0 && input.window.size() == available) {
      if (input.Finished()) DataError(method, "the data ends before the end of the stream");
      if (available > 0) LibraryError(method, "the decoder made no progress");
    }
  }
  input.Refill();
  if (!input.window.empty()) DataError(method, "unexpected bytes after the end of the data");
  return {output.Crc(), input.BytesConsumed(), output.Written()};
}

MethodResult EncodeMethod(LibMethod method, Stream& source, Stream& dest,
                          const MethodEncodeOptions& options) {
  const std::unique_ptr<LibraryCodec> encoder = MakeEncoder(method, options);
  PercentReporter progress(options.source_size, options.on_percent_done);
  std::vector<uint8_t> in_buffer(kInChunk);
  std::vector<uint8_t> out_buffer(kOutChunk);
  MethodResult result;
  uint32_t crc = 0xFFFFFFFFu;

  // Runs the encoder until it has taken all of in (or, finishing, until it is done).
  auto pump = [&](std::span<const uint8_t> in, bool finish) {
    for (;;) {
      const size_t available = in.size();
      std::span<uint8_t> room(out_buffer);
      const bool done = encoder->Step(in, room, finish);
      const size_t produced = out_buffer.size() - room.size();
      dest.WriteBuffer({out_buffer.data(), produced});
      result.compressed_bytes += static_cast<int64_t>(produced);
      if (finish ? done : in.empty()) return;
      if (produced == 0 && in.size() == available) {
        LibraryError(method, "the encoder made no progress");
      }
    }
  };

  for (;;) {
    const int64_t n = source.Read(in_buffer);
    if (n <= 0) break;
    const std::span<const uint8_t> piece(in_buffer.data(), static_cast<size_t>(n));
    UpdateCrc32(crc, piece);
    result.uncompressed_bytes += n;
    progress.Report(result.uncompressed_bytes);
    pump(piece, false);
  }
  pump({}, true);
  result.crc32 = ~crc;
  return result;
}

}  // namespace vz
