// A file stream on a fresh "VMS" work file, used to decode an item before it is placed.
#pragma once

#include <memory>
#include <string>

#include "platform/file_stream.h"
#include "platform/stream.h"

namespace vz {

class TempFileStream : public Stream {
 public:
  // Creates a new unique work file in folder (the system's temporary folder when folder is empty
  // or not an existing folder) and opens it for reading and writing. Failure raises InOutError or
  // FileOpenError, and leaves no file behind.
  explicit TempFileStream(bool delete_when_freed, const std::string& folder = {});
  // With delete-when-freed the file is closed and deleted; otherwise its data is flushed to disk
  // and the file kept.
  ~TempFileStream() override;

  int64_t Read(std::span<uint8_t> buffer) override { return file_->Read(buffer); }
  int64_t Write(std::span<const uint8_t> buffer) override { return file_->Write(buffer); }
  int64_t Seek(int64_t offset, int origin) override { return file_->Seek(offset, origin); }
  int64_t Size() override { return file_->Size(); }
  void SetSize(int64_t new_size) override { file_->SetSize(new_size); }
  // Forces written data to the disk; failure raises InOutError.
  void Flush() { file_->Flush(); }

  const std::string& FileName() const { return file_name_; }
  bool DeleteWhenFreed() const { return delete_when_freed_; }
  // Keeping the file (false) is how a caller takes it over, e.g. to rename it into place.
  void SetDeleteWhenFreed(bool value) { delete_when_freed_ = value; }

 private:
  std::string file_name_;
  bool delete_when_freed_;
  std::unique_ptr<FileStream> file_;
};

}  // namespace vz
