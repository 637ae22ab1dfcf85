// Installing an add-on into FSX, and uninstalling it.
//
// A plan comes first and writes nothing: the archive's layout (installer/layout.h), each target
// below the FSX folder spelled as the folders that exist already are (Wine, like Windows, ignores
// letter case, so an install never makes a second "airplanes" beside "Airplanes"), and each target
// that exists: identical (skipped), different (replaced only when the user agrees, its old copy
// kept), or written by an earlier install of the same name (which is removed first: an update).
//
// The install then writes exactly the plan, records it (installer/install_record.h), registers
// its scenery areas in the scenery library file, and appends a livery's [fltsim.N] section to its
// aircraft's aircraft.cfg. A failure, or the user's abort, undoes what was written. Nothing outside
// the FSX folder, the scenery library file (and its backup beside it) and the records is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "installer/fsx_lookup.h"
#include "installer/install_record.h"
#include "installer/layout.h"

namespace vz::installer {

enum class TargetState : uint8_t { kNew, kIdentical, kDifferent };

struct TargetFile {
  std::string stored_name;
  int item_index = -1;
  std::string target;  // below the FSX folder, "/" between names, as it will be written
  TargetState state = TargetState::kNew;
  int64_t size = 0;    // the item's
  uint32_t crc32 = 0;  // the item's
};

struct InstallPlan {
  std::string archive;
  FsxInstallation fsx;
  std::string records;  // where the installs into this FSX are recorded
  AddonLayout layout;
  std::vector<TargetFile> files;  // every file of every installable part
  bool update = false;            // an install of this name exists: it is removed first
  std::string scenery_library;    // the file areas are registered in; empty: none found
  std::string livery_aircraft;    // a livery's aircraft, below the FSX folder (chosen)
  std::string simobject_folder;   // where a sim object of no known category goes (chosen)

  // What the plan says, a line each: "STORED -> TARGET" for every file (with " (identical,
  // skipped)" or " (exists, different)" after an existing target), then the registrations, the
  // parts not installed, unplaced files and notes, and "update: ..." for an update.
  std::vector<std::string> Lines() const;
  int Count(TargetState state) const;
};

// The layout of the add-on in archive, from its directory and the few small items the analysis
// asks for; the zips inside it are looked into too, one level deep (inner_contents). Raises the
// archive's failures (not found, not a zip).
AddonLayout AnalyseArchive(const std::string& archive);

// Writes the zip stored in archive as inner (one of a layout's inner_zips) into folder, under
// its own file name, and returns that file's path; raises when it cannot.
std::string ExtractInnerZip(const std::string& archive, const std::string& inner,
                            const std::string& folder);

// Reads the archive's directory (and the few small items the analysis asks for), analyses it for
// FSX and compares each target with what the FSX folder holds. Raises the archive's failures (not
// found, not a zip). The choices a part may wait for: livery_aircraft, for a livery, the installed
// aircraft's folder below the FSX folder (SimObjects/Airplanes/NAME); simobject_folder, for a sim
// object of no known category, one of SimObjectFolders(). Empty: not chosen (the part waits).
InstallPlan MakePlan(const std::string& archive, const FsxInstallation& fsx,
                     const std::string& livery_aircraft = "",
                     const std::string& simobject_folder = "");

// The aircraft installed in FSX, as folders below the FSX folder (SimObjects/Airplanes/NAME and
// SimObjects/Rotorcraft/NAME holding an aircraft.cfg), in name order.
std::vector<std::string> InstalledAircraft(const FsxInstallation& fsx);
// The folders a sim object of no known category may go to (SimObjects/Boats, ...).
std::vector<std::string> SimObjectFolders();

struct InstallChoices {
  bool replace_different = false;  // replace targets that exist and differ (after a backup)
  // Called before each file is written; returning false aborts the install (undone).
  std::function<bool(const std::string& target, int done, int total)> progress;
  // The file being written, from 0 to 100; returning false aborts the install (undone).
  std::function<bool(uint8_t percent)> item_progress;
};

struct InstallReport {
  std::vector<std::string> written;
  std::vector<std::string> identical;   // there already, the same: skipped
  std::vector<std::string> kept;        // there already, different, kept as the user chose
  std::vector<std::string> registered;  // the areas, "Title (Area.NNN)"
  std::string registration_problem;     // why areas could not be registered, and what to add
};

// Installs as planned. A failing item or an abort undoes everything written and raises (an
// ArchiveError naming the file and the reason, or UserAbortError).
InstallReport Install(const InstallPlan& plan, const InstallChoices& choices);

struct UninstallReport {
  int removed = 0;                   // files removed
  int restored = 0;                  // files put back from their backup
  std::vector<std::string> changed;  // written by the install but changed since: kept
  int areas = 0;                     // scenery areas removed
  std::string problem;               // what could not be undone, if anything
};

// Undoes the install named name: its files as it wrote them are removed (changed ones kept and
// listed), the files it replaced are restored, its areas and [fltsim.N] sections removed, and the
// folders it made removed when empty. Raises ArchiveError when there is no such install.
UninstallReport Uninstall(const FsxInstallation& fsx, const std::string& name);

// The installs recorded for an installation, in name order. An install that did not end (a crash,
// a signal) is undone first.
std::vector<InstallRecord> Installed(const FsxInstallation& fsx);

}  // namespace vz::installer
