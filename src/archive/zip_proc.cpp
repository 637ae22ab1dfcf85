// Item compression.
//
// Both entry points end in CompressItemStream: PrepareItem resets the fields the data decides,
// DeflateItem, StoreItem or LibraryItem (bzip2, LZMA, xz, Zstandard) writes the data straight to
// the output (the best method tries Deflate first, and it and the libraries' methods, when they
// came out larger than the source, cut the output back and store instead), and FinishItem sets the
// versions and the encryption bits. The traditional cipher runs inside the encoders; WinZip AES
// wraps the output around them and turns the item into method 99 with a 0x9901 field. Nothing
// here changes the process's current folder: a relative DiskPath is taken against BaseDirectory.
#include "archive/zip_proc.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "archive/utils.h"
#include "archive/zip_records.h"
#include "codec/aes_crypt.h"
#include "codec/crypt_streams.h"
#include "codec/deflate.h"
#include "codec/deflate_base.h"
#include "codec/method_codecs.h"
#include "codec/percent.h"
#include "platform/dos_time.h"
#include "platform/file_stream.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Storing copies in pieces of this size; progress is reported per whole percent either way.
constexpr size_t kStorePiece = 64 * 1024;

// The check value whose top byte ends the encryption header: the item's time word, as readers
// that see a data descriptor expect it.
uint32_t CryptCheckOf(const ZipItem& item) {
  return static_cast<uint32_t>(item.FileTime()) << 16;
}

constexpr uint8_t kHostUnix = 3;
constexpr uint32_t kUnixRegularFile = 0100000;

// Attributes of a new version of an item. New items are made on host 0 (or 11) and store the
// DOS bits alone. An item that another tool made on Unix (host 3) keeps its host, and readers
// there take the file's mode from the high 16 bits: without one they would extract the file with
// no permissions at all, so it gets the file's permissions beside the DOS bits.
uint32_t AttributesFor(const ZipItem& item, uint32_t dos_bits, uint32_t permissions) {
  if ((item.VersionMade() >> 8) != kHostUnix) return dos_bits;
  return ((kUnixRegularFile | (permissions & 0777)) << 16) | dos_bits;
}

// Extra fields that describe the data or the file rather than the name: a new version of the item
// gets its own (or none), never those of the version it replaces.
constexpr uint16_t kExtendedTimestampId = 0x5455;
constexpr uint16_t kNtfsId = 0x000A;

void PrepareItem(const ZipArchive& archive, ZipItem& item, Stream& in_stream, int64_t source_size) {
  item.SetUncompressedSize(source_size);
  // The UTF-8 name bit belongs to the stored name, not to the data: it stays.
  item.SetFlag(item.Flag() & kFlagUtf8Names);
  item.SetCompressedSize(0);
  PrepareItemExtra(archive, item);
  if (dynamic_cast<FileStream*>(&in_stream) == nullptr) {
    const uint32_t now = platform::UnixTimeToDosDateTime(std::time(nullptr));
    item.SetFileTime(static_cast<uint16_t>(now & 0xFFFF));
    item.SetFileDate(static_cast<uint16_t>(now >> 16));
    item.SetExternalFileAttributes(AttributesFor(item, 0, 0644));
  }
  item.SetVersionMade(static_cast<uint16_t>((item.VersionMade() & 0xFF00) | 20));
}

// The traditional cipher's password goes to the encoders below; with AES (or no password) it is
// empty and they write plain data.
void DeflateItem(const ZipArchive& archive, CompressProgress& progress, ZipItem& item, Stream& work,
                 Stream& in_stream, int64_t source_size, const std::string& password) {
  item.SetCompressionMethod(8);
  DeflateHelper options;
  if (!password.empty()) options.SetCryptPassword(password);
  options.UseDeflationOption(archive.DeflationOption());
  item.SetFlag(item.Flag() | DeflationSettingsOf(archive.DeflationOption()).zip_flag_bits);
  // The encoder's source size is 32-bit and only feeds its progress reports; a larger source goes
  // without them rather than with a wrong size.
  if (source_size <= INT32_MAX) {
    options.SetSourceSize(static_cast<int32_t>(source_size));
    options.SetOnPercentDone([&progress](int32_t percent) { progress.Codec(percent); });
  }
  options.SetCryptCheck(static_cast<int32_t>(CryptCheckOf(item)));
  item.SetCRC32(Deflate(&in_stream, &work, &options));
}

void StoreItem(CompressProgress& progress, ZipItem& item, Stream& work, Stream& in_stream,
               int64_t source_size, const std::string& password) {
  item.SetCompressionMethod(0);
  const bool reports = progress.ReportsStoring();
  bool abort = false;
  uint32_t reg = 0xFFFFFFFFu;
  int64_t total = 0;
  int percent = 0;
  int previous_percent = 0;
  std::unique_ptr<DfEncryptStream> crypt;
  if (!password.empty()) {
    crypt = std::make_unique<DfEncryptStream>(work, CryptCheckOf(item), password);
  }
  Stream& out = crypt ? static_cast<Stream&>(*crypt) : work;
  std::vector<uint8_t> buffer(kStorePiece);
  int64_t n = in_stream.Read(buffer);
  while (n > 0 && !abort) {
    if (reports) {
      total += n;
      percent = source_size > 0 ? RoundedPercent(total, source_size) : 100;
      if (percent != previous_percent) {
        progress.Store(static_cast<uint8_t>(std::min(percent, 100)), abort, false);
      }
      previous_percent = percent;
    }
    UpdateCrc32(reg, buffer.data(), n);
    out.WriteBuffer({buffer.data(), static_cast<size_t>(n)});
    n = in_stream.Read(buffer);
  }
  item.SetCRC32(~reg);
  if (percent < 100 && reports) {
    bool ignored = false;
    progress.Store(100, ignored, true);
  }
  if (abort) throw UserAbortError();
}

// The library method a choice names, if it names one.
std::optional<LibMethod> LibMethodOf(ZipSupportedMethod method) {
  switch (method) {
    case smBzip2:
      return LibMethod::kBzip2;
    case smLzma:
      return LibMethod::kLzma;
    case smXz:
      return LibMethod::kXz;
    case smZstd:
      return LibMethod::kZstd;
    case smStored:
    case smDeflated:
    case smBestMethod:
      break;
  }
  return std::nullopt;
}

// The libraries' levels follow the deflation option, the one level a user chooses.
MethodLevel LevelOf(ZipDeflationOption option) {
  switch (option) {
    case doSuperFast:
      return MethodLevel::kSuperFast;
    case doFast:
      return MethodLevel::kFast;
    case doMaximum:
      return MethodLevel::kMaximum;
    case doInvalid:
    case doNormal:
      break;
  }
  return MethodLevel::kNormal;
}

void LibraryItem(const ZipArchive& archive, CompressProgress& progress, ZipItem& item, Stream& work,
                 Stream& in_stream, int64_t source_size, LibMethod method,
                 const std::string& password) {
  item.SetCompressionMethod(static_cast<uint16_t>(method));
  // The LZMA encoder always ends its data with an end marker, which bit 1 announces.
  if (method == LibMethod::kLzma) item.SetFlag(item.Flag() | kFlagLzmaEndMarker);
  std::unique_ptr<DfEncryptStream> crypt;
  if (!password.empty()) {
    crypt = std::make_unique<DfEncryptStream>(work, CryptCheckOf(item), password);
  }
  MethodEncodeOptions options;
  options.level = LevelOf(archive.DeflationOption());
  options.source_size = source_size;
  options.on_percent_done = [&progress](int32_t percent) { progress.Codec(percent); };
  const MethodResult result =
      EncodeMethod(method, in_stream, crypt ? static_cast<Stream&>(*crypt) : work, options);
  item.SetCRC32(result.crc32);
}

void EncodeItem(const ZipArchive& archive, CompressProgress& progress, ZipItem& item, Stream& out,
                Stream& in_stream, int64_t source_size, ZipSupportedMethod method,
                const std::string& password) {
  if (const auto library = LibMethodOf(method)) {
    LibraryItem(archive, progress, item, out, in_stream, source_size, *library, password);
  } else if (method == smStored) {
    StoreItem(progress, item, out, in_stream, source_size, password);
  } else {
    DeflateItem(archive, progress, item, out, in_stream, source_size, password);
  }
}

// WinZip AES for new items when the archive asks for it and has a password.
std::optional<AesStrength> AesStrengthOf(const ZipArchive& archive) {
  if (archive.Password().empty()) return std::nullopt;
  switch (archive.Encryption()) {
    case zeAes128:
      return AesStrength::kAes128;
    case zeAes192:
      return AesStrength::kAes192;
    case zeAes256:
      return AesStrength::kAes256;
    case zeTraditional:
      break;
  }
  return std::nullopt;
}

}  // namespace

void PrepareItemExtra(const ZipArchive& archive, ZipItem& item) {
  auto& extra = item.Header().extra;
  extra =
      WithoutExtraFields(extra, {kZip64ExtraId, kAesExtraFieldId, kExtendedTimestampId, kNtfsId});
  // An AES item's field goes last, with its final length; FinishItem fills in its values.
  if (const auto aes = AesStrengthOf(archive)) {
    AesExtraField field;
    field.strength = *aes;
    AppendExtraField(extra, kAesExtraFieldId, AesExtraFieldData(field));
  }
}

namespace {

// Encodes the item in method, encrypted as the archive asks: the traditional cipher inside the
// encoders, AES around them.
void EncryptAndEncode(const ZipArchive& archive, CompressProgress& progress, ZipItem& item,
                      Stream& out, Stream& in_stream, int64_t source_size,
                      ZipSupportedMethod method) {
  const auto aes = AesStrengthOf(archive);
  if (!aes) {
    EncodeItem(archive, progress, item, out, in_stream, source_size, method, archive.Password());
    return;
  }
  AesEncryptStream crypt(out, *aes, archive.Password());
  EncodeItem(archive, progress, item, crypt, in_stream, source_size, method, "");
  crypt.Finish();
}

void WriteItemData(const ZipArchive& archive, CompressProgress& progress, ZipItem& item,
                   Stream& out_stream, Stream& in_stream, int64_t start, int64_t out_start,
                   int64_t source_size) {
  PrepareItem(archive, item, in_stream, source_size);
  if (source_size == 0) {
    // Nothing to compress: only an encryption header (or AES's salt and code) is written.
    item.SetCRC32(0);
    EncryptAndEncode(archive, progress, item, out_stream, in_stream, source_size, smStored);
    return;
  }
  const ZipSupportedMethod method = archive.CompressionMethodToUse();
  const uint16_t flag = item.Flag();
  EncryptAndEncode(archive, progress, item, out_stream, in_stream, source_size, method);
  if (method == smStored || method == smDeflated) return;
  // The best method, and the libraries' methods, store what they would make larger. The
  // encryption's own bytes count against both alike.
  const auto aes = AesStrengthOf(archive);
  const int64_t overhead = aes                          ? AesOverhead(*aes)
                           : archive.Password().empty() ? 0
                                                        : kZipCryptHeaderSize;
  if (out_stream.Position() - out_start <= source_size + overhead) return;
  in_stream.SetPosition(start);
  out_stream.SetSize(out_start);
  out_stream.SetPosition(out_start);
  // Deflate's option bits stay on a stored item, as they always have; a library's bit goes.
  if (method != smBestMethod) item.SetFlag(flag);
  EncryptAndEncode(archive, progress, item, out_stream, in_stream, source_size, smStored);
}

// Items under this size get AE-2, whose CRC field stays 0: the CRC-32 of a few bytes would tell
// what they are. Larger items get AE-1 and keep their CRC-32, a second check after decryption
// that readers without AES can still list. WinZip chooses the same way.
constexpr int64_t kAe2Below = 20;

void FinishItem(const ZipArchive& archive, ZipItem& item) {
  const auto library = LibMethodFromZip(item.CompressionMethod());
  item.SetVersionNeeded(library                         ? LibMethodVersionNeeded(*library)
                        : item.CompressionMethod() == 8 ? 20
                                                        : 10);
  if (archive.Password().empty()) return;
  const auto aes = AesStrengthOf(archive);
  if (!aes) {
    item.SetFlag(item.Flag() | kFlagEncrypted | kFlagDataDescriptor);
    return;
  }
  // An AES item says method 99; its real method, the key strength and the AE version go into the
  // 0x9901 field, which both headers carry.
  AesExtraField field;
  field.vendor_version = item.UncompressedSize() < kAe2Below ? 2 : 1;
  field.strength = *aes;
  field.method = item.CompressionMethod();
  auto& extra = item.Header().extra;
  extra = WithoutExtraFields(extra, {kAesExtraFieldId});
  AppendExtraField(extra, kAesExtraFieldId, AesExtraFieldData(field));
  item.SetCompressionMethod(kAesMethod);
  item.SetVersionNeeded(std::max(item.VersionNeeded(), kAesVersionNeeded));
  item.SetFlag(item.Flag() | kFlagEncrypted);
  if (field.vendor_version == 2) item.SetCRC32(0);
}

// The file an item's DiskPath names, resolved against the base folder.
std::string SourcePathOf(const ZipArchive& archive, const ZipItem& item) {
  // New items carry native (UTF-8) paths, and loaded items get theirs from the converted stored
  // name, so no code page conversion applies here.
  const std::string& path = item.DiskPath();
  if (PathKindOf(path) == pkAbsolute || archive.BaseDirectory().empty()) return path;
  return AppendBackslash(archive.BaseDirectory()) + path;
}

}  // namespace

namespace {

// known_size: the source's size when the caller has just learnt it, else -1 (it is asked for).
void CompressStream(const ZipArchive& archive, CompressProgress& progress, ZipItem& item,
                    Stream& out_stream, Stream& in_stream, int64_t known_size = -1) {
  // The source is read from its position on; only those bytes are the item. The data goes to the
  // output from its position on.
  const int64_t start = in_stream.Position();
  const int64_t out_start = out_stream.Position();
  const int64_t source_size =
      std::max<int64_t>((known_size >= 0 ? known_size : in_stream.Size()) - start, 0);
  try {
    WriteItemData(archive, progress, item, out_stream, in_stream, start, out_start, source_size);
  } catch (...) {
    // The output gets nothing from a failed run.
    try {
      out_stream.SetSize(out_start);
      out_stream.SetPosition(out_start);
    } catch (...) {
    }
    throw;
  }
  // A file that changed size while it was read is described as it was read.
  item.SetUncompressedSize(in_stream.Position() - start);
  FinishItem(archive, item);
  item.SetCompressedSize(out_stream.Position() - out_start);
  item.SetInternalFileAttributes(0);
}

}  // namespace

void CompressItemStream(ZipArchive& archive, ZipItem& item, Stream& out_stream, Stream& in_stream) {
  ArchiveProgress progress(archive);
  CompressStream(archive, progress, item, out_stream, in_stream);
}

namespace {

// Compresses the item from its open file, whose status was read from the open descriptor.
void CompressOpenFile(const ZipArchive& archive, ZipItem& item, Stream& out_stream,
                      CompressProgress& progress, FileStream& file,
                      const platform::FileStatus& status) {
  item.SetExternalFileAttributes(AttributesFor(item, status.attributes, status.permissions));
  item.SetUncompressedSize(status.size);
  const uint32_t dos = platform::UnixTimeToDosDateTime(status.mtime);
  item.SetFileTime(static_cast<uint16_t>(dos & 0xFFFF));
  item.SetFileDate(static_cast<uint16_t>(dos >> 16));
  CompressStream(archive, progress, item, out_stream, file, status.size);
}

}  // namespace

void CompressItemFile(const ZipArchive& archive, ZipItem& item, Stream& out_stream,
                      CompressProgress& progress, int64_t* size_at_open) {
  const std::string path = SourcePathOf(archive, item);
  // Only regular files are compressed (a pipe would block, a folder fails only at the first
  // read), and everything else the item takes from the file comes from the same open file.
  platform::FileStatus status;
  const auto file = FileStream::OpenRegular(path, status);
  if (size_at_open != nullptr) *size_at_open = status.size;
  CompressOpenFile(archive, item, out_stream, progress, *file, status);
}

int64_t OpenItemSource(ZipArchive& archive, ZipItem& item) {
  OpenedSource& slot = archive.PendingSource();
  slot = {};
  if (item.PendingAction() == iaStreamAdd) return ItemSourceSize(archive, item);
  try {
    slot.file = FileStream::OpenRegular(SourcePathOf(archive, item), slot.status);
  } catch (const std::exception&) {
    return -1;  // the compression opens it again and reports why it cannot
  }
  slot.item = &item;
  return slot.status.size;
}

void CompressItemFile(ZipArchive& archive, ZipItem& item, Stream& out_stream) {
  ArchiveProgress progress(archive);
  OpenedSource& slot = archive.PendingSource();
  if (slot.item == &item && slot.file != nullptr) {
    const OpenedSource opened = std::move(slot);
    slot = {};
    CompressOpenFile(archive, item, out_stream, progress, *opened.file, opened.status);
    return;
  }
  CompressItemFile(archive, item, out_stream, progress);
}

int64_t ItemSourceSize(const ZipArchive& archive, const ZipItem& item) {
  if (item.PendingAction() == iaStreamAdd) {
    Stream* source = archive.SourceStream();
    return source != nullptr ? std::max<int64_t>(source->Size() - source->Position(), 0) : -1;
  }
  const auto status = platform::StatPath(SourcePathOf(archive, item));
  return status && status->is_regular ? status->size : -1;
}

}  // namespace vz
