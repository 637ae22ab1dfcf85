// Character sets by name, through the Windows code pages: the names iconv knows for the sets that
// legacy zip names come in are mapped to their code page numbers.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

namespace {

// The code page of a set's name, or 0.
UINT CodePageOf(const std::string& charset) {
  std::string name;
  for (const char c : charset) {
    if (c != '-' && c != '_')
      name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  struct Named {
    const char* name;
    UINT code_page;
  };
  static constexpr Named kNames[] = {
      {"UTF8", CP_UTF8}, {"KOI8R", 20866},   {"KOI8U", 21866},  {"SHIFTJIS", 932},
      {"SJIS", 932},     {"GBK", 936},       {"GB2312", 936},   {"GB18030", 54936},
      {"BIG5", 950},     {"EUCKR", 949},     {"EUCJP", 20932},  {"MACINTOSH", 10000},
      {"ASCII", 20127},  {"USASCII", 20127}, {"LATIN1", 28591}, {"IBM437", 437},
      {"IBM850", 850},   {"IBM866", 866},
  };
  for (const Named& n : kNames) {
    if (name == n.name) return n.code_page;
  }
  // CPnnn, WINDOWSnnnn, ISO8859N.
  auto number = [](const std::string& digits) -> UINT {
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return 0;
    return static_cast<UINT>(std::strtoul(digits.c_str(), nullptr, 10));
  };
  if (name.starts_with("CP")) return number(name.substr(2));
  if (name.starts_with("WINDOWS")) return number(name.substr(7));
  if (name.starts_with("ISO8859")) {
    const UINT part = number(name.substr(7));
    return part >= 1 && part <= 15 ? 28590 + part : 0;
  }
  return 0;
}

}  // namespace

std::optional<std::string> DecodeCharset(std::string_view text, const std::string& charset) {
  const UINT code_page = CodePageOf(charset);
  if (code_page == 0 || !::IsValidCodePage(code_page)) return std::nullopt;
  if (text.empty()) return std::string();
  const int n = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), n);
  return win32::Utf8(wide);
}

bool KnownCharset(const std::string& charset) {
  const UINT code_page = CodePageOf(charset);
  return code_page != 0 && ::IsValidCodePage(code_page);
}

}  // namespace vz::platform
