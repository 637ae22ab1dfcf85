// Reading a zip archive: locating the end record, loading the central directory, spanned sets.
#include "archive/zip_archive.h"

#include <algorithm>
#include <array>

#include "archive/byte_order.h"
#include "archive/utils.h"
#include "codec/deflate_base.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/memory_stream.h"

namespace vz {

// ---- ZipItem ---------------------------------------------------------------------------------

namespace {

constexpr uint16_t kUnicodePathId = 0x7075;
constexpr uint16_t kUnicodeCommentId = 0x6375;
constexpr uint16_t kExtendedTimestampId = 0x5455;
constexpr uint16_t kNtfsId = 0x000A;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixDirectory = 0040000;

// The UTF-8 text of an Info-ZIP Unicode Path or Unicode Comment field (version 1, the CRC-32 of
// the header's own bytes, the text), when the CRC-32 matches those bytes: a tool that changed the
// name without knowing the field leaves a field that no longer stands for it.
std::optional<std::string> UnicodeField(std::span<const uint8_t> extra, uint16_t id,
                                        std::span<const uint8_t> original) {
  const auto field = FindExtraField(extra, id);
  if (!field) return std::nullopt;
  ByteReader r(*field);
  const uint8_t version = r.U8();
  const uint32_t crc = r.U32();
  if (r.Short() || version != 1 || crc != Crc32Of(original)) return std::nullopt;
  const auto text = r.Bytes(r.Remaining());
  return std::string(text.begin(), std::find(text.begin(), text.end(), uint8_t{0}));
}

// Text of a name or comment field by the rules of ZipItem::StoredName.
std::string TextOf(const ZipDirectoryFileHeader& h, std::span<const uint8_t> bytes,
                   uint16_t unicode_id, const std::string& charset = "") {
  if (auto unicode = UnicodeField(h.extra, unicode_id, bytes)) {
    return platform::ValidUtf8(*unicode);
  }
  const std::string raw(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{0}));
  if ((h.flag & kFlagUtf8Names) != 0) return platform::ValidUtf8(raw);
  // A character set the user named decodes what does not say it is UTF-8.
  if (!charset.empty()) {
    if (auto decoded = platform::DecodeCharset(raw, charset)) return *decoded;
  }
  // Names made on DOS or Windows (host 0) are in code page 437.
  if (h.HostSystem() == 0) return platform::Cp437ToUtf8(raw);
  // Elsewhere a name without the flag is bytes in a set the archive does not name: a file name
  // is bytes here too, so they are kept as they are (two names never collapse into one), and
  // shown escaped where they are not UTF-8. A comment is text to show.
  return unicode_id == kUnicodePathId ? raw : platform::ValidUtf8(raw);
}

// A Windows FILETIME (100 ns units since 1601-01-01 UTC) as a point in time.
ExactTime FromFileTime(uint64_t file_time) {
  constexpr uint64_t kTicks = 10'000'000;
  constexpr int64_t kEpochDifference = 11'644'473'600;  // seconds from 1601 to 1970
  return {static_cast<int64_t>(file_time / kTicks) - kEpochDifference,
          static_cast<uint32_t>(file_time % kTicks) * 100};
}

}  // namespace

std::string ZipItem::StoredName() const {
  if (const std::string* spare = SpareName()) return *spare;
  return {header_.name.begin(), header_.name.end()};
}

void ZipItem::SetStoredName(const std::string& value) {
  KeepDiskPath();
  header_.name.assign(value.begin(), value.end());
  ClearSpareName();
}

namespace {
uint64_t CheckedSize(int64_t value) {
  if (value < 0) throw ArchiveError("Invalid item size " + std::to_string(value));
  return static_cast<uint64_t>(value);
}
}  // namespace

void ZipItem::SetCompressedSize(int64_t value) {
  header_.compressed_size = CheckedSize(value);
}

void ZipItem::SetUncompressedSize(int64_t value) {
  header_.uncompressed_size = CheckedSize(value);
}

std::string ZipItem::FileComment() const {
  return TextOf(header_, header_.comment, kUnicodeCommentId);
}

bool ZipItem::IsFolder() const {
  const std::string* spare = SpareName();
  const char last = spare != nullptr       ? (spare->empty() ? '\0' : spare->back())
                    : header_.name.empty() ? '\0'
                                           : static_cast<char>(header_.name.end()[-1]);
  if (last == '/' || last == '\\') return true;
  const uint32_t attributes = header_.external_attributes;
  return (attributes & kFaDirectory) != 0 || ((attributes >> 16) & kUnixTypeMask) == kUnixDirectory;
}

std::optional<ExactTime> ZipItem::ModificationTime() const {
  // NTFS: 4 reserved bytes, then tagged attributes; tag 1 holds the modification, access and
  // creation times as FILETIMEs. Written by WinZip, 7-Zip and .NET.
  if (const auto ntfs = FindExtraField(header_.extra, kNtfsId)) {
    ByteReader r(*ntfs);
    r.Skip(4);
    while (r.Remaining() >= 4) {
      const uint16_t tag = r.U16();
      const uint16_t size = r.U16();
      ByteReader attribute(r.Bytes(size));
      if (r.Short()) break;
      if (tag != 1 || size < 24) continue;
      const uint64_t modified = attribute.U64();
      if (modified != 0) return FromFileTime(modified);
    }
  }
  // Extended timestamp: a flags byte, then the times it flags; the central record holds only the
  // modification time (flag bit 0), in seconds since the epoch as a signed 32-bit number.
  // Written by Info-ZIP zip and libarchive.
  if (const auto extended = FindExtraField(header_.extra, kExtendedTimestampId)) {
    ByteReader r(*extended);
    const uint8_t flags = r.U8();
    const auto modified = static_cast<int32_t>(r.U32());
    if (!r.Short() && (flags & 1) != 0) return ExactTime{modified, 0};
  }
  return std::nullopt;
}

void ZipItem::LoadFromStream(Stream& stream, const std::string& name_charset) {
  header_.Read(stream);
  // Most names are their header's bytes as they stand, and are held only there.
  std::string name = TextOf(header_, header_.name, kUnicodePathId, name_charset);
  if (std::ranges::equal(name, header_.name, {}, [](char c) { return static_cast<uint8_t>(c); })) {
    ClearSpareName();
  } else {
    SetSpareName(std::move(name));
  }
  SetDiskPath(StoredName());
  SetPendingAction(iaNone);
  SetTagged(false);
}

ZipLocalFileHeader ZipItem::MakeLocalHeader() const {
  ZipLocalFileHeader local;
  local.version_needed = header_.version_needed;
  local.flag = header_.flag;
  local.method = header_.method;
  local.time = header_.time;
  local.date = header_.date;
  local.crc32 = header_.crc32;
  local.compressed_size = header_.compressed_size;
  local.uncompressed_size = header_.uncompressed_size;
  const std::string name = StoredName();
  local.name.assign(name.begin(), name.end());
  local.extra = header_.extra;
  return local;
}

// ---- detection -------------------------------------------------------------------------------

namespace {

// Reads up to n bytes at position; returns what was read.
std::vector<uint8_t> ReadAt(Stream& stream, int64_t position, size_t n) {
  std::vector<uint8_t> bytes(n);
  stream.Seek(position, kSeekBegin);
  const int64_t got = stream.Read(bytes);
  bytes.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
  return bytes;
}

// Finds the end record by reading the stream backwards in windows: 512 bytes first, each next
// window twice the size of the one before (at most cap), overlapping it by 22 bytes so that every
// candidate position lies wholly inside some window. The first candidate from the end whose
// signature matches and whose comment fits in the bytes that follow it wins.
int64_t SearchEndRecord(Stream& stream, int64_t size, int64_t cap) {
  int64_t window_end = size;  // one past the last byte of the current window
  int64_t window = 512;
  while (true) {
    const int64_t start = std::max<int64_t>(0, window_end - window);
    const auto bytes = ReadAt(stream, start, static_cast<size_t>(window_end - start));
    if (bytes.size() < static_cast<size_t>(kEndRecordSize)) return -1;
    for (int64_t i = static_cast<int64_t>(bytes.size()) - kEndRecordSize; i >= 0; --i) {
      const uint8_t* p = bytes.data() + i;
      if (LoadLE32(p) != kEndRecordSignature) continue;
      const int64_t position = start + i;
      const uint16_t comment_length = LoadLE16(p + 20);
      if (comment_length <= size - position - kEndRecordSize) return position;
    }
    if (start == 0) return -1;
    window_end = start + kEndRecordSize - 1;
    window = std::min(window * 2, cap);
  }
}

}  // namespace

int64_t LocateEndRecord(Stream& stream) {
  const int64_t size = stream.Size();
  int64_t cap = 65536;
  auto* span = dynamic_cast<SpanStream*>(&stream);
  bool was_suspended = false;
  if (span != nullptr) {
    if (size > 0 && size < cap) cap = size;
    was_suspended = span->SwitchingSuspended();
    span->SetSwitchingSuspended(true);
  }
  cap = std::max<int64_t>(cap, 512);
  const int64_t remembered = stream.Position();
  // The common case: an archive without a comment ends with its end record.
  if (size >= kEndRecordSize) {
    const auto tail = ReadAt(stream, size - kEndRecordSize, kEndRecordSize);
    if (tail.size() == kEndRecordSize && LoadLE32(tail.data()) == kEndRecordSignature &&
        LoadLE16(tail.data() + 20) == 0) {
      stream.Seek(size - kEndRecordSize, kSeekBegin);
      return size - kEndRecordSize;
    }
  }
  const int64_t found = size >= kEndRecordSize ? SearchEndRecord(stream, size, cap) : -1;
  if (found < 0) {
    stream.Seek(remembered, kSeekBegin);
    if (span != nullptr) span->SetSwitchingSuspended(was_suspended);
    return -1;
  }
  stream.Seek(found, kSeekBegin);
  return found;
}

ArchiveKind DetectZip(Stream& stream) {
  const int64_t remembered = stream.Position();
  ArchiveKind kind = akUnknown;
  const auto head = ReadAt(stream, 0, 4);
  if (head.size() == 4 && (LoadLE32(head.data()) == kSpannedSetSignature ||
                           LoadLE32(head.data()) == kSpannedOnePartSignature)) {
    kind = akSpannedZip;
  } else if (LocateEndRecord(stream) >= 0) {
    try {
      ZipDirectoryFileFooter footer;
      footer.Read(stream);
      kind = akZip;
    } catch (const ZipInvalidError&) {
    }
  }
  stream.Seek(remembered, kSeekBegin);
  return kind;
}

ArchiveKind DetectSelfExtractingZip(Stream& stream) {
  const int64_t remembered = stream.Position();
  const auto head = ReadAt(stream, 0, 4);
  stream.Seek(remembered, kSeekBegin);
  // Windows stubs begin with "MZ"; stubs built for Linux are ELF images.
  const bool mz = head.size() >= 2 && head[0] == 'M' && head[1] == 'Z';
  const bool elf =
      head.size() == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
  if ((mz || elf) && DetectZip(stream) == akZip) return akSelfExtractingZip;
  return akUnknown;
}

// ---- ZipArchive ------------------------------------------------------------------------------

namespace {

std::unique_ptr<Stream> OpenArchiveFile(const std::string& file_name, uint16_t mode) {
  if (mode == kFmCreate) {
    // A new archive reads as empty until its first save makes the file.
    if (PathKindOf(file_name) != pkAbsolute) throw ArchiveError("Full Path Required");
    return std::make_unique<MemoryStream>();
  }
  const MediaKind media = IsRemovableDrive(file_name) ? MediaKind::kRemovable : MediaKind::kLocal;
  return std::make_unique<SpanStream>(file_name, 0, media, mode);
}

}  // namespace

ZipArchive::ZipArchive(const std::string& file_name, uint16_t mode)
    : Archive(OpenArchiveFile(file_name, mode), file_name, mode) {
  if (auto* span = dynamic_cast<SpanStream*>(stream_)) {
    span->OnRequestImage = [this](void* sender, int number, std::string& name, bool& abort) {
      FireMediaRequest(sender, number, name, abort);
    };
    span->OnWriteProgress = [this](uint8_t progress, bool& abort) {
      FireArchiveSaveProgress(progress, abort);
    };
  }
  method_to_use_ = smBestMethod;
  SetStoreOptions(GetStoreOptions() | soStripDrive);
  deflation_option_ = doNormal;
  password_retries_ = 3;
  SetTempDirectory("");
  SetSpanningThreshold(0);
  current_disk_ = 0xFFFF;
  new_file_ = mode == kFmCreate;
  replaces_existing_file_ = new_file_ && platform::PathExists(file_name);
}

ZipArchive::ZipArchive(Stream& stream, const std::string& name) : Archive(stream, name) {
  password_retries_ = 3;
}

std::unique_ptr<ZipArchive> ZipArchive::CreateOnStream(Stream& stream, const std::string& name) {
  return std::unique_ptr<ZipArchive>(new ZipArchive(stream, name));
}

ZipArchive::~ZipArchive() = default;

void ZipArchive::SetZipComment(const std::string& text) {
  end_record_.SetComment(text);
  SetModified(true);
}

std::unique_ptr<SpanStream> ZipArchive::OpenPartStream(const std::string& name) {
  auto part = std::make_unique<SpanStream>(
      name, SpanningThreshold(), drive_removable_ ? MediaKind::kRemovable : MediaKind::kLocal,
      kFmOpenRead | kFmShareDenyWrite);
  part->OnRequestImage = [this](void* sender, int number, std::string& image, bool& abort) {
    FireMediaRequest(sender, number, image, abort);
  };
  part->OnWriteProgress = [this](uint8_t progress, bool& abort) {
    FireArchiveSaveProgress(progress, abort);
  };
  return part;
}

std::string ZipArchive::PartFileName(int disk_number) const {
  // Parts are set.z01, set.z02, ...; the last part is the archive file itself.
  if (current_disk_ != 0xFFFF && end_record_.Valid() &&
      disk_number == static_cast<int>(end_record_.this_disk)) {
    return ArchiveFileName();
  }
  return SpanPartName(ArchiveFileName(), disk_number);
}

void ZipArchive::OpenSpanPart(int disk_number) {
  std::string image_name = ArchiveFileName();
  bool abort = false;
  if (drive_removable_) {
    if (disk_number >= 0) {
      FireRequestNthDisk(static_cast<uint8_t>(disk_number + 1), abort);
      if (abort) throw UserAbortError();
    }
    ReplaceStream(OpenPartStream(image_name));
    if (current_disk_ == 0xFFFF && LocateEndRecord(*stream_) < 0) {
      FireRequestLastDisk(abort);
      if (abort) throw UserAbortError();
    }
    return;
  }
  if (OnRequestImage) {
    OnRequestImage(this, disk_number, image_name, abort);
    if (abort) throw UserAbortError();
    ReplaceStream(OpenPartStream(image_name));
    return;
  }
  if (disk_number >= 0) {
    image_name = PartFileName(disk_number);
    // The part is named: the item that needed it is not what is missing.
    const std::string part = "the set's part \"" + SplitFileSpec(image_name).file_name + "\"";
    const auto status = platform::StatPath(image_name);
    if (!status) {
      throw FileNotFoundError(MessageText(FileNotFoundError::kCode) + ": " + part,
                              FileNotFoundError::kCode);
    }
    if (!status->is_regular) throw ArchiveError(part + ", is a " + status->kind + ", not a file");
    ReplaceStream(OpenPartStream(image_name));
    return;
  }
  // Look for the part that holds the end record: set.z01, set.z02, ... and finally the archive
  // file itself, which is how other zip tools name the last part.
  generate_image_names_ = true;
  for (int i = 1; i <= 99; ++i) {
    image_name = SpanPartName(ArchiveFileName(), i);
    if (!platform::PathExists(image_name)) break;
    ReplaceStream(OpenPartStream(image_name));
    if (LocateEndRecord(*stream_) >= 0) {
      current_disk_ = 0xFFFF;
      return;
    }
  }
  image_name = ArchiveFileName();
  if (platform::PathExists(image_name)) {
    ReplaceStream(OpenPartStream(image_name));
    if (LocateEndRecord(*stream_) >= 0) {
      current_disk_ = 0xFFFF;
      return;
    }
  }
  throw FileNotFoundError();
}

void ZipArchive::FireRequestLastDisk(bool& abort) {
  abort = false;
  if (OnRequestLastDisk) {
    OnRequestLastDisk(this, abort);
  } else {
    abort = true;  // no one to ask: nothing can be inserted
  }
}

void ZipArchive::FireRequestNthDisk(uint8_t disk_number, bool& abort) {
  abort = false;
  if (OnRequestNthDisk) {
    OnRequestNthDisk(this, disk_number, abort);
  } else {
    abort = true;
  }
}

void ZipArchive::FireRequestBlankDisk(bool& abort) {
  SetSpanned(true);
  abort = false;
  if (OnRequestBlankDisk) {
    OnRequestBlankDisk(this, abort);
  } else {
    abort = true;
  }
}

void ZipArchive::RequestImage(bool writing, int image_number, std::string& image_name,
                              bool& abort) {
  abort = false;
  if (OnRequestImage) {
    OnRequestImage(this, image_number, image_name, abort);
    return;
  }
  if (generate_image_names_) {
    image_name = PartFileName(image_number);
    return;
  }
  // Nobody to ask while reading: the set cannot be continued.
  if (!writing) abort = true;
}

void ZipArchive::FireMediaRequest(void* sender, int image_number, std::string& image_name,
                                  bool& abort) {
  auto* span = static_cast<SpanStream*>(sender);
  const bool writing = span != nullptr && span->Writing();
  if (writing) {
    if (drive_removable_) {
      FireRequestBlankDisk(abort);
      if (!abort) SetVolumeName(FormatMessageText("PKBACK# %3.3d", image_number - 1), 'A');
      return;
    }
    RequestImage(true, image_number, image_name, abort);
    return;
  }
  if (drive_removable_) {
    FireRequestNthDisk(static_cast<uint8_t>(image_number), abort);
    return;
  }
  // A read ran off the end of a part: the next part follows the one being read. Part streams are
  // opened one per part, so the stream's own count does not know which part it is on; the
  // archive does.
  const int next = current_disk_ == 0xFFFF ? image_number : current_disk_ + 1;
  RequestImage(false, next, image_name, abort);
  if (!abort) current_disk_ = static_cast<uint16_t>(next);
}

void ZipArchive::ClaimItemExtent(ZipItem& item, int64_t end) {
  const uint16_t disk = item.DiskNumberStart();
  const auto start = static_cast<int64_t>(item.LocalHeaderOffset());
  const auto directory_start = static_cast<int64_t>(end_record_.directory_offset);
  const auto directory_end = directory_start + static_cast<int64_t>(end_record_.directory_size);
  if (end_record_.Valid() && end_record_.directory_disk == disk && start < directory_end &&
      directory_start < end) {
    throw ZipInvalidError();
  }
  int64_t taken_end = 0;
  switch (extents_.Add(disk, start, end, &taken_end)) {
    case ExtentSet::Outcome::kAdded:
      item.claimed_in_run_ = run_;
      return;
    case ExtentSet::Outcome::kStartTaken:
      // The same entry decoded again is not another item; another entry at the same header is.
      if (item.claimed_in_run_ == run_ && taken_end == end) return;
      throw ZipInvalidError();
    case ExtentSet::Outcome::kOverlaps:
      break;
  }
  throw ZipInvalidError();
}

void ZipArchive::BeginRun() {
  extents_.Clear();
  // Items keep the number of the run that claimed them; a new number makes those claims old.
  if (++run_ == 0) run_ = 1;
}

namespace {

const char* const kMissingZip64 =
    "Invalid file - the end record stands for a ZIP64 end record that is missing or damaged";
const char* const kDirectoryPastEnd =
    "Invalid file - the central directory is said to start after the end record";

}  // namespace

int64_t ZipArchive::ReadZip64EndRecord(int64_t end_position) {
  if (end_position < kZip64LocatorSize) return end_position;
  const auto locator =
      Zip64Locator::Parse(ReadAt(*stream_, end_position - kZip64LocatorSize, kZip64LocatorSize));
  if (!locator) return end_position;
  // The record is where the locator says or, in a file with bytes in front that its offsets do
  // not count, right before the locator, where every tool writes it.
  const int64_t last = end_position - kZip64LocatorSize - kZip64EndRecordSize;
  const int64_t said =
      locator->offset <= static_cast<uint64_t>(last) ? static_cast<int64_t>(locator->offset) : -1;
  for (const int64_t candidate : {said, last}) {
    if (candidate < 0) continue;
    const auto head = ReadAt(*stream_, candidate, 4);
    if (head.size() != 4 || LoadLE32(head.data()) != kZip64EndRecordSignature) continue;
    stream_->Seek(candidate, kSeekBegin);
    end_record_.ReadZip64(*stream_);
    return candidate;
  }
  // A locator's signature in the last bytes of a directory that needs none is a coincidence.
  if (!end_record_.PointsToZip64()) return end_position;
  throw ZipInvalidError(kMissingZip64, ZipInvalidError::kCode);
}

int64_t ZipArchive::PrependedBytes(int64_t directory_end) {
  const auto offset = static_cast<int64_t>(end_record_.directory_offset);
  const auto size = static_cast<int64_t>(end_record_.directory_size);
  const int64_t shift = directory_end - offset - size;
  if (shift <= 0 || size == 0) return 0;
  const auto central_header_at = [this](int64_t position) {
    const auto head = ReadAt(*stream_, position, 4);
    return head.size() == 4 && LoadLE32(head.data()) == kCentralHeaderSignature;
  };
  // A directory where the offset says is taken as it is, and so is one that is nowhere: the
  // records read from the offset then tell what is wrong.
  if (central_header_at(offset) || !central_header_at(offset + shift)) return 0;
  return shift;
}

void ZipArchive::DoLoadArchive() {
  BeginRun();
  load_warnings_.clear();
  generate_image_names_ = false;
  if (stream_->Size() == 0) return;
  const auto head = ReadAt(*stream_, 0, 4);
  // A stub is a Windows program ("MZ") or, for sets built for Linux, an ELF image.
  is_executable_ =
      (head.size() >= 2 && head[0] == 'M' && head[1] == 'Z') ||
      (head.size() == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F');
  if (dynamic_cast<SpanStream*>(stream_) != nullptr) {
    drive_removable_ = IsRemovableDrive(ArchiveFileName());
  }
  const bool spanning_signature =
      head.size() == 4 && (LoadLE32(head.data()) == kSpannedSetSignature ||
                           LoadLE32(head.data()) == kSpannedOnePartSignature);
  int64_t end_position;
  if (spanning_signature) {
    end_position = drive_removable_ ? -1 : LocateEndRecord(*stream_);
  } else {
    end_position = LocateEndRecord(*stream_);
    if (end_position < 0) throw ZipInvalidError();
  }
  if (end_position < 0) {
    try {
      while (end_position < 0) {
        OpenSpanPart(-1);
        end_position = LocateEndRecord(*stream_);
      }
    } catch (const UserAbortError&) {
      return;  // the user gave up looking for the last part: an archive without items
    }
    SetSpanned(true);
  }
  stream_->Seek(end_position, kSeekBegin);
  end_record_.Read(*stream_);
  // The directory ends where the ZIP64 end record starts, when there is one.
  const int64_t directory_end = ReadZip64EndRecord(end_position);
  // Marked disks, size or offset without a ZIP64 end record cannot be read as what they say: this
  // is damage, not an empty archive (a marked count alone may be 65,535 items).
  if (!end_record_.zip64 &&
      (end_record_.this_disk == kMax16 || end_record_.directory_disk == kMax16 ||
       end_record_.directory_size == kMax32 || end_record_.directory_offset == kMax32)) {
    throw ZipInvalidError(kMissingZip64, ZipInvalidError::kCode);
  }
  current_disk_ = static_cast<uint16_t>(end_record_.this_disk);
  const uint16_t end_disk = current_disk_;
  if (current_disk_ > 0) SetSpanned(true);
  if (Spanned() && !drive_removable_) generate_image_names_ = true;

  // A set whose central directory starts on an earlier part: go there first.
  if (Spanned() && end_record_.directory_disk != current_disk_) {
    const uint16_t last = current_disk_;
    current_disk_ = static_cast<uint16_t>(end_record_.directory_disk);
    try {
      OpenSpanPart(current_disk_);
    } catch (...) {
      current_disk_ = last;
      throw;
    }
  }
  int64_t shift = 0;
  if (!Spanned()) {
    // A directory said to start beyond the end record is damage, not an empty archive.
    if (end_record_.directory_offset > static_cast<uint64_t>(directory_end)) {
      throw ZipInvalidError(kDirectoryPastEnd, ZipInvalidError::kCode);
    }
    shift = PrependedBytes(directory_end);
    end_record_.directory_offset += static_cast<uint64_t>(shift);
    // The directory read is the one between where it starts and the end records: an end record
    // that says otherwise is damaged, which is said though the items can be read.
    if (shift != 0) {
      load_warnings_.push_back("the end record places the central directory " +
                               std::to_string(shift) +
                               " bytes before where it is (bytes were put before the archive)");
    }
    const uint64_t found = static_cast<uint64_t>(directory_end) - end_record_.directory_offset;
    if (end_record_.directory_size != found) {
      load_warnings_.push_back("damaged archive: the end record gives the central directory " +
                               std::to_string(end_record_.directory_size) + " bytes, it has " +
                               std::to_string(found));
    }
  }
  stream_->Seek(static_cast<int64_t>(end_record_.directory_offset), kSeekBegin);
  uint64_t count = 0;
  int64_t lowest_offset = 0x7FFFFFFF;
  const uint64_t total = end_record_.total_entries;
  bool complete = true;
  // Room for the items the end record counts, as far as the directory's bytes can hold them (a
  // central header takes at least 46).
  if (!Spanned()) {
    const auto room = static_cast<uint64_t>(directory_end) - end_record_.directory_offset;
    ItemList().Reserve(static_cast<size_t>(std::min(total, room / 46)));
  }
  while (true) {
    if (stream_->Position() >= directory_end && current_disk_ == end_disk) break;
    if (Spanned()) {
      // A part is read to its end: the directory goes on in the next one.
      const bool part_done = current_disk_ < end_disk && stream_->Position() >= stream_->Size();
      if (part_done) {
        ++current_disk_;
        try {
          OpenSpanPart(current_disk_);
        } catch (const UserAbortError&) {
          complete = false;
          break;  // keep the items read so far
        }
        continue;
      }
    }
    auto item = std::make_unique<ZipItem>();
    item->LoadFromStream(*stream_, name_charset_);
    item->SetLocalHeaderOffset(item->LocalHeaderOffset() + static_cast<uint64_t>(shift));
    if (is_executable_) {
      lowest_offset = std::min(lowest_offset, static_cast<int64_t>(item->LocalHeaderOffset()));
    }
    item->SetPendingAction(iaNone);
    ItemList().Add(std::move(item));
    ++count;
    // The entries field may understate the records (or be 0): progress never passes 100.
    const uint64_t percent = total > 0 ? std::min<uint64_t>(count * 100 / total, 100) : 100;
    bool abort = false;
    FireArchiveProgress(static_cast<uint8_t>(percent), abort);
    if (abort) {
      SetState(stInvalid);
      throw UserAbortError();
    }
  }
  // The items are all there is to read; a count that disagrees says the end record is damaged
  // (or the directory was cut), which the user should hear even though the items can be used.
  if (complete && count != total) {
    load_warnings_.push_back("damaged archive: the end record counts " + std::to_string(total) +
                             " item" + (total == 1 ? "" : "s") + ", the central directory holds " +
                             std::to_string(count));
  }
  bool abort = false;
  FireArchiveProgress(100, abort);
  if (is_executable_) stub_size_ = lowest_offset;
  SetModified(false);
}

std::string ZipArchive::MakeStoredName(const std::string& file_spec) {
  std::string n = file_spec;
  if (DOSMode()) {
    if (!BaseDirectory().empty() && PathKindOf(n) != pkAbsolute) {
      n = AppendBackslash(BaseDirectory()) + n;
    }
    n = ShortPathOf(n);
  }
  SetStoreOptions(GetStoreOptions() | soStripDrive);
  n = WithoutDrive(n);
  if (n.size() > 1 && n.front() == '/') n.erase(0, 1);
  if (GetStoreOptions() & soStripPath) n = SplitFileSpec(n).file_name;
  if (GetStoreOptions() & soRemoveDots) n = WithoutLeadingDots(n);
  // One file has one stored name: "a/b/../b/f" and "a//b/./f" are both "a/b/f". A name whose ".."
  // would climb above where it starts keeps its parts, and the archive refuses it when added.
  bool climbs = false;
  const std::string slashed = ToSlashes(n);
  const std::string resolved = ResolveDots(slashed, climbs);
  return climbs || resolved.empty() ? slashed : resolved;
}

std::unique_ptr<ArchiveItem> ZipArchive::NewItem(const std::string& file_spec) {
  auto item = std::make_unique<ZipItem>();
  item->SetCompressionMethod(8);
  item->SetFlag(0);
  item->SetVersionMade(0);
  item->SetLocalHeaderOffset(0);
  // Relative names are relative to the base folder, where the file search found them.
  std::string full = file_spec;
  if (PathKindOf(full) != pkAbsolute) {
    const std::string base = BaseDirectory().empty() ? CurrentFolderForAdding() : BaseDirectory();
    full = AppendBackslash(base) + full;
  }
  item->SetDiskPath(full);
  // A file name is any bytes; a stored name that says it is UTF-8 must be UTF-8, so bytes that are
  // not become U+FFFD (the file itself is still read by its real name).
  const std::string stored = platform::ValidUtf8(MakeStoredName(file_spec));
  item->SetStoredName(stored);
  // Names beyond ASCII are UTF-8 here: say so, so that no reader takes them for code page 437.
  if (std::any_of(stored.begin(), stored.end(),
                  [](char c) { return static_cast<uint8_t>(c) >= 0x80; })) {
    item->SetVersionMade(static_cast<uint16_t>((item->VersionMade() & 0xFF) | 0x0B00));
    item->SetFlag(item->Flag() | kFlagUtf8Names);
  }
  return item;
}

// ---- item procedures -------------------------------------------------------------------------

void ZipArchive::DoExtractItem(int index, const std::string& use_name) {
  if (!extraction_) throw ZipNoExtractionError();
  extraction_->ExtractProc(*this, *ZipItems(index), use_name);
}

std::unique_ptr<ExtractAhead> ZipArchive::StartExtractAhead(const std::vector<int>& indices) {
  return extraction_ ? extraction_->StartAhead(*this, indices) : nullptr;
}

void ZipArchive::DoExtractItemToStream(int index, Stream& stream) {
  if (!extraction_) throw ZipNoExtractionError();
  extraction_->ExtractToStreamProc(*this, *ZipItems(index), stream);
}

void ZipArchive::DoTestItem(int index) {
  if (!extraction_) throw ZipNoExtractionError();
  extraction_->TestProc(*this, *ZipItems(index));
}

void ZipArchive::ExtractItemToStream(int index, Stream& stream) {
  EnsureOpen();
  ZipItem* item = ZipItems(index);
  Busy([&] {
    SetActiveItem(item);
    DoExtractItemToStream(index, stream);
  });
}

}  // namespace vz
