// The work a zip archive does for one item when it adds it: produce the item's stored data from a
// file or a stream, stored or deflated (or whichever of the two is smaller), encrypted when the
// archive has a password, and fill in the fields its local and central headers carry: method,
// flag, versions, sizes, CRC-32, time, date and attributes.
//
// The data is built in a work stream first and copied to the output only once the method is
// settled, so a failure leaves the output untouched and the best-method choice can start over.
#pragma once

#include "archive/zip_archive.h"
#include "platform/stream.h"

namespace vz {

// Compresses the item's file (DiskPath, taken against the archive's BaseDirectory when relative)
// into out_stream, which must be empty. Time and date are the file's last-write time, the
// attributes its DOS bits. A missing or unreadable file raises the platform's open error; a
// file of 4 GiB or more raises ArchiveError.
void CompressItemFile(ZipArchive& archive, ZipItem& item, Stream& out_stream);
// Compresses in_stream, from its position to its end, into out_stream, which must be empty. A
// source that is not a file stream gives the item the current time and no attributes.
void CompressItemStream(ZipArchive& archive, ZipItem& item, Stream& out_stream, Stream& in_stream);

// Installs the two insert procedures above into an archive; the stream procedure raises
// ZipNoInsertionError when it is given no source stream.
void InstallInsertionProcs(ZipArchive& archive);

}  // namespace vz
