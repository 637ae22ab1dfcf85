// Facts about the running process.
#pragma once

#include <string>

namespace vz::platform {

// Folder of the running program's executable (empty when it cannot be determined).
std::string ProgramFolder();
// Local date and time now, as "YYYY-MM-DD HH:MM:SS".
std::string LocalDateTimeText();
// The value of the environment variable name; empty when it is not set.
std::string EnvironmentVariable(const char* name);

}  // namespace vz::platform

namespace vz::platform {
// Permission bits a newly created file gets by default (0666 less the process's umask, as it was
// when first asked).
unsigned DefaultFileMode();
}  // namespace vz::platform

namespace vz::platform {
// Asks the allocator to keep large freed blocks for reuse instead of returning them to the system
// at once. The codecs allocate a few hundred KiB of tables per item; without this every item of an
// archive of many small files pays for fresh pages (page faults dominate adding such trees).
void KeepFreedMemoryForReuse();
}  // namespace vz::platform

namespace vz::platform {
// Processor cores this process may run on (its CPU affinity), at least 1.
int UsableCores();
}  // namespace vz::platform
