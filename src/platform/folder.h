// Folders held open, and the files made in them by descriptor.
//
// A path is looked up anew by the kernel every time it is used, so a path checked first and used
// afterwards can lead somewhere else in between: a symbolic link that another program puts in
// place of one of its folders is followed by the second use. Extraction must never be led out of
// its destination that way. A Folder is an open descriptor instead: its subfolders are opened one
// name at a time without following a link (O_NOFOLLOW), and files are created, renamed and removed
// relative to it, so whatever happens to the path later, the work stays in the folder that was
// opened.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/file_stream.h"
#include "platform/fs.h"

namespace vz::platform {

// What a name in a folder is, the name itself examined (a link is not followed).
enum class EntryKind { kNone, kFile, kFolder, kLink, kOther };

// From now on CreateUnnamedFile makes no file, as on a file system that offers none (for tests).
void ForgoUnnamedFiles();

class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Opens the folder at path, following links: a path the caller names is the caller's choice.
  // Returns 0 or the error number.
  static int Open(const std::string& path, Folder& out);

  bool IsOpen() const { return fd_ >= 0; }
  // The path the folder was reached by, for messages.
  const std::string& Path() const { return path_; }
  // Path() joined with name.
  std::string PathOf(const std::string& name) const;

  // This folder's identity; nothing when it cannot be told.
  std::optional<FileIdentity> Identity() const;
  // The identity of the subfolder name (a link is not followed); nothing when name is no folder.
  std::optional<FileIdentity> IdentityOf(const std::string& name) const;

  // Opens the subfolder name (one component) without following a link; with create a missing
  // subfolder is made first. Returns 0 or the error number: ELOOP when name is a symbolic link,
  // ENOTDIR when it is something else than a folder, ENOENT when it is missing.
  int OpenChild(const std::string& name, bool create, Folder& out) const;
  EntryKind KindOf(const std::string& name) const;

  // Creates a new, uniquely named, empty file "<prefix>XXXXXX" (mode 0600) here and opens it for
  // reading and writing; its name goes to *name. Failure raises InOutError.
  std::unique_ptr<FileStream> CreateUniqueFile(const std::string& prefix, std::string* name) const;
  // Creates a new file here that has no name yet (Linux: O_TMPFILE), open for reading and writing
  // with mode 0600: nothing else can see it, and it vanishes with the program however that ends,
  // until Link gives it a name. Nothing when the system or this folder's file system offers no
  // such files; a file system that offers none is not asked again in this run. Failure otherwise
  // raises InOutError.
  std::unique_ptr<FileStream> CreateUnnamedFile() const;
  // Gives the unnamed file open in stream (made by CreateUnnamedFile in a folder of the same file
  // system) the name name here; an existing name is left alone (EEXIST). Returns 0 or the error
  // number. Once named, the file is an ordinary one.
  int Link(FileStream& stream, const std::string& name) const;
  // The same under a new, unique name "<prefix>XXXXXX", which goes to *name.
  int LinkUnique(FileStream& stream, const std::string& prefix, std::string* name) const;
  // Opens name here for writing, created or truncated; a symbolic link in its place is not
  // followed (ELOOP). Failure raises FileCreateError.
  std::unique_ptr<FileStream> CreateFile(const std::string& name) const;
  // Renames from to to, both names in this folder; an existing to is replaced, or with
  // no_replace left alone (EEXIST). Returns 0 or the error number.
  int Rename(const std::string& from, const std::string& to, bool no_replace = false) const;
  // Renames from in this folder to to in folder to_folder; an existing to is replaced. Returns 0
  // or the error number (EXDEV when the two are on different file systems).
  int RenameInto(const std::string& from, const Folder& to_folder, const std::string& to) const;
  // Removes the file name. Returns 0 or the error number.
  int Remove(const std::string& name) const;

  // A second descriptor on the same folder.
  Folder Duplicate() const;
  // The descriptor, for the platform's own use (the temporary-file registry).
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace vz::platform
