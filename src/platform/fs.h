// What the engine needs of the file system, as plain functions over native paths.
//
// The engine was designed around DOS/Windows file services: attribute bits, directory searches,
// "VMS" work files, free space per drive. This file supplies each of them from POSIX, so nothing
// above the platform layer calls the operating system. Attribute bits are derived, not stored: a
// file is read-only when its owner cannot write it, hidden when its name begins with ".", a
// directory for folders and "archive" for regular files.
//
// Functions that can fail report the error number (errno) instead of raising, unless they say
// otherwise; the callers decide what a failure means for them.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vz {

// DOS file attribute bits, as stored in zip external attributes and used by searches.
inline constexpr uint32_t kFaReadOnly = 0x01;
inline constexpr uint32_t kFaHidden = 0x02;
inline constexpr uint32_t kFaSysFile = 0x04;
inline constexpr uint32_t kFaVolumeId = 0x08;
inline constexpr uint32_t kFaDirectory = 0x10;
inline constexpr uint32_t kFaArchive = 0x20;
inline constexpr uint32_t kFaAnyFile = 0x3F;

namespace platform {

// Whether this platform's file names ignore letter case: "A.txt" and "a.txt" are one file on
// Windows, two on Linux.
// The longest path, in bytes with its terminating zero, that this system's calls take: a file
// whose path is longer could not be opened by name by any other program.
inline constexpr size_t kMaxPathBytes = 4096;

#ifdef _WIN32
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
#endif
// Whether native paths take the Windows form: drive letters, "\\server\share" and "\" between
// folders ("/" is read as "\" too).
#ifdef _WIN32
inline constexpr bool kWindowsPaths = true;
#else
inline constexpr bool kWindowsPaths = false;
#endif

// What stat() tells about a path (symbolic links are followed).
struct FileStatus {
  bool is_directory = false;
  bool is_regular = false;
  int64_t size = 0;
  std::time_t mtime = 0;     // last modification, seconds since the epoch
  uint32_t attributes = 0;   // derived DOS attribute bits
  uint32_t permissions = 0;  // POSIX permission bits (mask 0777)
  uint64_t device = 0;       // device and inode together identify the file
  uint64_t inode = 0;
  // "folder", "regular file", "FIFO", "character device", "block device", "socket" or "file".
  const char* kind = "file";
};

// Status of path, or nothing when it does not exist (or cannot be examined).
std::optional<FileStatus> StatPath(const std::string& path);
// Status of the file open as descriptor fd (named path, whose last name decides the hidden bit),
// or nothing when fstat fails.
std::optional<FileStatus> StatDescriptor(int fd, const std::string& path);
// True when path names an existing file or folder.
bool PathExists(const std::string& path);
// True when a file is at path and the caller may not write it: its permissions say no (for the
// super-user, when no write bit is set at all), or its file system is read-only. A save replaces a
// file by renaming a new one over it, which only the folder's permissions govern; this asks the
// file itself, as other zip tools do.
bool WriteProtected(const std::string& path);
// True when path names an existing folder.
bool IsDirectory(const std::string& path);
// True when path names an existing regular file.
bool IsRegularFile(const std::string& path);

// Which file a path names: two paths with the same identity are the same file, whatever links or
// folders lead to it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};
// Identity of the file at path (links followed); nothing when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Owner, group and permission bits (mask 0777) of the file at path (links followed).
struct FileOwnership {
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint32_t mode = 0;
};
std::optional<FileOwnership> OwnershipOf(const std::string& path);

// The path a chain of symbolic links at path ends in (the last component followed, up to 40 links;
// relative links are taken against the link's folder). A path that is no link comes back as it is;
// the end of the chain need not exist.
std::string FinalLinkTarget(const std::string& path);

// DOS attribute bits of path; nothing when it does not exist.
std::optional<uint32_t> DosAttributesOf(const std::string& path);
// Applies DOS attribute bits: the read-only bit removes every write permission, its absence gives
// the owner write permission back. Other bits cannot be represented and are ignored. Returns 0 or
// the error number.
int SetDosAttributes(const std::string& path, uint32_t attributes);
// Applies POSIX permission bits (mask 0777 only; set-id and sticky bits are never set).
int SetPermissions(const std::string& path, uint32_t mode);
// POSIX permission bits (mask 0777) of path; nothing when it does not exist.
std::optional<uint32_t> PermissionsOf(const std::string& path);

// Folder and file operations; each returns 0 or the error number.
int MakeFolder(const std::string& path);
int RemoveFolder(const std::string& path);
int DeleteFile(const std::string& path);
int RenameFile(const std::string& from, const std::string& to);
// Copies the contents of from to to (created or truncated). With fail_if_exists an existing target
// is an error (EEXIST).
int CopyFile(const std::string& from, const std::string& to, bool fail_if_exists);

// Sets the last modification time (seconds since the epoch) of path, leaving its access time.
int SetModificationTime(const std::string& path, std::time_t mtime);

// Free bytes available to the caller on the file system holding path, as a 64-bit count; -1 when
// it cannot be determined. A path that does not exist yet is measured at its nearest existing
// parent folder.
int64_t FreeBytes(const std::string& path);

// The folder for temporary files: $TMPDIR when set and not empty, else "/tmp". Read on every call.
std::string TempFolder();
// Creates a new, empty, uniquely named file "<folder>/<prefix>XXXXXX" (mode 0600) and returns its
// name; on failure returns nothing and sets error (the errno) and attempted (the name pattern).
std::optional<std::string> CreateUniqueFile(const std::string& folder, const std::string& prefix,
                                            int* error = nullptr, std::string* attempted = nullptr);

// The process's current folder (empty when it cannot be determined).
std::string CurrentFolder();

// The whole contents of the regular file at path; nothing when it is missing, not a regular file
// (a device or a pipe could never end), larger than max_size bytes or unreadable.
std::optional<std::string> ReadSmallFile(const std::string& path, int64_t max_size);

// One entry of a folder listing.
struct DirEntry {
  std::string name;
  uint32_t attributes = 0;  // derived DOS attribute bits (of the link target for links)
  bool is_link = false;     // a symbolic link (searches do not descend into linked folders)
  // What the entry is as it was listed (for a link, what it leads to); nothing for a link that
  // leads nowhere.
  std::optional<FileStatus> status;
};
// The entries of folder, without "." and "..", sorted by name (byte order) so that searches give
// the same order on every run. An unreadable or missing folder gives an empty list.
std::vector<DirEntry> ListFolder(const std::string& folder);
// How much a listing learns of each entry.
enum class ListDetail : uint8_t {
  kFull,   // every entry examined (size, time, attributes, identity)
  kTypes,  // a regular file that the listing itself says is one is not examined: its status says
           // so, with its identity (the folder's device, the entry's inode), size -1, time 0 and
           // the attributes its name gives; links, folders and the rest are examined as in kFull
};
// The same, with the operating system's error number when the folder cannot be read (0 when it
// was listed).
int ListFolderChecked(const std::string& folder, std::vector<DirEntry>& entries,
                      ListDetail detail = ListDetail::kFull);

}  // namespace platform
}  // namespace vz
