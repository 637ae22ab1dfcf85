// Extraction by mask with the items decoded ahead on worker threads.
//
// Workers take the run's items in order and decode each file into a work file in the destination
// folder, or a small one (below ExtractAheadMinimum) into memory, reading the archive with
// positioned reads and recording the events the decoding fires. The calling thread handles the
// items in order as a serial run does: it asks the questions (processing, overwriting), resolves
// the target and claims the item's extent, fires the recorded events, and renames the work file
// into the target's folder (or writes the small item's data into a work file there and renames
// that). Whatever a worker cannot finish
// alone (a password to ask for, an extent that overlaps another, any failure) and an abort
// answered to a replayed event are left to the calling thread, which extracts the item the serial
// way, answering the events already fired as they were answered: the files and the events are
// those of a run on one thread. At most twice as many items as workers are decoded and not yet
// placed, or up to 64 small ones while their data in memory stays below 8 MiB.
#pragma once

#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/zip_archive.h"

namespace vz {

// The decoding ahead of the run's items (indices, in run order), or null when the run is to be
// done on the calling thread alone: one thread, a spanned set, an archive not over its own file,
// pending changes, or only small items that are too few (below 16) or too small (below 1 KiB on
// average) to pay for the workers. The engine's own extraction procedures start it; a caller's
// never do.
std::unique_ptr<ExtractAhead> StartParallelExtraction(ZipArchive& archive,
                                                      const std::vector<int>& indices);

}  // namespace vz
