// The format-neutral archive: item list, pending actions, extraction by mask, freshening, logging.
#include "archive/archive.h"

#include <algorithm>
#include <cerrno>

#include "archive/utils.h"
#include "codec/deflate_base.h"
#include "codec/percent.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

std::vector<std::string> SplitMaskList(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    std::string piece = Trim(list.substr(start, end - start));
    if (!piece.empty()) out.push_back(piece);
    start = end + 1;
  }
  return out;
}

// Stored names may use "\" as well as "/" between folders; natively both become "/".
// A stored name or mask with the native separator: "/" here, "\\" on Windows.
std::string StoredToNative(const std::string& name) {
  return platform::kWindowsPaths ? ToBackslashes(name) : ToSlashes(name);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return AppendBackslash(folder) + name;
}

}  // namespace

// ---- masks -----------------------------------------------------------------------------------

std::string ArchiveItem::DiskPath() const {
  if (spare_ != nullptr && !spare_->disk_path.empty()) return spare_->disk_path;
  return disk_path_is_name_ ? StoredName() : std::string();
}

void ArchiveItem::SetDiskPath(const std::string& path) {
  disk_path_is_name_ = !path.empty() && path == StoredName();
  if (path.empty() || disk_path_is_name_) {
    if (spare_ != nullptr) spare_->disk_path.clear();
  } else {
    TheSpare().disk_path = path;
  }
}

void ArchiveItem::KeepDiskPath() {
  if (!disk_path_is_name_) return;
  TheSpare().disk_path = StoredName();
  disk_path_is_name_ = false;
}

const std::string* ArchiveItem::SpareName() const {
  return spare_ != nullptr && spare_->has_name ? &spare_->name : nullptr;
}

void ArchiveItem::SetSpareName(std::string name) {
  Spare& spare = TheSpare();
  spare.name = std::move(name);
  spare.has_name = true;
}

void ArchiveItem::ClearSpareName() {
  if (spare_ == nullptr) return;
  spare_->name.clear();
  spare_->name.shrink_to_fit();
  spare_->has_name = false;
}

ArchiveItem::Spare& ArchiveItem::TheSpare() {
  if (spare_ == nullptr) spare_ = std::make_unique<Spare>();
  return *spare_;
}

bool MatchesMask(const ArchiveItem& item, const std::string& mask) {
  // A drive or root in the mask means nothing inside an archive.
  const std::string native_mask = WithoutDrive(StoredToNative(mask));
  std::string name = StoredToNative(item.StoredName());
  // A folder entry matches by its folder's name, so "*.*" takes empty folders along.
  constexpr char kSeparator = SeparatorOf(kNativeStyle);
  if (name.size() > 1 && name.back() == kSeparator) name.pop_back();
  // An item without a name ("", "/") is taken by the masks that take everything, so that it is
  // reported when its turn comes rather than passed over without a word.
  if (name.find_first_not_of(kSeparator) == std::string::npos) {
    return native_mask == "*" || native_mask == "*.*";
  }
  return MatchFileMask(name, native_mask);
}

bool MatchesMaskList(const ArchiveItem& item, const std::string& mask_list) {
  for (const std::string& mask : SplitMaskList(mask_list)) {
    if (MatchesMask(item, mask)) return true;
  }
  return false;
}

// ---- ArchiveList -----------------------------------------------------------------------------

bool SameStoredName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldNameChar(a[i]) != FoldNameChar(b[i])) return false;
  }
  return true;
}

ArchiveList::ArchiveList() {
  buckets_.fill(nullptr);
}

uint32_t ArchiveList::NameHash(const std::string& name) {
  uint32_t h = 0;
  for (char c : name) {
    h = (h << 4) + static_cast<uint8_t>(FoldNameChar(c));
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

int ArchiveList::Add(std::unique_ptr<ArchiveItem> item) {
  ArchiveItem*& head = buckets_[NameHash(item->StoredName()) % kBuckets];
  item->next_in_chain_ = head;
  head = item.get();
  items_.push_back(std::move(item));
  return Count() - 1;
}

void ArchiveList::Unlink(ArchiveItem* item) {
  ArchiveItem*& head = buckets_[NameHash(item->StoredName()) % kBuckets];
  for (ArchiveItem** link = &head; *link != nullptr; link = &(*link)->next_in_chain_) {
    if (*link == item) {
      *link = item->next_in_chain_;
      item->next_in_chain_ = nullptr;
      return;
    }
  }
}

void ArchiveList::Delete(int index) {
  Unlink(Items(index));
  items_.erase(items_.begin() + index);
}

std::unique_ptr<ArchiveItem> ArchiveList::Release(int index) {
  Unlink(Items(index));
  std::unique_ptr<ArchiveItem> item = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  return item;
}

void ArchiveList::Rename(ArchiveItem* item, const std::string& new_name) {
  Unlink(item);
  item->SetStoredName(new_name);
  ArchiveItem*& head = buckets_[NameHash(new_name) % kBuckets];
  item->next_in_chain_ = head;
  head = item;
}

void ArchiveList::Clear() {
  items_.clear();
  buckets_.fill(nullptr);
}

int ArchiveList::IndexOfName(const std::string& name) const {
  for (ArchiveItem* item = buckets_[NameHash(name) % kBuckets]; item != nullptr;
       item = item->next_in_chain_) {
    if (!SameStoredName(item->StoredName(), name)) continue;
    for (int i = Count() - 1; i >= 0; --i) {
      if (Items(i) == item) return i;
    }
  }
  return -1;
}

ArchiveItem* ArchiveList::LiveItemNamed(const std::string& name) const {
  for (ArchiveItem* item = buckets_[NameHash(name) % kBuckets]; item != nullptr;
       item = item->next_in_chain_) {
    if (SameStoredName(item->StoredName(), name) && item->PendingAction() != iaDelete) return item;
  }
  return nullptr;
}

// ---- Archive ---------------------------------------------------------------------------------

Archive::Archive(std::unique_ptr<Stream> stream, const std::string& file_name, uint16_t mode)
    : owned_stream_(std::move(stream)),
      has_own_file_(true),
      archive_file_name_(file_name),
      open_mode_(mode) {
  stream_ = owned_stream_.get();
  ItemProgressProc = [this](uint8_t progress, bool& abort) { FireItemProgress(progress, abort); };
  const std::string program_folder = platform::ProgramFolder();
  if (!program_folder.empty()) SetBaseDirectory(program_folder);
  CommonInit();
}

Archive::Archive(Stream& stream, const std::string& archive_name)
    : archive_file_name_(archive_name) {
  stream_ = &stream;
  ItemProgressProc = [this](uint8_t progress, bool& abort) { FireItemProgress(progress, abort); };
  CommonInit();
}

void Archive::CommonInit() {
  modified_ = false;
  auto_save_ = false;
  store_options_ = 0;
  extract_options_ = 0;
  state_ = stIdle;
}

Archive::~Archive() {
  // Items go from the last to the first, as they were made.
  while (items_.Count() > 0) items_.Delete(items_.Count() - 1);
}

void Archive::ReplaceStream(std::unique_ptr<Stream> stream) {
  owned_stream_ = std::move(stream);
  stream_ = owned_stream_.get();
}

void Archive::EnsureOpen() const {
  if (state_ == stInvalid) throw NoArchiveError();
}

void Archive::BeginBusy() {
  pad_lock_.lock();
  ++lock_depth_;
  state_ = stBusy;
}

void Archive::EndBusy() {
  if (state_ == stBusy && lock_depth_ == 1) state_ = stIdle;
  if (lock_depth_ > 0) {
    --lock_depth_;
    pad_lock_.unlock();
  }
}

void Archive::SaveIfPending(ArchiveItem* item) {
  if (item->PendingAction() != iaNone) Save();
}

void Archive::ReportFailure(ArchiveItem* item, ProcessType type) {
  std::string message;
  try {
    throw;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
  }
  const auto [error_class, code] = ClassifyCurrentException();
  failure_message_ = message;
  FireProcessItemFailure(item, type, error_class, code);
  failure_message_.clear();
}

void Archive::ReportFailureAs(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                              int32_t error_code, const std::string& message) {
  failure_message_ = message;
  FireProcessItemFailure(item, type, error_class, error_code);
  failure_message_.clear();
}

int Archive::EffectiveThreadCount() const {
  return thread_count_ > 0 ? thread_count_ : platform::UsableCores();
}

void Archive::SetBaseDirectory(const std::string& value) {
  std::string v = value;
  // A root keeps its separator.
  if (v.size() > 1 && v.back() == '/') v.pop_back();
  if (!v.empty() && !FolderExists(v)) throw NoSuchDirectoryError();
  base_directory_ = v;
}

void Archive::SetLogging(bool value) {
  logging_ = value;
  log_stream_.reset();
  if (!value || log_file_.empty()) return;
  try {
    log_stream_ = std::make_unique<FileStream>(log_file_, kFmCreate);
    WriteLogEntry(archive_file_name_, 6);
  } catch (...) {
    log_stream_.reset();
    throw ArchiveError("Error creating Log File");
  }
}

void Archive::WriteLogEntry(const std::string& name, int kind) {
  if (!log_stream_) return;
  static constexpr int32_t kCodes[] = {310, 311, 312, 313, 314, 315, 316, 513};
  if (kind < 0 || kind > 7) return;
  const std::string line =
      name + MessageText(kCodes[kind]) + platform::LocalDateTimeText() + "\r\n";
  log_stream_->WriteBuffer({reinterpret_cast<const uint8_t*>(line.data()), line.size()});
}

// ---- events ----------------------------------------------------------------------------------

void Archive::FireProcessItemFailure(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                                     int32_t error_code) {
  if (OnProcessItemFailure) OnProcessItemFailure(this, item, type, error_class, error_code);
}

void Archive::FireArchiveSaveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (OnArchiveSaveProgress) OnArchiveSaveProgress(this, progress, abort);
}

void Archive::FireArchiveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (OnArchiveProgress) OnArchiveProgress(this, progress, abort);
}

void Archive::FireArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort) {
  abort = false;
  if (OnArchiveItemProgress) OnArchiveItemProgress(this, item, progress, abort);
}

void Archive::FireConfirmProcessItem(ArchiveItem* item, ProcessType type, bool& confirm) {
  confirm = true;
  if (OnConfirmProcessItem) OnConfirmProcessItem(this, item, type, confirm);
  if (confirm && logging_) WriteLogEntry(item->StoredName(), type == ptFoundUnhandled ? 7 : type);
}

void Archive::FireConfirmSave(bool& confirm) {
  confirm = true;
  if (OnConfirmSave) OnConfirmSave(this, confirm);
}

void Archive::FireLoad() {
  if (OnLoad) OnLoad(this);
}

void Archive::FireItemProgress(uint8_t progress, bool& abort) {
  abort = false;
  FireArchiveItemProgress(active_item_, progress, abort);
}

void Archive::FireSave() {
  if (OnSave) OnSave(this);
}

void Archive::FireCodecProgress(int32_t percent) {
  bool abort = false;
  FireItemProgress(static_cast<uint8_t>(std::clamp(percent, 0, 100)), abort);
  if (abort) throw AbortProgressError();
}

// ---- operations ------------------------------------------------------------------------------

void Archive::Load() {
  BeginBusy();
  try {
    DoLoadArchive();
    if (state_ != stInvalid) state_ = stIdle;
  } catch (...) {
    // What failed to load is not the archive that is on disk: nothing may ever be written over
    // the file from it.
    state_ = stInvalid;
    FireLoad();
    EndBusy();
    throw;
  }
  FireLoad();
  EndBusy();
}

void Archive::Save() {
  if (state_ == stInvalid) return;
  // Only changes are written: a file is never rewritten as a side effect of closing or switching
  // archives. An archive over a caller's stream without items is written even when clean, which
  // is how the stream gets its end record; a new file appears only when an item is stored in it.
  const bool end_record_only = !has_own_file_ && items_.Count() == 0;
  if (!modified_ && !end_record_only) return;
  Busy([&] {
    bool confirm = true;
    FireConfirmSave(confirm);
    if (!confirm) return;
    // A save puts a new file in the archive's place.
    batch_identity_known_ = false;
    DoSaveArchive();
    ++save_count_;
    modified_ = false;
    FireSave();
  });
}

Archive::AddBatch::AddBatch(Archive& archive) : archive_(archive) {
  if (archive_.add_batch_depth_++ > 0) return;
  archive_.batch_folder_ = platform::CurrentFolder();
  archive_.batch_identity_known_ = false;
}

Archive::AddBatch::~AddBatch() {
  if (--archive_.add_batch_depth_ > 0) return;
  archive_.batch_folder_.clear();
  archive_.batch_identity_known_ = false;
}

std::string Archive::CurrentFolderForAdding() const {
  return add_batch_depth_ > 0 ? batch_folder_ : platform::CurrentFolder();
}

bool Archive::IsOwnFile(const std::string& path) const {
  if (!has_own_file_ || path.empty()) return false;
  std::optional<platform::FileIdentity> own;
  if (add_batch_depth_ > 0 && batch_identity_known_) {
    if (batch_identity_exists_) own = platform::FileIdentity{batch_device_, batch_inode_};
  } else {
    own = platform::IdentityOf(archive_file_name_);
    if (add_batch_depth_ > 0) {
      batch_identity_known_ = true;
      batch_identity_exists_ = own.has_value();
      if (own) {
        batch_device_ = own->device;
        batch_inode_ = own->inode;
      }
    }
  }
  if (!own) return false;
  const std::string full = PathKindOf(path) == pkAbsolute ? path : JoinPath(base_directory_, path);
  return platform::IdentityOf(full) == own;
}

void Archive::Add(std::unique_ptr<ArchiveItem> item) {
  EnsureOpen();
  // The archive is never one of its own inputs, whatever name or link leads to it.
  if (IsOwnFile(item->DiskPath())) return;
  AddAdmitted(std::move(item));
}

void Archive::AddAdmitted(std::unique_ptr<ArchiveItem> item) {
  EnsureOpen();
  // A stored name made from a path whose ".." climbs above where it starts (MakeStoredName left it
  // unresolved) would be extracted outside the destination, or refused there: it is not stored.
  if (HasDotDotPart(ToSlashes(item->StoredName()))) {
    failure_message_ = "Unsafe file name - its \"..\" leads above the folder the name starts in";
    FireProcessItemFailure(item.get(), ptAdd, ecArchive, 45);
    failure_message_.clear();
    return;
  }
  if (const ArchiveItem* live = items_.LiveItemNamed(item->StoredName())) {
    // Only an item that was in the archive before is freshened or replaced. A name already used
    // by this save (two files of one name in different folders) would make one of the two vanish
    // without a word: it is a failure.
    const bool from_this_save =
        live->PendingAction() != iaNone && live->PendingAction() != iaFailed;
    if (!from_this_save && (store_options_ & soFreshen)) {
      FreshenLike(*item);
    } else if (!from_this_save && (store_options_ & soReplace)) {
      ReplaceLike(*item);
    } else {
      failure_message_ = MessageText(DuplicateNameError::kCode);
      FireProcessItemFailure(item.get(), ptAdd, ecArchive, DuplicateNameError::kCode);
      failure_message_.clear();
    }
    return;
  }
  bool confirm = true;
  FireConfirmProcessItem(item.get(), ptAdd, confirm);
  if (!confirm) return;
  Busy([&] {
    item->SetPendingAction(iaAdd);
    items_.Add(std::move(item));
    modified_ = true;
    if (auto_save_) Save();
  });
}

std::vector<std::unique_ptr<ArchiveItem>> Archive::TakePendingAdditions() {
  std::vector<std::unique_ptr<ArchiveItem>> taken;
  for (int i = 0; i < items_.Count();) {
    if (items_.Items(i)->PendingAction() == iaAdd) {
      taken.push_back(items_.Release(i));
      taken.back()->SetPendingAction(iaNone);
    } else {
      ++i;
    }
  }
  return taken;
}

void Archive::AddMatching(const std::string& file_mask, uint32_t search_attr) {
  AddMatchingEx(file_mask, "", search_attr);
}

void Archive::AddMatchingEx(const std::string& file_mask, const std::string& exclusion_mask,
                            uint32_t search_attr) {
  EnsureOpen();
  const bool wild = file_mask.find_first_of("*?") != std::string::npos;
  const std::string mask = StoredToNative(file_mask);
  const std::string exclusion = StoredToNative(exclusion_mask);
  // Relative masks are searched in the base folder; the names found stay relative to it. The
  // search is rooted there explicitly instead of changing the process's current folder.
  const bool rooted = PathKindOf(mask) != pkAbsolute && !base_directory_.empty();
  const std::string root = rooted ? AppendBackslash(base_directory_) : std::string();
  auto search = [&](const std::string& list) {
    std::vector<std::string> found;
    if (list.empty()) return found;
    std::string rooted_list;
    for (const std::string& piece : SplitMaskList(list)) {
      if (!rooted_list.empty()) rooted_list += ';';
      rooted_list += PathKindOf(piece) == pkAbsolute ? piece : root + piece;
    }
    FindMatchingFilesList(rooted_list, search_attr & ~kFaDirectory, found,
                          (store_options_ & soRecurse) != 0);
    for (std::string& name : found) {
      if (rooted && name.compare(0, root.size(), root) == 0) name.erase(0, root.size());
    }
    return found;
  };
  const std::vector<std::string> excluded = search(exclusion);
  const std::vector<std::string> found = search(mask);
  const AddBatch batch(*this);
  for (const std::string& name : found) {
    const bool is_excluded = std::any_of(excluded.begin(), excluded.end(),
                                         [&](const auto& x) { return SameStoredName(x, name); });
    if (is_excluded) continue;
    const std::string full =
        PathKindOf(name) == pkAbsolute ? name : JoinPath(base_directory_, name);
    if (wild ? full == archive_file_name_ : name == archive_file_name_) continue;
    if (full == archive_file_name_) continue;  // never add the archive to itself
    Add(NewItem(name));
  }
}

void Archive::ExtractItem(int index, const std::string& new_name) {
  ExtractItemWith(index, new_name, nullptr);
}

void Archive::ExtractItemWith(int index, const std::string& new_name, ExtractAhead* ahead) {
  EnsureOpen();
  ArchiveItem* item = items_.Items(index);
  SaveIfPending(item);
  Busy([&] {
    bool confirm = true;
    FireConfirmProcessItem(item, ptExtract, confirm);
    if (!confirm) {
      if (ahead != nullptr) ahead->Skip(index);
      return;
    }
    const std::string use_name = new_name.empty() ? item->StoredName() : new_name;
    active_item_ = item;
    try {
      if (ahead != nullptr) {
        ahead->Extract(index, use_name);
      } else {
        DoExtractItem(index, use_name);
      }
    } catch (...) {
      ReportFailure(item, ptExtract);
    }
  });
}

void Archive::TestItem(int index) {
  EnsureOpen();
  ArchiveItem* item = items_.Items(index);
  Busy([&] {
    active_item_ = item;
    try {
      DoTestItem(index);
    } catch (...) {
      ReportFailure(item, ptExtract);
    }
  });
}

void Archive::ExtractMatching(const std::string& file_mask) {
  ExtractMatchingEx(file_mask, "");
}

void Archive::ExtractMatchingEx(const std::string& file_mask, const std::string& exclusion_mask) {
  EnsureOpen();
  BeginRun();
  // The folders opened for the run's items stay open until it ends, and no longer.
  run_folders_ = std::make_unique<FolderCache>();
  struct EndOfRun {
    std::unique_ptr<FolderCache>& folders;
    ~EndOfRun() { folders.reset(); }
  } end_of_run{run_folders_};
  const int count = ItemCount();
  std::vector<bool> chosen(static_cast<size_t>(count));
  std::vector<int> indices;
  for (int i = 0; i < count; ++i) {
    const ArchiveItem* item = items_.Items(i);
    chosen[static_cast<size_t>(i)] =
        MatchesMaskList(*item, file_mask) && !MatchesMaskList(*item, exclusion_mask);
    if (chosen[static_cast<size_t>(i)]) indices.push_back(i);
  }
  // The items may be decoded ahead on worker threads; the events stay on this one, in order.
  const std::unique_ptr<ExtractAhead> ahead = StartExtractAhead(indices);
  for (int i = 0; i < count; ++i) {
    if (chosen[static_cast<size_t>(i)]) {
      ExtractItemWith(i, "", ahead.get());
      // A user abort inside the item was reported with it and left the archive unusable: the
      // run ends here.
      if (state_ == stInvalid) throw UserAbortError();
    }
    bool abort = false;
    FireArchiveProgress(Percentage(i + 1, count), abort);
    if (abort) throw UserAbortError();
  }
  if (count > 0) {
    bool abort = false;
    FireArchiveProgress(100, abort);
  }
}

int Archive::DeleteMatching(const std::string& file_mask, const std::string& exclusion_mask) {
  EnsureOpen();
  int marked = 0;
  for (int i = 0; i < ItemCount(); ++i) {
    ArchiveItem* item = items_.Items(i);
    if (item->PendingAction() == iaDelete || !MatchesMaskList(*item, file_mask) ||
        MatchesMaskList(*item, exclusion_mask)) {
      continue;
    }
    bool confirm = true;
    FireConfirmProcessItem(item, ptDelete, confirm);
    if (!confirm) continue;
    item->SetPendingAction(iaDelete);
    modified_ = true;
    ++marked;
  }
  if (marked > 0 && auto_save_) Save();
  return marked;
}

int Archive::IndexOfName(const ArchiveItem& item) const {
  return items_.IndexOfName(item.StoredName());
}

void Archive::FreshenLike(const ArchiveItem& item) {
  EnsureOpen();
  const int i = IndexOfName(item);
  if (i == -1) return;
  if (PathKindOf(item.DiskPath()) == pkAbsolute) items_.Items(i)->SetDiskPath(item.DiskPath());
  FreshenItem(i);
}

void Archive::ResolveDiskPath(ArchiveItem* item) {
  const std::string name = StoredToNative(item->StoredName());
  if ((store_options_ & soRecurse) && name.find('/') == std::string::npos) {
    std::vector<std::string> hits;
    const std::string folder = base_directory_.empty() ? std::string(".") : base_directory_;
    FindMatchingFiles(JoinPath(folder, name), kFaAnyFile & ~kFaDirectory & ~kFaVolumeId, hits,
                      true);
    item->SetDiskPath(hits.empty() ? std::string() : hits.front());
    return;
  }
  std::string path;
  if (!base_directory_.empty()) {
    path = JoinPath(base_directory_, name);
  } else if (PathKindOf(item->DiskPath()) == pkAbsolute) {
    path = item->DiskPath();
  } else {
    path = name;
  }
  item->SetDiskPath(StoredToNative(path));
}

bool Archive::NeedsFreshen(ArchiveItem* item) {
  std::string path = item->DiskPath();
  if (PathKindOf(path) != pkAbsolute && !base_directory_.empty())
    path = JoinPath(base_directory_, path);
  // Opening the file shows that it can be read; a failure is the caller's to report.
  FileStream probe(path, kFmOpenRead | kFmShareDenyWrite);
  const uint32_t dos = FileDosTime(path);
  const auto date = static_cast<uint16_t>(dos >> 16);
  const auto time = static_cast<uint16_t>(dos & 0xFFFF);
  if (date != item->FileDate() || time != item->FileTime()) return true;
  return probe.Size() != item->UncompressedSize();
}

void Archive::FreshenItem(int index) {
  EnsureOpen();
  ArchiveItem* item = items_.Items(index);
  SaveIfPending(item);
  Busy([&] {
    ResolveDiskPath(item);
    bool needed = false;
    try {
      needed = NeedsFreshen(item);
    } catch (...) {
      ReportFailure(item, ptFreshen);
    }
    if (!needed) return;
    bool confirm = true;
    FireConfirmProcessItem(item, ptFreshen, confirm);
    if (!confirm) return;
    item->SetPendingAction(iaFreshen);
    modified_ = true;
    if (auto_save_) Save();
  });
}

void Archive::ReplaceLike(const ArchiveItem& item) {
  EnsureOpen();
  const int i = IndexOfName(item);
  if (i != -1) ReplaceItem(i);
}

void Archive::ReplaceItem(int index) {
  EnsureOpen();
  ArchiveItem* item = items_.Items(index);
  SaveIfPending(item);
  Busy([&] {
    ResolveDiskPath(item);
    bool confirm = true;
    FireConfirmProcessItem(item, ptReplace, confirm);
    if (!confirm) return;
    item->SetPendingAction(iaReplace);
    modified_ = true;
    if (auto_save_) Save();
  });
}

void Archive::MoveItem(ArchiveItem* item, const std::string& new_stored_name) {
  EnsureOpen();
  const std::string stored = MakeStoredName(new_stored_name);
  for (int i = 0; i < ItemCount(); ++i) {
    ArchiveItem* other = items_.Items(i);
    if (SameStoredName(other->StoredName(), stored) && other->PendingAction() != iaDelete) {
      failure_message_ = MessageText(DuplicateNameError::kCode);
      FireProcessItemFailure(item, ptMove, ecArchive, DuplicateNameError::kCode);
      failure_message_.clear();
      return;
    }
  }
  SaveIfPending(item);
  Busy([&] {
    bool confirm = true;
    FireConfirmProcessItem(item, ptMove, confirm);
    if (!confirm) return;
    items_.Rename(item, stored);
    item->SetPendingAction(iaMove);
    modified_ = true;
    if (auto_save_) Save();
  });
}

}  // namespace vz
