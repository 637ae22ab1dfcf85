// Text at the Win32 boundary: the window's logic speaks UTF-8, Windows speaks UTF-16. Also the
// captions' access keys: "&X" marks the key a caption answers to, "&&" shows one "&".
#pragma once

#include <string>
#include <string_view>

namespace vz::win32 {

// UTF-8 to UTF-16 and back; bytes that are not UTF-8 become U+FFFD.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The letter after the single "&" of a designed caption, or 0 when it has none.
wchar_t AccessKeyOf(std::wstring_view caption);
// text as a caption: its "&"s doubled and the access key marked at the first letter that is the
// key (any case), or at the first letter when the text has none ("Stop" takes its "S").
std::wstring WithAccessKey(std::wstring_view text, wchar_t key);
// What a caption reads: its access key's marker gone, "&&" read as "&".
std::wstring WithoutAccessKey(std::wstring_view caption);

// The window's texts break lines with CR LF, a few with CR alone; Windows' boxes want CR LF.
std::wstring DisplayLines(std::string_view utf8);

}  // namespace vz::win32
