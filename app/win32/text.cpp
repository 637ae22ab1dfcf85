#include "app/win32/text.h"

#include <windows.h>

#include <cwctype>

namespace vz::win32 {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

wchar_t AccessKeyOf(std::wstring_view caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] != L'&') return caption[i + 1];
    ++i;  // "&&" is the character itself
  }
  return 0;
}

std::wstring WithAccessKey(std::wstring_view text, wchar_t key) {
  std::wstring marked;
  bool placed = key == 0;
  for (const wchar_t c : text) {
    if (!placed && std::towlower(c) == std::towlower(key)) {
      marked += L'&';
      placed = true;
    }
    marked += c;
    if (c == L'&') marked += L'&';
  }
  if (placed) return marked;
  for (size_t i = 0; i < marked.size(); ++i) {
    if (std::iswalpha(marked[i])) {
      marked.insert(i, 1, L'&');
      break;
    }
  }
  return marked;
}

std::wstring WithoutAccessKey(std::wstring_view caption) {
  std::wstring plain;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
    plain += caption[i];
  }
  return plain;
}

std::wstring DisplayLines(std::string_view utf8) {
  const std::wstring text = Wide(utf8);
  std::wstring lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      lines += L"\r\n";
    } else if (text[i] == L'\n') {
      lines += L"\r\n";
    } else {
      lines += text[i];
    }
  }
  return lines;
}

}  // namespace vz::win32
