// Folder descriptors over openat and its relatives. Every call that can be interrupted by a signal
// is retried.
#include "platform/folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/random.h"
#include "platform/runtime_errors.h"

namespace vz::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

int OpenAt(int dir, const std::string& name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(dir, name.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Six characters of a unique name. The names need not be secret (a file is created only where no
// name exists, and never through a link), just unlikely to meet: a generator per thread, seeded
// once from the system's random source, saves a system call per file.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local uint64_t state = [] {
    std::array<uint8_t, 8> seed{};
    FillRandomBytes(seed);
    uint64_t value = 0;
    for (uint8_t b : seed) value = value << 8 | b;
    return value;
  }();
  // splitmix64
  state += 0x9E3779B97F4A7C15ull;
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  std::string suffix;
  for (int i = 0; i < 6; ++i, z >>= 8) suffix += kAlphabet[(z & 0xFF) % (sizeof kAlphabet - 1)];
  return suffix;
}

// How this process gives an unnamed file its name: by its descriptor (AT_EMPTY_PATH: Linux 6.10
// on, or a privileged process), else through /proc/self/fd, else not at all. Learnt once, with a
// file made for the purpose, and kept for the run; so is a file system without unnamed files.
enum LinkWay : int { kNotKnown, kByDescriptor, kThroughProc, kNoWay };
std::atomic<int> g_link_way{kNotKnown};
std::atomic<bool> g_unnamed_files{true};

int LinkWith(int way, int fd, int folder, const std::string& name) {
  if (way == kByDescriptor) {
    return ::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int LinkWayIn(int folder) {
  const int known = g_link_way.load();
  if (known != kNotKnown) return known;
  const int probe = OpenAt(folder, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (probe < 0) return kNotKnown;  // the file that follows meets the same refusal
  int way = kNoWay;
  for (const int candidate : {kByDescriptor, kThroughProc}) {
    const std::string name = "VMS" + RandomSuffix();
    if (LinkWith(candidate, probe, folder, name) == 0) {
      ::unlinkat(folder, name.c_str(), 0);
      way = candidate;
      break;
    }
  }
  ::close(probe);
  g_link_way = way;
  return way;
}

}  // namespace

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

int Folder::Open(const std::string& path, Folder& out) {
  const int fd = OpenAt(AT_FDCWD, path.empty() ? std::string(".") : path, kFolderFlags);
  if (fd < 0) return errno;
  out = Folder();
  out.fd_ = fd;
  out.path_ = path;
  return 0;
}

std::string Folder::PathOf(const std::string& name) const {
  if (path_.empty()) return name;
  return path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

int Folder::OpenChild(const std::string& name, bool create, Folder& out) const {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = OpenAt(fd_, name, kFolderFlags | O_NOFOLLOW);
    if (fd >= 0) {
      out = Folder();
      out.fd_ = fd;
      out.path_ = PathOf(name);
      return 0;
    }
    const int error = errno;
    if (error != ENOENT) {
      // O_NOFOLLOW and O_DIRECTORY together do not say which of the two refused: look.
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
    if (!create) return ENOENT;
    // Another program may make the folder at the same moment: then it is opened as found.
    if (::mkdirat(fd_, name.c_str(), 0777) != 0 && errno != EEXIST) return errno;
  }
  return ENOENT;
}

namespace {

std::optional<FileIdentity> FolderIdentityOf(int result, const struct stat& st) {
  if (result != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace

std::optional<FileIdentity> Folder::Identity() const {
  struct stat st {};
  return FolderIdentityOf(::fstat(fd_, &st), st);
}

std::optional<FileIdentity> Folder::IdentityOf(const std::string& name) const {
  struct stat st {};
  return FolderIdentityOf(::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW), st);
}

EntryKind Folder::KindOf(const std::string& name) const {
  struct stat st {};
  if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::kNone;
  if (S_ISLNK(st.st_mode)) return EntryKind::kLink;
  if (S_ISDIR(st.st_mode)) return EntryKind::kFolder;
  if (S_ISREG(st.st_mode)) return EntryKind::kFile;
  return EntryKind::kOther;
}

std::unique_ptr<FileStream> Folder::CreateUniqueFile(const std::string& prefix,
                                                     std::string* name) const {
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    const std::string candidate = prefix + RandomSuffix();
    const int fd = OpenAt(fd_, candidate, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (name != nullptr) *name = candidate;
      std::unique_ptr<FileStream> stream(
          new FileStream(fd, PathOf(candidate), kFmOpenReadWrite | kFmShareExclusive));
      stream->StartsNew();
      return stream;
    }
    error = errno;
  }
  // The name is random and was never made: the message names the folder.
  throw InOutError::FromErrno("cannot create a work file in " + path_, error);
}

void ForgoUnnamedFiles() {
  g_unnamed_files = false;
}

std::unique_ptr<FileStream> Folder::CreateUnnamedFile() const {
  if (!g_unnamed_files.load(std::memory_order_relaxed)) return nullptr;
  if (LinkWayIn(fd_) == kNoWay) {
    g_unnamed_files = false;
    return nullptr;
  }
  const int fd = OpenAt(fd_, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int error = errno;
    // A file system (or a kernel) without unnamed files answers with one of these.
    if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS) {
      g_unnamed_files = false;
      return nullptr;
    }
    throw InOutError::FromErrno("cannot create a work file in " + path_, error);
  }
  std::unique_ptr<FileStream> stream(
      new FileStream(fd, path_, kFmOpenReadWrite | kFmShareExclusive));
  stream->StartsNew();
  return stream;
}

int Folder::Link(FileStream& stream, const std::string& name) const {
  const int way = g_link_way.load(std::memory_order_relaxed);
  if (way != kByDescriptor && way != kThroughProc) return ENOSYS;
  return LinkWith(way, stream.fd_, fd_, name);
}

int Folder::LinkUnique(FileStream& stream, const std::string& prefix, std::string* name) const {
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    const std::string candidate = prefix + RandomSuffix();
    error = Link(stream, candidate);
    if (error == 0) *name = candidate;
  }
  return error;
}

std::unique_ptr<FileStream> Folder::CreateFile(const std::string& name) const {
  const int fd = OpenAt(fd_, name, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) throw FileCreateError(PathOf(name), errno);
  return std::unique_ptr<FileStream>(new FileStream(fd, PathOf(name), kFmCreate));
}

int Folder::Rename(const std::string& from, const std::string& to, bool no_replace) const {
  if (no_replace) {
    if (::renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    // File systems without the flag: a hard link fails on an existing name just the same.
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::linkat(fd_, from.c_str(), fd_, to.c_str(), 0) != 0) return errno;
    ::unlinkat(fd_, from.c_str(), 0);
    return 0;
  }
  return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 ? 0 : errno;
}

int Folder::RenameInto(const std::string& from, const Folder& to_folder,
                       const std::string& to) const {
  return ::renameat(fd_, from.c_str(), to_folder.fd_, to.c_str()) == 0 ? 0 : errno;
}

int Folder::Remove(const std::string& name) const {
  return ::unlinkat(fd_, name.c_str(), 0) == 0 ? 0 : errno;
}

Folder Folder::Duplicate() const {
  Folder copy;
  if (fd_ >= 0) copy.fd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  copy.path_ = path_;
  return copy;
}

}  // namespace vz::platform
