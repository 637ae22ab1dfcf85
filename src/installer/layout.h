// What an add-on is made of, and where each part goes below the simulator's folder, decided from
// the archive's item list alone (and a few small files read from it: an aircraft's aircraft.cfg, a
// readme's [fltsim] block, the first bytes of a model), before anything is extracted.
//
// The analysis is one procedure over a rule set: the simulator's top folders, where each kind of
// part goes, what is ignored, what counts as documentation. Another simulator is another rule set.
//
// Names are taken as the simulator sees them: "\" separates folders like "/", and letter case does
// not tell names apart. Nothing is guessed silently: a file no rule places is listed as unplaced,
// and a part that needs the user's choice (a livery's aircraft, a sim object of no known category)
// or that must not be installed (an aircraft built for FS2004) says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vz::installer {

enum class PartKind : uint8_t {
  kAircraft,
  kRotorcraft,
  kBoat,
  kGroundVehicle,
  kAnimal,
  kSimObject,  // a sim.cfg object of a category the rules do not place: the user chooses
  kScenery,
  kGauges,
  kEffects,
  kSound,
  kTexture,
  kMission,
  kModule,
  kLivery,
  kFs9Aircraft,  // built for FS2004: never installed into FSX
  kDocuments,
  kOther,  // files inside a simulator folder the archive already names (merged as they are)
};

// "aircraft", "rotorcraft", "scenery", ... as the plan shows a kind.
std::string_view KindName(PartKind kind);

// One file of a part: the item's stored name as the archive has it, and where it goes, below the
// simulator's folder with "/" between names.
struct PlannedFile {
  std::string stored_name;
  std::string target;
};

struct AddonPart {
  PartKind kind = PartKind::kOther;
  std::string name;         // the part's own name (the aircraft's or area's folder, ...)
  std::string root;         // its folder in the archive, as stored ("" for the top)
  std::string destination;  // its folder below the simulator's folder
  std::vector<PlannedFile> files;
  bool registers = false;      // a scenery area: listed in the scenery library with destination
  bool installable = true;     // false: it waits for a choice, or it must not be installed
  bool awaits_choice = false;  // it waits for a choice (a livery's aircraft, a sim object's
                               // folder); its files' targets are then below the part's folder
  std::string note;            // what the user is told about it (empty for nothing)
  std::string fltsim;          // a livery: the [fltsim.x] block found for it (may be empty)
};

struct AddonLayout {
  std::string name;                     // the add-on's name: its wrapper folder, else the zip's
  std::vector<AddonPart> parts;         // the main part first
  std::vector<std::string> unplaced;    // stored names no rule places
  std::vector<std::string> ignored;     // system leftovers and a left-out FS2004 version
  std::vector<std::string> inner_zips;  // zips inside the zip, each an add-on of its own
  // What each inner zip holds, once looked into ("aircraft "NAME"", or why it is not an add-on);
  // empty when nobody looked.
  std::vector<std::string> inner_contents;
  std::vector<std::string> notes;  // what the analysis says about the whole

  // True when at least one part other than documents can be installed as it is, or once the user
  // made a choice.
  bool Recognised() const;
  // The main part (aircraft before scenery before the rest, then a part that waits for a choice;
  // never documents), or null.
  const AddonPart* MainPart() const;
};

// What the analysis sees of an archive: its stored names (folder entries may be among them and are
// not needed) and a way to read the first bytes of a small item (nothing when it cannot).
struct ArchiveView {
  std::vector<std::string> names;
  std::function<std::optional<std::string>(const std::string& stored_name, size_t max_bytes)> read;
};

// A simulator's layout rules: data, so that one analysis serves every simulator.
struct LayoutRules {
  std::string simulator;                       // "FSX"
  std::vector<std::string> top_folders;        // as the simulator spells them
  std::vector<std::string> simobject_folders;  // below SimObjects, as spelled
  std::string airplanes, rotorcraft, boats, ground_vehicles, animals;
  std::string scenery_root;  // where areas go ("Addon Scenery")
  std::string gauges, effects, sound, texture, missions, modules;
  std::string scenery_library_local_separator;  // "\" in the library file's Local= values
  std::vector<std::string> ignored_folders;     // anywhere in a name
  std::vector<std::string> ignored_files;       // file names
  std::vector<std::string> ignored_prefixes;    // file name prefixes ("._")
  std::vector<std::string> document_extensions;
  std::vector<std::string> rotorcraft_words;   // an aircraft.cfg category or atc_type holding one
  std::vector<std::string> old_model_marks;    // bytes 8-11 of a model built for an older simulator
  std::vector<std::string> old_version_words;  // a folder holding another simulator's version
  std::vector<std::string> own_version_words;  // a folder holding this simulator's version
};

// The rules of FSX (and its Steam Edition, which lays out its folder the same way).
const LayoutRules& FsxRules();

// The layout of the archive named zip_name (its file name; the add-on is named after it when no
// folder names it).
AddonLayout AnalyseLayout(const ArchiveView& archive, const std::string& zip_name,
                          const LayoutRules& rules = FsxRules());

// The plan's lines for a layout: "STORED -> TARGET" for every file to be written, then one line for
// each scenery area to register, each part waiting for a choice or refused, each unplaced file and
// each note (none of which holds " -> ").
std::vector<std::string> PlanLines(const AddonLayout& layout,
                                   const LayoutRules& rules = FsxRules());

}  // namespace vz::installer
