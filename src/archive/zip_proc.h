// The work a zip archive does for one item when it adds it: produce the item's stored data from a
// file or a stream, stored, deflated (or whichever of the two is smaller) or compressed with a
// library's method, encrypted when the archive has a password (traditional or WinZip AES), and fill
// in the fields its local and central headers carry: method, flag, versions, sizes, CRC-32, time,
// date, attributes and the AES extra field.
//
// The data is built in a work stream first and copied to the output only once the method is
// settled, so a failure leaves the output untouched and the best-method choice can start over.
#pragma once

#include "archive/zip_archive.h"
#include "platform/stream.h"

namespace vz {

// Where the compression of one item reports its progress. The archive's own (ArchiveProgress) fires
// its events as they come; a save that compresses items ahead on other threads records them there
// and fires them later, on its own thread, in the same order.
class CompressProgress {
 public:
  virtual ~CompressProgress() = default;
  // A codec's percentage, as Archive::FireCodecProgress: an abort raises AbortProgressError.
  virtual void Codec(int32_t percent) = 0;
  // Storing reports its percentages only when this is true (the archive has an ItemProgressProc).
  virtual bool ReportsStoring() const = 0;
  // A percentage of storing, as Archive::ItemProgressProc; the answer of a last report is ignored.
  virtual void Store(uint8_t percent, bool& abort, bool last) = 0;
};

// The archive's own progress: its FireCodecProgress and ItemProgressProc.
class ArchiveProgress : public CompressProgress {
 public:
  explicit ArchiveProgress(ZipArchive& archive) : archive_(archive) {}
  void Codec(int32_t percent) override { archive_.FireCodecProgress(percent); }
  bool ReportsStoring() const override { return static_cast<bool>(archive_.ItemProgressProc); }
  void Store(uint8_t percent, bool& abort, bool /*last*/) override {
    archive_.ItemProgressProc(percent, abort);
  }

 private:
  ZipArchive& archive_;
};

// Compresses the item's file (DiskPath, taken against the archive's BaseDirectory when relative)
// into out_stream, which must be empty. Time and date are the file's last-write time, the
// attributes its DOS bits. A missing or unreadable file raises the platform's open error; a
// file of 4 GiB or more raises ArchiveError.
void CompressItemFile(ZipArchive& archive, ZipItem& item, Stream& out_stream);
// The same, reporting to progress and reading nothing of the archive but its settings: this one may
// run on another thread than the archive's while that thread does not change them. size_at_open,
// when given, receives the file's size as it was opened (what ItemSourceSize would have found).
void CompressItemFile(const ZipArchive& archive, ZipItem& item, Stream& out_stream,
                      CompressProgress& progress, int64_t* size_at_open = nullptr);
// Compresses in_stream, from its position to its end, into out_stream, which must be empty. A
// source that is not a file stream gives the item the current time and no attributes.
void CompressItemStream(ZipArchive& archive, ZipItem& item, Stream& out_stream, Stream& in_stream);

// Opens the item's file for the compression that follows on this thread (CompressItemFile takes
// it from the archive's PendingSource) and returns the size it has; a source that is not a file,
// or a file that cannot be opened, is left to the compression and gives ItemSourceSize's answer.
int64_t OpenItemSource(ZipArchive& archive, ZipItem& item);

// Gives the item the extra fields its new data will carry, as far as they are known before the
// data is made: those of the version it replaces that describe data or times go (ZIP64, AES,
// timestamps), and an item to be encrypted with AES gets its 0x9901 field, whose values the
// compression fills in. A save calls it before it writes the local header the data follows, so
// that the header keeps its length; the insert procedures call it themselves.
void PrepareItemExtra(const ZipArchive& archive, ZipItem& item);

// Bytes the item's source holds now (its file, or the archive's source stream for a stream
// addition), or -1 when that cannot be told. A save uses it to keep room for ZIP64 sizes in a
// local header written before the data.
int64_t ItemSourceSize(const ZipArchive& archive, const ZipItem& item);

}  // namespace vz
