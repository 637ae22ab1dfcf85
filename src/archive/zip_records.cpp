#include "archive/zip_records.h"

#include <algorithm>
#include <cstring>

#include "archive/byte_order.h"
#include "codec/aes_crypt.h"
#include "codec/crypt_streams.h"
#include "errors/errors.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Reads exactly n bytes or raises ZipInvalidError: a record cut short by the end of the stream is
// not a record.
std::vector<uint8_t> ReadExactly(Stream& stream, size_t n) {
  std::vector<uint8_t> bytes(n);
  if (n > 0 && stream.Read(bytes) != static_cast<int64_t>(n)) throw ZipInvalidError();
  return bytes;
}

RecordBytes ReadRecordBytes(Stream& stream, size_t n) {
  RecordBytes bytes;
  bytes.assign(n, 0);
  if (n > 0 && stream.Read(std::span(bytes.data(), n)) != static_cast<int64_t>(n)) {
    throw ZipInvalidError();
  }
  return bytes;
}

void WriteBytes(Stream& stream, const ByteWriter& w) {
  stream.WriteBuffer(w.Data());
}

uint32_t Field32(uint64_t value) {
  return value >= kMax32 ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(value);
}

uint16_t Field16(uint64_t value) {
  return value >= kMax16 ? static_cast<uint16_t>(kMax16) : static_cast<uint16_t>(value);
}

uint64_t CheckedZip64Value(uint64_t value) {
  if (value > kMaxZip64Value) {
    throw ZipInvalidError("Invalid file - a ZIP64 field gives an impossible size or offset",
                          ZipInvalidError::kCode);
  }
  return value;
}

// Replaces the fields that hold the mark by the values of the ZIP64 extra field, which holds them
// in this order, each only when its field is marked: uncompressed size, compressed size, offset of
// the local header, disk number (4 bytes). A record without the field keeps the marks as its
// values (an old tool's file of exactly 4 GiB - 1 bytes); a field too short for the marked values
// is damage.
void ResolveZip64(ZipFileHeader& h, uint64_t* offset, uint16_t* disk) {
  const bool sizes = h.uncompressed_size == kMax32 || h.compressed_size == kMax32;
  const bool marked =
      sizes || (offset != nullptr && *offset == kMax32) || (disk != nullptr && *disk == kMax16);
  if (!marked) return;
  const auto field = FindExtraField(h.extra, kZip64ExtraId);
  if (!field) return;
  ByteReader r(*field);
  auto take = [&](uint64_t& value) {
    if (value != kMax32) return;
    value = r.U64();
    if (r.Short()) {
      throw ZipInvalidError(
          "Invalid file - a ZIP64 extra field is too short for the values it stands for",
          ZipInvalidError::kCode);
    }
    CheckedZip64Value(value);
  };
  take(h.uncompressed_size);
  take(h.compressed_size);
  if (offset != nullptr) take(*offset);
  if (disk != nullptr && *disk == kMax16) {
    const uint32_t value = r.U32();
    if (r.Short() || value >= kMax16) {
      throw ZipInvalidError("Invalid file - a ZIP64 extra field gives an impossible disk number",
                            ZipInvalidError::kCode);
    }
    *disk = static_cast<uint16_t>(value);
  }
}

// The extra field to write: the record's own without any ZIP64 field (one that another tool wrote
// for values that fit would stand for nothing now), and a new one holding values, when there are
// any. An extra field without a ZIP64 field is written as it is.
std::vector<uint8_t> ExtraWithZip64(const RecordBytes& extra, std::span<const uint64_t> values) {
  if (values.empty() && !FindExtraField(extra.Span(), kZip64ExtraId)) return extra.ToVector();
  std::vector<uint8_t> out = WithoutExtraFields(extra, {kZip64ExtraId});
  if (values.empty()) return out;
  ByteWriter w;
  for (const uint64_t v : values) w.U64(v);
  AppendExtraField(out, kZip64ExtraId, w.Data());
  return out;
}

// The fields both file headers share, from version needed to the extra field's length.
void ReadCommonFields(ByteReader& r, ZipFileHeader& h) {
  h.version_needed = r.U16();
  h.flag = r.U16();
  h.method = r.U16();
  h.time = r.U16();
  h.date = r.U16();
  h.crc32 = r.U32();
  h.compressed_size = r.U32();
  h.uncompressed_size = r.U32();
}

// The sizes go as given: the caller has put the mark where the ZIP64 field holds the value.
void WriteCommonFields(ByteWriter& w, const ZipFileHeader& h, uint32_t compressed,
                       uint32_t uncompressed, size_t extra_length) {
  w.U16(h.version_needed);
  w.U16(h.flag);
  w.U16(h.method);
  w.U16(h.time);
  w.U16(h.date);
  w.U32(h.crc32);
  w.U32(compressed);
  w.U32(uncompressed);
  w.U16(static_cast<uint16_t>(h.name.size()));
  w.U16(static_cast<uint16_t>(extra_length));
}

}  // namespace

std::optional<std::span<const uint8_t>> FindExtraField(std::span<const uint8_t> extra,
                                                       uint16_t id) {
  ByteReader r(extra);
  while (r.Remaining() >= 4) {
    const uint16_t field_id = r.U16();
    const uint16_t size = r.U16();
    const auto data = r.Bytes(size);
    if (r.Short()) break;
    if (field_id == id) return data;
  }
  return std::nullopt;
}

std::vector<uint8_t> WithoutExtraFields(std::span<const uint8_t> extra,
                                        std::initializer_list<uint16_t> ids) {
  std::vector<uint8_t> out;
  ByteReader r(extra);
  while (r.Remaining() >= 4) {
    const size_t start = r.Position();
    const uint16_t field_id = r.U16();
    const uint16_t size = r.U16();
    r.Skip(size);
    if (r.Short()) break;
    if (std::find(ids.begin(), ids.end(), field_id) != ids.end()) continue;
    out.insert(out.end(), extra.begin() + static_cast<std::ptrdiff_t>(start),
               extra.begin() + static_cast<std::ptrdiff_t>(r.Position()));
  }
  // Fewer than four bytes left over are padding some tools write; they stay.
  if (!r.Short() && r.Remaining() > 0 && r.Remaining() < 4) {
    out.insert(out.end(), extra.end() - static_cast<std::ptrdiff_t>(r.Remaining()), extra.end());
  }
  return out;
}

void AppendExtraField(std::vector<uint8_t>& extra, uint16_t id, std::span<const uint8_t> data) {
  Check(data.size() <= kMax16, "AppendExtraField: more than 65,535 bytes");
  ByteWriter w;
  w.U16(id);
  w.U16(static_cast<uint16_t>(data.size()));
  w.Bytes(data);
  extra.insert(extra.end(), w.Data().begin(), w.Data().end());
}

void AppendExtraField(RecordBytes& extra, uint16_t id, std::span<const uint8_t> data) {
  std::vector<uint8_t> bytes = extra.ToVector();
  AppendExtraField(bytes, id, data);
  extra = bytes;
}

size_t RecordBytes::size() const {
  if (block_ == nullptr) return 0;
  uint32_t n = 0;
  std::memcpy(&n, block_.get(), kLengthBytes);
  return n;
}

void RecordBytes::assign(size_t n, uint8_t value) {
  if (n == 0) {
    block_.reset();
    return;
  }
  Check(n <= UINT32_MAX, "RecordBytes: more than 4 GiB");
  block_ = std::make_unique_for_overwrite<uint8_t[]>(kLengthBytes + n);
  const auto length = static_cast<uint32_t>(n);
  std::memcpy(block_.get(), &length, kLengthBytes);
  std::memset(block_.get() + kLengthBytes, value, n);
}

std::string ZipFileHeader::NameString() const {
  const auto end = std::find(name.begin(), name.end(), uint8_t{0});
  return {name.begin(), end};
}

double ZipFileHeader::CompressionRatio() const {
  if (uncompressed_size == 0) return 0;
  auto c = static_cast<double>(compressed_size);
  if (Encrypted()) c -= kZipCryptHeaderSize;
  // An AES item carries its salt, verifier and authentication code instead.
  if (method == kAesMethod) {
    if (const auto field = FindExtraField(extra, kAesExtraFieldId)) {
      try {
        c -= AesOverhead(ParseAesExtraField(*field).strength) - kZipCryptHeaderSize;
      } catch (const AesError&) {
      }
    }
  }
  return (1.0 - c / static_cast<double>(uncompressed_size)) * 100.0;
}

int ZipFileHeader::DictionarySize() const {
  if (method != 6) return 0;
  return (flag & kFlagOption1) ? 2 : 1;
}

int ZipFileHeader::ShannonFanoTreeCount() const {
  if (method != 6) return 0;
  return (flag & kFlagOption2) ? 3 : 2;
}

void ZipLocalFileHeader::Read(Stream& stream) {
  const auto fixed = ReadExactly(stream, kLocalHeaderSize);
  ByteReader r(fixed);
  if (r.U32() != kLocalHeaderSignature) throw ZipInvalidError();
  ReadCommonFields(r, *this);
  const uint16_t name_length = r.U16();
  const uint16_t extra_length = r.U16();
  name = ReadRecordBytes(stream, name_length);
  extra = ReadRecordBytes(stream, extra_length);
  ResolveZip64(*this, nullptr, nullptr);
}

void ZipLocalFileHeader::Write(Stream& stream) const {
  const bool zip64 = WritesZip64();
  const uint64_t sizes[] = {uncompressed_size, compressed_size};
  const auto out_extra = ExtraWithZip64(extra, zip64 ? std::span(sizes) : std::span(sizes, 0));
  Check(out_extra.size() <= kMax16, "ZipLocalFileHeader: extra field too long");
  ByteWriter w;
  w.U32(kLocalHeaderSignature);
  WriteCommonFields(w, *this, zip64 ? static_cast<uint32_t>(kMax32) : Field32(compressed_size),
                    zip64 ? static_cast<uint32_t>(kMax32) : Field32(uncompressed_size),
                    out_extra.size());
  w.Bytes(name);
  w.Bytes(out_extra);
  WriteBytes(stream, w);
}

void ZipDirectoryFileHeader::Read(Stream& stream) {
  const auto fixed = ReadExactly(stream, kCentralHeaderSize);
  ByteReader r(fixed);
  if (r.U32() != kCentralHeaderSignature) throw ZipInvalidError();
  version_made = r.U16();
  ReadCommonFields(r, *this);
  const uint16_t name_length = r.U16();
  const uint16_t extra_length = r.U16();
  const uint16_t comment_length = r.U16();
  disk_number_start = r.U16();
  internal_attributes = r.U16();
  external_attributes = r.U32();
  local_header_offset = r.U32();
  name = ReadRecordBytes(stream, name_length);
  extra = ReadRecordBytes(stream, extra_length);
  comment = ReadRecordBytes(stream, comment_length);
  ResolveZip64(*this, &local_header_offset, &disk_number_start);
}

void ZipDirectoryFileHeader::Write(Stream& stream) const {
  // Only the values that do not fit go into the ZIP64 field, in the format's order.
  uint64_t values[3];
  size_t n = 0;
  for (const uint64_t v : {uncompressed_size, compressed_size, local_header_offset}) {
    if (v >= kMax32) values[n++] = v;
  }
  const auto out_extra = ExtraWithZip64(extra, std::span(values, n));
  Check(out_extra.size() <= kMax16, "ZipDirectoryFileHeader: extra field too long");
  ByteWriter w;
  w.U32(kCentralHeaderSignature);
  w.U16(version_made);
  WriteCommonFields(w, *this, Field32(compressed_size), Field32(uncompressed_size),
                    out_extra.size());
  w.U16(static_cast<uint16_t>(comment.size()));
  w.U16(disk_number_start);
  w.U16(internal_attributes);
  w.U32(external_attributes);
  w.U32(Field32(local_header_offset));
  w.Bytes(name);
  w.Bytes(out_extra);
  w.Bytes(comment);
  WriteBytes(stream, w);
}

void ZipDirectoryFileFooter::Read(Stream& stream) {
  const auto fixed = ReadExactly(stream, kEndRecordSize);
  ByteReader r(fixed);
  signature = r.U32();
  if (!Valid()) throw ZipInvalidError();
  this_disk = r.U16();
  directory_disk = r.U16();
  entries_this_disk = r.U16();
  total_entries = r.U16();
  directory_size = r.U32();
  directory_offset = r.U32();
  const uint16_t comment_length = r.U16();
  // A comment cut short by the end of the file keeps what is there: the record itself is whole.
  comment.assign(comment_length, 0);
  const int64_t got = comment_length ? stream.Read(comment) : 0;
  comment.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
}

bool ZipDirectoryFileFooter::PointsToZip64() const {
  return this_disk == kMax16 || directory_disk == kMax16 || entries_this_disk == kMax16 ||
         total_entries == kMax16 || directory_size == kMax32 || directory_offset == kMax32;
}

bool ZipDirectoryFileFooter::NeedsZip64() const {
  return this_disk >= kMax16 || directory_disk >= kMax16 || entries_this_disk >= kMax16 ||
         total_entries >= kMax16 || directory_size >= kMax32 || directory_offset >= kMax32;
}

void ZipDirectoryFileFooter::ReadZip64(Stream& stream) {
  const auto fixed = ReadExactly(stream, kZip64EndRecordSize);
  ByteReader r(fixed);
  if (r.U32() != kZip64EndRecordSignature) throw ZipInvalidError();
  r.Skip(8 + 2 + 2);  // size of the rest, versions made by and needed; extensible data unread
  const uint32_t disk = r.U32();
  const uint32_t start_disk = r.U32();
  const uint64_t here = r.U64();
  const uint64_t total = r.U64();
  const uint64_t size = r.U64();
  const uint64_t offset = r.U64();
  if (disk >= kMax16 || start_disk >= kMax16) {
    throw ZipInvalidError("Invalid file - the ZIP64 end record gives an impossible disk number",
                          ZipInvalidError::kCode);
  }
  this_disk = disk;
  directory_disk = start_disk;
  entries_this_disk = CheckedZip64Value(here);
  total_entries = CheckedZip64Value(total);
  directory_size = CheckedZip64Value(size);
  directory_offset = CheckedZip64Value(offset);
  zip64 = true;
}

void ZipDirectoryFileFooter::Write(Stream& stream) const {
  ByteWriter w;
  w.U32(kEndRecordSignature);
  w.U16(Field16(this_disk));
  w.U16(Field16(directory_disk));
  w.U16(Field16(entries_this_disk));
  w.U16(Field16(total_entries));
  w.U32(Field32(directory_size));
  w.U32(Field32(directory_offset));
  w.U16(static_cast<uint16_t>(comment.size()));
  w.Bytes(comment);
  WriteBytes(stream, w);
}

void ZipDirectoryFileFooter::WriteZip64(Stream& stream, uint64_t record_offset,
                                        uint32_t record_disk, uint32_t total_disks) const {
  ByteWriter w;
  w.U32(kZip64EndRecordSignature);
  w.U64(kZip64EndRecordSize - 12);
  w.U16(kZip64VersionNeeded);
  w.U16(kZip64VersionNeeded);
  w.U32(this_disk);
  w.U32(directory_disk);
  w.U64(entries_this_disk);
  w.U64(total_entries);
  w.U64(directory_size);
  w.U64(directory_offset);
  w.U32(kZip64LocatorSignature);
  w.U32(record_disk);
  w.U64(record_offset);
  w.U32(total_disks);
  WriteBytes(stream, w);
}

std::optional<Zip64Locator> Zip64Locator::Parse(std::span<const uint8_t> bytes) {
  ByteReader r(bytes);
  if (r.U32() != kZip64LocatorSignature) return std::nullopt;
  Zip64Locator locator;
  locator.disk = r.U32();
  locator.offset = r.U64();
  locator.total_disks = r.U32();
  if (r.Short()) return std::nullopt;
  return locator;
}

void ZipDirectoryFileFooter::SetComment(const std::string& text) {
  const size_t n = std::min<size_t>(text.size(), 0xFFFF);
  comment.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

void ZipDataDescriptor::Write(Stream& stream) const {
  ByteWriter w;
  w.U32(crc32);
  if (zip64) {
    w.U64(compressed_size);
    w.U64(uncompressed_size);
  } else {
    w.U32(static_cast<uint32_t>(compressed_size));
    w.U32(static_cast<uint32_t>(uncompressed_size));
  }
  WriteBytes(stream, w);
}

}  // namespace vz
