// The engine's own item procedures: decoding an item into a file or a stream and testing it
// (unzip_proc), and compressing a new item from its file or the archive's source stream
// (zip_proc). The components install them into the archives they open. Being the engine's own,
// they may hand a run's work to worker threads (parallel_extract, parallel_save); an archive
// knows that from the procedures themselves, not from what it was given.
#pragma once

#include <memory>

#include "archive/zip_archive.h"

namespace vz {

// The extraction, stream extraction and test procedures; a run of several items may decode them
// ahead on worker threads.
std::shared_ptr<const ExtractionProcedures> BuiltInExtraction();
// The insert procedures; the stream procedure raises ZipNoInsertionError when it is given no
// source stream. A save may compress several items at once on worker threads.
std::shared_ptr<const InsertionProcedures> BuiltInInsertion();

// Installs them into an archive.
void InstallExtractionProcs(ZipArchive& archive);
void InstallInsertionProcs(ZipArchive& archive);

}  // namespace vz
