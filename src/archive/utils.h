// Path, mask, search, work-file, drive, percentage and timestamp helpers of the archive engine.
//
// The string helpers are pure and know two forms of path. The Windows form, in which the engine's
// file formats and many archives were conceived: "\" separates folders, a drive is a letter and a
// colon ("C:") or a network share ("\\server\share"). The POSIX form, which the engine uses on this
// system: "/" separates folders and the root "/" of an absolute path plays the part of the drive
// (so stripping the drive of "/home/a.txt" leaves the relative "home/a.txt", as stripping "C:\"
// does in the Windows form). Each string helper takes a PathStyle, defaulting to the native one.
//
// The helpers that touch the file system (searches, folder creation, times, free space) work on
// native paths through the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace vz {

enum class PathStyle { kWindows, kPosix };
inline constexpr PathStyle kNativeStyle =
    platform::kWindowsPaths ? PathStyle::kWindows : PathStyle::kPosix;

// The folder separator of a style: "\" or "/".
constexpr char SeparatorOf(PathStyle style) {
  return style == PathStyle::kWindows ? '\\' : '/';
}

enum PathKind { pkBare, pkRelative, pkAbsolute };

// pkAbsolute for a path with a drive or share (Windows: contains "\\" or ":"; POSIX: begins with
// "/"); pkRelative for one with a folder part; pkBare for a plain name.
PathKind PathKindOf(std::string_view path, PathStyle style = kNativeStyle);
// Where the last separator of a native path is ("/", and on Windows "\\" too), or npos.
size_t LastSeparator(std::string_view path);

// Path with a separator appended, unless it is empty or already ends in one (in the Windows form,
// "/" or ":" too).
std::string AppendBackslash(std::string_view path, PathStyle style = kNativeStyle);

// Number of characters before the n-th separator (n counts from 1); the path's length when it has
// fewer than n separators.
size_t NthBackslash(std::string_view path, int n, PathStyle style = kNativeStyle);

// The parts of a file path: drive (Windows: "C:" or "\\server\share"; POSIX: the root
// "/" of an absolute path), folder (up to and including its last separator, without the separator
// that follows a Windows drive) and file name.
struct FileSpecParts {
  std::string drive;
  std::string folder;
  std::string file_name;
};
// Splits a file path. In the Windows form every "/" counts as "\".
FileSpecParts SplitFileSpec(std::string_view file_spec, PathStyle style = kNativeStyle);

// Appends the folder names of folder (one trailing separator ignored) to list, in order.
void SplitFolders(std::string_view folder, std::vector<std::string>& list,
                  PathStyle style = kNativeStyle);

// Path without its drive part: folder + file name.
std::string WithoutDrive(std::string_view path, PathStyle style = kNativeStyle);
// A relative "/"-separated name with its "." and empty parts left out and each ".." taking away the
// folder before it ("a//b/./../c" is "a/c"). Sets climbs (and leaves the ".." out) when a ".."
// finds no folder before it: the name would lead above the folder it starts in.
std::string ResolveDots(std::string_view name, bool& climbs);
// True when a "/"-separated name has a ".." part.
bool HasDotDotPart(std::string_view name);
// Path without every leading "..\" (Windows) or "../" (POSIX).
std::string WithoutLeadingDots(std::string_view path, PathStyle style = kNativeStyle);

std::string ToBackslashes(std::string_view path);
std::string ToSlashes(std::string_view path);

// The short (8.3) form of a path. This system has no short names: the path comes back unchanged.
std::string ShortPathOf(std::string_view path);

// True when path names an existing folder; a path with a wildcard is never one.
bool FolderExists(const std::string& path);
// Creates path and every missing parent folder (native form). A folder that cannot be created
// raises InOutError with the error number.
void ForceFolders(const std::string& path);

// Wildcard match of text from text_pos against pattern from pattern_pos (positions from 0): "*" is
// any run of characters, "?" exactly one, every other character itself (compared exactly). An
// empty text matches only the empty pattern; at the pattern's start "*" and "*.*" match any
// non-empty text (so "*.*" matches names without a dot too).
bool MatchPattern(std::string_view text, size_t text_pos, std::string_view pattern,
                  size_t pattern_pos);
inline bool MatchPattern(std::string_view text, std::string_view pattern) {
  return MatchPattern(text, 0, pattern, 0);
}

// Stored names compare as the platform's file names do: "\" reads as "/", and where file names
// ignore letter case (platform::kFileNamesIgnoreCase) ASCII letters compare as capitals. Two names
// are one when their folded forms are equal.
inline char FoldNameCase(char c) {
  return platform::kFileNamesIgnoreCase && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
inline char FoldNameChar(char c) {
  return c == '\\' ? '/' : FoldNameCase(c);
}
std::string FoldedName(std::string_view name);

// Matches a name against a mask, letters compared as FoldNameCase compares them (the separators
// are the style's; the caller reads "\" in stored names as it must). A mask with a folder part
// matches it against the name's folder part first; a mask without one matches the name part only.
bool MatchFileMask(std::string_view file_name, std::string_view file_mask,
                   PathStyle style = kNativeStyle);

// Appends to list the files (and, when search_attr holds kFaDirectory, folders) that match
// file_mask (native form): entries that are hidden or folders are found only when search_attr holds
// that bit. Names carry the mask's folder part unchanged, so a relative mask gives relative names.
// With recurse the subfolders are searched with the same name mask, after the folder's own hits.
// Entries come in name order; linked folders are not descended into.
void FindMatchingFiles(const std::string& file_mask, uint32_t search_attr,
                       std::vector<std::string>& list, bool recurse);
// Runs FindMatchingFiles for each ";"-separated, blank-trimmed mask of mask_list, in order.
void FindMatchingFilesList(const std::string& mask_list, uint32_t search_attr,
                           std::vector<std::string>& list, bool recurse);

// A name for a work file with the prefix "VMS" in folder, or in the system's temporary folder when
// folder is not an existing folder. With create the name is unique and the empty file exists on
// return (failure raises InOutError); without it the name is "<folder>/VMS1.TMP" and nothing is
// created (callers use it to learn the folder).
std::string TempFileName(const std::string& folder, bool create);

// Sets a file's last-write time from a DOS timestamp (local time). Returns 0 or the error number
// (EINVAL for a timestamp whose fields are out of range).
int SetFileDosTime(const std::string& file_name, uint32_t dos_date_time);
// DOS timestamp of a file's last-write time; 0 when the file does not exist.
uint32_t FileDosTime(const std::string& file_name);
// Size of a file; 0 for a folder; -1 when it does not exist.
int64_t FileSizeOf(const std::string& file_name);

// Drive letter of a path: its first character when it holds a drive (Windows form, contains ":"),
// otherwise 'A'. The POSIX form has no drives: always 'A'.
char DriveLetterOf(std::string_view path, PathStyle style = kNativeStyle);
// False: this system has no removable drives in the sense of disk-swapping spanned sets.
bool IsRemovableDrive(const std::string& path);
// Free bytes on the file system of an absolute path: -1 when they cannot be determined (always for
// a bare or relative path), otherwise at most 7FFFFFFF hex.
int64_t FreeSpaceOf(const std::string& path);
// Volume labels do not exist here: does nothing and returns 0.
int SetVolumeName(const std::string& label, char drive_letter);

// Name of part number + 1 (two digits, modulo 100) of a spanned set, as a reader looks for it: the
// extension (when the name's last four characters hold its dot) becomes its dot, its first
// character and the two digits; without one "." and the two digits are appended. set.zip with
// number 0 is set.z01.
std::string SpanPartName(std::string_view name, int number, PathStyle style = kNativeStyle);

}  // namespace vz
