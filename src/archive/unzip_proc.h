// The work a zip archive does for one item when it extracts or tests it: locate the local header,
// choose the decoder by method (stored copy, Inflate, or the legacy methods), obtain and verify the
// password of an encrypted item, check the CRC-32, and for files, write through a work file in the
// target's folder that replaces the target only once the item decoded and passed its check.
#pragma once

#include <string>

#include "archive/zip_archive.h"
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

// Installs the three procedures above into an archive.
void InstallExtractionProcs(ZipArchive& archive);

// Decodes one legacy item (shrink, reduce, implode); every other method fails with
// ZipInvalidMethodError. Returns the CRC-32 of the output.
uint32_t ExpandLegacyItem(ZipArchive& archive, ZipItem& item, Stream& out_stream,
                          uint32_t check_value);

}  // namespace vz
