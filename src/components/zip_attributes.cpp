#include "components/zip_attributes.h"

#include <array>
#include <bit>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "errors/errors.h"

namespace vz {

namespace {

// The order of the lines under a file, and each attribute's message.
struct AttributeRow {
  ZipAttribute attribute;
  int32_t code;
};
constexpr std::array<AttributeRow, 12> kRows = {{
    {zaCompressedSize, 113},
    {zaUncompressedSize, 114},
    {zaCompressionMethod, 115},
    {zaCompressionRatio, 116},
    {zaCRC, 117},
    {zaExternalFileAttributes, 122},
    {zaInternalFileAttributes, 123},
    {zaEncryption, 126},
    {zaTimeStamp, 130},
    {zaVersionMade, 131},
    {zaVersionNeeded, 132},
    {zaComment, 133},
}};
constexpr ZipAttributes kAllAttributes = 0x0FFF;

// Puts value in place of the message's first conversion ("%d", "%s", "%x", "%f") and turns "%%"
// into "%". The values come formatted by the caller: sizes are 64-bit, the CRC is written in
// upper-case digits and versions with two decimals, which the table's plain conversions would not
// give.
std::string Fill(const std::string& text, const std::string& value) {
  std::string out;
  bool filled = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    if (text[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() &&
           std::string_view("0123456789.-+ #hlLqjzt").find(text[j]) != std::string_view::npos) {
      ++j;
    }
    if (!filled) out += value;
    filled = true;
    i = j;  // the conversion letter
  }
  return out;
}

std::string Printf(const char* format, auto value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string AttributeLetters(uint32_t attributes) {
  std::string out;
  if (attributes & 0x01) out += MessageText(118);
  if (attributes & 0x02) out += MessageText(119);
  if (attributes & 0x04) out += MessageText(120);
  if (attributes & 0x20) out += MessageText(121);
  return out;
}

// The ratio of the sizes the lines show (an encrypted item's compressed size counts its header,
// as the line above says), never "-0": what rounds to no saving is 0.
double Ratio(const ZipItem& item) {
  const int64_t uncompressed = item.UncompressedSize();
  if (uncompressed <= 0) return 0;
  const double ratio =
      (1.0 - static_cast<double>(item.CompressedSize()) / static_cast<double>(uncompressed)) *
      100.0;
  return ratio > -0.5 && ratio < 0.5 ? 0.0 : ratio;
}

// A Unix mode as ls shows it ("-rw-r--r--"), for an item made on Unix without DOS bits.
std::string ModeLetters(uint32_t mode) {
  const uint32_t type = mode & 0170000;
  std::string out(1, type == 0040000   ? 'd'
                     : type == 0120000 ? 'l'
                     : type == 0010000 ? 'p'
                     : type == 0020000 ? 'c'
                     : type == 0060000 ? 'b'
                     : type == 0140000 ? 's'
                                       : '-');
  const char* letters = "rwxrwxrwx";
  for (int bit = 8; bit >= 0; --bit) out += (mode >> bit) & 1 ? letters[8 - bit] : '-';
  return out;
}

}  // namespace

int ZipAttributeCount(ZipAttributes attributes) {
  return std::popcount(static_cast<unsigned>(attributes & kAllAttributes));
}

ZipAttribute NthZipAttribute(ZipAttributes attributes, int n) {
  for (const AttributeRow& row : kRows) {
    if ((attributes & (1u << row.attribute)) != 0 && n-- == 0) return row.attribute;
  }
  return zaComment;  // callers stay below ZipAttributeCount
}

std::string CompressionMethodName(uint16_t method) {
  // Methods 0 to 11 are named by the low byte, modulo 128, as the classic tools wrote them.
  const int classic = (method & 0xFF) % 128;
  if (classic < 12) return MessageText(101 + classic);
  switch (method) {
    case 12:
      return "BZip2";
    case 14:
      return "LZMA";
    case 93:
      return "Zstandard";
    case 95:
      return "XZ";
    case 99:
      return "AES";
    default:
      return "Method " + std::to_string(method);
  }
}

std::string DosTimeStampText(uint16_t date, uint16_t time) {
  if (date == 0 && time == 0) return MessageText(129);
  using namespace std::chrono;
  const year_month_day ymd{year{1980 + (date >> 9)}, month{(date >> 5) & 15u}, day{date & 31u}};
  const int hour = time >> 11, minute = (time >> 5) & 63, second = (time & 31) * 2;
  if (!ymd.ok() || hour > 23 || minute > 59 || second > 59) return MessageText(129);
  // A broken-down time, filled by hand: the stamp has no time zone to convert from.
  const sys_days days{ymd};
  std::tm tm{};
  tm.tm_year = static_cast<int>(ymd.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_wday = static_cast<int>(weekday{days}.c_encoding());
  tm.tm_yday = (days - sys_days{ymd.year() / January / 1}).count();
  tm.tm_isdst = -1;
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &tm);
  return std::string(buffer, n);
}

std::string ZipAttributeLine(const ZipItem& item, ZipAttribute attribute) {
  int32_t code = 0;
  for (const AttributeRow& row : kRows) {
    if (row.attribute == attribute) code = row.code;
  }
  const std::string text = MessageText(code);
  switch (attribute) {
    case zaCompressedSize:
      return Fill(text, std::to_string(item.CompressedSize()));
    case zaUncompressedSize:
      return Fill(text, std::to_string(item.UncompressedSize()));
    case zaCompressionMethod:
      return Fill(text, CompressionMethodName(item.CompressionMethod()));
    case zaCompressionRatio:
      return FormatMessageText(text, Ratio(item));
    case zaCRC:
      return Fill(text, Printf("%X", item.CRC32()));
    case zaExternalFileAttributes: {
      const uint32_t attributes = item.ExternalFileAttributes();
      const uint32_t mode = attributes >> 16;
      if ((attributes & 0xFF) == 0 && (item.VersionMade() >> 8) == 3 && mode != 0) {
        return Fill(text, ModeLetters(mode));
      }
      return Fill(text, AttributeLetters(attributes));
    }
    case zaInternalFileAttributes:
      return Fill(text, MessageText(item.InternalFileAttributes() == 1 ? 124 : 125));
    case zaEncryption:
      return Fill(text, MessageText(item.Encrypted() ? 127 : 128));
    case zaTimeStamp:
      return Fill(text, DosTimeStampText(item.FileDate(), item.FileTime()));
    case zaVersionMade:
      return Fill(text, Printf("%.2f", (item.VersionMade() & 0xFF) / 10.0));
    case zaVersionNeeded:
      return Fill(text, Printf("%.2f", (item.VersionNeeded() & 0xFF) / 10.0));
    case zaComment:
      return Fill(text, item.FileComment());
  }
  return text;
}

}  // namespace vz
