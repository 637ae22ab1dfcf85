// Writing a zip archive.
//
// A save writes the complete new archive straight into a work file in the archive's own folder:
// unchanged and moved items are copied from the old file byte for byte behind a rebuilt local
// header, new and freshened items are compressed by the insert procedures right behind a local
// header that is completed once their sizes are known, and the central directory collects in a
// memory stream until the items are done. Only when the work file is complete, flushed and given
// the old file's owner and permissions is it renamed over the archive. So a full disk or any other
// failure on the way leaves the old archive as it was (the items' records are put back as well, so
// the archive object keeps describing the file that is really there), and no second copy of the
// archive is made anywhere else. With more than one thread, items from files are compressed ahead
// on worker threads (archive/parallel_save.h) and written here in the same order, with the same
// events, as one thread writes them.
//
// The name the archive was opened by may be a symbolic link: the file at the end of the link is
// the one replaced, and the link stays. The new file is locked (platform/file_lock.h) before it
// takes the archive's name, so another writer waiting for the archive waits on until this one is
// done with it. A new archive gets its file only when at least one item was stored, and never over
// a file that another program made under that name meanwhile.
//
// Records are written in their classic layout unless a value does not fit: an item or offset of
// 4 GiB or more gets the ZIP64 extra field, and 65,535 items or more (or a directory that big or
// that far) the ZIP64 end record and locator, so small archives keep their classic bytes. The
// local header of a new item is written before its data, so an item whose source is near 4 GiB or
// more gets room for ZIP64 sizes in it whatever its data comes to.
//
// A spanned set is written part by part through the archive file stream, each part under a work
// name until the set is complete; since a part that is written cannot be gone back to, new items
// of a set are compressed into a work stream first. An archive over a caller's stream is built in
// a work stream and copied into the caller's stream at the end.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "archive/byte_order.h"
#include "archive/parallel_save.h"
#include "archive/save_output.h"
#include "archive/utils.h"
#include "archive/vm_stream.h"
#include "archive/zip_archive.h"
#include "archive/zip_proc.h"
#include "codec/deflate_base.h"
#include "codec/percent.h"
#include "platform/file_lock.h"
#include "platform/file_stream.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/memory_stream.h"
#include "platform/process.h"
#include "platform/runtime_errors.h"
#include "platform/temp_files.h"

namespace vz {

namespace {

// Without spanning the whole archive is one part, of any size.
constexpr int64_t kOnePart = std::numeric_limits<int64_t>::max();
// Parts are named set.z01 to set.z98 and the archive's own name: a set has at most 99.
constexpr int kMaxParts = 99;
// A new item whose source holds at least this many bytes (3.75 GiB), or whose size cannot be told
// beforehand, gets room for ZIP64 sizes in its local header: what a method or the encryption adds
// to the data stays well within the 256 MiB to spare.
constexpr int64_t kZip64Room = 0xF0000000;

// Version 4.5 for an item whose records use ZIP64.
void NeedZip64Version(ZipItem& item) {
  const uint16_t version = item.VersionNeeded();
  if ((version & 0xFF) < kZip64VersionNeeded) {
    item.SetVersionNeeded(static_cast<uint16_t>((version & 0xFF00) | kZip64VersionNeeded));
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new work file beside path (same folder, so a rename can put it in path's place).
std::unique_ptr<platform::WorkFile> NewFileBeside(const std::string& path) {
  platform::Folder folder;
  const std::string where = FolderOf(path);
  if (const int error = platform::Folder::Open(where, folder)) {
    throw InOutError::FromErrno(where, error);
  }
  return std::make_unique<platform::WorkFile>(folder, "VMS");
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
  void OpenOutput();
  void WriteItems();
  void CopyItem(ZipItem& item);
  void InsertItem(ZipItem& item);
  void InsertInPlace(ZipItem& item);
  void InsertThroughWorkStream(ZipItem& item);
  void RunInsertProc(ZipItem& item, Stream& out);
  // Starts workers compressing the new items from files ahead, when the archive asks for more
  // than one thread and the items are written in place by the built-in procedure.
  void StartAhead();
  // What the insert procedure would have done, from an item compressed ahead.
  void ReplayAhead(ZipItem& item, ItemAhead& ahead, Stream& out);
  // Writes the item's local header at the current position; reserve keeps room for ZIP64 sizes.
  void BeginEntry(ZipItem& item, bool reserve_zip64);
  void EndEntry(ZipItem& item);
  int64_t Position() { return out_->Position(); }
  void UpdatePart();
  void WriteDirectory();
  void Finish();
  void FinishMemory();
  void FinishParts();
  void FinishFile();
  void FinishItems();
  void Restore();
  ZipLocalFileHeader LocalHeaderOf(const ZipItem& item, bool reserve_zip64) const;
  void WriteDescriptor(const ZipItem& item);

  ZipArchive& zip_;
  Stream* old_ = nullptr;
  // The new archive goes to exactly one of these, through out_.
  std::unique_ptr<platform::WorkFile> file_;                // one file beside the archive
  std::vector<std::unique_ptr<platform::WorkFile>> parts_;  // the parts of a spanned set
  std::vector<std::string> part_names_;                     // their final names
  std::unique_ptr<SpanStream> part_stream_;
  std::unique_ptr<VirtualMemoryStream> memory_;  // an archive over a caller's stream
  std::unique_ptr<SaveOutput> out_;
  std::string target_;  // the file the archive's name leads to
  MemoryStream directory_;
  bool new_set_ = false;
  int64_t part_size_ = kOnePart;
  int64_t part_number_ = 0;
  int64_t part_offset_ = 0;
  int64_t entries_ = 0;
  bool local_zip64_ = false;  // the last local header written has a ZIP64 field
  std::vector<Snapshot> snapshot_;
  ZipDirectoryFileFooter old_end_record_;
  std::unique_ptr<SaveAhead> ahead_;  // compresses the new items on other threads
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
  // An archive whose stream was opened for writing is read through one that reads.
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
    OpenOutput();
    if (zip_.IsExecutable()) {
      // The stub: the old file's bytes before its first item.
      if (zip_.StubSize() > 0) {
        old_->SetPosition(0);
        out_->CopyFrom(*old_, zip_.StubSize());
      }
    } else if (new_set_) {
      WriteMarker(*out_, kSpannedOnePartSignature);
    }
    zip_.end_record_.entries_this_disk = 0;
    zip_.end_record_.total_entries = 0;
    part_number_ = 0;
    part_offset_ = Position();
    old_->SetPosition(0);
    StartAhead();
    WriteItems();
    ahead_.reset();
    WriteDirectory();
    out_->Flush();
    Finish();
  } catch (...) {
    // The workers stop before anything is put back; what they made goes with them.
    ahead_.reset();
    if (old_span != nullptr && zip_.stream_ == old_span) {
      old_span->SetSwitchingSuspended(was_suspended);
    }
    Restore();
    // Whatever was written is removed with the work files when the writer goes.
    try {
      throw;
    } catch (const UserAbortError&) {
      throw;
    } catch (const BadStreamError&) {
      throw;
    } catch (const std::exception& e) {
      // The new archive could not be written (a full disk, for one): the save failed as a whole.
      if (out_ != nullptr && out_->Failed()) {
        // Say why the writing stopped (a full disk, the size limit) and what was being written;
        // which codec or thread met the failure first says nothing to the user.
        if (file_ != nullptr && file_->Stream().LastError() != 0) {
          const int error = file_->Stream().LastError();
          throw BadStreamError(InOutError(
              "Cannot write the new archive \"" + target_ + "\": " + SystemErrorText(error),
              error));
        }
        throw BadStreamError(e);
      }
      throw;
    }
  }
  FinishItems();
  bool ignored = false;
  zip_.FireArchiveSaveProgress(100, ignored);
  zip_.FireArchiveProgress(100, ignored);
}

void ZipWriter::DecideParts() {
  const bool file = zip_.HasOwnFile();
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

void ZipWriter::OpenOutput() {
  if (!zip_.HasOwnFile()) {
    memory_ = std::make_unique<VirtualMemoryStream>();
    memory_->SetSwapFolder(zip_.TempDirectory());
    out_ = std::make_unique<SaveOutput>(*memory_, true);
    return;
  }
  const std::string& name = zip_.ArchiveFileName();
  try {
    if (!new_set_) {
      target_ = platform::FinalLinkTarget(name);
      file_ = NewFileBeside(target_);
      out_ = std::make_unique<SaveOutput>(file_->Stream(), true, true);
      return;
    }
    // The parts' own names are asked for; each is written under a work name first.
    parts_.push_back(NewFileBeside(name));
    part_names_.push_back(SpanPartName(name, 0));
    parts_.back()->Close(false);
    part_stream_ = std::make_unique<SpanStream>(parts_.back()->Path(), part_size_,
                                                MediaKind::kLocal, kFmCreate);
    part_stream_->OnRequestImage = [this, name](void* sender, int number, std::string& image,
                                                bool& abort) {
      std::string proposed = SpanPartName(name, number);
      zip_.FireMediaRequest(sender, number, proposed, abort);
      if (abort) return;
      parts_.push_back(NewFileBeside(proposed));
      part_names_.push_back(proposed);
      parts_.back()->Close(false);
      image = parts_.back()->Path();
    };
    out_ = std::make_unique<SaveOutput>(*part_stream_, false);
  } catch (const std::exception& e) {
    throw BadStreamError(e);
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

ZipLocalFileHeader ZipWriter::LocalHeaderOf(const ZipItem& item, bool reserve_zip64) const {
  ZipLocalFileHeader local = item.MakeLocalHeader();
  // The local header carries the same name bytes as the central one: a reader that goes by
  // local headers (a streaming reader) must see the name the flag and host byte describe.
  local.name = item.Header().name;
  local.reserve_zip64 = reserve_zip64;
  return local;
}

void ZipWriter::WriteDescriptor(const ZipItem& item) {
  ZipDataDescriptor descriptor;
  descriptor.crc32 = item.CRC32();
  descriptor.compressed_size = item.Header().compressed_size;
  descriptor.uncompressed_size = item.Header().uncompressed_size;
  descriptor.zip64 = local_zip64_;
  descriptor.Write(*out_);
}

void ZipWriter::BeginEntry(ZipItem& item, bool reserve_zip64) {
  if (part_number_ > 0xFFFF) throw ArchiveError("Too many parts for a zip archive");
  item.SetDiskNumberStart(static_cast<uint16_t>(part_number_));
  item.SetLocalHeaderOffset(static_cast<uint64_t>(part_offset_));
  ZipLocalFileHeader local = LocalHeaderOf(item, reserve_zip64);
  local_zip64_ = local.WritesZip64();
  if (local_zip64_ || item.Header().WritesZip64()) {
    NeedZip64Version(item);
    local.version_needed = item.VersionNeeded();
  }
  local.Write(*out_);
}

void ZipWriter::EndEntry(ZipItem& item) {
  item.Header().Write(directory_);
  ++entries_;
  zip_.end_record_.entries_this_disk = static_cast<uint64_t>(entries_);
  zip_.end_record_.total_entries = static_cast<uint64_t>(entries_);
}

void ZipWriter::CopyItem(ZipItem& item) {
  old_->SetPosition(static_cast<int64_t>(item.LocalHeaderOffset()));
  ZipLocalFileHeader old_local;
  old_local.Read(*old_);
  BeginEntry(item, false);
  if (item.CompressedSize() > 0) out_->CopyFrom(*old_, item.CompressedSize());
  // A descriptor follows whenever the flag says one does; the old one is behind the data copied.
  if (item.Flag() & kFlagDataDescriptor) WriteDescriptor(item);
  EndEntry(item);
}

void ZipWriter::RunInsertProc(ZipItem& item, Stream& out) {
  const InsertionProcedures* procedures = zip_.Insertion();
  if (procedures == nullptr) throw ZipNoInsertionError();
  if (item.PendingAction() == iaStreamAdd) {
    procedures->InsertFromStreamProc(zip_, item, out, zip_.SourceStream());
  } else {
    procedures->InsertProc(zip_, item, out);
  }
}

namespace {

bool FromFile(const ZipItem& item) {
  const ItemAction action = item.PendingAction();
  return action == iaAdd || action == iaFreshen || action == iaReplace;
}

}  // namespace

void ZipWriter::StartAhead() {
  const int threads = zip_.EffectiveThreadCount();
  if (threads <= 1 || !out_->Seekable() || zip_.Insertion() == nullptr ||
      !zip_.Insertion()->CompressesOnWorkers()) {
    return;
  }
  std::vector<ZipItem*> items;
  for (int i = 0; i < zip_.ItemCount(); ++i) {
    if (FromFile(*zip_.ZipItems(i))) items.push_back(zip_.ZipItems(i));
  }
  // One item alone gains nothing from another thread.
  if (items.size() > 1) ahead_ = std::make_unique<SaveAhead>(zip_, items, threads);
}

void ZipWriter::ReplayAhead(ZipItem& item, ItemAhead& ahead, Stream& out) {
  for (const ItemAhead::Report& report : ahead.reports) {
    const auto percent = static_cast<uint8_t>(std::clamp(report.percent, 0, 100));
    bool abort = false;
    switch (report.kind) {
      case ItemAhead::Report::kCodec:
        zip_.FireCodecProgress(report.percent);
        break;
      case ItemAhead::Report::kStore:
        zip_.ItemProgressProc(percent, abort);
        if (abort) {
          // Storing stops there, reports its end and gives up, as it does on this thread.
          bool ignored = false;
          if (percent < 100) zip_.ItemProgressProc(100, ignored);
          throw UserAbortError();
        }
        break;
      case ItemAhead::Report::kStoreLast:
        zip_.ItemProgressProc(percent, abort);
        break;
    }
  }
  if (ahead.failure) std::rethrow_exception(ahead.failure);
  out.CopyFrom(*ahead.data, 0);
  // The item takes the fields the compression set; where its header went is this writer's.
  const uint16_t disk = item.DiskNumberStart();
  const uint64_t offset = item.LocalHeaderOffset();
  item.Header() = ahead.item.Header();
  item.SetDiskNumberStart(disk);
  item.SetLocalHeaderOffset(offset);
}

// The data goes straight behind a local header written first and completed afterwards: the
// header's length depends only on the name and the extra field, which compression leaves alone.
void ZipWriter::InsertInPlace(ZipItem& item) {
  std::unique_ptr<ItemAhead> ahead;
  if (ahead_ != nullptr && FromFile(item)) {
    ahead = ahead_->Take();
    Check(ahead == nullptr || ahead->original == &item, "ZipWriter: items ahead out of order");
  }
  int64_t source_size = 0;
  if (ahead != nullptr) {
    source_size = ahead->source_size;
  } else {
    const std::optional<int64_t> told =
        zip_.Insertion() != nullptr ? zip_.Insertion()->SourceSize(zip_, item) : std::nullopt;
    source_size = told ? *told : ItemSourceSize(zip_, item);
  }
  // A file opened for the item and not taken by its compression is closed with the item.
  struct CloseUnused {
    ZipArchive& zip;
    ~CloseUnused() { zip.PendingSource() = {}; }
  } close_unused{zip_};
  const bool reserve = source_size < 0 || source_size >= kZip64Room;
  // The sizes are not known yet: the first header holds placeholders, and only the reserve
  // decides whether it has room for ZIP64 sizes.
  item.SetCompressedSize(0);
  item.SetUncompressedSize(0);
  PrepareItemExtra(zip_, item);
  const int64_t header_start = Position();
  BeginEntry(item, reserve);
  const int64_t data_start = Position();
  {
    ItemWindow window(*out_, data_start);
    if (ahead != nullptr) {
      ReplayAhead(item, *ahead, window);
    } else {
      RunInsertProc(item, window);
    }
  }
  const int64_t data_end = out_->Size();
  ZipLocalFileHeader local = LocalHeaderOf(item, reserve);
  if (local.WritesZip64() != local_zip64_) {
    throw ArchiveError("The file grew to 4 GiB or more while it was added; add it again");
  }
  if (local_zip64_ || item.Header().WritesZip64()) {
    NeedZip64Version(item);
    local.version_needed = item.VersionNeeded();
  }
  out_->SetPosition(header_start);
  local.Write(*out_);
  Check(Position() == data_start, "ZipWriter: the local header changed its length");
  out_->SetPosition(data_end);
}

void ZipWriter::InsertThroughWorkStream(ZipItem& item) {
  auto item_stream = std::make_unique<VirtualMemoryStream>();
  item_stream->SetSwapFolder(zip_.TempDirectory());
  RunInsertProc(item, *item_stream);
  BeginEntry(item, false);
  out_->CopyFrom(*item_stream, 0);
}

void ZipWriter::InsertItem(ZipItem& item) {
  const ItemAction action = item.PendingAction();
  const ZipDirectoryFileHeader before = item.Header();
  const int64_t mark = Position();
  const int64_t directory_mark = directory_.Size();
  try {
    if (out_->Seekable()) {
      InsertInPlace(item);
    } else {
      InsertThroughWorkStream(item);
    }
    if (item.Flag() & kFlagDataDescriptor) WriteDescriptor(item);
    EndEntry(item);
  } catch (const UserAbortError&) {
    throw;
  } catch (const AbortProgressError&) {
    // The user's answer to a codec's progress report ends the save, as storing's does.
    throw UserAbortError();
  } catch (...) {
    // A write to the new archive that failed ends the save; so does a failure after some of the
    // item went into a part of a set, which cannot be taken back.
    if (out_->Failed() || (!out_->Seekable() && Position() != mark)) throw;
    const std::string message = CurrentExceptionMessage();
    // Nothing of the failed item stays in the new archive.
    out_->SetSize(mark);
    out_->SetPosition(mark);
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
  const int64_t position = Position();
  part_number_ = position / part_size_;
  part_offset_ = position - part_number_ * part_size_;
}

void ZipWriter::WriteDirectory() {
  // A spanned set starts its central directory in a part that can hold it (and then one byte in).
  const int64_t room = part_size_ - part_offset_;
  if (new_set_ && room > 0 && room < directory_.Size() + 512) {
    const std::vector<uint8_t> zeros(static_cast<size_t>(room + 1), 0);
    out_->WriteBuffer(zeros);
    UpdatePart();
  }
  ZipDirectoryFileFooter& end = zip_.end_record_;
  end.directory_disk = static_cast<uint32_t>(part_number_);
  end.directory_offset = static_cast<uint64_t>(part_offset_);
  out_->CopyFrom(directory_, 0);
  if (new_set_) part_number_ = Position() / part_size_;
  end.directory_size = static_cast<uint64_t>(directory_.Size());
  if (part_number_ >= kMaxParts) {
    throw ArchiveError("A spanned set cannot have more than 99 parts; choose larger parts");
  }
  end.this_disk = static_cast<uint32_t>(part_number_);
  end.signature = kEndRecordSignature;
  end.zip64 = end.NeedsZip64();
  if (end.zip64) {
    // The ZIP64 end record follows the directory on the same part; its locator points to it.
    const int64_t record_offset = Position() - part_number_ * (new_set_ ? part_size_ : 0);
    end.WriteZip64(*out_, static_cast<uint64_t>(record_offset), end.this_disk, end.this_disk + 1);
  }
  end.Write(*out_);
}

void ZipWriter::Finish() {
  if (memory_) {
    FinishMemory();
    return;
  }
  // A new archive appears only with at least one item in it; the work files go with the writer.
  if (zip_.IsNewFile() && entries_ == 0) return;
  if (part_stream_) {
    FinishParts();
  } else {
    FinishFile();
  }
  zip_.new_file_ = false;
}

void ZipWriter::FinishMemory() {
  // An archive over a caller's stream is rewritten in place: there is no file to replace.
  try {
    memory_->SetPosition(0);
    old_->SetSize(0);
    old_->SetPosition(0);
    old_->CopyFrom(*memory_, 0);
  } catch (const UserAbortError&) {
    throw;
  } catch (const std::exception& e) {
    throw BadStreamError(e);
  }
}

void ZipWriter::FinishFile() {
  try {
    FileStream& file = file_->Stream();
    if (zip_.IsNewFile()) {
      file.SetPermissions(platform::DefaultFileMode());
    } else if (const auto old = platform::OwnershipOf(target_)) {
      file.SetOwner(old->uid, old->gid);  // only what the process may give away
      file.SetPermissions(old->mode);
    }
    // A file that is replaced is on disk before the rename, so a crash leaves the old archive or
    // the whole new one. An archive that replaces nothing is not synced, as an extracted file is
    // not: at worst a crash loses the new archive itself.
    const bool no_replace = zip_.IsNewFile() && !zip_.replaces_existing_file_;
    file_->Close(!no_replace);
    // Writers waiting for the archive wait on, now for the new file.
    auto lock = platform::FileLock::Acquire(file_->Path());
    if (const int error = file_->PlaceAs(BaseNameOf(target_), no_replace)) {
      if (error == EEXIST && no_replace) {
        throw InOutError(target_ +
                             ": another program created this file meanwhile; it is left "
                             "as it is",
                         error);
      }
      throw InOutError::FromErrno(target_, error);
    }
    zip_.HoldLock(std::move(lock));
  } catch (const std::exception& e) {
    throw BadStreamError(e);
  }
  zip_.ReplaceStream(zip_.OpenPartStream(zip_.ArchiveFileName()));
  zip_.SetSpanned(false);
}

// The parts are renamed into place once all are written, the archive's own name last.
void ZipWriter::FinishParts() {
  const std::string& name = zip_.ArchiveFileName();
  const bool spanned = part_number_ > 0 && Position() > part_size_ && new_set_;
  if (spanned && zip_.IsExecutable()) throw ArchiveError(MessageText(16), 16);
  try {
    part_stream_.reset();
    if (spanned) {
      FileStream first(parts_.front()->Path(), kFmOpenReadWrite);
      WriteMarker(first, kSpannedSetSignature);
    }
    const auto old = platform::OwnershipOf(name);
    const uint32_t mode = old ? old->mode : platform::DefaultFileMode();
    for (const auto& part : parts_) {
      // Opened for writing: Windows flushes only what a handle may write.
      FileStream file(part->Path(), kFmOpenReadWrite);
      file.SetPermissions(mode);
      file.Flush();
    }
    part_names_.back() = name;
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (const int error = parts_[i]->PlaceAs(BaseNameOf(part_names_[i]))) {
        throw InOutError::FromErrno(part_names_[i], error);
      }
    }
  } catch (const std::exception& e) {
    throw BadStreamError(e);
  }
  zip_.ReplaceStream(zip_.OpenPartStream(name));
  zip_.SetSpanned(spanned);
  if (spanned) {
    zip_.current_disk_ = static_cast<uint16_t>(part_number_);
    zip_.generate_image_names_ = true;
  }
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
