#include "front/display_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/codepage.h"

namespace vz {

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
    const size_t length = platform::Utf8SequenceLength(text, i);
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
