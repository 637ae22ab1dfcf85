// Facts about the running process.
#pragma once

#include <string>

namespace vz::platform {

// Folder of the running program's executable (empty when it cannot be determined).
std::string ProgramFolder();
// Local date and time now, as "YYYY-MM-DD HH:MM:SS".
std::string LocalDateTimeText();

}  // namespace vz::platform

namespace vz::platform {
// Permission bits a newly created file gets by default (0666 less the process's umask).
unsigned DefaultFileMode();
}  // namespace vz::platform
