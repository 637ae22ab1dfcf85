// Helpers for tests that use other zip tools as oracles: run a command, and find the first item of
// a zip file they made (through the central directory, so data descriptors do not matter).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace vz::testing {

inline int RunQuiet(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

struct ZipItemData {
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dos_time = 0;
  uint32_t crc = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  size_t data_offset = 0;  // first byte after the local header (the encryption header if any)
  std::vector<uint8_t> central_extra;
};

inline uint32_t Le16(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | (d[at + 1] << 8);
}
inline uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return Le16(d, at) | (Le16(d, at + 2) << 16);
}

// The first item of the central directory. Fails the test on a malformed file.
inline ZipItemData FirstZipItem(const std::vector<uint8_t>& zip) {
  ZipItemData item;
  if (zip.size() < 22) {
    ADD_FAILURE() << "zip too small";
    return item;
  }
  size_t eocd = zip.size() - 22;
  while (eocd > 0 && Le32(zip, eocd) != 0x06054B50u) --eocd;
  const size_t cd = Le32(zip, eocd + 16);
  if (Le32(zip, eocd) != 0x06054B50u || cd + 46 > zip.size() || Le32(zip, cd) != 0x02014B50u) {
    ADD_FAILURE() << "no central directory";
    return item;
  }
  item.flags = static_cast<uint16_t>(Le16(zip, cd + 8));
  item.method = static_cast<uint16_t>(Le16(zip, cd + 10));
  item.dos_time = static_cast<uint16_t>(Le16(zip, cd + 12));
  item.crc = Le32(zip, cd + 16);
  item.compressed_size = Le32(zip, cd + 20);
  item.uncompressed_size = Le32(zip, cd + 24);
  const size_t name_size = Le16(zip, cd + 28);
  const size_t extra_size = Le16(zip, cd + 30);
  if (cd + 46 + name_size + extra_size > zip.size()) {
    ADD_FAILURE() << "central record cut short";
    return item;
  }
  const auto extra = zip.begin() + static_cast<std::ptrdiff_t>(cd + 46 + name_size);
  item.central_extra.assign(extra, extra + static_cast<std::ptrdiff_t>(extra_size));
  const size_t local = Le32(zip, cd + 42);
  if (local + 30 > zip.size() || Le32(zip, local) != 0x04034B50u) {
    ADD_FAILURE() << "no local header";
    return item;
  }
  item.data_offset = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
  return item;
}

}  // namespace vz::testing
