// Item extraction and testing.
//
// Placing a file: the item is decoded into a work file created in the target's own folder, and
// only when it decoded completely and its CRC-32 matched is the work file renamed over the target.
// A target that existed before is therefore never damaged by a failing item, and no second copy of
// the data is written. Only when the target's folder cannot hold a work file does the data go
// through the system's temporary folder and a copy.
//
// The target's folder is opened one name at a time below the destination without following a
// symbolic link, and the work file is created, stamped and renamed through that open folder: a
// link that was waiting in the destination, or one put there while the item decodes, never leads
// the file elsewhere. The work file is registered for removal should the program be interrupted.
#include "archive/unzip_proc.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "archive/span_stream.h"
#include "archive/utils.h"
#include "codec/aes_crypt.h"
#include "codec/bit_bucket.h"
#include "codec/crypt_streams.h"
#include "codec/deflate_base.h"
#include "codec/inflate.h"
#include "codec/method_codecs.h"
#include "codec/percent.h"
#include "codec/unzip_helper.h"
#include "codec/zip_crypt.h"
#include "platform/dos_time.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/runtime_errors.h"
#include "platform/temp_files.h"

namespace vz {

namespace {

constexpr uint8_t kHostUnix = 3;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixRegular = 0100000;

// ---- one item's decoding ---------------------------------------------------------------------

// Raised on a worker for an item that needs the calling thread (a password to ask for).
struct NeedsCallingThread : std::exception {
  const char* what() const noexcept override { return "the item needs the calling thread"; }
};

// Where one item's data is read from and where its events go. On the calling thread the data
// comes from the archive's stream and the events reach the archive's handlers (those already
// fired for the item, counted by replayed, are answered without firing them again); on a worker
// the data comes from the worker's own reader and the events are recorded for the calling thread.
struct Decoding {
  ZipArchive& archive;
  ZipItem& item;
  AheadDecoding* ahead = nullptr;
  const EventReplay* replay = nullptr;
  size_t seen = 0;
  // On a worker: asked about the item's extent before its data is read; false leaves the item to
  // the calling thread.
  const std::function<bool(int64_t, int64_t)>* may_decode = nullptr;

  Stream& Source() const { return ahead != nullptr ? *ahead->source : *archive.ArchiveStream(); }
  std::string Password() const { return ahead != nullptr ? ahead->password : archive.Password(); }
  // An event that the replay already delivered: true when this one is it, and its answer.
  bool Replayed(bool& abort) {
    if (replay == nullptr || seen >= replay->delivered) return false;
    ++seen;
    abort = replay->aborted && seen == replay->delivered;
    return true;
  }
  void Fire(ItemEventKind kind, uint8_t progress, bool& abort) {
    if (ahead != nullptr) {
      if (ahead->stop != nullptr && ahead->stop->load(std::memory_order_relaxed)) {
        throw NeedsCallingThread();
      }
      ahead->events.push_back({kind, progress, {}});
      abort = false;
      return;
    }
    if (Replayed(abort)) return;
    if (kind == ItemEventKind::kItemProgress) {
      archive.ItemProgressProc(progress, abort);
    } else {
      archive.FireItemProgress(progress, abort);
    }
  }
  void ItemProgress(uint8_t progress, bool& abort) {
    Fire(ItemEventKind::kItemProgress, progress, abort);
  }
  // Progress of a codec run; an abort raises AbortProgressError.
  void CodecProgress(int32_t percent) {
    bool abort = false;
    Fire(ItemEventKind::kCodecProgress, static_cast<uint8_t>(std::clamp(percent, 0, 100)), abort);
    if (abort) throw AbortProgressError();
  }
  void Warning(const std::string& text) {
    if (ahead != nullptr) {
      ahead->events.push_back({ItemEventKind::kWarning, 0, text});
      return;
    }
    bool abort = false;
    if (Replayed(abort)) return;
    archive.FireItemWarning(&item, text);
  }
};

// ---- passwords -------------------------------------------------------------------------------

void AskPassword(Decoding& d, bool& abort) {
  if (d.ahead != nullptr) throw NeedsCallingThread();
  ZipArchive& archive = d.archive;
  std::string answer = archive.Password();
  abort = false;
  if (!archive.OnNeedPassword) return;
  archive.OnNeedPassword(&archive, answer);
  if (answer.empty()) {
    abort = true;
  } else {
    archive.SetPassword(answer);
  }
}

void EnsurePassword(Decoding& d, int& requests, bool& abort) {
  if (d.Password().empty()) {
    AskPassword(d, abort);
    ++requests;
  }
  if (d.Password().empty()) throw ZipInvalidPasswordError();
}

// One legacy item (shrink, reduce, implode). The password of an encrypted one is settled before
// its method is looked at; its questions come from inside the decoder, so a worker leaves such an
// item to the calling thread.
uint32_t ExpandLegacy(Decoding& d, Stream& out_stream, uint32_t check_value) {
  ZipArchive& archive = d.archive;
  ZipItem& item = d.item;
  std::unique_ptr<ZDecoder> decoder;
  if (item.Encrypted()) {
    if (d.ahead != nullptr) throw NeedsCallingThread();
    decoder = std::make_unique<ZDecoder>(archive.Password(), true, check_value, d.Source());
    decoder->SetAttempts(archive.PasswordRetries());
    if (archive.OnNeedPassword) {
      decoder->SetOnNeedPassword([&archive](void* sender, std::string& answer) {
        archive.OnNeedPassword(sender, answer);
      });
    }
  }
  UnzipHelper helper(d.Source(), decoder.get(), out_stream);
  helper.SetDictionarySize(item.DictionarySize());
  helper.SetCompressedSize(item.CompressedSize());
  helper.SetUncompressedSize(item.UncompressedSize());
  helper.SetCompressionMethod(item.CompressionMethod());
  helper.SetTreeCount(item.ShannonFanoTreeCount());
  helper.SetProgressHook([&d](uint8_t progress, bool& abort) { d.ItemProgress(progress, abort); });
  if (archive.Spanned() && d.ahead == nullptr) {
    // An item that runs off the end of a part goes on in the next part of the set.
    helper.SetNextPartHook([&archive, disk = archive.CurrentDisk()]() mutable -> Stream* {
      if (dynamic_cast<SpanStream*>(archive.ArchiveStream()) == nullptr) {
        throw ZipBadSpanStreamError();
      }
      ++disk;
      archive.SetCurrentDisk(disk);
      archive.OpenSpanPart(disk);
      return archive.ArchiveStream();
    });
  }
  return helper.DecodeItem();
}

// ---- decoders --------------------------------------------------------------------------------

uint32_t CopyStoredItem(Decoding& d, Stream& out, uint32_t check_value) {
  ZipItem& item = d.item;
  const int64_t size = item.UncompressedSize();
  int64_t remaining = size;
  int64_t done = 0;
  int last_percent = 0;
  bool abort = false;
  uint32_t crc = 0xFFFFFFFFu;
  Stream& source = d.Source();

  std::unique_ptr<DfDecryptStream> decrypt;
  if (item.Encrypted()) {
    int requests = 0;
    EnsurePassword(d, requests, abort);
    decrypt = std::make_unique<DfDecryptStream>(source, check_value, d.Password());
    bool verified = decrypt->ReadAndVerifyHeader();
    while (!abort && !verified && requests < d.archive.PasswordRetries()) {
      AskPassword(d, abort);
      if (abort) throw UserAbortError();
      decrypt = std::make_unique<DfDecryptStream>(source, check_value, d.Password());
      ++requests;
      verified = decrypt->ReadAndVerifyHeader();
    }
    if (!verified) throw ZipInvalidPasswordError();
  }
  Stream& input = decrypt ? static_cast<Stream&>(*decrypt) : source;

  std::vector<uint8_t> chunk(1024);
  try {
    while (remaining > 0 && !abort) {
      const auto want = static_cast<size_t>(std::min<int64_t>(1024, remaining));
      const int64_t n = input.Read({chunk.data(), want});
      if (n <= 0) break;
      done += n;
      remaining -= n;
      const int percent = RoundedPercent(done, size);
      if (percent != last_percent) {
        d.ItemProgress(static_cast<uint8_t>(std::clamp(percent, 0, 100)), abort);
        last_percent = percent;
      }
      UpdateCrc32(crc, chunk.data(), n);
      out.WriteBuffer({chunk.data(), static_cast<size_t>(n)});
    }
  } catch (const UserAbortError&) {
    abort = true;
  }
  if (last_percent < 100) d.ItemProgress(100, abort);
  if (abort) throw UserAbortError();
  return ~crc;
}

uint32_t InflateItem(Decoding& d, Stream& out, uint32_t check_value) {
  ZipItem& item = d.item;
  DeflateHelper options;
  uint32_t flags = options.Options();
  if (dynamic_cast<BitBucketStream*>(&out) != nullptr) flags |= dfoTestOnly;
  if (item.CompressionMethod() == 9) flags |= dfoDeflate64;
  options.SetOptions(flags);
  const int64_t compressed = item.CompressedSize();
  options.SetSourceSize(static_cast<int32_t>(std::min<int64_t>(compressed, INT32_MAX)));
  options.SetOnPercentDone([&d](int32_t percent) { d.CodecProgress(percent); });
  // Never produce more than the item says it holds: one byte more is enough to fail the CRC test.
  options.SetOutputLimit(item.UncompressedSize() + 1);

  Stream& source = d.Source();
  if (!item.Encrypted()) return Inflate(&source, &out, &options);

  int requests = 0;
  bool abort = false;
  EnsurePassword(d, requests, abort);
  options.SetCryptCheck(static_cast<int32_t>(check_value));
  while (true) {
    options.SetCryptPassword(d.Password());
    try {
      return Inflate(&source, &out, &options);
    } catch (const InflatePasswordError&) {
      AskPassword(d, abort);
      if (abort) throw UserAbortError();
      ++requests;
      if (requests >= d.archive.PasswordRetries()) throw ZipInvalidPasswordError();
    }
  }
}

// Settles the password of an encrypted item whose header checks a password before any data is
// decoded (a library's method under the traditional cipher, and AES): the archive's password, then
// answers to OnNeedPassword, each checked, up to PasswordRetries of them, as for stored items.
// try_password opens the item with the archive's current password and says whether it passed.
void SettlePassword(Decoding& d, const std::function<bool()>& try_password) {
  int requests = 0;
  bool abort = false;
  EnsurePassword(d, requests, abort);
  bool verified = try_password();
  while (!abort && !verified && requests < d.archive.PasswordRetries()) {
    AskPassword(d, abort);
    if (abort) throw UserAbortError();
    ++requests;
    verified = try_password();
  }
  if (!verified) throw ZipInvalidPasswordError();
}

// Decodes data of a library's method (bzip2, LZMA, xz, Zstandard) from source, which stands at the
// data (the archive's stream, or a decrypting stream over it), with the same output bound and
// progress as Deflate. A user's abort ends the whole run.
MethodResult DecodeLibraryData(Decoding& d, LibMethod method, Stream& source, Stream& out,
                               int64_t compressed_size) {
  MethodDecodeOptions options;
  options.compressed_size = std::max<int64_t>(compressed_size, 0);
  options.output_limit = d.item.UncompressedSize();
  options.lzma_end_marker = (d.item.Flag() & kFlagLzmaEndMarker) != 0;
  options.on_percent_done = [&d](int32_t percent) { d.CodecProgress(percent); };
  try {
    return DecodeMethod(method, source, out, options);
  } catch (const AbortProgressError&) {
    throw UserAbortError();
  }
}

uint32_t DecodeLibraryItem(Decoding& d, LibMethod method, Stream& out, uint32_t check_value) {
  ZipItem& item = d.item;
  Stream& source = d.Source();
  if (!item.Encrypted()) {
    return DecodeLibraryData(d, method, source, out, item.CompressedSize()).crc32;
  }
  std::unique_ptr<DfDecryptStream> decrypt;
  SettlePassword(d, [&] {
    decrypt = std::make_unique<DfDecryptStream>(source, check_value, d.Password());
    return decrypt->ReadAndVerifyHeader();
  });
  return DecodeLibraryData(d, method, *decrypt, out, item.CompressedSize() - kZipCryptHeaderSize)
      .crc32;
}

// Where the data of an AES item goes: the output (none while testing) and a count of what was
// written, which an AE-2 item, having no CRC-32, is checked by.
class CountingSink : public Stream {
 public:
  explicit CountingSink(Stream* target) : target_(target) {}
  int64_t Read(std::span<uint8_t>) override { return 0; }
  int64_t Write(std::span<const uint8_t> buffer) override {
    if (target_ != nullptr) target_->WriteBuffer(buffer);
    count_ += static_cast<int64_t>(buffer.size());
    return static_cast<int64_t>(buffer.size());
  }
  int64_t Seek(int64_t, int) override { return count_; }
  int64_t Count() const { return count_; }

 private:
  Stream* target_;
  int64_t count_ = 0;
};

// Stored data inside AES: at most one byte more than declared is copied, which the size check
// then refuses.
uint32_t CopyAesStored(Decoding& d, Stream& source, Stream& out) {
  const int64_t size = d.item.UncompressedSize();
  const int64_t limit = std::min(source.Size(), size + 1);
  std::vector<uint8_t> chunk(32 * 1024);
  uint32_t crc = 0xFFFFFFFFu;
  int64_t done = 0;
  int last_percent = 0;
  bool abort = false;
  while (done < limit) {
    const auto want = static_cast<size_t>(std::min<int64_t>(limit - done, 32 * 1024));
    const int64_t n = source.Read({chunk.data(), want});
    if (n <= 0) break;
    done += n;
    UpdateCrc32(crc, chunk.data(), n);
    out.WriteBuffer({chunk.data(), static_cast<size_t>(n)});
    const int percent = RoundedPercent(done, std::max<int64_t>(size, 1));
    if (percent != last_percent) {
      d.ItemProgress(static_cast<uint8_t>(std::clamp(percent, 0, 100)), abort);
      last_percent = percent;
    }
    if (abort) throw UserAbortError();
  }
  return ~crc;
}

uint32_t InflateAesData(Decoding& d, Stream& source, Stream& out, bool deflate64) {
  DeflateHelper options;
  options.SetOptions(options.Options() | (deflate64 ? uint32_t{dfoDeflate64} : 0u));
  options.SetSourceSize(static_cast<int32_t>(std::min<int64_t>(source.Size(), INT32_MAX)));
  // Inflate ends quietly when the user aborts; here the abort ends the run, as it must not pass
  // for data that decoded (an AE-2 item has no CRC-32 to fail).
  bool aborted = false;
  options.SetOnPercentDone([&](int32_t percent) {
    try {
      d.CodecProgress(percent);
    } catch (const AbortProgressError&) {
      aborted = true;
      throw;
    }
  });
  options.SetOutputLimit(d.item.UncompressedSize() + 1);
  const uint32_t crc = Inflate(&source, &out, &options);
  if (aborted) throw UserAbortError();
  return crc;
}

// An AES item: the 0x9901 field names the real method; the password is checked against the
// verifier, the data decrypted and decoded, and the authentication code checked. Returns the
// CRC-32 to compare for AE-1, nothing for AE-2 (whose CRC field is 0).
std::optional<uint32_t> DecodeAesItem(Decoding& d, const ZipLocalFileHeader& local, Stream& out) {
  ZipItem& item = d.item;
  auto data = FindExtraField(item.ExtraField(), kAesExtraFieldId);
  if (!data) data = FindExtraField(local.extra, kAesExtraFieldId);
  if (!data) throw AesError("AES item without its 0x9901 extra field");
  const AesExtraField field = ParseAesExtraField(*data);
  const auto library = LibMethodFromZip(field.method);
  if (field.method != 0 && field.method != 8 && field.method != 9 && !library) {
    throw ZipInvalidMethodError();
  }
  Stream& source = d.Source();
  std::unique_ptr<AesDecryptStream> aes;
  SettlePassword(d, [&] {
    aes = std::make_unique<AesDecryptStream>(source, field.strength, item.CompressedSize(),
                                             d.Password());
    return aes->ReadAndVerifyHeader();
  });
  const bool testing = dynamic_cast<BitBucketStream*>(&out) != nullptr;
  CountingSink sink(testing ? nullptr : &out);
  uint32_t crc = 0;
  if (library) {
    crc = DecodeLibraryData(d, *library, *aes, sink, aes->DataSize()).crc32;
  } else if (field.method == 0) {
    crc = CopyAesStored(d, *aes, sink);
  } else {
    crc = InflateAesData(d, *aes, sink, field.method == 9);
  }
  aes->VerifyAuthentication();
  if (sink.Count() != item.UncompressedSize()) {
    throw ArchiveError("Data error: the item decodes to " + std::to_string(sink.Count()) +
                       " bytes, not the " + std::to_string(item.UncompressedSize()) +
                       " its header declares");
  }
  if (field.vendor_version == 2) return std::nullopt;
  return crc;
}

// Version 6.3 covers every method and record read here (ZIP64 4.5, bzip2 4.6, AES 5.1, LZMA and
// xz 6.3).
void CheckVersionNeeded(const ZipItem& item) {
  if ((item.VersionNeeded() & 0xFF) > 63) throw ZipVersionError();
}

// The first steps of every extraction: the version test, then the part of a spanned set that holds
// the item.
void EnterItemPart(ZipArchive& archive, const ZipItem& item) {
  CheckVersionNeeded(item);
  if (!archive.Spanned() || item.DiskNumberStart() == archive.CurrentDisk()) return;
  if (dynamic_cast<SpanStream*>(archive.ArchiveStream()) == nullptr) throw ZipBadSpanStreamError();
  archive.SetCurrentDisk(item.DiskNumberStart());
  archive.OpenSpanPart(item.DiskNumberStart());
}

// Reads the item's local header; leaves the stream at the item's data.
ZipLocalFileHeader ReadLocalHeader(Stream& stream, const ZipItem& item) {
  const auto offset = static_cast<int64_t>(item.LocalHeaderOffset());
  // An offset that leads nowhere is the directory's fault, and says so: the archive as a whole may
  // well be a zip.
  const auto misplaced = [&] {
    return ZipInvalidError(MessageText(ZipInvalidError::kCode) +
                               ": the directory places the item's local header at offset " +
                               std::to_string(offset) + ", where there is none",
                           ZipInvalidError::kCode);
  };
  if (offset + 30 > stream.Size()) throw misplaced();
  stream.Seek(offset, kSeekBegin);
  ZipLocalFileHeader local;
  try {
    local.Read(stream);
  } catch (const ZipInvalidError&) {
    throw misplaced();
  }
  return local;
}

// Enters the item's part, reads its local header and claims its extent. Leaves the archive stream
// at the item's data and returns the local header. A worker only reads the header and notes the
// extent, which the calling thread claims when the item's turn comes.
ZipLocalFileHeader LocateItemData(Decoding& d) {
  ZipItem& item = d.item;
  if (d.ahead != nullptr) {
    CheckVersionNeeded(item);
    ZipLocalFileHeader local = ReadLocalHeader(*d.ahead->source, item);
    d.ahead->extent_start = static_cast<int64_t>(item.LocalHeaderOffset());
    d.ahead->extent_end = d.ahead->source->Position() + item.CompressedSize();
    if (d.may_decode != nullptr && !(*d.may_decode)(d.ahead->extent_start, d.ahead->extent_end)) {
      throw NeedsCallingThread();
    }
    return local;
  }
  ZipArchive& archive = d.archive;
  EnterItemPart(archive, item);
  ZipLocalFileHeader local = ReadLocalHeader(*archive.ArchiveStream(), item);
  archive.ClaimItemExtent(item, archive.ArchiveStream()->Position() + item.CompressedSize());
  return local;
}

// Decodes the item at the stream's position into out; returns the CRC-32 of what it produced, or
// nothing for an item that has no CRC-32 to compare (AE-2, checked by its authentication code).
std::optional<uint32_t> DecodeItem(Decoding& d, const ZipLocalFileHeader& local, Stream& out) {
  ZipArchive& archive = d.archive;
  ZipItem& item = d.item;
  const uint32_t check_value =
      (local.flag & kFlagDataDescriptor) ? static_cast<uint32_t>(local.time) << 16 : item.CRC32();
  // Item data may run on into the next part of a spanned set (never on a worker: a set is
  // extracted on the calling thread alone).
  auto* span = d.ahead == nullptr ? dynamic_cast<SpanStream*>(archive.ArchiveStream()) : nullptr;
  const bool was_suspended = span != nullptr && span->SwitchingSuspended();
  if (span != nullptr && archive.Spanned()) span->SetSwitchingSuspended(false);
  struct Restore {
    ZipArchive& archive;
    bool active;
    bool suspended;
    ~Restore() {
      if (!active) return;
      if (auto* s = dynamic_cast<SpanStream*>(archive.ArchiveStream())) {
        s->SetSwitchingSuspended(suspended);
      }
    }
  } restore{archive, d.ahead == nullptr, was_suspended};
  switch (local.method & 0xFF) {
    case 0:
      return CopyStoredItem(d, out, check_value);
    case 8:
    case 9:
      return InflateItem(d, out, check_value);
    case kAesMethod:
      return DecodeAesItem(d, local, out);
    default:
      if (const auto library = LibMethodFromZip(local.method & 0xFF)) {
        return DecodeLibraryItem(d, *library, out, check_value);
      }
      return ExpandLegacy(d, out, check_value);
  }
}

// Extraction into a stream; crc_mismatch_fails makes a mismatch an exception even when a failure
// handler is assigned (files are never placed when their data is wrong).
void ExtractToStream(Decoding& d, Stream& out, bool crc_mismatch_fails) {
  ZipArchive& archive = d.archive;
  ZipItem& item = d.item;
  const ZipLocalFileHeader local = LocateItemData(d);
  if (local.NameString() != item.Header().NameString()) {
    d.Warning("the local header names it \"" + local.NameString() + "\"");
  }
  // The data is decoded as its own header says; a directory that says otherwise is damage.
  if (local.method != item.CompressionMethod()) {
    d.Warning("the local header gives method " + std::to_string(local.method) +
              ", the central directory method " + std::to_string(item.CompressionMethod()));
  }
  const int64_t size_before = out.Size();
  const auto crc = DecodeItem(d, local, out);
  const int64_t produced = out.Size() - size_before;
  // The decoders stop one byte past the declared size: the data goes on beyond what the header
  // says, which is worth saying in so many words rather than as a plain CRC failure. A file about
  // to be placed must also not come out shorter than declared (a size that lies, as a damaged
  // ZIP64 field can, while the CRC-32 of what is there still matches); a test finds that lie by
  // comparing the local header with the central one.
  const bool longer = produced > item.UncompressedSize();
  if (longer || (crc_mismatch_fails && produced < item.UncompressedSize())) {
    throw ZipBadCRCError(MessageText(ZipBadCRCError::kCode) + ": the item's data is " +
                             (longer ? "longer" : "shorter") + " than its header declares (" +
                             std::to_string(item.UncompressedSize()) + " bytes)",
                         ZipBadCRCError::kCode);
  }
  if (!crc || *crc == item.CRC32()) return;
  if (crc_mismatch_fails || !archive.OnProcessItemFailure) throw ZipBadCRCError();
  archive.OnProcessItemFailure(&archive, &item, ptExtract, ecArchive, ZipBadCRCError::kCode);
}

// Applies the item's permissions and time to the file about to be placed, through its descriptor.
// Failures are not reported: the data is in place, and a file system that keeps no times or modes
// should not fail extraction.
void ApplyFileMetadata(FileStream& file, const ZipItem& item) {
  const uint32_t attributes = item.ExternalFileAttributes();
  const uint32_t unix_mode = attributes >> 16;
  unsigned mode = platform::DefaultFileMode();
  if ((item.VersionMade() >> 8) == kHostUnix && (unix_mode & kUnixTypeMask) == kUnixRegular) {
    mode = unix_mode & 0777;
  }
  if (attributes & kFaReadOnly) mode &= ~0222u;
  file.SetPermissions(mode);
  // The exact time (UTC) of an extra field, when the item has one, rather than the DOS time's
  // local two-second value.
  if (const auto exact = item.ModificationTime()) {
    file.SetModificationTime(static_cast<std::time_t>(exact->seconds), exact->nanoseconds);
    return;
  }
  const uint32_t dos = static_cast<uint32_t>(item.FileDate()) << 16 | item.FileTime();
  if (const auto time = platform::DosDateTimeToUnixTime(dos)) file.SetModificationTime(*time);
}

// How the work file of a target is made: one that replaces a file is named from the start.
platform::WorkFileName NamingOf(const ExtractTarget& target) {
  return target.replaces ? platform::WorkFileName::kNamed
                         : platform::WorkFileName::kUnnamedWherePossible;
}

// The work file could not become the target: the target's name is what the user needs to hear.
ArchiveError PlacingError(const std::string& target, const std::string& why) {
  return ArchiveError("Cannot write \"" + target + "\": " + why);
}

// A write to the work file that stopped short says why (a full disk, the size limit) and where.
[[noreturn]] void ThrowWithWriteCause(FileStream& work, const std::string& target) {
  try {
    throw;
  } catch (const FilerError& e) {
    if (work.LastError() == 0) throw;
    throw InOutError(std::string(e.what()) + ": " + SystemErrorText(work.LastError()) + " (\"" +
                         target + "\" could not be written)",
                     work.LastError());
  }
}

}  // namespace

uint32_t ExpandLegacyItem(ZipArchive& archive, ZipItem& item, Stream& out_stream,
                          uint32_t check_value) {
  Decoding d{archive, item};
  return ExpandLegacy(d, out_stream, check_value);
}

void ExtractItemToStream(ZipArchive& archive, ZipItem& item, Stream& out_stream) {
  Decoding d{archive, item};
  ExtractToStream(d, out_stream, false);
}

bool ResolveItemTarget(ZipArchive& archive, ZipItem& item, const std::string& use_name,
                       ExtractTarget& target) {
  return ResolveItemTarget(archive.BaseDirectory(), use_name, item.IsFolder(),
                           item.CompressedSize() > 0, archive.GetExtractOptions(),
                           archive.OnConfirmOverwrite, target, archive.RunFolders());
}

void ExtractItemToTarget(ZipArchive& archive, ZipItem& item, const ExtractTarget& target,
                         const EventReplay* replay) {
  // The work file and the rename go through the target's folder as it was opened, so a link put
  // in place of one of its folders meanwhile is not followed. A new file is written without a name
  // where the system allows (nothing is left of it, however the program ends) and named when
  // complete; a file that replaces another is named, synced and renamed over it.
  std::unique_ptr<platform::WorkFile> work;
  bool in_target_folder = true;
  try {
    work = std::make_unique<platform::WorkFile>(target.folder, "VMS", NamingOf(target));
  } catch (const std::exception&) {
    in_target_folder = false;
    platform::Folder temp;
    const std::string temp_path = platform::TempFolder();
    if (const int error = platform::Folder::Open(temp_path, temp)) {
      throw InOutError::FromErrno(temp_path, error);
    }
    work = std::make_unique<platform::WorkFile>(temp, "VMS");
  }
  try {
    try {
      Decoding d{archive, item, nullptr, replay};
      ExtractToStream(d, work->Stream(), true);
    } catch (const FilerError&) {
      ThrowWithWriteCause(work->Stream(), target.path);
    }
    if (in_target_folder) {
      ApplyFileMetadata(work->Stream(), item);
      // A new file need not reach the disk before it is renamed; one that replaces a file does, so
      // that a crash soon after cannot leave an empty file where a complete one was.
      work->Close(target.replaces);
      if (const int error = work->PlaceAs(target.file_name)) {
        throw PlacingError(target.path, SystemErrorText(error));
      }
      return;
    }
    // The target's folder cannot hold a work file: the data is copied over the target.
    try {
      auto out = target.folder->CreateFile(target.file_name);
      out->CopyFrom(work->Stream(), 0);
      ApplyFileMetadata(*out, item);
      out->Flush();
    } catch (const std::exception& e) {
      throw PlacingError(target.path, e.what());
    }
  } catch (const UserAbortError&) {
    archive.MarkInvalid();
    throw;
  }
}

void ExtractItemToFile(ZipArchive& archive, ZipItem& item, const std::string& use_name) {
  ExtractTarget target;
  if (!ResolveItemTarget(archive, item, use_name, target)) return;
  ExtractItemToTarget(archive, item, target, nullptr);
}

bool IsPlainFileItem(const ZipItem& item) {
  return !IsFolderEntry(item.IsFolder(), item.StoredName());
}

void DecodeItemAhead(ZipArchive& archive, ZipItem& item, AheadDecoding& decoding,
                     const std::function<bool(int64_t, int64_t)>& may_decode, Stream& out) {
  Decoding d{archive, item, &decoding, nullptr, 0, &may_decode};
  // A mismatch of size or CRC-32 raises here; the calling thread then reports it in full.
  ExtractToStream(d, out, true);
}

void DecodeItemAhead(ZipArchive& archive, ZipItem& item, AheadDecoding& decoding,
                     const std::function<bool(int64_t, int64_t)>& may_decode, FileStream& out) {
  DecodeItemAhead(archive, item, decoding, may_decode, static_cast<Stream&>(out));
  ApplyFileMetadata(out, item);
}

bool PlaceDecodedItem(const ZipItem& item, const ExtractTarget& target,
                      std::span<const uint8_t> data) {
  try {
    platform::WorkFile work(target.folder, "VMS", NamingOf(target));
    work.Stream().WriteBuffer(data);
    ApplyFileMetadata(work.Stream(), item);
    work.Close(target.replaces);
    return work.PlaceAs(target.file_name) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

void TestItemIntegrity(ZipArchive& archive, ZipItem& item) {
  EnterItemPart(archive, item);
  const ZipLocalFileHeader local = ReadLocalHeader(*archive.ArchiveStream(), item);
  const ZipDirectoryFileHeader& central = item.Header();
  // With a data descriptor the local header's crc and sizes are zero by design (streaming
  // writers such as Java's jar and libarchive do this), and the extra fields of the two headers
  // legitimately differ (Info-ZIP keeps access times only locally); neither is a fault.
  const bool descriptor = (local.flag & kFlagDataDescriptor) != 0;
  // A writer that keeps room for ZIP64 sizes in a local header says 4.5 there before it knows
  // whether the central record needs it (Info-ZIP's zip -fz gives a folder 4.5 and 1.0).
  const bool zip64_local = FindExtraField(local.extra, kZip64ExtraId).has_value();
  const bool differs = (local.version_needed != central.version_needed && !zip64_local) ||
                       local.flag != central.flag || local.method != central.method ||
                       local.time != central.time || local.date != central.date ||
                       (!descriptor && (local.crc32 != central.crc32 ||
                                        local.compressed_size != central.compressed_size ||
                                        local.uncompressed_size != central.uncompressed_size)) ||
                       local.NameString() != central.NameString();
  if (local.NameString() != central.NameString()) {
    archive.FireItemWarning(&item, "the local header names it \"" + local.NameString() + "\"");
  }
  if (local.method != central.method) {
    throw ZipInvalidLFHError(MessageText(ZipInvalidLFHError::kCode) +
                                 ": the local header gives method " + std::to_string(local.method) +
                                 ", the central directory method " + std::to_string(central.method),
                             ZipInvalidLFHError::kCode);
  }
  if (differs) throw ZipInvalidLFHError();
  BitBucketStream bucket;
  Decoding d{archive, item};
  ExtractToStream(d, bucket, false);
}

}  // namespace vz
