// The string helpers follow the Windows rules letter for letter in the Windows form and their
// natural counterparts in the POSIX form; the file-system helpers go through the platform layer.
#include "archive/utils.h"

#include <algorithm>
#include <cerrno>

#include "platform/dos_time.h"
#include "platform/runtime_errors.h"

namespace vz {
namespace {

constexpr int64_t kMaxFree = 0x7FFFFFFF;

bool Contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Position just past the folder part (last separator, or ":" in the Windows form, where "/"
// separates folders as well as "\\"); 0 for none.
size_t FolderEnd(std::string_view path, PathStyle style) {
  const size_t pos = style == PathStyle::kWindows ? path.find_last_of("\\/:") : path.rfind('/');
  return pos == std::string_view::npos ? 0 : pos + 1;
}

// The classic iterative wildcard match: on a mismatch after a "*", let that star take one more
// character and retry. Same results as trying every split recursively, without the exponential
// cost on masks with many stars.
bool GlobFrom(std::string_view text, size_t t, std::string_view pattern, size_t p) {
  size_t star = std::string_view::npos;
  size_t star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string Trimmed(std::string_view s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return std::string(s.substr(begin, end - begin));
}

}  // namespace

PathKind PathKindOf(std::string_view path, PathStyle style) {
  if (style == PathStyle::kWindows) {
    if (Contains(path, "\\\\") || Contains(path, ":")) return pkAbsolute;
    if (Contains(path, "\\") || Contains(path, "/")) return pkRelative;
    return pkBare;
  }
  if (!path.empty() && path[0] == '/') return pkAbsolute;
  return Contains(path, "/") ? pkRelative : pkBare;
}

size_t LastSeparator(std::string_view path) {
  return platform::kWindowsPaths ? path.find_last_of("/\\") : path.rfind('/');
}

std::string AppendBackslash(std::string_view path, PathStyle style) {
  std::string out(path);
  if (out.empty()) return out;
  const char last = out.back();
  if (last == SeparatorOf(style)) return out;
  if (style == PathStyle::kWindows && (last == ':' || last == '/')) return out;
  out += SeparatorOf(style);
  return out;
}

size_t NthBackslash(std::string_view path, int n, PathStyle style) {
  const char separator = SeparatorOf(style);
  int seen = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == separator && ++seen == n) return i;
  }
  return path.size();
}

FileSpecParts SplitFileSpec(std::string_view file_spec, PathStyle style) {
  FileSpecParts parts;
  std::string spec(file_spec);
  if (style == PathStyle::kWindows) spec = ToBackslashes(spec);
  const size_t folder_end = FolderEnd(spec, style);
  parts.file_name = spec.substr(folder_end);
  std::string folder = spec.substr(0, folder_end);
  if (style == PathStyle::kPosix) {
    const size_t root = folder.find_first_not_of('/');
    const size_t root_end = root == std::string::npos ? folder.size() : root;
    parts.drive = folder.substr(0, root_end);
    parts.folder = folder.substr(root_end);
    return parts;
  }
  if (Contains(folder, "\\\\")) {
    const size_t share_end = NthBackslash(folder, 4, style);
    parts.drive = folder.substr(0, share_end);
    folder.erase(0, std::min(folder.size(), share_end + 1));
  } else if (const size_t colon = folder.find(':'); colon != std::string::npos) {
    parts.drive = folder.substr(0, colon + 1);
    folder.erase(0, colon + 1);
    if (!folder.empty() && folder[0] == '\\') folder.erase(0, 1);
  }
  parts.folder = std::move(folder);
  return parts;
}

void SplitFolders(std::string_view folder, std::vector<std::string>& list, PathStyle style) {
  const char separator = SeparatorOf(style);
  if (!folder.empty() && folder.back() == separator) folder.remove_suffix(1);
  if (folder.empty()) return;
  size_t start = 0;
  for (;;) {
    const size_t next = folder.find(separator, start);
    list.emplace_back(folder.substr(start, next == std::string_view::npos ? next : next - start));
    if (next == std::string_view::npos) return;
    start = next + 1;
  }
}

std::string WithoutDrive(std::string_view path, PathStyle style) {
  FileSpecParts parts = SplitFileSpec(path, style);
  return parts.folder + parts.file_name;
}

std::string WithoutLeadingDots(std::string_view path, PathStyle style) {
  const std::string dots = std::string("..") + SeparatorOf(style);
  while (path.substr(0, 3) == dots) path.remove_prefix(3);
  return std::string(path);
}

std::string ToBackslashes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

std::string ToSlashes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::string ShortPathOf(std::string_view path) {
  return std::string(path);
}

bool FolderExists(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return false;
  return platform::IsDirectory(path);
}

void ForceFolders(const std::string& path) {
  if (path.empty() || FolderExists(path)) return;
  auto make = [](const std::string& folder) {
    if (folder.empty() || platform::IsDirectory(folder)) return;
    const int error = platform::MakeFolder(folder);
    // Someone else may have made it meanwhile; anything else is a failure.
    if (error != 0 && !(error == EEXIST && platform::IsDirectory(folder))) {
      throw InOutError::FromErrno("Cannot create folder \"" + folder + "\"", error);
    }
  };
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/' && path[i - 1] != '/') make(path.substr(0, i));
  }
  make(path);
}

bool MatchPattern(std::string_view text, size_t text_pos, std::string_view pattern,
                  size_t pattern_pos) {
  if (text.empty()) return pattern.empty();
  if (pattern_pos == 0 && (pattern == "*.*" || pattern == "*")) return true;
  if (pattern.empty()) return text_pos >= text.size();
  return GlobFrom(text, std::min(text_pos, text.size()), pattern,
                  std::min(pattern_pos, pattern.size()));
}

std::string ResolveDots(std::string_view name, bool& climbs) {
  climbs = false;
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) {
        climbs = true;
      } else {
        parts.pop_back();
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string resolved;
  for (const std::string_view part : parts) {
    if (!resolved.empty()) resolved += '/';
    resolved += part;
  }
  // A folder's name keeps the "/" that says it is one.
  if (!resolved.empty() && !name.empty() && name.back() == '/') resolved += '/';
  return resolved;
}

bool HasDotDotPart(std::string_view name) {
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldNameChar(c);
  return folded;
}

bool MatchFileMask(std::string_view file_name, std::string_view file_mask, PathStyle style) {
  std::string name(file_name), mask(file_mask);
  for (char& c : name) c = FoldNameCase(c);
  for (char& c : mask) c = FoldNameCase(c);
  const size_t mask_split = FolderEnd(mask, style);
  const size_t name_split = FolderEnd(name, style);
  if (mask_split > 0 && !MatchPattern(std::string_view(name).substr(0, name_split),
                                      std::string_view(mask).substr(0, mask_split))) {
    return false;
  }
  return MatchPattern(std::string_view(name).substr(name_split),
                      std::string_view(mask).substr(mask_split));
}

void FindMatchingFiles(const std::string& file_mask, uint32_t search_attr,
                       std::vector<std::string>& list, bool recurse) {
  const size_t split = FolderEnd(file_mask, kNativeStyle);
  const std::string folder = file_mask.substr(0, split);
  const std::string name_mask = file_mask.substr(split);
  constexpr uint32_t kSpecial = kFaHidden | kFaSysFile | kFaVolumeId | kFaDirectory;
  // A plain name that exists as it is spelled is that file: no need to list the whole folder
  // (adding a folder's files one path at a time would otherwise list it once per file). Other
  // spellings of its case are still found by the listing when the exact one does not exist.
  if (!recurse && !name_mask.empty() && name_mask != "." && name_mask != ".." &&
      name_mask.find_first_of("*?") == std::string::npos) {
    if (const auto status = platform::StatPath(file_mask)) {
      if ((status->attributes & kSpecial & ~search_attr) == 0) list.push_back(file_mask);
      return;
    }
  }
  const std::string upper_mask = UpperAscii(name_mask);
  const std::vector<platform::DirEntry> entries = platform::ListFolder(folder);
  for (const auto& entry : entries) {
    if ((entry.attributes & kSpecial & ~search_attr) != 0) continue;
    if (MatchPattern(UpperAscii(entry.name), upper_mask)) list.push_back(folder + entry.name);
  }
  if (!recurse) return;
  const std::string base = AppendBackslash(folder);
  const uint32_t folder_attr = search_attr | kFaDirectory;
  for (const auto& entry : entries) {
    if ((entry.attributes & kFaDirectory) == 0 || entry.is_link) continue;
    if ((entry.attributes & kSpecial & ~folder_attr) != 0) continue;
    FindMatchingFiles(base + entry.name + SeparatorOf(kNativeStyle) + name_mask, search_attr, list,
                      true);
  }
}

void FindMatchingFilesList(const std::string& mask_list, uint32_t search_attr,
                           std::vector<std::string>& list, bool recurse) {
  size_t start = 0;
  for (;;) {
    const size_t next = mask_list.find(';', start);
    const std::string mask = Trimmed(std::string_view(mask_list).substr(
        start, next == std::string::npos ? std::string::npos : next - start));
    if (!mask.empty()) FindMatchingFiles(mask, search_attr, list, recurse);
    if (next == std::string::npos) return;
    start = next + 1;
  }
}

std::string TempFileName(const std::string& folder, bool create) {
  const std::string where = FolderExists(folder) ? folder : platform::TempFolder();
  if (!create) return AppendBackslash(where) + "VMS1.TMP";
  int error = 0;
  auto name = platform::CreateUniqueFile(where, "VMS", &error);
  // The name is random and was never made: the message names the folder.
  if (!name) throw InOutError::FromErrno("Cannot create a work file in " + where, error);
  return *name;
}

int SetFileDosTime(const std::string& file_name, uint32_t dos_date_time) {
  const auto t = platform::DosDateTimeToUnixTime(dos_date_time);
  if (!t) return EINVAL;
  return platform::SetModificationTime(file_name, *t);
}

uint32_t FileDosTime(const std::string& file_name) {
  const auto status = platform::StatPath(file_name);
  return status ? platform::UnixTimeToDosDateTime(status->mtime) : 0;
}

int64_t FileSizeOf(const std::string& file_name) {
  const auto status = platform::StatPath(file_name);
  if (!status) return -1;
  return status->is_directory ? 0 : status->size;
}

char DriveLetterOf(std::string_view path, PathStyle style) {
  if (style == PathStyle::kWindows && Contains(path, ":")) return path[0];
  return 'A';
}

bool IsRemovableDrive(const std::string&) {
  return false;
}

int64_t FreeSpaceOf(const std::string& path) {
  if (PathKindOf(path) != pkAbsolute) return -1;
  const int64_t free_bytes = platform::FreeBytes(path);
  if (free_bytes < -1 || free_bytes > kMaxFree) return kMaxFree;
  return free_bytes;
}

int SetVolumeName(const std::string&, char) {
  return 0;
}

std::string SpanPartName(std::string_view name, int number, PathStyle style) {
  const int n = ((number + 1) % 100 + 100) % 100;
  const char digits[3] = {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10), 0};
  const size_t file_start = FolderEnd(name, style);
  const size_t dot = name.rfind('.');
  const bool has_extension =
      dot != std::string_view::npos && dot >= file_start && name.size() - dot <= 4;
  if (!has_extension) return std::string(name) + "." + digits;
  std::string out(name.substr(0, dot + 1));
  if (dot + 1 < name.size()) out += name[dot + 1];
  return out + digits;
}

}  // namespace vz
