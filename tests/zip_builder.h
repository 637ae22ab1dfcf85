// Builds small zip archives byte by byte for tests, including damaged and hostile ones that no
// zip tool would write. Entries are stored (method 0) unless the test says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/deflate_base.h"

namespace vz::testing {

struct ZipEntry {
  std::string name;
  std::vector<uint8_t> data;  // the stored bytes, as they go into the archive
  uint16_t method = 0;
  uint16_t flag = 0;
  uint16_t version_made = 20;  // host 0 (DOS), version 2.0
  uint16_t version_needed = 20;
  uint16_t time = 0x6000;  // 12:00:00
  uint16_t date = 0x5A21;  // 2025-01-01
  uint32_t external_attributes = 0x20;
  uint16_t internal_attributes = 0;
  std::string comment;             // the item's comment in its central record
  int64_t uncompressed_size = -1;  // -1: data.size()
  int64_t crc = -1;                // -1: the CRC-32 of data
  std::vector<uint8_t> local_extra;
  std::vector<uint8_t> central_extra;
  int64_t local_offset_override = -1;  // -1: where the local header was written
  std::string local_name;              // the local header's name when it differs from name
  int central_method = -1;             // the central record's method when it differs
};

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct ZipBuilder {
  std::vector<ZipEntry> entries;
  std::string comment;
  std::vector<uint8_t> prefix;           // a stub before the first local header
  std::vector<uint8_t> junk_before_end;  // bytes between the central directory and the end record
  std::vector<uint8_t> trailing;         // bytes after the end record's comment
  int64_t comment_length_override = -1;
  int64_t directory_size_delta = 0;  // added to the end record's central-directory size

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> out = prefix;
    std::vector<uint8_t> central;
    for (const ZipEntry& e : entries) {
      const uint32_t crc = e.crc >= 0 ? static_cast<uint32_t>(e.crc) : Crc32Of(e.data);
      const auto usize = static_cast<uint32_t>(
          e.uncompressed_size >= 0 ? e.uncompressed_size : static_cast<int64_t>(e.data.size()));
      const auto offset =
          static_cast<uint32_t>(e.local_offset_override >= 0 ? e.local_offset_override
                                                             : static_cast<int64_t>(out.size()));
      Put32(out, 0x04034B50);
      Put16(out, e.version_needed);
      Put16(out, e.flag);
      Put16(out, e.method);
      Put16(out, e.time);
      Put16(out, e.date);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(e.data.size()));
      Put32(out, usize);
      const std::string& local_name = e.local_name.empty() ? e.name : e.local_name;
      Put16(out, static_cast<uint32_t>(local_name.size()));
      Put16(out, static_cast<uint32_t>(e.local_extra.size()));
      out.insert(out.end(), local_name.begin(), local_name.end());
      out.insert(out.end(), e.local_extra.begin(), e.local_extra.end());
      out.insert(out.end(), e.data.begin(), e.data.end());

      Put32(central, 0x02014B50);
      Put16(central, e.version_made);
      Put16(central, e.version_needed);
      Put16(central, e.flag);
      Put16(central, static_cast<uint32_t>(e.central_method >= 0 ? e.central_method : e.method));
      Put16(central, e.time);
      Put16(central, e.date);
      Put32(central, crc);
      Put32(central, static_cast<uint32_t>(e.data.size()));
      Put32(central, usize);
      Put16(central, static_cast<uint32_t>(e.name.size()));
      Put16(central, static_cast<uint32_t>(e.central_extra.size()));
      Put16(central, static_cast<uint32_t>(e.comment.size()));
      Put16(central, 0);
      Put16(central, e.internal_attributes);
      Put32(central, e.external_attributes);
      Put32(central, offset);
      central.insert(central.end(), e.name.begin(), e.name.end());
      central.insert(central.end(), e.central_extra.begin(), e.central_extra.end());
      central.insert(central.end(), e.comment.begin(), e.comment.end());
    }
    const auto directory_offset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    out.insert(out.end(), junk_before_end.begin(), junk_before_end.end());
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(static_cast<int64_t>(central.size()) + directory_size_delta));
    Put32(out, directory_offset);
    Put16(out, static_cast<uint32_t>(comment_length_override >= 0
                                         ? comment_length_override
                                         : static_cast<int64_t>(comment.size())));
    out.insert(out.end(), comment.begin(), comment.end());
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
  }
};

inline std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

}  // namespace vz::testing
