// Writing a zip archive.
//
// A save builds the complete new archive in a work stream: unchanged and moved items are copied
// from the old file byte for byte behind a rebuilt local header, new and freshened items come
// from the insert procedures, and the central directory collects in a memory stream until the
// items are done. The same pass numbers the parts of a spanned set, so every offset is known
// before a byte reaches the disk.
//
// Only then is the archive file replaced, and never in place: the work stream goes into a new
// file (or one new file per part) in the archive's own folder, which is renamed over the old
// archive once it is complete. A full disk or any other failure on the way leaves the old archive
// as it was; the items' records are put back as well, so the archive object keeps describing the
// file that is really there.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/byte_order.h"
#include "archive/utils.h"
#include "archive/vm_stream.h"
#include "archive/zip_archive.h"
#include "codec/percent.h"
#include "platform/file_stream.h"
#include "platform/fs.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Without spanning the whole archive is one part; its offsets are 32-bit.
constexpr int64_t kOnePart = int64_t{1} << 32;
constexpr int64_t kMaxZipValue = 0xFFFFFFFF;
constexpr int kMaxEntries = 0xFFFF;
// Parts are named set.z01 to set.z98 and the archive's own name: a set has at most 99.
constexpr int kMaxParts = 99;

uint32_t CheckedZipValue(int64_t value) {
  if (value < 0 || value > kMaxZipValue) {
    throw ArchiveError("Archive too large for the zip format (4 GiB or more)");
  }
  return static_cast<uint32_t>(value);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A new, empty work file beside path (same folder, so a rename can put it in path's place).
std::string NewFileBeside(const std::string& path) {
  int error = 0;
  std::string attempted;
  auto name = platform::CreateUniqueFile(FolderOf(path), "VMS", &error, &attempted);
  if (!name) throw InOutError::FromErrno(attempted, error);
  return *name;
}

void WriteMarker(Stream& stream, uint32_t signature) {
  ByteWriter w;
  w.U32(signature);
  stream.WriteBuffer(w.Data());
}

std::string CurrentExceptionMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

}  // namespace

// The state of one save; see the file comment.
class ZipWriter {
 public:
  explicit ZipWriter(ZipArchive& zip) : zip_(zip) {}
  void Save();

 private:
  struct Snapshot {
    ZipDirectoryFileHeader header;
    ItemAction action;
  };

  void DecideParts();
  void WriteItems();
  void CopyItem(ZipItem& item);
  void InsertItem(ZipItem& item);
  void BeginEntry(ZipItem& item);
  void EndEntry(ZipItem& item);
  void UpdatePart();
  void WriteDirectory();
  void Rewrite();
  void RewriteFiles();
  void FinishItems();
  void Restore();
  ZipLocalFileHeader LocalHeaderOf(const ZipItem& item) const;
  void WriteDescriptor(const ZipItem& item);

  ZipArchive& zip_;
  Stream* old_ = nullptr;
  std::unique_ptr<VirtualMemoryStream> work_;
  MemoryStream directory_;
  bool new_set_ = false;
  int64_t part_size_ = kOnePart;
  int64_t part_number_ = 0;
  int64_t part_offset_ = 0;
  int entries_ = 0;
  std::vector<Snapshot> snapshot_;
  ZipDirectoryFileFooter old_end_record_;
};

void ZipArchive::DoSaveArchive() {
  ZipWriter(*this).Save();
}

void ZipWriter::Save() {
  // A spanned set is never rewritten.
  if (zip_.Spanned()) {
    for (int i = 0; i < zip_.ItemCount(); ++i) {
      if (zip_.Items(i)->PendingAction() != iaFailed) zip_.Items(i)->SetPendingAction(iaNone);
    }
    zip_.SetModified(false);
    throw ZipSpanOverwriteError();
  }
  // A new archive's stream was opened for writing; the save reads the old file through one that
  // reads.
  if (auto* span = dynamic_cast<SpanStream*>(zip_.stream_); span != nullptr && span->Writing()) {
    zip_.ReplaceStream(zip_.OpenPartStream(zip_.ArchiveFileName()));
  }
  old_ = zip_.stream_;
  // Reading the old file must never wander off to another part: a short file is damage.
  auto* old_span = dynamic_cast<SpanStream*>(old_);
  const bool was_suspended = old_span != nullptr && old_span->SwitchingSuspended();
  if (old_span != nullptr) old_span->SetSwitchingSuspended(true);

  snapshot_.reserve(static_cast<size_t>(zip_.ItemCount()));
  for (int i = 0; i < zip_.ItemCount(); ++i) {
    snapshot_.push_back({zip_.ZipItems(i)->Header(), zip_.Items(i)->PendingAction()});
  }
  old_end_record_ = zip_.end_record_;
  try {
    DecideParts();
    work_ = std::make_unique<VirtualMemoryStream>();
    work_->SetSwapFolder(zip_.TempDirectory());
    if (zip_.IsExecutable()) {
      // The stub: the old file's bytes before its first item.
      if (zip_.StubSize() > 0) {
        old_->SetPosition(0);
        work_->CopyFrom(*old_, zip_.StubSize());
      }
    } else if (new_set_) {
      WriteMarker(*work_, kSpannedOnePartSignature);
    }
    zip_.end_record_.entries_this_disk = 0;
    zip_.end_record_.total_entries = 0;
    part_number_ = 0;
    part_offset_ = work_->Position();
    old_->SetPosition(0);
    WriteItems();
    WriteDirectory();
    Rewrite();
  } catch (...) {
    if (old_span != nullptr && zip_.stream_ == old_span) {
      old_span->SetSwitchingSuspended(was_suspended);
    }
    Restore();
    throw;
  }
  FinishItems();
  bool ignored = false;
  zip_.FireArchiveSaveProgress(100, ignored);
  zip_.FireArchiveProgress(100, ignored);
}

void ZipWriter::DecideParts() {
  const bool file = dynamic_cast<SpanStream*>(old_) != nullptr;
  const bool removable = file && IsRemovableDrive(zip_.ArchiveFileName());
  if (removable) {
    new_set_ = old_->Size() == 0;
    part_size_ = FreeSpaceOf(zip_.ArchiveFileName());
    if (part_size_ <= 0) part_size_ = 0x7FFFFFFF;
  } else if (file && zip_.SpanningThreshold() > 0) {
    new_set_ = true;
    part_size_ = zip_.SpanningThreshold();
  } else {
    // One part whatever its size: the free space of the disk decides nothing here, since the new
    // archive is written beside the old one and a full disk fails that write.
    new_set_ = false;
    part_size_ = kOnePart;
  }
}

void ZipWriter::WriteItems() {
  const int count = zip_.ItemCount();
  for (int i = 0; i < count; ++i) {
    ZipItem& item = *zip_.ZipItems(i);
    zip_.SetActiveItem(&item);
    switch (item.PendingAction()) {
      case iaFailed:
      case iaDelete:
        break;
      case iaNone:
      case iaMove:
        CopyItem(item);
        break;
      case iaAdd:
      case iaFreshen:
      case iaReplace:
      case iaStreamAdd:
        InsertItem(item);
        break;
    }
    bool abort = false;
    zip_.FireArchiveProgress(Percentage(int64_t{i + 1} * 9, int64_t{count} * 10), abort);
    if (abort) throw UserAbortError();
    UpdatePart();
  }
}

ZipLocalFileHeader ZipWriter::LocalHeaderOf(const ZipItem& item) const {
  ZipLocalFileHeader local = item.MakeLocalHeader();
  // The local header carries the same name bytes as the central one: a reader that goes by
  // local headers (a streaming reader) must see the name the flag and host byte describe.
  local.name = item.Header().name;
  return local;
}

void ZipWriter::WriteDescriptor(const ZipItem& item) {
  ZipDataDescriptor descriptor;
  descriptor.crc32 = item.CRC32();
  descriptor.compressed_size = item.Header().compressed_size;
  descriptor.uncompressed_size = item.Header().uncompressed_size;
  descriptor.Write(*work_);
}

void ZipWriter::BeginEntry(ZipItem& item) {
  if (part_number_ > 0xFFFF) throw ArchiveError("Too many parts for a zip archive");
  item.SetDiskNumberStart(static_cast<uint16_t>(part_number_));
  item.SetLocalHeaderOffset(CheckedZipValue(part_offset_));
  LocalHeaderOf(item).Write(*work_);
}

void ZipWriter::EndEntry(ZipItem& item) {
  if (entries_ >= kMaxEntries) {
    throw ArchiveError("Too many items for a zip archive (more than 65,535)");
  }
  item.Header().Write(directory_);
  ++entries_;
  zip_.end_record_.entries_this_disk = static_cast<uint16_t>(entries_);
  zip_.end_record_.total_entries = static_cast<uint16_t>(entries_);
}

void ZipWriter::CopyItem(ZipItem& item) {
  old_->SetPosition(item.LocalHeaderOffset());
  ZipLocalFileHeader old_local;
  old_local.Read(*old_);
  BeginEntry(item);
  if (item.CompressedSize() > 0) work_->CopyFrom(*old_, item.CompressedSize());
  // A descriptor follows whenever the flag says one does; the old one is behind the data copied.
  if (item.Flag() & kFlagDataDescriptor) WriteDescriptor(item);
  EndEntry(item);
}

void ZipWriter::InsertItem(ZipItem& item) {
  const ItemAction action = item.PendingAction();
  const ZipDirectoryFileHeader before = item.Header();
  const int64_t mark = work_->Position();
  const int64_t directory_mark = directory_.Size();
  try {
    auto item_stream = std::make_unique<VirtualMemoryStream>();
    item_stream->SetSwapFolder(zip_.TempDirectory());
    if (action == iaStreamAdd) {
      if (!zip_.InsertFromStreamProc) throw ZipNoInsertionError();
      zip_.InsertFromStreamProc(zip_, item, *item_stream, zip_.SourceStream());
    } else {
      if (!zip_.InsertProc) throw ZipNoInsertionError();
      zip_.InsertProc(zip_, item, *item_stream);
    }
    BeginEntry(item);
    work_->CopyFrom(*item_stream, 0);
    if (item.Encrypted()) WriteDescriptor(item);
    EndEntry(item);
  } catch (const UserAbortError&) {
    throw;
  } catch (...) {
    const std::string message = CurrentExceptionMessage();
    // Nothing of the failed item stays in the new archive.
    work_->SetSize(mark);
    work_->SetPosition(mark);
    directory_.SetSize(directory_mark);
    directory_.SetPosition(directory_mark);
    const bool has_old_data = action == iaFreshen || action == iaReplace;
    if (has_old_data) {
      // The item is in the old file: losing the new version must not lose the old one too.
      item.Header() = before;
      zip_.ReportFailureAs(&item, ptAdd, ecFileOpenError, 0, message);
      CopyItem(item);
      return;
    }
    item.SetPendingAction(iaDelete);
    zip_.ReportFailureAs(&item, ptAdd, ecFileOpenError, 0, message);
  }
}

void ZipWriter::UpdatePart() {
  const int64_t position = work_->Position();
  part_number_ = position / part_size_;
  part_offset_ = position - part_number_ * part_size_;
}

void ZipWriter::WriteDirectory() {
  // A spanned set starts its central directory in a part that can hold it (and then one byte in).
  const int64_t room = part_size_ - part_offset_;
  if (new_set_ && room > 0 && room < directory_.Size() + 512) {
    const std::vector<uint8_t> zeros(static_cast<size_t>(room + 1), 0);
    work_->WriteBuffer(zeros);
    UpdatePart();
  }
  ZipDirectoryFileFooter& end = zip_.end_record_;
  end.directory_disk = static_cast<uint16_t>(part_number_);
  end.directory_offset = CheckedZipValue(part_offset_);
  work_->CopyFrom(directory_, 0);
  if (new_set_) part_number_ = work_->Position() / part_size_;
  end.directory_size = CheckedZipValue(directory_.Size());
  if (part_number_ >= kMaxParts) {
    throw ArchiveError("A spanned set cannot have more than 99 parts; choose larger parts");
  }
  end.this_disk = static_cast<uint16_t>(part_number_);
  end.signature = kEndRecordSignature;
  end.Write(*work_);
  if (!new_set_) CheckedZipValue(work_->Size());
}

void ZipWriter::Rewrite() {
  const bool spanned = part_number_ > 0 && work_->Size() > part_size_ && new_set_;
  if (spanned) {
    if (zip_.IsExecutable()) throw ArchiveError(MessageText(16), 16);
    work_->SetPosition(0);
    WriteMarker(*work_, kSpannedSetSignature);
  }
  work_->SetPosition(0);
  if (dynamic_cast<SpanStream*>(old_) == nullptr) {
    // An archive over a caller's stream is rewritten in place: there is no file to replace.
    try {
      old_->SetSize(0);
      old_->SetPosition(0);
      old_->CopyFrom(*work_, 0);
    } catch (const UserAbortError&) {
      throw;
    } catch (const std::exception& e) {
      throw BadStreamError(e);
    }
    return;
  }
  RewriteFiles();
  zip_.SetSpanned(spanned);
  if (spanned) {
    zip_.current_disk_ = static_cast<uint16_t>(part_number_);
    zip_.generate_image_names_ = true;
  }
}

// Writes the work stream into new files beside the archive and renames them into place, the
// archive's own name last. Parts of a set are cut by the archive file stream as it writes.
void ZipWriter::RewriteFiles() {
  const std::string& name = zip_.ArchiveFileName();
  std::vector<std::string> temp_names;
  std::vector<std::string> final_names;
  bool aborted = false;
  auto discard = [&] {
    for (const std::string& temp : temp_names) platform::DeleteFile(temp);
  };
  try {
    temp_names.push_back(NewFileBeside(name));
    final_names.push_back(SpanPartName(name, 0));
    {
      SpanStream out(temp_names.front(), new_set_ ? part_size_ : 0, MediaKind::kLocal, kFmCreate);
      out.OnRequestImage = [&](void* sender, int number, std::string& image, bool& abort) {
        // The parts' own names are asked for; each is written under a work name first.
        std::string proposed = SpanPartName(name, number);
        zip_.FireMediaRequest(sender, number, proposed, abort);
        if (abort) return;
        final_names.push_back(proposed);
        temp_names.push_back(NewFileBeside(proposed));
        image = temp_names.back();
      };
      out.OnWriteProgress = [&](uint8_t progress, bool& abort) {
        zip_.FireArchiveSaveProgress(progress, abort);
        if (abort) aborted = true;
      };
      out.SetTotalSize(work_->Size());
      out.CopyFrom(*work_, 0);
    }
    const auto permissions = platform::PermissionsOf(name);
    for (const std::string& temp : temp_names) {
      FileStream(temp, kFmOpenRead).Flush();
      if (permissions) platform::SetPermissions(temp, *permissions);
    }
    // The last part takes the archive's name; the others theirs, before it.
    final_names.back() = name;
    for (size_t i = 0; i < temp_names.size(); ++i) {
      if (const int error = platform::RenameFile(temp_names[i], final_names[i])) {
        throw InOutError::FromErrno(final_names[i], error);
      }
      temp_names[i].clear();
    }
  } catch (const UserAbortError&) {
    discard();
    throw;
  } catch (const std::exception& e) {
    discard();
    if (aborted) throw UserAbortError();
    throw BadStreamError(e);
  }
  zip_.ReplaceStream(zip_.OpenPartStream(name));
}

void ZipWriter::FinishItems() {
  for (int i = zip_.ItemCount() - 1; i >= 0; --i) {
    ArchiveItem* item = zip_.Items(i);
    if (item->PendingAction() == iaDelete) {
      zip_.ItemList().Delete(i);
    } else if (item->PendingAction() != iaFailed) {
      item->SetPendingAction(iaNone);
    }
  }
}

void ZipWriter::Restore() {
  // Only what this save changed: the items are the same objects in the same order.
  const size_t n = std::min(snapshot_.size(), static_cast<size_t>(zip_.ItemCount()));
  for (size_t i = 0; i < n; ++i) {
    ZipItem* item = zip_.ZipItems(static_cast<int>(i));
    item->Header() = snapshot_[i].header;
    item->SetPendingAction(snapshot_[i].action);
  }
  zip_.end_record_ = old_end_record_;
}

}  // namespace vz
