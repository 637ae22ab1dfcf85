// Writing a zip archive. Not built yet: saving reports that insertion is unavailable.
#include "archive/zip_archive.h"

namespace vz {

void ZipArchive::DoSaveArchive() { throw ZipNoInsertionError(); }

}  // namespace vz
