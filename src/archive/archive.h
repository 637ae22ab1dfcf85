// The format-neutral archive: items, the item list with its name hash, and the archive with its
// options, events and operations.
//
// An archive works in two phases. Add, freshen, replace and move only record a pending action on
// an item and mark the archive modified; nothing is written until the archive is saved (at once
// when AutoSave is on). Extraction acts immediately, item by item, and a failing item is reported
// through OnProcessItemFailure while the work goes on with the next one. A format (the zip archive)
// derives from Archive and supplies the Do... steps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/extract_target.h"
#include "archive/span_stream.h"
#include "errors/errors.h"
#include "platform/file_stream.h"
#include "platform/folder.h"
#include "platform/stream.h"

namespace vz {

enum ItemAction : uint8_t {
  iaFailed = 0,
  iaNone = 1,
  iaAdd = 2,
  iaDelete = 3,
  iaFreshen = 4,
  iaMove = 5,
  iaReplace = 6,
  iaStreamAdd = 7,
};

enum ArchiveState : uint8_t { stInvalid = 0, stIdle = 1, stBusy = 2 };

enum ProcessType : uint8_t {
  ptAdd = 0,
  ptDelete = 1,
  ptExtract = 2,
  ptFreshen = 3,
  ptMove = 4,
  ptReplace = 5,
  ptFoundUnhandled = 6,
};

// Store options, one bit each (bit n = option n).
using StoreOptions = uint8_t;
enum StoreOption : uint8_t {
  soStripDrive = 1 << 0,
  soStripPath = 1 << 1,
  soRemoveDots = 1 << 2,
  soRecurse = 1 << 3,
  soFreshen = 1 << 4,
  soReplace = 1 << 5,
};

// One entry of an archive. A format keeps the attributes, and mostly the stored name too, in its
// own header record. An archive may hold a million items, so an item holds little beyond them.
class ArchiveItem {
 public:
  ArchiveItem() = default;
  virtual ~ArchiveItem() = default;
  ArchiveItem(const ArchiveItem&) = delete;
  ArchiveItem& operator=(const ArchiveItem&) = delete;

  virtual int64_t CompressedSize() const = 0;
  virtual uint32_t CRC32() const = 0;
  virtual uint32_t ExternalFileAttributes() const = 0;
  virtual std::string StoredName() const = 0;
  virtual bool Encrypted() const = 0;
  virtual uint16_t FileDate() const = 0;
  virtual uint16_t FileTime() const = 0;
  virtual int64_t UncompressedSize() const = 0;
  virtual void SetCompressedSize(int64_t value) = 0;
  virtual void SetCRC32(uint32_t value) = 0;
  virtual void SetExternalFileAttributes(uint32_t value) = 0;
  // A format calls KeepDiskPath before the name changes.
  virtual void SetStoredName(const std::string& value) = 0;
  virtual void SetFileDate(uint16_t value) = 0;
  virtual void SetFileTime(uint16_t value) = 0;
  virtual void SetUncompressedSize(int64_t value) = 0;

  ItemAction PendingAction() const { return pending_action_; }
  void SetPendingAction(ItemAction action) { pending_action_ = action; }
  // The file an item to be added comes from; empty for the others.
  std::string DiskPath() const;
  void SetDiskPath(const std::string& path);
  bool Tagged() const { return tagged_; }
  void SetTagged(bool value) { tagged_ = value; }

 protected:
  // A disk path that is the stored name is kept as a mark, not a copy; before the stored name
  // changes, the path is copied so that it stays what it was.
  void KeepDiskPath();
  // A stored name that the format holds apart from its header's bytes (one decoded from another
  // character set, say), or null when there is none.
  const std::string* SpareName() const;
  void SetSpareName(std::string name);
  void ClearSpareName();

 private:
  friend class ArchiveList;
  // What few items have, held apart from the many that have none of it.
  struct Spare {
    std::string disk_path;
    std::string name;
    bool has_name = false;
  };
  Spare& TheSpare();

  ArchiveItem* next_in_chain_ = nullptr;
  std::unique_ptr<Spare> spare_;
  bool disk_path_is_name_ = false;
  ItemAction pending_action_ = iaNone;
  bool tagged_ = false;
};

// True when the item's stored name matches the file mask (folders and file part matched
// separately, letters compared as the platform's file names compare them, see FoldNameChar; "/"
// and "\" both separate folders).
bool MatchesMask(const ArchiveItem& item, const std::string& mask);
// True when one of the ";"-separated masks matches; an empty list matches nothing.
bool MatchesMaskList(const ArchiveItem& item, const std::string& mask_list);

// The archive's items in order, plus a hash of their stored names for fast lookup. Names compare
// ASCII-case-insensitively.
class ArchiveList {
 public:
  static constexpr size_t kBuckets = 1021;

  ArchiveList();
  // Takes ownership; returns the item's index.
  int Add(std::unique_ptr<ArchiveItem> item);
  // Unlinks and frees the item at index.
  void Delete(int index);
  // Removes the item at index from the list and gives it to the caller.
  std::unique_ptr<ArchiveItem> Release(int index);
  // Frees every item.
  void Clear();
  // Gives an item of the list a new stored name, keeping the hash right. Stored names of listed
  // items change only through here.
  void Rename(ArchiveItem* item, const std::string& new_name);
  // Index of the most recently added item named name, or -1.
  int IndexOfName(const std::string& name) const;
  // True when an item named name exists whose pending action is not iaDelete.
  bool HasLiveName(const std::string& name) const { return LiveItemNamed(name) != nullptr; }
  // The most recently added item named name whose pending action is not iaDelete, or null.
  ArchiveItem* LiveItemNamed(const std::string& name) const;

  ArchiveItem* Items(int index) const { return items_[static_cast<size_t>(index)].get(); }
  int Count() const { return static_cast<int>(items_.size()); }
  void Reserve(size_t count) { items_.reserve(count); }

  // ELF hash of the ASCII-upper-cased name.
  static uint32_t NameHash(const std::string& name);

 private:
  void Unlink(ArchiveItem* item);

  std::vector<std::unique_ptr<ArchiveItem>> items_;
  std::array<ArchiveItem*, kBuckets> buckets_{};
};

// Two stored names are the same name when their folded forms (FoldNameChar) are equal: "\" and
// "/" alike, and letter case ignored only where the platform's file names ignore it.
bool SameStoredName(const std::string& a, const std::string& b);

class Archive;

using ArchiveEvent = std::function<void(void* sender)>;
using ArchiveConfirmEvent = std::function<void(void* sender, bool& confirm)>;
using ArchiveProgressEvent = std::function<void(void* sender, uint8_t progress, bool& abort)>;
using ArchiveItemProgressEvent =
    std::function<void(void* sender, ArchiveItem* item, uint8_t progress, bool& abort)>;
using ArchiveItemConfirmEvent =
    std::function<void(void* sender, ArchiveItem* item, ProcessType type, bool& confirm)>;
using ArchiveItemFailureEvent = std::function<void(
    void* sender, ArchiveItem* item, ProcessType type, ErrorClass error_class, int32_t error_code)>;
// Something odd about an item that did not stop the work on it (a local header that names it
// differently, for one).
using ItemWarningEvent =
    std::function<void(void* sender, ArchiveItem* item, const std::string& warning)>;
using ItemProgressHook = std::function<void(uint8_t progress, bool& abort)>;

// Items of an extraction run that a format decodes ahead of the calling thread. The run hands
// every item, in order, either to Extract (in place of DoExtractItem, failures raised as there) or
// to Skip (the item is not extracted). Destroying it ends the work ahead and removes what was not
// placed.
class ExtractAhead {
 public:
  virtual ~ExtractAhead() = default;
  virtual void Extract(int index, const std::string& use_name) = 0;
  virtual void Skip(int index) = 0;
};

class Archive {
 public:
  virtual ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // ---- operations ----
  void Load();
  void Save();
  // Takes ownership of item. The archive's own file is never added (compared by identity).
  void Add(std::unique_ptr<ArchiveItem> item);
  // The same for an item whose file the caller has found not to be the archive's own file.
  void AddAdmitted(std::unique_ptr<ArchiveItem> item);
  // Takes the items this archive was to add with its next save out of it, in order, for another
  // archive of the same name to add instead (another writer created that name meanwhile).
  std::vector<std::unique_ptr<ArchiveItem>> TakePendingAdditions();
  void AddMatching(const std::string& file_mask, uint32_t search_attr);
  void AddMatchingEx(const std::string& file_mask, const std::string& exclusion_mask,
                     uint32_t search_attr);
  void ExtractItem(int index, const std::string& new_name);
  void ExtractMatching(const std::string& file_mask);
  void ExtractMatchingEx(const std::string& file_mask, const std::string& exclusion_mask);
  // Tests one item's data without writing it; failures are reported like extraction failures.
  void TestItem(int index);
  // Marks the items that match file_mask and not exclusion_mask (and that OnConfirmProcessItem
  // lets go) for deletion by the next save; returns how many were marked.
  int DeleteMatching(const std::string& file_mask, const std::string& exclusion_mask);
  void FreshenLike(const ArchiveItem& item);
  void FreshenItem(int index);
  void ReplaceLike(const ArchiveItem& item);
  void ReplaceItem(int index);
  virtual void MoveItem(ArchiveItem* item, const std::string& new_stored_name);
  int IndexOfName(const ArchiveItem& item) const;
  // Called when a run over many items (extraction or testing by mask) starts.
  virtual void BeginRun() {}

  int ItemCount() const { return items_.Count(); }
  ArchiveItem* Items(int index) const { return items_.Items(index); }

  // ---- properties ----
  ArchiveState State() const { return state_; }
  const std::string& ArchiveFileName() const { return archive_file_name_; }
  bool AutoSave() const { return auto_save_; }
  void SetAutoSave(bool value) { auto_save_ = value; }
  const std::string& BaseDirectory() const { return base_directory_; }
  // Drops one trailing separator (not of a root); a folder that does not exist raises
  // NoSuchDirectoryError.
  void SetBaseDirectory(const std::string& value);
  ArchiveItem* ActiveItem() const { return active_item_; }
  void SetActiveItem(ArchiveItem* item) { active_item_ = item; }
  bool DOSMode() const { return dos_mode_; }
  void SetDOSMode(bool value) { dos_mode_ = value; }
  ExtractOptions GetExtractOptions() const { return extract_options_; }
  void SetExtractOptions(ExtractOptions value) { extract_options_ = value; }
  StoreOptions GetStoreOptions() const { return store_options_; }
  void SetStoreOptions(StoreOptions value) { store_options_ = value; }
  bool Modified() const { return modified_; }
  // How many saves have written the archive: each puts a new file in its place.
  uint32_t SaveCount() const { return save_count_; }
  void SetModified(bool value) { modified_ = value; }
  const std::string& LogFile() const { return log_file_; }
  void SetLogFile(const std::string& value) { log_file_ = value; }
  bool Logging() const { return logging_; }
  void SetLogging(bool value);
  virtual int32_t SpanningThreshold() const { return spanning_threshold_; }
  virtual void SetSpanningThreshold(int32_t value) { spanning_threshold_ = value; }
  const std::string& TempDirectory() const { return temp_directory_; }
  void SetTempDirectory(const std::string& value) { temp_directory_ = value; }
  // Threads that compress or extract items at once: 1 is one thread, the caller's; 0 (the
  // default) is one per usable core. Events arrive on the calling thread in item order either way.
  int ThreadCount() const { return thread_count_; }
  void SetThreadCount(int value) { thread_count_ = value < 0 ? 0 : value; }
  // ThreadCount with 0 resolved to the number of usable cores.
  int EffectiveThreadCount() const;
  // The smallest item an extraction's worker decodes into a work file of its own. Smaller ones
  // are decoded into memory and their files are made by the calling thread: creating a small
  // file costs more than decoding it, and the file system takes new files from several threads
  // no faster than from one.
  int64_t ExtractAheadMinimum() const { return extract_ahead_minimum_; }
  void SetExtractAheadMinimum(int64_t value) { extract_ahead_minimum_ = value; }
  Stream* SourceStream() const { return source_stream_; }
  void SetSourceStream(Stream* stream) { source_stream_ = stream; }
  bool Spanned() const { return spanned_; }
  uint16_t OpenMode() const { return open_mode_; }
  Stream* ArchiveStream() const { return stream_; }
  // True for an archive opened or created by file name (not over a caller's stream).
  bool HasOwnFile() const { return has_own_file_; }
  // After a user abort in the middle of an item the archive refuses further work.
  void MarkInvalid() { state_ = stInvalid; }
  // Message of the failure being reported; valid while OnProcessItemFailure runs.
  const std::string& FailureMessage() const { return failure_message_; }
  // The folders an extraction by mask has opened so far; null outside such a run.
  FolderCache* RunFolders() const { return run_folders_.get(); }

  // ---- events ----
  ArchiveItemFailureEvent OnProcessItemFailure;
  ItemWarningEvent OnItemWarning;
  ArchiveProgressEvent OnArchiveProgress;
  ArchiveProgressEvent OnArchiveSaveProgress;
  ArchiveItemProgressEvent OnArchiveItemProgress;
  ArchiveItemConfirmEvent OnConfirmProcessItem;
  ConfirmOverwriteEvent OnConfirmOverwrite;
  ArchiveConfirmEvent OnConfirmSave;
  ArchiveEvent OnLoad;
  ArchiveEvent OnSave;
  RequestImageEvent OnRequestImage;
  // Handed to the item procedures; reaches OnArchiveItemProgress with the active item.
  ItemProgressHook ItemProgressProc;

  // ---- hooks for formats and item procedures ----
  virtual void FireProcessItemFailure(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                                      int32_t error_code);
  void FireItemWarning(ArchiveItem* item, const std::string& warning) {
    if (OnItemWarning) OnItemWarning(this, item, warning);
  }
  virtual void FireArchiveSaveProgress(uint8_t progress, bool& abort);
  virtual void FireArchiveProgress(uint8_t progress, bool& abort);
  virtual void FireArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort);
  virtual void FireConfirmProcessItem(ArchiveItem* item, ProcessType type, bool& confirm);
  virtual void FireConfirmSave(bool& confirm);
  virtual void FireLoad();
  virtual void FireItemProgress(uint8_t progress, bool& abort);
  virtual void FireSave();
  // Progress of a codec run; an abort raises AbortProgressError.
  void FireCodecProgress(int32_t percent);
  virtual std::string MakeStoredName(const std::string& file_spec) = 0;
  virtual std::unique_ptr<ArchiveItem> NewItem(const std::string& file_spec) = 0;

  // While one is alive, adding files looks up the current folder and the archive's own file once
  // instead of once per file (nothing in the engine changes either meanwhile; a save in between
  // looks the archive's file up again).
  class AddBatch {
   public:
    explicit AddBatch(Archive& archive);
    ~AddBatch();
    AddBatch(const AddBatch&) = delete;
    AddBatch& operator=(const AddBatch&) = delete;

   private:
    Archive& archive_;
  };
  // The folder relative names of files to add are taken against when there is no base folder.
  std::string CurrentFolderForAdding() const;

 protected:
  // An archive over its own file stream (already opened by the format's constructor).
  Archive(std::unique_ptr<Stream> stream, const std::string& file_name, uint16_t mode);
  // An archive over a caller's stream.
  Archive(Stream& stream, const std::string& archive_name);

  virtual void DoExtractItem(int index, const std::string& use_name) = 0;
  // The decoding ahead of a run's items (by index, in order), or null to extract them one by one.
  virtual std::unique_ptr<ExtractAhead> StartExtractAhead(const std::vector<int>& indices) {
    (void)indices;
    return nullptr;
  }
  virtual void DoExtractItemToStream(int index, Stream& stream) = 0;
  virtual void DoLoadArchive() = 0;
  virtual void DoSaveArchive() = 0;
  virtual void DoTestItem(int index) = 0;

  void EnsureOpen() const;
  void BeginBusy();
  void EndBusy();
  void SaveIfPending(ArchiveItem* item);
  void ReportFailure(ArchiveItem* item, ProcessType type);  // classifies the exception in flight
  // Reports a failure with a class and code chosen by the caller; message is what
  // FailureMessage() returns while the event runs.
  void ReportFailureAs(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                       int32_t error_code, const std::string& message);
  void WriteLogEntry(const std::string& name, int kind);
  void ResolveDiskPath(ArchiveItem* item);
  bool NeedsFreshen(ArchiveItem* item);
  // Replaces the archive's stream (formats switch parts of spanned sets this way).
  void ReplaceStream(std::unique_ptr<Stream> stream);
  ArchiveList& ItemList() { return items_; }
  void SetState(ArchiveState state) { state_ = state; }
  // True when path names the archive's own file (compared by identity, so any link or folder
  // that leads to it counts).
  bool IsOwnFile(const std::string& path) const;
  void SetSpanned(bool value) { spanned_ = value; }

  // Runs fn between BeginBusy and EndBusy, also when it throws.
  template <typename Fn>
  void Busy(Fn&& fn) {
    BeginBusy();
    try {
      fn();
    } catch (...) {
      EndBusy();
      throw;
    }
    EndBusy();
  }

  Stream* stream_ = nullptr;

 private:
  void CommonInit();
  void ExtractItemWith(int index, const std::string& new_name, ExtractAhead* ahead);

  std::unique_ptr<Stream> owned_stream_;
  bool has_own_file_ = false;
  ArchiveState state_ = stInvalid;
  std::string archive_file_name_;
  bool auto_save_ = false;
  std::string base_directory_;
  ArchiveItem* active_item_ = nullptr;
  bool dos_mode_ = false;
  ExtractOptions extract_options_ = 0;
  Stream* source_stream_ = nullptr;
  bool modified_ = false;
  uint32_t save_count_ = 0;
  int32_t spanning_threshold_ = 0;
  ArchiveList items_;
  std::string log_file_;
  bool logging_ = false;
  std::unique_ptr<FileStream> log_stream_;
  uint16_t open_mode_ = 0;
  std::recursive_mutex pad_lock_;
  int lock_depth_ = 0;
  bool spanned_ = false;
  StoreOptions store_options_ = 0;
  std::string temp_directory_;
  int thread_count_ = 0;
  int64_t extract_ahead_minimum_ = 128 * 1024;
  std::string failure_message_;
  std::unique_ptr<FolderCache> run_folders_;
  // What an AddBatch keeps: the current folder, and the archive's file identity once looked up.
  int add_batch_depth_ = 0;
  std::string batch_folder_;
  mutable bool batch_identity_known_ = false;
  mutable bool batch_identity_exists_ = false;
  mutable uint64_t batch_device_ = 0;
  mutable uint64_t batch_inode_ = 0;
};

}  // namespace vz
