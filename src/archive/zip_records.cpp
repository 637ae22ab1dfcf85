#include "archive/zip_records.h"

#include <algorithm>
#include <cstring>

#include "archive/byte_order.h"
#include "errors/errors.h"

namespace vz {

namespace {

// Reads exactly n bytes or raises ZipInvalidError: a record cut short by the end of the stream is
// not a record.
std::vector<uint8_t> ReadExactly(Stream& stream, size_t n) {
  std::vector<uint8_t> bytes(n);
  if (n > 0 && stream.Read(bytes) != static_cast<int64_t>(n)) throw ZipInvalidError();
  return bytes;
}

void WriteBytes(Stream& stream, const ByteWriter& w) {
  stream.WriteBuffer(w.Data());
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

void WriteCommonFields(ByteWriter& w, const ZipFileHeader& h) {
  w.U16(h.version_needed);
  w.U16(h.flag);
  w.U16(h.method);
  w.U16(h.time);
  w.U16(h.date);
  w.U32(h.crc32);
  w.U32(h.compressed_size);
  w.U32(h.uncompressed_size);
  w.U16(static_cast<uint16_t>(h.name.size()));
  w.U16(static_cast<uint16_t>(h.extra.size()));
}

}  // namespace

std::string ZipFileHeader::NameString() const {
  const auto end = std::find(name.begin(), name.end(), uint8_t{0});
  return {name.begin(), end};
}

double ZipFileHeader::CompressionRatio() const {
  if (uncompressed_size == 0) return 0;
  double c = compressed_size;
  if (Encrypted()) c -= 12;
  return (1.0 - c / uncompressed_size) * 100.0;
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
  signature = r.U32();
  if (!Valid()) throw ZipInvalidError();
  ReadCommonFields(r, *this);
  const uint16_t name_length = r.U16();
  const uint16_t extra_length = r.U16();
  name = ReadExactly(stream, name_length);
  extra = ReadExactly(stream, extra_length);
}

void ZipLocalFileHeader::Write(Stream& stream) const {
  ByteWriter w;
  w.U32(expected_signature);
  WriteCommonFields(w, *this);
  w.Bytes(name);
  w.Bytes(extra);
  WriteBytes(stream, w);
}

void ZipDirectoryFileHeader::Read(Stream& stream) {
  const auto fixed = ReadExactly(stream, kCentralHeaderSize);
  ByteReader r(fixed);
  signature = r.U32();
  if (!Valid()) throw ZipInvalidError();
  version_made = r.U16();
  ReadCommonFields(r, *this);
  const uint16_t name_length = r.U16();
  const uint16_t extra_length = r.U16();
  const uint16_t comment_length = r.U16();
  disk_number_start = r.U16();
  internal_attributes = r.U16();
  external_attributes = r.U32();
  local_header_offset = r.U32();
  name = ReadExactly(stream, name_length);
  extra = ReadExactly(stream, extra_length);
  comment = ReadExactly(stream, comment_length);
}

void ZipDirectoryFileHeader::Write(Stream& stream) const {
  ByteWriter w;
  w.U32(expected_signature);
  w.U16(version_made);
  WriteCommonFields(w, *this);
  w.U16(static_cast<uint16_t>(comment.size()));
  w.U16(disk_number_start);
  w.U16(internal_attributes);
  w.U32(external_attributes);
  w.U32(local_header_offset);
  w.Bytes(name);
  w.Bytes(extra);
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

void ZipDirectoryFileFooter::Write(Stream& stream) const {
  ByteWriter w;
  w.U32(kEndRecordSignature);
  w.U16(this_disk);
  w.U16(directory_disk);
  w.U16(entries_this_disk);
  w.U16(total_entries);
  w.U32(directory_size);
  w.U32(directory_offset);
  w.U16(static_cast<uint16_t>(comment.size()));
  w.Bytes(comment);
  WriteBytes(stream, w);
}

void ZipDirectoryFileFooter::SetComment(const std::string& text) {
  const size_t n = std::min<size_t>(text.size(), 0xFFFF);
  comment.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

void ZipDataDescriptor::Write(Stream& stream) const {
  ByteWriter w;
  w.U32(crc32);
  w.U32(compressed_size);
  w.U32(uncompressed_size);
  WriteBytes(stream, w);
}

}  // namespace vz
