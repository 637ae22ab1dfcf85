#include "front/display_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/codepage.h"

namespace vz {

namespace {

char32_t CodePointAt(std::string_view text, size_t at, size_t length) {
  const auto byte = [&](size_t k) {
    return static_cast<char32_t>(static_cast<uint8_t>(text[at + k]));
  };
  switch (length) {
    case 2:
      return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    case 3:
      return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    case 4:
      return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
             (byte(3) & 0x3F);
    default:
      return byte(0);
  }
}

// Characters that show nothing themselves but change how the text around them reads: the
// direction marks, embeddings, overrides and isolates, and the zero-width ones. "invoice<U+202E>
// gpj.exe" would otherwise read as a picture's name.
bool InvisibleControl(char32_t c) {
  return c == 0x061C || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

}  // namespace

std::string Printable(std::string_view text, bool keep_line_breaks) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x80) {
      // A CR alone is no line break: it would send the cursor back over what was shown.
      const bool line_break =
          byte == '\n' || (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
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
    } else if (const char32_t code = CodePointAt(text, i, length); InvisibleControl(code)) {
      char shown[12];
      std::snprintf(shown, sizeof shown, "<U+%04X>", static_cast<unsigned>(code));
      out += shown;
      i += length;
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
