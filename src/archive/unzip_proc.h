// The work a zip archive does for one item when it extracts or tests it: locate the local header,
// choose the decoder by method (stored copy, Inflate, or the legacy methods), obtain and verify the
// password of an encrypted item, check the CRC-32, and for files, write through a work file in the
// target's folder that replaces the target only once the item decoded and passed its check.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/stream.h"

namespace vz {

// Extracts one item into a file below the archive's base folder (use_name is the stored name or
// the caller's replacement).
void ExtractItemToFile(ZipArchive& archive, ZipItem& item, const std::string& use_name);
// Extracts one item into out_stream. A CRC mismatch is reported through OnProcessItemFailure when
// that event is assigned (the output stays as produced), and raised as ZipBadCRCError otherwise.
void ExtractItemToStream(ZipArchive& archive, ZipItem& item, Stream& out_stream);
// Compares the item's local header with its central record, then decodes the data without keeping
// it and checks its CRC-32.
void TestItemIntegrity(ZipArchive& archive, ZipItem& item);

// ---- the steps of ExtractItemToFile, for a run that decodes items ahead on worker threads ----

// The events of one item's decoding, in the order they are fired.
enum class ItemEventKind : uint8_t {
  kItemProgress,   // through the archive's ItemProgressProc
  kCodecProgress,  // a codec's progress, through FireItemProgress
  kWarning,        // through FireItemWarning
};
struct ItemEvent {
  ItemEventKind kind;
  uint8_t progress;
  std::string warning;
};

// An item decoded on a worker: it reads the archive through source (its own reader) with the
// password the run began with, and records its events, which the calling thread fires in turn.
struct AheadDecoding {
  Stream* source = nullptr;
  std::string password;
  std::vector<ItemEvent> events;
  int64_t extent_start = 0;  // the bytes the item's header and data take in the archive
  int64_t extent_end = 0;
  const std::atomic<bool>* stop = nullptr;  // set: the run ends, the decoding gives up
};

// The first delivered events of an item's decoding were fired already (from a decoding ahead); when
// aborted is set, the last of them was answered with abort.
struct EventReplay {
  size_t delivered = 0;
  bool aborted = false;
};

// ExtractItemToFile's first step on the calling thread: a folder entry makes its folder; a file's
// target is resolved and the overwrite question asked. False when no file is to be written.
bool ResolveItemTarget(ZipArchive& archive, ZipItem& item, const std::string& use_name,
                       ExtractTarget& target);
// The rest of ExtractItemToFile for a resolved target. With replay, the events it delivered are
// answered as they were instead of being fired again.
void ExtractItemToTarget(ZipArchive& archive, ZipItem& item, const ExtractTarget& target,
                         const EventReplay* replay);
// True for an item that holds a file (not a folder entry) under its stored name.
bool IsPlainFileItem(const ZipItem& item);
// On a worker: reads the item's local header, asks may_decode about the extent it takes, then
// decodes its data into out, checks it and stamps out with the item's time and permissions. Raises
// on anything the item needs the calling thread for (a password to ask, an extent refused) and on
// every failure: the calling thread then extracts the item itself, with its events.
void DecodeItemAhead(ZipArchive& archive, ZipItem& item, AheadDecoding& decoding,
                     const std::function<bool(int64_t, int64_t)>& may_decode, FileStream& out);
// The same into memory (no time or permissions to stamp).
void DecodeItemAhead(ZipArchive& archive, ZipItem& item, AheadDecoding& decoding,
                     const std::function<bool(int64_t, int64_t)>& may_decode, Stream& out);
// On the calling thread: writes an item's data, decoded and checked ahead, into a work file in
// the target's folder, stamps it and renames it over the target, as ExtractItemToTarget would
// have. False, with nothing left behind, when any step fails: the caller then extracts the item
// the serial way, which reports the failure in full.
bool PlaceDecodedItem(const ZipItem& item, const ExtractTarget& target,
                      std::span<const uint8_t> data);

// Decodes one legacy item (shrink, reduce, implode); every other method fails with
// ZipInvalidMethodError. Returns the CRC-32 of the output.
uint32_t ExpandLegacyItem(ZipArchive& archive, ZipItem& item, Stream& out_stream,
                          uint32_t check_value);

}  // namespace vz
