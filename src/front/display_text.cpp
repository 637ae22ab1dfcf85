#include "front/display_text.h"

#include <cstdint>
#include <cstdio>

namespace vz {

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one (overlong
// forms, surrogates and values above U+10FFFF are not valid).
size_t Utf8Length(std::string_view text, size_t i) {
  const auto at = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = at(i);
  size_t length = 0;
  uint32_t min = 0;
  uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, value = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (at(i + k) & 0x3Fu);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string Printable(std::string_view text, bool keep_line_breaks) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x80) {
      const bool line_break = byte == '\n' || byte == '\r';
      if (byte == 0x7F) {
        out += "^?";
      } else if (byte < 0x20 && byte != '\t' && !(line_break && keep_line_breaks)) {
        out += '^';
        out += static_cast<char>(byte + 0x40);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    const size_t length = Utf8Length(text, i);
    if (length == 0) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
      ++i;
    } else if (length == 2 && byte == 0xC2 && static_cast<uint8_t>(text[i + 1]) < 0xA0) {
      out += "M-^";
      out += static_cast<char>((static_cast<uint8_t>(text[i + 1]) - 0x80) + 0x40);
      i += 2;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace vz
