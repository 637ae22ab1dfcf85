// The work file is created by TempFileName (unique, mode 0600) and then opened; any failure after
// the creation deletes it again.
#include "archive/temp_file_stream.h"

#include "archive/utils.h"
#include "platform/fs.h"

namespace vz {

TempFileStream::TempFileStream(bool delete_when_freed, const std::string& folder)
    : file_name_(TempFileName(folder, true)), delete_when_freed_(delete_when_freed) {
  try {
    file_ = std::make_unique<FileStream>(file_name_, kFmOpenReadWrite | kFmShareExclusive);
  } catch (...) {
    platform::DeleteFile(file_name_);
    throw;
  }
}

TempFileStream::~TempFileStream() {
  if (delete_when_freed_) {
    file_.reset();
    platform::DeleteFile(file_name_);
    return;
  }
  try {
    file_->Flush();
  } catch (...) {
    // A destructor cannot report; the data stays in the system's buffers and reaches the disk
    // later.
  }
  file_.reset();
}

}  // namespace vz
