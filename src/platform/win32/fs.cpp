// Win32 implementation of the file-system services, with wide-character calls throughout. A file's
// identity is its volume's serial number and its file index; attribute bits are the file's own.
// Windows has no permission bits: a read-only file reads as 0444 (folders 0555), others as 0666
// (folders 0777), and only the owner's write bit is applied, as the read-only attribute.
#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/random.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

using win32::LastErrno;
using win32::Utf8;
using win32::Wide;
using win32::WidePath;

namespace {

std::string BaseName(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && (path[end - 1] == '/' || path[end - 1] == '\\')) --end;
  const size_t slash = path.find_last_of("/\\", end - 1);
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(start, end - start);
}

uint32_t PermissionsFrom(DWORD attributes) {
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return (read_only ? 0444u : 0666u) | (folder ? 0111u : 0u);
}

uint32_t DosBits(DWORD attributes) {
  return attributes & (kFaReadOnly | kFaHidden | kFaSysFile | kFaDirectory | kFaArchive);
}

// Status of an open handle; nothing when the handle tells nothing.
std::optional<FileStatus> StatusOfHandle(HANDLE handle) {
  FileStatus status;
  const DWORD type = ::GetFileType(handle);
  if (type == FILE_TYPE_CHAR) {
    status.kind = "character device";
    return status;
  }
  if (type == FILE_TYPE_PIPE) {
    status.kind = "FIFO";
    return status;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  status.is_directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.is_regular = !status.is_directory;
  status.kind = status.is_directory ? "folder" : "regular file";
  status.size =
      status.is_directory
          ? 0
          : static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  status.mtime = win32::FromFileTime(info.ftLastWriteTime);
  status.attributes = DosBits(info.dwFileAttributes);
  status.permissions = PermissionsFrom(info.dwFileAttributes);
  status.device = info.dwVolumeSerialNumber;
  status.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return status;
}

// Opens path to read its attributes only; links (reparse points) followed unless asked.
HANDLE OpenForAttributes(const std::string& path, bool follow = true) {
  return ::CreateFileW(
      WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

DWORD AttributesOf(const std::string& path) {
  return ::GetFileAttributesW(WidePath(path).c_str());
}

int ErrorOf(BOOL ok) {
  return ok ? 0 : LastErrno();
}

}  // namespace

std::optional<FileStatus> StatPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const HANDLE handle = OpenForAttributes(path);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  auto status = StatusOfHandle(handle);
  ::CloseHandle(handle);
  if (status) {
    const std::string name = BaseName(path);
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") {
      status->attributes |= kFaHidden;
    }
  }
  return status;
}

std::optional<FileStatus> StatDescriptor(int fd, const std::string& path) {
  auto status = StatusOfHandle(win32::HandleOf(fd));
  (void)path;
  return status;
}

bool PathExists(const std::string& path) {
  return !path.empty() && AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool WriteProtected(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  const auto status = StatPath(path);
  if (!status || (status->device == 0 && status->inode == 0)) return std::nullopt;
  return FileIdentity{status->device, status->inode};
}

std::optional<FileOwnership> OwnershipOf(const std::string& path) {
  const auto status = StatPath(path);
  if (!status) return std::nullopt;
  return FileOwnership{0, 0, status->permissions};
}

std::string FinalLinkTarget(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;
  }
  const HANDLE handle = OpenForAttributes(path);
  if (handle == INVALID_HANDLE_VALUE) return path;
  std::wstring buffer(32768, L'\0');
  const DWORD n =
      ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  ::CloseHandle(handle);
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  if (buffer.starts_with(L"\\\\?\\UNC\\")) {
    buffer = L"\\\\" + buffer.substr(8);
  } else if (buffer.starts_with(L"\\\\?\\")) {
    buffer = buffer.substr(4);
  }
  return Utf8(buffer);
}

int SetDosAttributes(const std::string& path, uint32_t attributes) {
  const DWORD now = AttributesOf(path);
  if (now == INVALID_FILE_ATTRIBUTES) return LastErrno();
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  DWORD wanted = (now & ~kSettable) | (attributes & kSettable);
  wanted &= ~FILE_ATTRIBUTE_DIRECTORY;
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  if (wanted == (now & ~FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return ErrorOf(::SetFileAttributesW(WidePath(path).c_str(), wanted));
}

int SetPermissions(const std::string& path, uint32_t mode) {
  const DWORD now = AttributesOf(path);
  if (now == INVALID_FILE_ATTRIBUTES) return LastErrno();
  DWORD wanted =
      (mode & 0200) != 0 ? now & ~FILE_ATTRIBUTE_READONLY : now | FILE_ATTRIBUTE_READONLY;
  wanted &= ~FILE_ATTRIBUTE_DIRECTORY;
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return ErrorOf(::SetFileAttributesW(WidePath(path).c_str(), wanted));
}

std::optional<uint32_t> PermissionsOf(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return PermissionsFrom(attributes);
}

int MakeFolder(const std::string& path) {
  return ErrorOf(::CreateDirectoryW(WidePath(path).c_str(), nullptr));
}

int RemoveFolder(const std::string& path) {
  return ErrorOf(::RemoveDirectoryW(WidePath(path).c_str()));
}

int DeleteFile(const std::string& path) {
  if (IsDirectory(path)) return EISDIR;
  return ErrorOf(::DeleteFileW(WidePath(path).c_str()));
}

int RenameFile(const std::string& from, const std::string& to) {
  return ErrorOf(::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
}

int CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) {
  return ErrorOf(
      ::CopyFileW(WidePath(from).c_str(), WidePath(to).c_str(), fail_if_exists ? TRUE : FALSE));
}

int SetModificationTime(const std::string& path, std::time_t mtime) {
  const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrno();
  const FILETIME time = win32::ToFileTime(mtime);
  const int error = ErrorOf(::SetFileTime(handle, nullptr, nullptr, &time));
  ::CloseHandle(handle);
  return error;
}

int64_t FreeBytes(const std::string& path) {
  if (path.empty()) return -1;
  std::string probe = path;
  for (;;) {
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(WidePath(probe).c_str(), &available, nullptr, nullptr)) {
      return available.QuadPart > static_cast<uint64_t>(INT64_MAX)
                 ? INT64_MAX
                 : static_cast<int64_t>(available.QuadPart);
    }
    // Measure the nearest existing parent of a path that is not there yet.
    while (probe.size() > 1 && (probe.back() == '/' || probe.back() == '\\')) probe.pop_back();
    const size_t slash = probe.find_last_of("/\\");
    if (slash == std::string::npos) return -1;
    const std::string parent = probe.substr(0, slash + (slash == 0 || probe[slash - 1] == ':'));
    if (parent == probe || parent.empty()) return -1;
    probe = parent;
  }
}

std::string TempFolder() {
  const wchar_t* tmpdir = ::_wgetenv(L"TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] != L'\0') return Utf8(tmpdir);
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH + 1) return ".";
  std::wstring folder(buffer, n);
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return Utf8(folder);
}

std::optional<std::string> CreateUniqueFile(const std::string& folder, const std::string& prefix,
                                            int* error, std::string* attempted) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '\\';
  base += prefix;
  if (attempted != nullptr) *attempted = base + "XXXXXX";
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  int last = EEXIST;
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint8_t random[6];
    FillRandomBytes(random);
    std::string name = base;
    for (const uint8_t r : random) name += kLetters[r % 62];
    const HANDLE handle = ::CreateFileW(WidePath(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle);
      if (error != nullptr) *error = 0;
      return name;
    }
    last = LastErrno();
    if (last != EEXIST) break;
  }
  if (error != nullptr) *error = last;
  return std::nullopt;
}

std::string CurrentFolder() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring buffer(n, L'\0');
  const DWORD got = ::GetCurrentDirectoryW(n, buffer.data());
  buffer.resize(got);
  return Utf8(buffer);
}

int ListFolderChecked(const std::string& folder, std::vector<DirEntry>& entries,
                      ListDetail detail) {
  (void)detail;  // the listing tells everything at once here
  entries.clear();
  const std::string where = folder.empty() ? "." : folder;
  const HANDLE handle =
      ::CreateFileW(WidePath(where).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrno();
  BY_HANDLE_FILE_INFORMATION folder_info{};
  if (!::GetFileInformationByHandle(handle, &folder_info) ||
      (folder_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::CloseHandle(handle);
    return ENOTDIR;
  }
  std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  int error = 0;
  for (;;) {
    if (!::GetFileInformationByHandleEx(handle, kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof(uint64_t)))) {
      if (::GetLastError() != ERROR_NO_MORE_FILES) error = LastErrno();
      break;
    }
    kind = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
      const std::string name =
          Utf8(std::wstring_view(info->FileName, info->FileNameLength / sizeof(wchar_t)));
      if (name != "." && name != "..") {
        DirEntry item;
        item.name = name;
        const DWORD attributes = info->FileAttributes;
        // A symbolic link or a junction (their tag is where the listing keeps the EA size).
        item.is_link =
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            (info->EaSize == IO_REPARSE_TAG_SYMLINK || info->EaSize == IO_REPARSE_TAG_MOUNT_POINT);
        if (item.is_link) {
          item.status = StatPath(where + "\\" + name);
          item.attributes = item.status ? item.status->attributes : DosBits(attributes);
        } else {
          FileStatus status;
          status.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
          status.is_regular = !status.is_directory;
          status.kind = status.is_directory ? "folder" : "regular file";
          status.size = status.is_directory ? 0 : info->EndOfFile.QuadPart;
          FILETIME written;
          written.dwLowDateTime = info->LastWriteTime.LowPart;
          written.dwHighDateTime = static_cast<DWORD>(info->LastWriteTime.HighPart);
          status.mtime = win32::FromFileTime(written);
          status.attributes = DosBits(attributes);
          if (name[0] == '.') status.attributes |= kFaHidden;
          status.permissions = PermissionsFrom(attributes);
          status.device = folder_info.dwVolumeSerialNumber;
          status.inode = static_cast<uint64_t>(info->FileId.QuadPart);
          item.attributes = status.attributes;
          item.status = status;
        }
        entries.push_back(std::move(item));
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
  ::CloseHandle(handle);
  if (error != 0) {
    entries.clear();
    return error;
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return 0;
}

std::optional<std::string> ReadSmallFile(const std::string& path, int64_t max_size) {
  const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> contents;
  LARGE_INTEGER size{};
  if (::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileSizeEx(handle, &size) &&
      size.QuadPart <= max_size) {
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < data.size()) {
      DWORD n = 0;
      if (!::ReadFile(handle, data.data() + done, static_cast<DWORD>(data.size() - done), &n,
                      nullptr) ||
          n == 0) {
        break;
      }
      done += n;
    }
    data.resize(done);
    contents = std::move(data);
  }
  ::CloseHandle(handle);
  return contents;
}

}  // namespace vz::platform
