// Reading a zip archive: locating the end record, loading the central directory, spanned sets.
#include "archive/zip_archive.h"

#include <algorithm>
#include <array>

#include "archive/byte_order.h"
#include "archive/utils.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/memory_stream.h"

namespace vz {

// ---- ZipItem ---------------------------------------------------------------------------------

std::string ZipItem::StoredName() const {
  const std::string raw = header_.NameString();
  // Names made on DOS or Windows (host 0) are in code page 437 unless they say they are UTF-8.
  if (header_.HostSystem() == 0 && (header_.flag & kFlagUtf8Names) == 0) {
    return platform::Cp437ToUtf8(raw);
  }
  return raw;
}

void ZipItem::SetStoredName(const std::string& value) {
  stored_name_ = value;
  header_.name.assign(value.begin(), value.end());
}

namespace {
uint32_t CheckedSize(int64_t value) {
  if (value < 0 || value > 0xFFFFFFFFll) {
    throw ArchiveError("File too large for a zip archive (4 GiB or more)");
  }
  return static_cast<uint32_t>(value);
}
}  // namespace

void ZipItem::SetCompressedSize(int64_t value) {
  header_.compressed_size = CheckedSize(value);
  ArchiveItem::SetCompressedSize(value);
}

void ZipItem::SetUncompressedSize(int64_t value) {
  header_.uncompressed_size = CheckedSize(value);
  ArchiveItem::SetUncompressedSize(value);
}

void ZipItem::LoadFromStream(Stream& stream) {
  header_.Read(stream);
  stored_name_ = header_.NameString();
  ArchiveItem::SetUncompressedSize(header_.uncompressed_size);
  ArchiveItem::SetCompressedSize(header_.compressed_size);
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
  if (current_disk_ != 0xFFFF && end_record_.Valid() && disk_number == end_record_.this_disk) {
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
    if (!platform::PathExists(image_name)) throw FileNotFoundError();
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

void ZipArchive::ClaimItemExtent(const ZipItem& item, uint16_t disk, int64_t start, int64_t end) {
  if (end_record_.Valid() && end_record_.directory_disk == disk &&
      start < int64_t{end_record_.directory_offset} + end_record_.directory_size &&
      end_record_.directory_offset < end) {
    throw ZipInvalidError();
  }
  const auto key = std::make_pair(disk, start);
  auto next = extents_.lower_bound(key);
  if (next != extents_.end() && next->first == key) {
    // The same entry decoded again is not another item; another entry at the same header is.
    if (next->second.item == &item && next->second.end == end) return;
    throw ZipInvalidError();
  }
  // Claimed extents do not overlap, so only the neighbours on either side can reach this one.
  if (next != extents_.end() && next->first.first == disk && next->first.second < end) {
    throw ZipInvalidError();
  }
  if (next != extents_.begin()) {
    const auto previous = std::prev(next);
    if (previous->first.first == disk && previous->second.end > start) throw ZipInvalidError();
  }
  extents_.emplace_hint(next, key, Extent{end, &item});
}

void ZipArchive::DoLoadArchive() {
  extents_.clear();
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
  current_disk_ = end_record_.this_disk;
  if (current_disk_ > 0) SetSpanned(true);
  if (Spanned() && !drive_removable_) generate_image_names_ = true;

  // A set whose central directory starts on an earlier part: go there first.
  if (Spanned() && end_record_.directory_disk != current_disk_) {
    const uint16_t last = current_disk_;
    current_disk_ = end_record_.directory_disk;
    try {
      OpenSpanPart(current_disk_);
    } catch (...) {
      current_disk_ = last;
      throw;
    }
  }
  // A directory said to start beyond the end record is damage, not an empty archive.
  if (!Spanned() && end_record_.directory_offset > end_position) throw ZipInvalidError();
  stream_->Seek(end_record_.directory_offset, kSeekBegin);
  int count = 0;
  int64_t lowest_offset = 0x7FFFFFFF;
  const int total = end_record_.total_entries;
  while (true) {
    if (stream_->Position() >= end_position && current_disk_ == end_record_.this_disk) break;
    if (Spanned()) {
      // A part is read to its end: the directory goes on in the next one.
      const bool part_done =
          current_disk_ < end_record_.this_disk && stream_->Position() >= stream_->Size();
      if (part_done) {
        ++current_disk_;
        try {
          OpenSpanPart(current_disk_);
        } catch (const UserAbortError&) {
          break;  // keep the items read so far
        }
        continue;
      }
    }
    auto item = std::make_unique<ZipItem>();
    item->LoadFromStream(*stream_);
    if (is_executable_) {
      lowest_offset = std::min<int64_t>(lowest_offset, item->LocalHeaderOffset());
    }
    item->SetPendingAction(iaNone);
    ItemList().Add(std::move(item));
    ++count;
    // The entries field may understate the records (or be 0): progress never passes 100.
    const int percent = total > 0 ? std::min(count * 100 / total, 100) : 100;
    bool abort = false;
    FireArchiveProgress(static_cast<uint8_t>(percent), abort);
    if (abort) {
      SetState(stInvalid);
      throw UserAbortError();
    }
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
  return ToSlashes(n);
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
    const std::string base = BaseDirectory().empty() ? platform::CurrentFolder() : BaseDirectory();
    full = AppendBackslash(base) + full;
  }
  item->SetDiskPath(full);
  const std::string stored = MakeStoredName(file_spec);
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
  if (!ExtractProc) throw ZipNoExtractionError();
  ExtractProc(*this, *ZipItems(index), use_name);
}

void ZipArchive::DoExtractItemToStream(int index, Stream& stream) {
  if (!ExtractToStreamProc) throw ZipNoExtractionError();
  ExtractToStreamProc(*this, *ZipItems(index), stream);
}

void ZipArchive::DoTestItem(int index) {
  if (!TestProc) throw ZipNoExtractionError();
  TestProc(*this, *ZipItems(index));
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
