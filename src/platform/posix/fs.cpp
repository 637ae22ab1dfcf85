// POSIX implementation of the file-system services. Every call that can be interrupted by a signal
// is retried; errors are returned as errno values.
#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace vz::platform {
namespace {

// Last component of path, ignoring trailing slashes.
std::string BaseName(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const size_t slash = path.rfind('/', end - 1);
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(start, end - start);
}

uint32_t AttributesFromStat(const struct stat& st, const std::string& name) {
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kFaDirectory;
  if (S_ISREG(st.st_mode)) attributes |= kFaArchive;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kFaReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kFaHidden;
  return attributes;
}

int ErrorOf(int result) {
  return result == 0 ? 0 : errno;
}

FileStatus StatusOf(const struct stat& st, const std::string& path) {
  FileStatus status;
  status.is_directory = S_ISDIR(st.st_mode);
  status.is_regular = S_ISREG(st.st_mode);
  status.size = static_cast<int64_t>(st.st_size);
  status.mtime = st.st_mtime;
  status.attributes = AttributesFromStat(st, BaseName(path));
  status.device = static_cast<uint64_t>(st.st_dev);
  status.inode = static_cast<uint64_t>(st.st_ino);
  status.permissions = static_cast<uint32_t>(st.st_mode & 0777);
  if (S_ISDIR(st.st_mode)) {
    status.kind = "folder";
  } else if (S_ISREG(st.st_mode)) {
    status.kind = "regular file";
  } else if (S_ISFIFO(st.st_mode)) {
    status.kind = "FIFO";
  } else if (S_ISCHR(st.st_mode)) {
    status.kind = "character device";
  } else if (S_ISBLK(st.st_mode)) {
    status.kind = "block device";
  } else if (S_ISSOCK(st.st_mode)) {
    status.kind = "socket";
  }
  return status;
}

}  // namespace

std::optional<FileStatus> StatPath(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return StatusOf(st, path);
}

std::optional<FileStatus> StatDescriptor(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return StatusOf(st, path);
}

bool PathExists(const std::string& path) {
  return StatPath(path).has_value();
}

bool WriteProtected(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (::geteuid() == 0) {
    if ((st.st_mode & 0222) == 0) return true;
    // Root passes every permission check, but not a read-only file system's.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EROFS;
  }
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 &&
         (errno == EACCES || errno == EPERM || errno == EROFS);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::optional<FileOwnership> OwnershipOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileOwnership{st.st_uid, st.st_gid, static_cast<uint32_t>(st.st_mode & 0777)};
}

std::string FinalLinkTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buffer(static_cast<size_t>(std::max<off_t>(st.st_size, 255)) + 1);
    const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return current;
    std::string target(buffer.data(), static_cast<size_t>(n));
    if (target[0] != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  return current;
}

int SetDosAttributes(const std::string& path, uint32_t attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  mode_t mode = st.st_mode & 07777;
  if ((attributes & kFaReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return 0;
  return ErrorOf(::chmod(path.c_str(), mode));
}

int SetPermissions(const std::string& path, uint32_t mode) {
  return ErrorOf(::chmod(path.c_str(), static_cast<mode_t>(mode & 0777)));
}

std::optional<uint32_t> PermissionsOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint32_t>(st.st_mode & 0777);
}

int MakeFolder(const std::string& path) {
  return ErrorOf(::mkdir(path.c_str(), 0777));
}
int RemoveFolder(const std::string& path) {
  return ErrorOf(::rmdir(path.c_str()));
}
int DeleteFile(const std::string& path) {
  return ErrorOf(::unlink(path.c_str()));
}
int RenameFile(const std::string& from, const std::string& to) {
  return ErrorOf(::rename(from.c_str(), to.c_str()));
}

int CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (fail_if_exists ? O_EXCL : O_TRUNC);
  const int out = ::open(to.c_str(), flags, 0666);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return error;
  }
  std::vector<char> buffer(64 * 1024);
  int error = 0;
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error = w < 0 ? errno : EIO;
        break;
      }
      done += w;
    }
    if (error != 0) break;
  }
  ::close(in);
  if (::close(out) != 0 && error == 0) error = errno;
  return error;
}

int SetModificationTime(const std::string& path, std::time_t mtime) {
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = mtime;
  times[1].tv_nsec = 0;
  return ErrorOf(::utimensat(AT_FDCWD, path.c_str(), times, 0));
}

int64_t FreeBytes(const std::string& path) {
  if (path.empty()) return -1;
  std::string probe = path;
  for (;;) {
    struct statvfs vfs {};
    if (::statvfs(probe.c_str(), &vfs) == 0) {
      const unsigned __int128 bytes = static_cast<unsigned __int128>(vfs.f_bavail) *
                                      static_cast<unsigned __int128>(vfs.f_frsize);
      if (bytes > static_cast<unsigned __int128>(INT64_MAX)) return INT64_MAX;
      return static_cast<int64_t>(bytes);
    }
    if (errno != ENOENT && errno != ENOTDIR) return -1;
    // Measure the nearest existing parent of a path that is not there yet.
    while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
    const size_t slash = probe.rfind('/');
    if (slash == std::string::npos) return -1;
    const std::string parent = slash == 0 ? "/" : probe.substr(0, slash);
    if (parent == probe) return -1;
    probe = parent;
  }
}

std::string TempFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] != '\0') return tmpdir;
  return "/tmp";
}

std::optional<std::string> CreateUniqueFile(const std::string& folder, const std::string& prefix,
                                            int* error, std::string* attempted) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '/') pattern += '/';
  pattern += prefix + "XXXXXX";
  if (attempted != nullptr) *attempted = pattern;
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = errno;
    return std::nullopt;
  }
  ::close(fd);
  if (error != nullptr) *error = 0;
  return pattern;
}

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

int ListFolderChecked(const std::string& folder, std::vector<DirEntry>& entries,
                      ListDetail detail) {
  entries.clear();
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return errno;
  // Each entry is examined by its name in the open folder: one name to look up, not the path.
  const int fd = ::dirfd(dir);
  struct stat folder_st {};
  const bool types_only = detail == ListDetail::kTypes && ::fstat(fd, &folder_st) == 0;
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (types_only && entry->d_type == DT_REG) {
      DirEntry item;
      item.name = name;
      FileStatus status;
      status.is_regular = true;
      status.kind = "regular file";
      status.size = -1;
      status.device = static_cast<uint64_t>(folder_st.st_dev);
      status.inode = static_cast<uint64_t>(entry->d_ino);
      status.attributes = kFaArchive;
      if (name[0] == '.') status.attributes |= kFaHidden;
      item.attributes = status.attributes;
      item.status = status;
      entries.push_back(std::move(item));
      continue;
    }
    struct stat link_st {};
    if (::fstatat(fd, name.c_str(), &link_st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    DirEntry item;
    item.name = name;
    item.is_link = S_ISLNK(link_st.st_mode);
    struct stat st {};
    if (!item.is_link) {
      st = link_st;
      item.status = StatusOf(st, name);
    } else if (::fstatat(fd, name.c_str(), &st, 0) == 0) {
      item.status = StatusOf(st, name);
    } else {
      st = link_st;  // a dangling link is listed with the attributes of the link itself
    }
    item.attributes = AttributesFromStat(st, name);
    entries.push_back(std::move(item));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return 0;
}

std::optional<std::string> ReadSmallFile(const std::string& path, int64_t max_size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> contents;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= max_size) {
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    data.resize(done);  // a file that shrank while it was read gives what was there
    contents = std::move(data);
  }
  ::close(fd);
  return contents;
}

}  // namespace vz::platform
