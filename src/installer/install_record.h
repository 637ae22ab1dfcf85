// The record of one install, kept per FSX installation in the user's data folder
// ($XDG_DATA_HOME/veldrin-zip, else ~/.local/share/veldrin-zip): every file it wrote (with size
// and CRC-32), every file it replaced (with its backup), every folder it made, every scenery area
// and [fltsim.N] section it added. Uninstalling undoes exactly that; an install that did not end
// ("installing") is undone the same way the next time records are read.
//
// A record is a text file, one entry a line, fields separated by tabs; a tab, a line feed or a
// backslash inside a field is written "\t", "\n" or "\\".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "installer/fsx_lookup.h"

namespace vz::installer {

struct InstallRecord {
  std::string name;       // what `uninstall` takes
  std::string kind;       // the main part's kind
  std::string where;      // the main part's folder below the FSX folder
  std::string archive;    // the zip it came from
  bool complete = false;  // false while the install runs (and after one that did not end)

  struct File {
    std::string path;  // below the FSX folder, "/" between names
    int64_t size = 0;
    uint32_t crc32 = 0;
  };
  struct Replaced {
    std::string path;    // below the FSX folder
    std::string backup;  // the old file's copy, an absolute path
  };
  struct Area {
    std::string library;  // the scenery library file, an absolute path
    int number = 0;
    std::string local;
    std::string backup;  // the library's copy made before the area was added
  };
  struct Fltsim {
    std::string cfg;   // the aircraft.cfg, below the FSX folder
    std::string text;  // exactly what was appended
  };
  std::vector<std::string> folders;  // made by the install, below the FSX folder, outer first
  std::vector<File> files;
  std::vector<Replaced> replaced;
  std::vector<Area> areas;
  std::vector<Fltsim> fltsims;
};

// The folder of the data of every install into one FSX installation.
std::string RecordsFolder(const FsxInstallation& fsx);
// The record file of the install named name, and the folder of its backups.
std::string RecordPath(const std::string& records, const std::string& name);
std::string BackupFolder(const std::string& records, const std::string& name);

// Writes the record (a new file beside it, then renamed over it). Empty, or what went wrong.
std::string SaveRecord(const std::string& records, const InstallRecord& record);
// The record of name; nothing when there is none or it cannot be read.
std::optional<InstallRecord> LoadRecord(const std::string& records, const std::string& name);
// Every record's name, in name order.
std::vector<std::string> RecordNames(const std::string& records);

}  // namespace vz::installer
