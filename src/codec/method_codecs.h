// The compression methods we take from well-kept libraries rather than write ourselves: bzip2
// (zip method 12, libbz2), LZMA (14, liblzma), Zstandard (93, libzstd) and xz (95, liblzma).
//
// Each is a pure stream-to-stream codec: it knows nothing of zip items, only of the bytes of one
// item's data. The archive layer positions the source at the data (or hands in a decrypting
// stream), passes the sizes it read from the headers, and compares the CRC-32 we return (computed
// with our own UpdateCrc32, as for every other method) with the item's.
//
// What is accepted, per method:
// - bzip2: one bzip2 stream, or several back to back (as parallel bzip2 tools write them).
// - LZMA: the zip form: a 2-byte encoder version (informational), a 2-byte properties size that
//   must be 5, the 5 properties bytes (lc/lp/pb and the dictionary size), then a raw LZMA stream.
//   General purpose bit 1 says the stream ends with an end marker (7-Zip and Python's zipfile set
//   it and write one); without it the stream ends after exactly the declared size.
// - xz: one whole .xz stream, its own integrity check verified by liblzma. (The .xz format lets
//   streams be concatenated; no zip tool writes that into an item, so bytes after the first stream
//   are refused like those after any other method's data.)
// - Zstandard: one or more frames (skippable frames included); a frame's content checksum is
//   verified when present.
// Bytes left in the item after the end of the compressed data are an error: they mean the sizes
// in the headers are wrong, or the data was cut or spliced.
//
// Decoding is bounded: the output never grows past the limit the caller gives (the item's
// declared size), memory is bounded by kDecoderMemoryLimit, and each call into a library works on
// at most 64 KiB of input and 32 KiB of output, so a small hostile item cannot fill the disk or
// the memory, nor run long.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "codec/deflate_base.h"
#include "platform/stream.h"

namespace vz {

// The library-backed methods; the values are the zip method numbers.
enum class LibMethod : uint16_t { kBzip2 = 12, kLzma = 14, kZstd = 93, kXz = 95 };

// The method a zip method number names, when it is one of ours here.
std::optional<LibMethod> LibMethodFromZip(uint16_t zip_method);
// The method a user names ("bzip2", "lzma", "xz", "zstd"; letter case ignored).
std::optional<LibMethod> LibMethodFromName(std::string_view name);
// The name used in messages and on the command line: "bzip2", "LZMA", "xz", "zstd".
const char* LibMethodName(LibMethod method);
// The "version needed to extract" an item of the method carries: 46 for bzip2, 63 for the others.
uint16_t LibMethodVersionNeeded(LibMethod method);

// General purpose bit 1 of an LZMA item: its data ends with an end marker. EncodeMethod always
// writes one, so an item it made carries this bit.
inline constexpr uint16_t kFlagLzmaEndMarker = 0x0002;

// Most memory a decoder may ask for (dictionary or window). xz streams and Zstandard frames that
// need more are refused with a MethodError that says so; an LZMA item's dictionary is first cut to
// its declared size, which is all its data can refer to.
inline constexpr int64_t kDecoderMemoryLimit = int64_t{1} << 30;

// What decoding or encoding one item's data produced.
struct MethodResult {
  uint32_t crc32 = 0;  // CRC-32 of the uncompressed bytes
  int64_t compressed_bytes = 0;
  int64_t uncompressed_bytes = 0;
};

struct MethodDecodeOptions {
  // Bytes of method data at the source's position: exactly these are read (the source is left
  // just after them). -1 reads to the end of the source.
  int64_t compressed_size = -1;
  // Most bytes the output may hold: the item's declared uncompressed size. Data that decodes to
  // more raises MethodOverrunError after exactly this many bytes were written. -1: no limit. An
  // LZMA stream without end marker needs it: it ends after exactly this many bytes.
  int64_t output_limit = -1;
  // LZMA only: general purpose bit 1 (kFlagLzmaEndMarker) of the item.
  bool lzma_end_marker = false;
  // Whole percent of the compressed data read, reported when it changes. An exception thrown by
  // the callback (the user's abort) ends decoding and passes through unchanged.
  DeflateHelper::PercentDone on_percent_done;
};

// Decodes one item's data from source into dest and returns its CRC-32 and sizes. Output goes to
// dest in writes of at most 32 KiB (a BitBucketStream takes them), so a test needs no other mode.
// Output shorter than the declared size is not an error here: the caller compares the sizes or
// the CRC-32. Raises MethodError for malformed or truncated data (naming the method and the
// cause; dest then holds what was decoded before), MethodOverrunError for data longer than
// output_limit; stream errors pass unchanged.
MethodResult DecodeMethod(LibMethod method, Stream& source, Stream& dest,
                          const MethodDecodeOptions& options);

// How hard an encoder works. One row per level and method lives in the encoder's table:
//   bzip2 block size 100k x 1 / 5 / 9 / 9; LZMA and xz presets 1 / 3 / 6 / 9;
//   zstd levels 1 / 2 / 3 / 19.
enum class MethodLevel : uint8_t { kSuperFast, kFast, kNormal, kMaximum };

struct MethodEncodeOptions {
  MethodLevel level = MethodLevel::kNormal;
  // Bytes the source is expected to hold, or -1. It drives the progress reports and lets the
  // encoders size their dictionaries and tables to the data; the source is read to its end
  // whatever it says.
  int64_t source_size = -1;
  // Whole percent of source_size read, reported when it changes; exceptions pass through.
  DeflateHelper::PercentDone on_percent_done;
};

// Compresses source, from its position to its end, into dest: a bzip2 stream, the zip form of an
// LZMA stream (always with an end marker: the item needs kFlagLzmaEndMarker), a whole .xz stream
// (CRC-64 check), or one Zstandard frame (with its content checksum). Returns the CRC-32 of the
// bytes read and both sizes. Library failures (out of memory) raise MethodError.
MethodResult EncodeMethod(LibMethod method, Stream& source, Stream& dest,
                          const MethodEncodeOptions& options);

// Malformed or truncated method data, or a library failure. The message names the method and the
// cause, as in "bzip2 data error: the data is damaged".
class MethodError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The data decodes to more bytes than the item declares.
class MethodOverrunError : public MethodError {
 public:
  MethodOverrunError(LibMethod method, int64_t limit);
};

}  // namespace vz
