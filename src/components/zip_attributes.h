// The attribute lines that the outline shows under each file: sizes, method, ratio, CRC,
// attributes, encryption, time stamp, versions and comment, each from the item's central record,
// each a numbered message filled with its value.
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip_archive.h"

namespace vz {

// One attribute per bit: bit n of a ZipAttributes set is attribute n.
using ZipAttributes = uint16_t;
enum ZipAttribute : uint8_t {
  zaCompressedSize = 0,
  zaCompressionMethod = 1,
  zaCompressionRatio = 2,
  zaCRC = 3,
  zaExternalFileAttributes = 4,
  zaInternalFileAttributes = 5,
  zaEncryption = 6,
  zaTimeStamp = 7,
  zaUncompressedSize = 8,
  zaVersionMade = 9,
  zaVersionNeeded = 10,
  zaComment = 11,
};

// Sizes, method, ratio, CRC, external attributes, encryption and time stamp.
inline constexpr ZipAttributes kDefaultZipAttributes = 479;

// The attributes of a set in the order their lines appear (which is not bit order).
int ZipAttributeCount(ZipAttributes attributes);
ZipAttribute NthZipAttribute(ZipAttributes attributes, int n);

// The line of one attribute of an item, e.g. "CRC: 1A2B3C" or "Compression Ratio: 57%".
std::string ZipAttributeLine(const ZipItem& item, ZipAttribute attribute);

// Name of a compression method, e.g. "Deflated".
std::string CompressionMethodName(uint16_t method);
// The DOS date and time in the locale's short date and long time; "Unknown" when both are 0 or
// when they do not form a valid date and time.
std::string DosTimeStampText(uint16_t date, uint16_t time);

}  // namespace vz
