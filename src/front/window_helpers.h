// Small helpers of the window's logic that its command files share: names and extensions, the
// file list's order, sizes and folders of listed files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vz::front::detail {

char UpperAscii(char c);
std::string UpperAscii(std::string text);
// The extension of a path's name part, from its last "." on, is ".zip" in any letter case.
bool HasZipExtension(const std::string& path);
// Characters, not bytes, of a UTF-8 text.
size_t CharacterCount(const std::string& text);
// The file list's order: letter case ignored, then byte order, so that entries equal byte for
// byte always end up side by side.
bool ListOrder(const std::string& a, const std::string& b);
std::optional<int64_t> SizeInKb(const std::string& file_name);
std::optional<int64_t> SizeInBytes(const std::string& file_name);
// The folder that holds path ("/" for a file at the root).
std::string ParentFolder(const std::string& path);

}  // namespace vz::front::detail
