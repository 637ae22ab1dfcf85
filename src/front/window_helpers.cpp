#include "front/window_helpers.h"

#include <algorithm>

#include "archive/utils.h"
#include "platform/fs.h"

namespace vz::front::detail {

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

bool HasZipExtension(const std::string& path) {
  const size_t slash = LastSeparator(path);
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return UpperAscii(path.substr(dot)) == ".ZIP";
}

size_t CharacterCount(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool ListOrder(const std::string& a, const std::string& b) {
  const auto folded =
      std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                   [](char x, char y) { return UpperAscii(x) < UpperAscii(y); });
  if (folded) return true;
  const auto reverse =
      std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                   [](char x, char y) { return UpperAscii(x) < UpperAscii(y); });
  return !reverse && a < b;
}

std::optional<int64_t> SizeInKb(const std::string& file_name) {
  const auto status = platform::StatPath(file_name);
  if (!status) return std::nullopt;
  return status->size / 1024;
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::optional<int64_t> SizeInBytes(const std::string& file_name) {
  const auto status = platform::StatPath(file_name);
  if (!status) return std::nullopt;
  return status->size;
}

}  // namespace vz::front::detail
