// Conversion of names stored in the IBM PC (OEM) code page 437 to UTF-8, the native code page, and
// the repair of names that claim to be UTF-8 and are not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vz::platform {

// Unicode code point of one code page 437 byte. Bytes below 80 hex are ASCII.
char32_t Cp437ToUnicode(uint8_t byte);

// Appends the UTF-8 form of code point c to out.
void AppendUtf8(std::string& out, char32_t c);

// UTF-8 form of a code page 437 string.
std::string Cp437ToUtf8(std::string_view text);

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when none does (overlong forms,
// surrogates and values above U+10FFFF are not valid). ASCII bytes are sequences of length 1.
size_t Utf8SequenceLength(std::string_view text, size_t i);
// The text with each byte that does not begin a valid UTF-8 sequence replaced by U+FFFD, so that
// what is shown or written as a name is always UTF-8. Valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);

// The text decoded from a character set that the C library's iconv knows by name ("CP866",
// "KOI8-R", "CP932", "CP1252", ...) to UTF-8; nothing when the text is not valid in it.
std::optional<std::string> DecodeCharset(std::string_view text, const std::string& charset);
// True when iconv knows the character set by that name.
bool KnownCharset(const std::string& charset);

}  // namespace vz::platform
