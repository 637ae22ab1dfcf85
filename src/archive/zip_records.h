// The records of a zip file: local file header, central directory file header, end of central
// directory record, its ZIP64 form and locator, and data descriptor, in the layouts of PKWARE's
// APPNOTE (little-endian). Each reads itself from a stream and writes itself to one. Reading
// untrusted bytes goes through ByteReader; a record with a wrong signature, or cut short by the end
// of the stream, raises ZipInvalidError.
//
// ZIP64: sizes, offsets, counts and disk numbers are held at their full width in memory. A record
// read from a file has its 32-bit (or 16-bit) fields that hold the all-ones mark replaced by the
// values of its ZIP64 extra field (0x0001) or of the ZIP64 end record. A record is written in the
// classic layout unless a value does not fit its field; only then does it get the mark and the
// ZIP64 extra field (or end record), as other tools do, so small archives keep their classic bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace vz {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kSpannedSetSignature = 0x08074B50;
inline constexpr uint32_t kSpannedOnePartSignature = 0x30304B50;
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

inline constexpr int kLocalHeaderSize = 30;
inline constexpr int kCentralHeaderSize = 46;
inline constexpr int kEndRecordSize = 22;
inline constexpr int kDataDescriptorSize = 12;
inline constexpr int kZip64EndRecordSize = 56;
inline constexpr int kZip64LocatorSize = 20;

// The ZIP64 extra field, and the version needed to extract an item that uses ZIP64 (4.5).
inline constexpr uint16_t kZip64ExtraId = 0x0001;
inline constexpr uint16_t kZip64VersionNeeded = 45;
// Largest size, offset or count taken from a ZIP64 field. Larger values are damage (no file holds
// 4 EiB), and refusing them keeps sums of a few sizes and offsets within int64_t.
inline constexpr uint64_t kMaxZip64Value = uint64_t{1} << 62;
// The values that do not fit the classic fields, which then hold the all-ones mark.
inline constexpr uint64_t kMax32 = 0xFFFFFFFF;
inline constexpr uint64_t kMax16 = 0xFFFF;

// ---- Extra fields: a sequence of (id, size, data), little-endian ----
// The data of the first field with this id, when there is one. A field whose size runs past the
// end, and whatever follows it, is not read.
std::optional<std::span<const uint8_t>> FindExtraField(std::span<const uint8_t> extra, uint16_t id);
// The extra field without the fields of the given ids (a damaged tail is dropped too).
std::vector<uint8_t> WithoutExtraFields(std::span<const uint8_t> extra,
                                        std::initializer_list<uint16_t> ids);
// Appends one field; data longer than 65,535 bytes is a programming error.
void AppendExtraField(std::vector<uint8_t>& extra, uint16_t id, std::span<const uint8_t> data);

// The bytes of a header's name, extra field or comment: one pointer wide where a vector takes
// three, with the length kept in front of the bytes and nothing allocated when empty. An archive
// of a million items holds three of these per item.
class RecordBytes {
 public:
  RecordBytes() = default;
  RecordBytes(std::span<const uint8_t> bytes) { assign(bytes.begin(), bytes.end()); }
  RecordBytes(const std::vector<uint8_t>& bytes) : RecordBytes(std::span(bytes)) {}
  RecordBytes(const RecordBytes& other) : RecordBytes(other.Span()) {}
  RecordBytes(RecordBytes&& other) noexcept = default;
  RecordBytes& operator=(const RecordBytes& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  RecordBytes& operator=(RecordBytes&& other) noexcept = default;

  size_t size() const;
  bool empty() const { return block_ == nullptr; }
  const uint8_t* data() const { return block_ ? block_.get() + kLengthBytes : nullptr; }
  uint8_t* data() { return block_ ? block_.get() + kLengthBytes : nullptr; }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + size(); }
  uint8_t* begin() { return data(); }
  uint8_t* end() { return data() + size(); }
  uint8_t operator[](size_t index) const { return data()[index]; }
  std::span<const uint8_t> Span() const { return {data(), size()}; }
  std::vector<uint8_t> ToVector() const { return {begin(), end()}; }

  // n bytes of value; their contents are then written through data().
  void assign(size_t n, uint8_t value);
  template <typename It>
  void assign(It first, It last) {
    const auto n = static_cast<size_t>(std::distance(first, last));
    assign(n, 0);
    std::copy(first, last, data());
  }
  void clear() { block_.reset(); }

  friend bool operator==(const RecordBytes& a, const RecordBytes& b) {
    return std::ranges::equal(a.Span(), b.Span());
  }

 private:
  static constexpr size_t kLengthBytes = 4;
  std::unique_ptr<uint8_t[]> block_;
};

void AppendExtraField(RecordBytes& extra, uint16_t id, std::span<const uint8_t> data);

// General purpose flag bits the engine interprets.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagOption1 = 0x0002;  // implode: 8K dictionary; deflate: option bit
inline constexpr uint16_t kFlagOption2 = 0x0004;  // implode: three trees; deflate: option bit
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8Names = 0x0800;

// Fields shared by the local and the central file header. The order keeps the central header of
// an item, as it is held for every item of an archive, free of padding.
struct ZipFileHeader {
  uint64_t compressed_size = 0;  // full width; see the file comment
  uint64_t uncompressed_size = 0;
  RecordBytes name;
  RecordBytes extra;
  uint32_t crc32 = 0;
  uint16_t version_needed = 0;
  uint16_t flag = 0;
  uint16_t method = 0;
  uint16_t time = 0;
  uint16_t date = 0;

  bool Encrypted() const { return (flag & kFlagEncrypted) != 0; }
  // Stores the method code masked to seven bits.
  void SetMethod(uint16_t code) { method = code & 0x7F; }
  // The name as a string: its bytes up to the first zero byte.
  std::string NameString() const;
  // (1 - C / U) x 100 with C the compressed size less the 12-byte encryption header when
  // encrypted (less salt, verifier and authentication code for AES); 0 when U is 0.
  double CompressionRatio() const;
  // Implode only: dictionary size in KiB units of 4K (1 or 2), and Shannon-Fano tree count
  // (2 or 3); 0 for other methods.
  int DictionarySize() const;
  int ShannonFanoTreeCount() const;
};

struct ZipLocalFileHeader : ZipFileHeader {
  // Write the ZIP64 field with both sizes even when they fit: room kept for sizes that are not
  // known yet when the header is first written.
  bool reserve_zip64 = false;

  // Reads the fixed part, name and extra field at the stream's position.
  void Read(Stream& stream);
  // Writes the header; with a ZIP64 field (both sizes, as the format asks of a local header) when
  // reserve_zip64 is set or a size does not fit.
  void Write(Stream& stream) const;
  // Whether Write gives the header a ZIP64 field (its data descriptor then has 8-byte sizes).
  bool WritesZip64() const {
    return reserve_zip64 || compressed_size >= kMax32 || uncompressed_size >= kMax32;
  }
};

struct ZipDirectoryFileHeader : ZipFileHeader {
  uint16_t version_made = 0;
  uint16_t disk_number_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint64_t local_header_offset = 0;  // full width; see the file comment
  RecordBytes comment;

  uint8_t HostSystem() const { return static_cast<uint8_t>(version_made >> 8); }
  void Read(Stream& stream);
  // Writes the record; with a ZIP64 field for the sizes and offset that do not fit.
  void Write(Stream& stream) const;
  // Whether Write gives the record a ZIP64 field.
  bool WritesZip64() const {
    return compressed_size >= kMax32 || uncompressed_size >= kMax32 ||
           local_header_offset >= kMax32;
  }
};

// The end record. Its values are held at full width: Read takes the classic record as it is (marks
// included), ReadZip64 then replaces them by those of the ZIP64 end record.
struct ZipDirectoryFileFooter {
  uint32_t signature = 0;
  uint32_t this_disk = 0;
  uint32_t directory_disk = 0;
  uint64_t entries_this_disk = 0;
  uint64_t total_entries = 0;
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;
  std::vector<uint8_t> comment;
  bool zip64 = false;  // the values came from a ZIP64 end record

  bool Valid() const { return signature == kEndRecordSignature; }
  // Whether a field of the classic record holds the mark that stands for a ZIP64 end record.
  bool PointsToZip64() const;
  // Whether some value does not fit the classic record, so that a save needs the ZIP64 one.
  bool NeedsZip64() const;
  void Read(Stream& stream);
  // Reads the ZIP64 end record at the stream's position and takes its values.
  void ReadZip64(Stream& stream);
  // The classic record, with the mark in each field whose value does not fit.
  void Write(Stream& stream) const;
  // The ZIP64 end record followed by its locator, for a record written at record_offset on part
  // record_disk of a set of total_disks parts.
  void WriteZip64(Stream& stream, uint64_t record_offset, uint32_t record_disk,
                  uint32_t total_disks) const;
  // Sets the comment, cut to the 65,535 bytes its length field can say.
  void SetComment(const std::string& text);
  std::string CommentString() const { return {comment.begin(), comment.end()}; }
};

// Where a ZIP64 end record is: read from the 20 bytes before the classic end record.
struct Zip64Locator {
  uint32_t disk = 0;
  uint64_t offset = 0;
  uint32_t total_disks = 0;
  // The locator in bytes (20 of them), or nothing when they are not one.
  static std::optional<Zip64Locator> Parse(std::span<const uint8_t> bytes);
};

// crc-32, compressed size, uncompressed size; written without a signature, never read. The sizes
// take 8 bytes each behind a local header with a ZIP64 field.
struct ZipDataDescriptor {
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  bool zip64 = false;
  void Write(Stream& stream) const;
};

}  // namespace vz
