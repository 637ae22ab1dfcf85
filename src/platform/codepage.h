// Conversion of names stored in the IBM PC (OEM) code page 437 to UTF-8, the native code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vz::platform {

// Unicode code point of one code page 437 byte. Bytes below 80 hex are ASCII.
char32_t Cp437ToUnicode(uint8_t byte);

// Appends the UTF-8 form of code point c to out.
void AppendUtf8(std::string& out, char32_t c);

// UTF-8 form of a code page 437 string.
std::string Cp437ToUtf8(std::string_view text);

}  // namespace vz::platform
