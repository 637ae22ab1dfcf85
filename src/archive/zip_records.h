// The records of a zip file: local file header, central directory file header, end of central
// directory record and data descriptor, in the layouts of PKWARE's APPNOTE (little-endian, no
// ZIP64). Each reads itself from a stream and writes itself to one. Reading untrusted bytes goes
// through ByteReader; a record with a wrong signature, or cut short by the end of the stream,
// raises ZipInvalidError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace vz {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kSpannedSetSignature = 0x08074B50;
inline constexpr uint32_t kSpannedOnePartSignature = 0x30304B50;

inline constexpr int kLocalHeaderSize = 30;
inline constexpr int kCentralHeaderSize = 46;
inline constexpr int kEndRecordSize = 22;
inline constexpr int kDataDescriptorSize = 12;

// General purpose flag bits the engine interprets.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagOption1 = 0x0002;  // implode: 8K dictionary; deflate: option bit
inline constexpr uint16_t kFlagOption2 = 0x0004;  // implode: three trees; deflate: option bit
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8Names = 0x0800;

// Fields shared by the local and the central file header.
struct ZipFileHeader {
  uint32_t expected_signature = 0;
  uint32_t signature = 0;
  uint16_t version_needed = 0;
  uint16_t flag = 0;
  uint16_t method = 0;
  uint16_t time = 0;
  uint16_t date = 0;
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  std::vector<uint8_t> name;
  std::vector<uint8_t> extra;

  bool Valid() const { return signature == expected_signature; }
  bool Encrypted() const { return (flag & kFlagEncrypted) != 0; }
  // Stores the method code masked to seven bits.
  void SetMethod(uint16_t code) { method = code & 0x7F; }
  // The name as a string: its bytes up to the first zero byte.
  std::string NameString() const;
  // (1 - C / U) x 100 with C the compressed size less the 12-byte encryption header when
  // encrypted; 0 when U is 0.
  double CompressionRatio() const;
  // Implode only: dictionary size in KiB units of 4K (1 or 2), and Shannon-Fano tree count
  // (2 or 3); 0 for other methods.
  int DictionarySize() const;
  int ShannonFanoTreeCount() const;
};

struct ZipLocalFileHeader : ZipFileHeader {
  ZipLocalFileHeader() { expected_signature = kLocalHeaderSignature; }
  // Reads the fixed part, name and extra field at the stream's position.
  void Read(Stream& stream);
  void Write(Stream& stream) const;
  int64_t Size() const {
    return kLocalHeaderSize + static_cast<int64_t>(name.size() + extra.size());
  }
};

struct ZipDirectoryFileHeader : ZipFileHeader {
  ZipDirectoryFileHeader() { expected_signature = kCentralHeaderSignature; }
  uint16_t version_made = 0;
  uint16_t disk_number_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint32_t local_header_offset = 0;
  std::vector<uint8_t> comment;

  uint8_t HostSystem() const { return static_cast<uint8_t>(version_made >> 8); }
  void Read(Stream& stream);
  void Write(Stream& stream) const;
  int64_t Size() const {
    return kCentralHeaderSize + static_cast<int64_t>(name.size() + extra.size() + comment.size());
  }
};

struct ZipDirectoryFileFooter {
  uint32_t signature = 0;
  uint16_t this_disk = 0;
  uint16_t directory_disk = 0;
  uint16_t entries_this_disk = 0;
  uint16_t total_entries = 0;
  uint32_t directory_size = 0;
  uint32_t directory_offset = 0;
  std::vector<uint8_t> comment;

  bool Valid() const { return signature == kEndRecordSignature; }
  void Read(Stream& stream);
  void Write(Stream& stream) const;
  // Sets the comment, cut to the 65,535 bytes its length field can say.
  void SetComment(const std::string& text);
  std::string CommentString() const { return {comment.begin(), comment.end()}; }
};

// crc-32, compressed size, uncompressed size; written without a signature, never read.
struct ZipDataDescriptor {
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  void Write(Stream& stream) const;
};

}  // namespace vz
