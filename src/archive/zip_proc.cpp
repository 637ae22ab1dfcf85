// Item compression.
//
// Both entry points end in CompressItemStream: PrepareItem resets the fields the data decides,
// DeflateItem or StoreItem writes the data straight to the output (the best method tries Deflate
// first, and when that came out larger than the source cuts the output back and stores instead),
// and FinishItem sets the versions and the encryption bits. Nothing here changes the process's
// current folder: a relative DiskPath is taken against BaseDirectory.
#include "archive/zip_proc.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <memory>
#include <vector>

#include "archive/utils.h"
#include "codec/crypt_streams.h"
#include "codec/deflate.h"
#include "codec/deflate_base.h"
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

void PrepareItem(ZipItem& item, Stream& in_stream, int64_t source_size) {
  item.SetUncompressedSize(source_size);
  // The UTF-8 name bit belongs to the stored name, not to the data: it stays.
  item.SetFlag(item.Flag() & kFlagUtf8Names);
  item.SetCompressedSize(0);
  if (dynamic_cast<FileStream*>(&in_stream) == nullptr) {
    const uint32_t now = platform::UnixTimeToDosDateTime(std::time(nullptr));
    item.SetFileTime(static_cast<uint16_t>(now & 0xFFFF));
    item.SetFileDate(static_cast<uint16_t>(now >> 16));
    item.SetExternalFileAttributes(AttributesFor(item, 0, 0644));
  }
  item.SetVersionMade(static_cast<uint16_t>((item.VersionMade() & 0xFF00) | 20));
}

void DeflateItem(ZipArchive& archive, ZipItem& item, Stream& work, Stream& in_stream,
                 int64_t source_size) {
  item.SetCompressionMethod(8);
  DeflateHelper options;
  if (!archive.Password().empty()) options.SetCryptPassword(archive.Password());
  options.UseDeflationOption(archive.DeflationOption());
  item.SetFlag(item.Flag() | DeflationSettingsOf(archive.DeflationOption()).zip_flag_bits);
  // The encoder's source size is 32-bit and only feeds its progress reports; a larger source goes
  // without them rather than with a wrong size.
  if (source_size <= INT32_MAX) {
    options.SetSourceSize(static_cast<int32_t>(source_size));
    options.SetOnPercentDone([&archive](int32_t percent) { archive.FireCodecProgress(percent); });
  }
  options.SetCryptCheck(static_cast<int32_t>(CryptCheckOf(item)));
  item.SetCRC32(Deflate(&in_stream, &work, &options));
}

void StoreItem(ZipArchive& archive, ZipItem& item, Stream& work, Stream& in_stream,
               int64_t source_size) {
  item.SetCompressionMethod(0);
  bool abort = false;
  uint32_t reg = 0xFFFFFFFFu;
  int64_t total = 0;
  int percent = 0;
  int previous_percent = 0;
  std::unique_ptr<DfEncryptStream> crypt;
  if (!archive.Password().empty()) {
    crypt = std::make_unique<DfEncryptStream>(work, CryptCheckOf(item), archive.Password());
  }
  Stream& out = crypt ? static_cast<Stream&>(*crypt) : work;
  std::vector<uint8_t> buffer(kStorePiece);
  int64_t n = in_stream.Read(buffer);
  while (n > 0 && !abort) {
    if (archive.ItemProgressProc) {
      total += n;
      percent = source_size > 0 ? RoundedPercent(total, source_size) : 100;
      if (percent != previous_percent) {
        archive.ItemProgressProc(static_cast<uint8_t>(std::min(percent, 100)), abort);
      }
      previous_percent = percent;
    }
    UpdateCrc32(reg, buffer.data(), n);
    out.WriteBuffer({buffer.data(), static_cast<size_t>(n)});
    n = in_stream.Read(buffer);
  }
  item.SetCRC32(~reg);
  if (percent < 100 && archive.ItemProgressProc) {
    bool ignored = false;
    archive.ItemProgressProc(100, ignored);
  }
  if (abort) throw UserAbortError();
}

void FinishItem(const ZipArchive& archive, ZipItem& item) {
  item.SetVersionNeeded(item.CompressionMethod() == 8 ? 20 : 10);
  if (!archive.Password().empty()) item.SetFlag(item.Flag() | kFlagEncrypted | kFlagDataDescriptor);
}

// The file an item's DiskPath names, resolved against the base folder.
std::string SourcePathOf(const ZipArchive& archive, const ZipItem& item) {
  // New items carry native (UTF-8) paths, and loaded items get theirs from the converted stored
  // name, so no code page conversion applies here.
  const std::string& path = item.DiskPath();
  if (PathKindOf(path) == pkAbsolute || archive.BaseDirectory().empty()) return path;
  return AppendBackslash(archive.BaseDirectory()) + path;
}

void WriteItemData(ZipArchive& archive, ZipItem& item, Stream& out_stream, Stream& in_stream,
                   int64_t start, int64_t out_start, int64_t source_size) {
  PrepareItem(item, in_stream, source_size);
  if (source_size > 0) {
    switch (archive.CompressionMethodToUse()) {
      case smStored:
        StoreItem(archive, item, out_stream, in_stream, source_size);
        break;
      case smDeflated:
        DeflateItem(archive, item, out_stream, in_stream, source_size);
        break;
      case smBestMethod:
        DeflateItem(archive, item, out_stream, in_stream, source_size);
        // The encryption header counts against Deflate here, as it would against storing.
        if (out_stream.Position() - out_start >
            source_size + (archive.Password().empty() ? 0 : kZipCryptHeaderSize)) {
          in_stream.SetPosition(start);
          out_stream.SetSize(out_start);
          out_stream.SetPosition(out_start);
          StoreItem(archive, item, out_stream, in_stream, source_size);
        }
        break;
    }
  } else {
    item.SetCRC32(0);
    StoreItem(archive, item, out_stream, in_stream, source_size);
  }
}

}  // namespace

void CompressItemStream(ZipArchive& archive, ZipItem& item, Stream& out_stream, Stream& in_stream) {
  // The source is read from its position on; only those bytes are the item. The data goes to the
  // output from its position on.
  const int64_t start = in_stream.Position();
  const int64_t out_start = out_stream.Position();
  const int64_t source_size = std::max<int64_t>(in_stream.Size() - start, 0);
  try {
    WriteItemData(archive, item, out_stream, in_stream, start, out_start, source_size);
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

void CompressItemFile(ZipArchive& archive, ZipItem& item, Stream& out_stream) {
  const std::string path = SourcePathOf(archive, item);
  // Folders, pipes and devices are not files to compress: a pipe would block, a folder fails
  // only at the first read.
  const auto status = platform::StatPath(path);
  if (!status) throw FileOpenError(path, ENOENT);
  if (!status->is_regular) throw FileOpenError(path, status->is_directory ? EISDIR : EINVAL);
  FileStream file(path, kFmOpenRead | kFmShareDenyWrite);
  item.SetExternalFileAttributes(AttributesFor(item,
                                               platform::DosAttributesOf(path).value_or(kFaArchive),
                                               platform::PermissionsOf(path).value_or(0644)));
  item.SetUncompressedSize(file.Size());
  const uint32_t dos = FileDosTime(path);
  item.SetFileTime(static_cast<uint16_t>(dos & 0xFFFF));
  item.SetFileDate(static_cast<uint16_t>(dos >> 16));
  CompressItemStream(archive, item, out_stream, file);
}

void InstallInsertionProcs(ZipArchive& archive) {
  archive.InsertProc = [](ZipArchive& sender, ZipItem& item, Stream& out_stream) {
    CompressItemFile(sender, item, out_stream);
  };
  archive.InsertFromStreamProc = [](ZipArchive& sender, ZipItem& item, Stream& out_stream,
                                    Stream* in_stream) {
    if (in_stream == nullptr) throw ZipNoInsertionError();
    CompressItemStream(sender, item, out_stream, *in_stream);
  };
}

}  // namespace vz
