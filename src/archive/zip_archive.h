// The zip archive: zip items over their central directory records, and the archive that finds the
// end record, reads the central directory, recognises self-extracting files and spanned sets, and
// asks for the parts of a set. Writing is in zip_writer.cpp; the work on one item's data is done by
// the item procedures that a component installs (extraction and compression).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/extent_set.h"
#include "archive/zip_records.h"
#include "codec/deflate_base.h"
#include "platform/file_lock.h"

namespace vz {

// The method new items get. smBestMethod deflates unless storing is smaller; the last four
// compress with a library's method (bzip2, LZMA, xz, Zstandard) and also store an item that they
// would make larger.
enum ZipSupportedMethod : uint8_t {
  smStored = 0,
  smDeflated = 1,
  smBestMethod = 2,
  smBzip2 = 3,
  smLzma = 4,
  smXz = 5,
  smZstd = 6,
};

// How new items are encrypted when the archive has a password: the traditional zip cipher, or
// WinZip AES with a 128, 192 or 256-bit key.
enum ZipEncryption : uint8_t { zeTraditional = 0, zeAes128 = 1, zeAes192 = 2, zeAes256 = 3 };

// A point in time, seconds and nanoseconds since the epoch (UTC).
struct ExactTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
};

// Kinds of archive that the detection functions recognise.
enum ArchiveKind : int { akUnknown = 0, akZip = 1, akSpannedZip = 2, akSelfExtractingZip = 3 };

// One entry of a zip archive. Its zip fields live in its central directory record.
class ZipItem : public ArchiveItem {
 public:
  ZipItem() = default;

  // Sizes and offsets are 64-bit (ZIP64); a record read from a file never gives more than 2^62.
  int64_t CompressedSize() const override { return static_cast<int64_t>(header_.compressed_size); }
  uint32_t CRC32() const override { return header_.crc32; }
  uint32_t ExternalFileAttributes() const override { return header_.external_attributes; }
  // The stored name as the item was loaded or named: the Info-ZIP Unicode Path field (0x7075)
  // when its CRC-32 matches the name; a name with the UTF-8 flag as UTF-8 (each byte that is not
  // valid UTF-8 replaced by U+FFFD); any other decoded from the archive's NameCharset when one is
  // set and the name is valid in it, else from code page 437 when made on host 0 (DOS, Windows),
  // else its bytes as they are, as a file name on this system is bytes (shown escaped).
  std::string StoredName() const override;
  bool Encrypted() const override { return header_.Encrypted(); }
  uint16_t FileDate() const override { return header_.date; }
  uint16_t FileTime() const override { return header_.time; }
  int64_t UncompressedSize() const override {
    return static_cast<int64_t>(header_.uncompressed_size);
  }
  // A negative size raises ArchiveError; sizes of 4 GiB and more are written with ZIP64.
  void SetCompressedSize(int64_t value) override;
  void SetCRC32(uint32_t value) override { header_.crc32 = value; }
  void SetExternalFileAttributes(uint32_t value) override { header_.external_attributes = value; }
  void SetStoredName(const std::string& value) override;
  void SetFileDate(uint16_t value) override { header_.date = value; }
  void SetFileTime(uint16_t value) override { header_.time = value; }
  void SetUncompressedSize(int64_t value) override;

  uint16_t VersionMade() const { return header_.version_made; }
  void SetVersionMade(uint16_t value) { header_.version_made = value; }
  uint16_t VersionNeeded() const { return header_.version_needed; }
  void SetVersionNeeded(uint16_t value) { header_.version_needed = value; }
  uint16_t Flag() const { return header_.flag; }
  void SetFlag(uint16_t value) { header_.flag = value; }
  uint16_t CompressionMethod() const { return header_.method; }
  void SetCompressionMethod(uint16_t value) { header_.SetMethod(value); }
  double CompressionRatio() const { return header_.CompressionRatio(); }
  int DictionarySize() const { return header_.DictionarySize(); }
  int ShannonFanoTreeCount() const { return header_.ShannonFanoTreeCount(); }
  uint16_t DiskNumberStart() const { return header_.disk_number_start; }
  void SetDiskNumberStart(uint16_t value) { header_.disk_number_start = value; }
  uint16_t InternalFileAttributes() const { return header_.internal_attributes; }
  void SetInternalFileAttributes(uint16_t value) { header_.internal_attributes = value; }
  uint64_t LocalHeaderOffset() const { return header_.local_header_offset; }
  void SetLocalHeaderOffset(uint64_t value) { header_.local_header_offset = value; }
  std::span<const uint8_t> ExtraField() const { return header_.extra.Span(); }
  // The item's comment in UTF-8, by the rules of StoredName (with the Unicode Comment field,
  // 0x6375, in place of the Unicode Path field).
  std::string FileComment() const;
  // True for a folder entry: its name ends in "/" or "\", or its attributes say folder (the DOS
  // directory bit, or a Unix directory mode in the high 16 bits, as Info-ZIP, Python's zipfile and
  // others store folders whose names have no trailing separator).
  bool IsFolder() const;
  // The exact modification time (UTC) from the item's extra fields: the NTFS field (0x000A, to
  // 100 ns) or else the extended timestamp (0x5455, to the second); nothing when neither holds
  // one, and the DOS time and date then stand.
  std::optional<ExactTime> ModificationTime() const;
  const ZipDirectoryFileHeader& Header() const { return header_; }
  ZipDirectoryFileHeader& Header() { return header_; }

  // Reads the item's central directory record at the stream's position. name_charset: the character
  // set that names without the UTF-8 flag are decoded from ("" for the rule of StoredName).
  void LoadFromStream(Stream& stream, const std::string& name_charset = "");
  // The local header the item's data is written behind.
  ZipLocalFileHeader MakeLocalHeader() const;

 private:
  friend class ZipArchive;
  uint32_t claimed_in_run_ = 0;  // the archive's run that claimed its extent, if any
  ZipDirectoryFileHeader header_;
};

class ZipArchive;

// The work done for each item an extraction or a test reaches: the engine's own procedures
// (item_procedures: BuiltInExtraction) or a caller's. An archive without them fails every item
// with ZipNoExtractionError.
class ExtractionProcedures {
 public:
  virtual ~ExtractionProcedures() = default;
  virtual void ExtractProc(ZipArchive& sender, ZipItem& item,
                           const std::string& new_name) const = 0;
  virtual void ExtractToStreamProc(ZipArchive& sender, ZipItem& item, Stream& out_stream) const = 0;
  virtual void TestProc(ZipArchive& sender, ZipItem& item) const = 0;
  // The decoding of a run's items (by index, in order) ahead of the calling thread, or null to
  // extract them one by one. Only procedures that know they are safe on other threads decode
  // ahead.
  virtual std::unique_ptr<ExtractAhead> StartAhead(ZipArchive& sender,
                                                   const std::vector<int>& indices) const {
    (void)sender;
    (void)indices;
    return nullptr;
  }
};

// The work done for each new item a save writes: the engine's own procedures (item_procedures:
// BuiltInInsertion) or a caller's. An archive without them fails every new item with
// ZipNoInsertionError.
class InsertionProcedures {
 public:
  virtual ~InsertionProcedures() = default;
  virtual void InsertProc(ZipArchive& sender, ZipItem& item, Stream& out_stream) const = 0;
  virtual void InsertFromStreamProc(ZipArchive& sender, ZipItem& item, Stream& out_stream,
                                    Stream* in_stream) const = 0;
  // True when InsertProc is the engine's own compression of a file, which a save may run for
  // several items at once on worker threads (a caller's procedure is not known to be safe there).
  virtual bool CompressesOnWorkers() const { return false; }
  // The size of a new item's source, asked before its local header is written (a source near
  // 4 GiB gets room for ZIP64 sizes there); -1 when it cannot be told, nothing to have the save
  // look at the file itself. The engine's own opens the file here and compresses from that open
  // file, so that the file is examined once.
  virtual std::optional<int64_t> SourceSize(ZipArchive& sender, ZipItem& item) const {
    (void)sender;
    (void)item;
    return std::nullopt;
  }
};

// A new item's file, opened before its local header was written and kept for that item's
// compression alone.
struct OpenedSource {
  const ZipItem* item = nullptr;
  std::unique_ptr<FileStream> file;
  platform::FileStatus status;
};

// Asks for a password: new_password holds the current one on entry; an empty answer gives up.
using NeedPasswordEvent = std::function<void(void* sender, std::string& new_password)>;
using RequestDiskEvent = std::function<void(void* sender, bool& abort)>;
using RequestNthDiskEvent = std::function<void(void* sender, uint8_t disk_number, bool& abort)>;

// Position of the end of central directory record in stream, or -1. Leaves the stream there
// (or where it was, when nothing is found).
int64_t LocateEndRecord(Stream& stream);
// akZip, akSpannedZip or akUnknown; leaves the stream's position as it was.
ArchiveKind DetectZip(Stream& stream);
// akSelfExtractingZip when the stream begins with an executable ("MZ" or an ELF image) and holds a
// zip; otherwise akUnknown.
ArchiveKind DetectSelfExtractingZip(Stream& stream);

class ZipArchive : public Archive {
 public:
  // Opens the archive file, an absolute path. With kFmCreate the archive starts empty and its
  // file is made by the first save that stores an item (until then nothing is on disk; a file of
  // that name made by another program meanwhile is not overwritten, unless one was there when the
  // archive was created).
  ZipArchive(const std::string& file_name, uint16_t mode);
  // An archive over a caller's stream.
  static std::unique_ptr<ZipArchive> CreateOnStream(Stream& stream, const std::string& name);
  ~ZipArchive() override;

  std::string MakeStoredName(const std::string& file_spec) override;
  std::unique_ptr<ArchiveItem> NewItem(const std::string& file_spec) override;

  ZipItem* ZipItems(int index) const { return static_cast<ZipItem*>(Items(index)); }

  ZipSupportedMethod CompressionMethodToUse() const { return method_to_use_; }
  void SetCompressionMethodToUse(ZipSupportedMethod value) { method_to_use_ = value; }
  ZipDeflationOption DeflationOption() const { return deflation_option_; }
  void SetDeflationOption(ZipDeflationOption value) { deflation_option_ = value; }
  // How new items are encrypted when there is a password; zeTraditional unless asked otherwise.
  ZipEncryption Encryption() const { return encryption_; }
  void SetEncryption(ZipEncryption value) { encryption_ = value; }
  // The character set (an iconv name) that item names without the UTF-8 flag are decoded from
  // when the archive is loaded; "" keeps the usual rule: code page 437 for names made on DOS or
  // Windows, the bytes themselves for names made elsewhere.
  const std::string& NameCharset() const { return name_charset_; }
  void SetNameCharset(const std::string& value) { name_charset_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  uint8_t PasswordRetries() const { return password_retries_; }
  void SetPasswordRetries(uint8_t value) { password_retries_ = value; }
  std::string ZipComment() const { return end_record_.CommentString(); }
  void SetZipComment(const std::string& text);
  const ZipDirectoryFileFooter& EndRecord() const { return end_record_; }
  // What the last load found wrong with the archive while still reading its items (an end record
  // whose count disagrees with the central directory): each a sentence for the user. A face shows
  // them and counts the archive as damaged.
  const std::vector<std::string>& LoadWarnings() const { return load_warnings_; }
  bool IsExecutable() const { return is_executable_; }
  int64_t StubSize() const { return stub_size_; }
  uint16_t CurrentDisk() const { return current_disk_; }
  void SetCurrentDisk(uint16_t disk) { current_disk_ = disk; }
  bool DriveIsRemovable() const { return drive_removable_; }
  // True while the archive's file does not exist yet (created with kFmCreate, nothing saved).
  bool IsNewFile() const { return new_file_; }

  // Keeps the writers' lock on the archive's file (see platform/file_lock.h) for as long as the
  // archive is open. A save takes the lock on the new file before it takes the archive's name, and
  // keeps that one instead.
  void HoldLock(std::unique_ptr<platform::FileLock> lock) { lock_ = std::move(lock); }
  bool HoldsLock() const { return lock_ != nullptr; }

  // Switches the archive's stream to part disk_number of a spanned set (-1: the part holding the
  // end record). An abort raises UserAbortError; a missing part FileNotFoundError.
  void OpenSpanPart(int disk_number);
  // Called by the archive file stream when it needs another part.
  void FireMediaRequest(void* sender, int image_number, std::string& image_name, bool& abort);

  // Item procedures, installed by the components; null until then. They live as long as the
  // archive holds them.
  const ExtractionProcedures* Extraction() const { return extraction_.get(); }
  void SetExtraction(std::shared_ptr<const ExtractionProcedures> procedures) {
    extraction_ = std::move(procedures);
  }
  const InsertionProcedures* Insertion() const { return insertion_.get(); }
  // Where InsertionProcedures::SourceSize leaves the file it opened for the item's compression.
  OpenedSource& PendingSource() { return pending_source_; }
  void SetInsertion(std::shared_ptr<const InsertionProcedures> procedures) {
    insertion_ = std::move(procedures);
  }

  NeedPasswordEvent OnNeedPassword;
  RequestDiskEvent OnRequestLastDisk;
  RequestDiskEvent OnRequestBlankDisk;
  RequestNthDiskEvent OnRequestNthDisk;

  // Extracts one item into a stream (the item procedure's work). Failures propagate.
  void ExtractItemToStream(int index, Stream& stream);

  // Records that item's bytes, from its local header on its part to end, are about to be decoded.
  // An extent that overlaps the extent of another item decoded in the same run (the same local
  // header claimed by two central entries included), or the central directory, raises
  // ZipInvalidError: overlapping items let a few kilobytes expand without bound. The same item
  // claimed again is fine. Costs O(log n) in the items claimed so far.
  void ClaimItemExtent(ZipItem& item, int64_t end);
  void BeginRun() override;

 protected:
  void DoExtractItem(int index, const std::string& use_name) override;
  std::unique_ptr<ExtractAhead> StartExtractAhead(const std::vector<int>& indices) override;
  void DoExtractItemToStream(int index, Stream& stream) override;
  void DoLoadArchive() override;
  void DoSaveArchive() override;
  void DoTestItem(int index) override;

  virtual void FireRequestLastDisk(bool& abort);
  virtual void FireRequestNthDisk(uint8_t disk_number, bool& abort);
  virtual void FireRequestBlankDisk(bool& abort);

 private:
  // The save of zip_writer.cpp works on the archive's records and streams.
  friend class ZipWriter;

  explicit ZipArchive(Stream& stream, const std::string& name);
  // Opens a reading archive file stream on name with this archive's hooks.
  std::unique_ptr<SpanStream> OpenPartStream(const std::string& name);
  // File name of part disk_number of the set this archive ends.
  std::string PartFileName(int disk_number) const;
  void RequestImage(bool writing, int image_number, std::string& image_name, bool& abort);
  // Reads the ZIP64 end record that the locator before the end record at end_position points to,
  // when there is one; returns where the central directory ends (that record, or the end record).
  int64_t ReadZip64EndRecord(int64_t end_position);
  // Bytes in front of an archive whose offsets do not count them (a stub glued on without
  // adjusting the offsets), found by comparing where the directory should end with where it does.
  int64_t PrependedBytes(int64_t directory_end);

  ZipSupportedMethod method_to_use_ = smStored;
  uint16_t current_disk_ = 0;
  ZipDeflationOption deflation_option_ = doInvalid;
  ZipEncryption encryption_ = zeTraditional;
  std::string name_charset_;
  bool drive_removable_ = false;
  std::vector<std::string> load_warnings_;
  ZipDirectoryFileFooter end_record_;
  bool is_executable_ = false;
  std::string password_;
  uint8_t password_retries_ = 3;
  int64_t stub_size_ = 0;
  bool generate_image_names_ = false;
  bool new_file_ = false;
  bool replaces_existing_file_ = false;
  std::unique_ptr<platform::FileLock> lock_;
  std::shared_ptr<const ExtractionProcedures> extraction_;
  std::shared_ptr<const InsertionProcedures> insertion_;
  OpenedSource pending_source_;
  // The extents claimed in this run. An item claimed in it carries the run's number, which tells
  // the same item claimed again from another that claims the same bytes.
  ExtentSet extents_;
  uint32_t run_ = 1;
};

}  // namespace vz
