// The rules of FSX, what the plan calls each kind, and the plan's lines.
#include <algorithm>

#include "installer/layout.h"

namespace vz::installer {

std::string_view KindName(PartKind kind) {
  switch (kind) {
    case PartKind::kAircraft:
      return "aircraft";
    case PartKind::kRotorcraft:
      return "rotorcraft";
    case PartKind::kBoat:
      return "boat";
    case PartKind::kGroundVehicle:
      return "ground vehicle";
    case PartKind::kAnimal:
      return "animal";
    case PartKind::kSimObject:
      return "sim object";
    case PartKind::kScenery:
      return "scenery";
    case PartKind::kGauges:
      return "gauges";
    case PartKind::kEffects:
      return "effects";
    case PartKind::kSound:
      return "sound";
    case PartKind::kTexture:
      return "texture";
    case PartKind::kMission:
      return "mission";
    case PartKind::kModule:
      return "module";
    case PartKind::kLivery:
      return "livery";
    case PartKind::kFs9Aircraft:
      return "FS2004 aircraft";
    case PartKind::kDocuments:
      return "documents";
    case PartKind::kOther:
      return "files";
  }
  return "files";
}

bool AddonLayout::Recognised() const {
  return MainPart() != nullptr;
}

const AddonPart* AddonLayout::MainPart() const {
  // The parts come main part first; documents alone make no add-on.
  for (const AddonPart& part : parts) {
    if ((part.installable || part.awaits_choice) && part.kind != PartKind::kDocuments &&
        !part.files.empty()) {
      return &part;
    }
  }
  return nullptr;
}

const LayoutRules& FsxRules() {
  static const LayoutRules rules = [] {
    LayoutRules r;
    r.simulator = "FSX";
    r.top_folders = {"SimObjects", "Addon Scenery", "Gauges",  "Effects", "Sound",
                     "Texture",    "Missions",      "Modules", "Scenery"};
    r.simobject_folders = {"Airplanes", "Rotorcraft", "Boats", "GroundVehicles", "Animals", "Misc"};
    r.airplanes = "SimObjects/Airplanes";
    r.rotorcraft = "SimObjects/Rotorcraft";
    r.boats = "SimObjects/Boats";
    r.ground_vehicles = "SimObjects/GroundVehicles";
    r.animals = "SimObjects/Animals";
    r.scenery_root = "Addon Scenery";
    r.gauges = "Gauges";
    r.effects = "Effects";
    r.sound = "Sound";
    r.texture = "Texture";
    r.missions = "Missions";
    r.modules = "Modules";
    r.scenery_library_local_separator = "\\";
    r.ignored_folders = {"__macosx"};
    r.ignored_files = {".ds_store", "thumbs.db", "desktop.ini"};
    r.ignored_prefixes = {"._"};
    r.document_extensions = {".txt", ".pdf",  ".htm", ".html", ".doc", ".docx", ".rtf",
                             ".jpg", ".jpeg", ".png", ".gif",  ".url", ".md"};
    r.rotorcraft_words = {"helicopter", "rotorcraft", "bell",  "robinson", "eurocopter",
                          "sikorsky",   "agusta",     "kamov", "schweizer"};
    r.old_model_marks = {"mdl8", "mdl9"};
    r.old_version_words = {"fs9", "fs2004", "fs2k4"};
    r.own_version_words = {"fsx"};
    return r;
  }();
  return rules;
}

std::vector<std::string> PlanLines(const AddonLayout& layout, const LayoutRules& rules) {
  std::vector<std::string> lines;
  for (const AddonPart& part : layout.parts) {
    if (!part.installable) continue;
    for (const PlannedFile& file : part.files)
      lines.push_back(file.stored_name + " -> " + file.target);
  }
  for (const AddonPart& part : layout.parts) {
    if (!part.installable || !part.registers) continue;
    std::string local = part.destination;
    std::replace(local.begin(), local.end(), '/', rules.scenery_library_local_separator.front());
    lines.push_back("register scenery area \"" + part.name + "\": Local=" + local);
  }
  for (const AddonPart& part : layout.parts) {
    if (part.installable && part.note.empty()) continue;
    lines.push_back((part.installable ? "note: " : "not installed: ") +
                    std::string(KindName(part.kind)) + " \"" + part.name + "\" (" +
                    (part.root.empty() ? std::string(".") : part.root) + "/): " + part.note);
  }
  for (const std::string& name : layout.unplaced) lines.push_back("not placed: " + name);
  for (size_t i = 0; i < layout.inner_zips.size(); ++i) {
    const std::string contents =
        i < layout.inner_contents.size() && !layout.inner_contents[i].empty()
            ? " (" + layout.inner_contents[i] + ")"
            : std::string();
    lines.push_back("inner zip, an add-on of its own: " + layout.inner_zips[i] + contents);
  }
  for (const std::string& note : layout.notes) lines.push_back("note: " + note);
  return lines;
}

}  // namespace vz::installer
