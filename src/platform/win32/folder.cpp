// Folder handles and the files made in them, through the native calls that take a folder handle
// and a name (NtCreateFile with a root folder, renames with a root folder), as openat and its
// relatives do on POSIX. A junction or a symbolic link in place of a name is opened as itself
// (FILE_OPEN_REPARSE_POINT), never followed.
#include "platform/folder.h"

#include <io.h>
#include <winternl.h>

#include <cerrno>
#include <vector>

#include "platform/random.h"
#include "platform/runtime_errors.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

using win32::HandleOf;
using win32::LastErrno;

namespace {

constexpr ULONG kOpen = 1;         // FILE_OPEN
constexpr ULONG kCreate = 2;       // FILE_CREATE
constexpr ULONG kOpenIf = 3;       // FILE_OPEN_IF
constexpr ULONG kOverwriteIf = 5;  // FILE_OVERWRITE_IF
constexpr ULONG kDirectoryFile = 0x00000001;
constexpr ULONG kSynchronous = 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNonDirectoryFile = 0x00000040;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

int ErrnoOfStatus(NTSTATUS status) {
  return win32::ErrnoOf(::RtlNtStatusToDosError(status));
}

// Opens name (one component) in the folder dir; the handle or the error number.
int OpenIn(HANDLE dir, const std::string& name, ACCESS_MASK access, ULONG disposition,
           ULONG options, HANDLE* out) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." ||
      name == "..") {
    return EINVAL;
  }
  std::wstring wide = win32::Wide(name);
  UNICODE_STRING text;
  text.Buffer = wide.data();
  text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = ::NtCreateFile(out, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, kShareAll, disposition,
                                         options | kSynchronous | kOpenReparsePoint, nullptr, 0);
  return status >= 0 ? 0 : ErrnoOfStatus(status);
}

// What an open handle is: a junction or symbolic link, a folder, or a file.
EntryKind KindOfHandle(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
    return EntryKind::kOther;
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)) {
    return EntryKind::kLink;
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::kFolder;
  return ::GetFileType(handle) == FILE_TYPE_DISK ? EntryKind::kFile : EntryKind::kOther;
}

std::optional<FileIdentity> FolderIdentity(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::nullopt;
  }
  return FileIdentity{info.dwVolumeSerialNumber,
                      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// Renames the file open as handle to name in the folder root. The native call takes the name as
// it is, relative to root (the Win32 one would make it a full path first, against the current
// folder). A file replaced is replaced as on POSIX, even while other programs (or this one) have
// it open, as a save replaces the archive it reads; systems that cannot do that replace it only
// when nobody has it open.
int RenameHandle(HANDLE handle, HANDLE root, const std::string& name, bool replace) {
  constexpr ULONG kReplaceIfExists = 0x1;
  constexpr ULONG kPosixSemantics = 0x2;
  constexpr auto kRenameEx = static_cast<FILE_INFORMATION_CLASS>(65);  // FileRenameInformationEx
  const std::wstring wide = win32::Wide(name);
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + wide.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->RootDirectory = root;
  info->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  std::copy(wide.begin(), wide.end(), info->FileName);
  IO_STATUS_BLOCK io{};
  // The flags take the place of the one-byte ReplaceIfExists in the extended form.
  info->Flags = (replace ? kReplaceIfExists : 0) | kPosixSemantics;
  NTSTATUS status =
      ::NtSetInformationFile(handle, &io, info, static_cast<ULONG>(buffer.size()), kRenameEx);
  if (status == static_cast<NTSTATUS>(0xC0000003L) ||  // STATUS_INVALID_INFO_CLASS
      status == static_cast<NTSTATUS>(0xC0000002L) ||  // STATUS_NOT_IMPLEMENTED
      status == static_cast<NTSTATUS>(0xC000000DL) ||  // STATUS_INVALID_PARAMETER
      status == static_cast<NTSTATUS>(0xC00000BBL)) {  // STATUS_NOT_SUPPORTED
    info->Flags = 0;
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    status = ::NtSetInformationFile(handle, &io, info, static_cast<ULONG>(buffer.size()),
                                    FileRenameInformation);
  }
  return status >= 0 ? 0 : ErrnoOfStatus(status);
}

std::string RandomSuffix();

// Deletes the file open as handle (with DELETE and FILE_WRITE_ATTRIBUTES access), read-only or not;
// it goes when the last handle on it closes.
int DeleteOpenFile(HANDLE handle) {
  FILE_BASIC_INFO basic{};
  if (::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
             ? 0
             : LastErrno();
}

// Puts the file open as handle in place of to in to_dir where a plain replace was refused (the
// file there is open elsewhere, on a system that does not replace open files, or read-only): the
// file there is renamed aside first and deleted once the new one is in place, or put back when
// that fails. In between, for a moment, nothing has the name.
int ReplaceAside(HANDLE handle, HANDLE to_dir, const std::string& to) {
  HANDLE existing = nullptr;
  if (int error = OpenIn(to_dir, to, DELETE | FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, kOpen,
                         kNonDirectoryFile, &existing)) {
    return error;
  }
  int error = EEXIST;
  std::string aside;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    aside = "VMS" + RandomSuffix();
    error = RenameHandle(existing, to_dir, aside, false);
  }
  if (error == 0) {
    error = RenameHandle(handle, to_dir, to, false);
    if (error == 0) {
      DeleteOpenFile(existing);
    } else {
      RenameHandle(existing, to_dir, to, false);
    }
  }
  ::CloseHandle(existing);
  return error;
}

// Renames from in the folder from_dir to to in the folder to_dir.
int MoveBetween(HANDLE from_dir, const std::string& from, HANDLE to_dir, const std::string& to,
                bool replace) {
  HANDLE handle = nullptr;
  int error = OpenIn(from_dir, from, DELETE, kOpen, 0, &handle);
  if (error != 0) return error;
  error = RenameHandle(handle, to_dir, to, replace);
  if (error == EACCES && replace) error = ReplaceAside(handle, to_dir, to);
  ::CloseHandle(handle);
  return error;
}

std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  uint8_t random[6];
  FillRandomBytes(random);
  std::string suffix;
  for (const uint8_t r : random) suffix += kAlphabet[r % (sizeof kAlphabet - 1)];
  return suffix;
}

}  // namespace

Folder::~Folder() {
  if (fd_ >= 0) ::_close(fd_);
}

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

int Folder::Open(const std::string& path, Folder& out) {
  const HANDLE handle =
      ::CreateFileW(win32::WidePath(path.empty() ? std::string(".") : path).c_str(), kFolderAccess,
                    kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrno();
  if (!FolderIdentity(handle)) {
    ::CloseHandle(handle);
    return ENOTDIR;
  }
  out = Folder();
  out.fd_ = win32::DescriptorOf(handle);
  out.path_ = path;
  return out.fd_ >= 0 ? 0 : EMFILE;
}

std::string Folder::PathOf(const std::string& name) const {
  if (path_.empty()) return name;
  return path_.back() == '/' || path_.back() == '\\' ? path_ + name : path_ + "\\" + name;
}

int Folder::OpenChild(const std::string& name, bool create, Folder& out) const {
  HANDLE handle = nullptr;
  int error =
      OpenIn(HandleOf(fd_), name, kFolderAccess, create ? kOpenIf : kOpen, kDirectoryFile, &handle);
  if (error != 0) {
    if (error == ENOENT) return ENOENT;
    // Something else than a folder stands there: say what.
    switch (KindOf(name)) {
      case EntryKind::kLink:
        return ELOOP;
      case EntryKind::kFile:
      case EntryKind::kOther:
        return ENOTDIR;
      default:
        return error;
    }
  }
  if (KindOfHandle(handle) != EntryKind::kFolder) {
    const bool link = KindOfHandle(handle) == EntryKind::kLink;
    ::CloseHandle(handle);
    return link ? ELOOP : ENOTDIR;
  }
  out = Folder();
  out.fd_ = win32::DescriptorOf(handle);
  out.path_ = PathOf(name);
  return out.fd_ >= 0 ? 0 : EMFILE;
}

std::optional<FileIdentity> Folder::Identity() const {
  return FolderIdentity(HandleOf(fd_));
}

std::optional<FileIdentity> Folder::IdentityOf(const std::string& name) const {
  HANDLE handle = nullptr;
  if (OpenIn(HandleOf(fd_), name, FILE_READ_ATTRIBUTES, kOpen, 0, &handle) != 0) {
    return std::nullopt;
  }
  std::optional<FileIdentity> identity;
  if (KindOfHandle(handle) == EntryKind::kFolder) identity = FolderIdentity(handle);
  ::CloseHandle(handle);
  return identity;
}

EntryKind Folder::KindOf(const std::string& name) const {
  HANDLE handle = nullptr;
  if (OpenIn(HandleOf(fd_), name, FILE_READ_ATTRIBUTES, kOpen, 0, &handle) != 0) {
    return EntryKind::kNone;
  }
  const EntryKind kind = KindOfHandle(handle);
  ::CloseHandle(handle);
  return kind;
}

std::unique_ptr<FileStream> Folder::CreateUniqueFile(const std::string& prefix,
                                                     std::string* name) const {
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    const std::string candidate = prefix + RandomSuffix();
    HANDLE handle = nullptr;
    error = OpenIn(HandleOf(fd_), candidate, GENERIC_READ | GENERIC_WRITE | DELETE, kCreate,
                   kNonDirectoryFile, &handle);
    if (error == 0) {
      if (name != nullptr) *name = candidate;
      std::unique_ptr<FileStream> stream(new FileStream(
          win32::DescriptorOf(handle), PathOf(candidate), kFmOpenReadWrite | kFmShareExclusive));
      stream->StartsNew();
      return stream;
    }
  }
  throw InOutError::FromErrno("cannot create a work file in " + path_, error);
}

// Windows has no files without names: work files are named.
void ForgoUnnamedFiles() {}

std::unique_ptr<FileStream> Folder::CreateUnnamedFile() const {
  return nullptr;
}

int Folder::Link(FileStream&, const std::string&) const {
  return ENOSYS;
}

int Folder::LinkUnique(FileStream&, const std::string&, std::string*) const {
  return ENOSYS;
}

std::unique_ptr<FileStream> Folder::CreateFile(const std::string& name) const {
  if (KindOf(name) == EntryKind::kLink) throw FileCreateError(PathOf(name), ELOOP);
  HANDLE handle = nullptr;
  const int error = OpenIn(HandleOf(fd_), name, GENERIC_READ | GENERIC_WRITE | DELETE, kOverwriteIf,
                           kNonDirectoryFile, &handle);
  if (error != 0) throw FileCreateError(PathOf(name), error);
  std::unique_ptr<FileStream> stream(
      new FileStream(win32::DescriptorOf(handle), PathOf(name), kFmCreate));
  stream->StartsNew();
  return stream;
}

int Folder::Rename(const std::string& from, const std::string& to, bool no_replace) const {
  return MoveBetween(HandleOf(fd_), from, HandleOf(fd_), to, !no_replace);
}

int Folder::RenameInto(const std::string& from, const Folder& to_folder,
                       const std::string& to) const {
  return MoveBetween(HandleOf(fd_), from, HandleOf(to_folder.fd_), to, true);
}

int Folder::Remove(const std::string& name) const {
  HANDLE handle = nullptr;
  const int error = OpenIn(HandleOf(fd_), name, DELETE, kOpen, kNonDirectoryFile, &handle);
  if (error != 0) return error;
  FILE_DISPOSITION_INFO disposition{TRUE};
  const int removed =
      ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
          ? 0
          : LastErrno();
  ::CloseHandle(handle);
  return removed;
}

Folder Folder::Duplicate() const {
  Folder copy;
  HANDLE duplicate = nullptr;
  if (fd_ >= 0 && ::DuplicateHandle(::GetCurrentProcess(), HandleOf(fd_), ::GetCurrentProcess(),
                                    &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    copy.fd_ = win32::DescriptorOf(duplicate);
  }
  copy.path_ = path_;
  return copy;
}

}  // namespace vz::platform
