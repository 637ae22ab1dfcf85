// The analysis walks the archive's names as a tree of folders whose names are compared without
// regard to letter case. It first strips what only wraps the add-on (a folder alone beside a readme
// or a picture, or the FS2004 half of a zip that holds both versions), then decides, folder by
// folder from the top, what each one is: a simulator folder the archive already names (merged as
// it is), an aircraft, a sim object, a scenery area, a livery, gauges, effects, a mission, modules.
// A folder that is none of these is looked into, a few levels deep; files nothing claims stay
// unplaced.
#include "installer/layout.h"

#include "archive/utils.h"
#include "installer/ini_text.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

namespace vz::installer {

namespace {

constexpr size_t kMaxConfigSize = 256 * 1024;
constexpr size_t kMaxReadmeSize = 64 * 1024;
constexpr int kMaxDepth = 4;
constexpr size_t kMaxModelsLooked = 16;

std::string Extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : LowerAscii(name.substr(dot));
}

std::string Stem(std::string_view name) {
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

std::vector<std::string> Split(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool Contains(const std::vector<std::string>& list, std::string_view lower_value) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& x) { return LowerAscii(x) == lower_value; });
}

// A name the simulator's file system takes: characters Windows refuses become "_".
std::string SafeFolderName(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const bool bad = static_cast<unsigned char>(c) < 0x20 ||
                     std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
    out += bad ? '_' : c;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(0, 1);
  return out.empty() ? std::string("Add-on") : out;
}

// The value of key in section of an INI text (sections and keys compared ignoring case); the
// first one found.
class Analysis {
 public:
  Analysis(const ArchiveView& view, const std::string& zip_name, const LayoutRules& rules)
      : view_(view), rules_(rules) {
    layout_.name = SafeFolderName(Stem(zip_name));
  }

  AddonLayout Run() {
    Collect();
    std::string root;
    bool named = false;
    for (int round = 0; round < kMaxDepth; ++round) {
      if (LeaveOutOtherVersion(root)) continue;
      const Folder& folder = folders_[root];
      if (folder.subfolders.size() != 1) break;
      const std::string only = *folder.subfolders.begin();
      const bool only_documents = std::all_of(folder.files.begin(), folder.files.end(), [&](int i) {
        return IsDocument(entries_[static_cast<size_t>(i)].parts.back());
      });
      if (!only_documents || IsUnit(only) || IsTopFolder(only)) break;
      // A wrapper: its files are the add-on's documents, its name the add-on's.
      for (int i : folder.files) documents_.push_back(i);
      if (!named) layout_.name = SafeFolderName(folders_[only].name);
      named = true;
      root = only;
    }
    root_ = root;
    Classify(root, 0);
    PlaceDocuments();
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (!placed_[i]) layout_.unplaced.push_back(entries_[i].stored);
    }
    // Each part's files in the archive's order.
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (part_of_[i] < 0) continue;
      parts_[static_cast<size_t>(part_of_[i])].files.push_back(
          {entries_[i].stored, std::move(target_of_[i])});
    }
    layout_.parts.assign(std::make_move_iterator(parts_.begin()),
                         std::make_move_iterator(parts_.end()));
    // The main part first: aircraft before scenery before the rest; documents and loose files of
    // simulator folders last.
    const auto rank = [](const AddonPart& part) {
      if (part.awaits_choice) return 3;
      if (!part.installable) return 5;
      switch (part.kind) {
        case PartKind::kAircraft:
        case PartKind::kRotorcraft:
          return 0;
        case PartKind::kScenery:
          return 1;
        case PartKind::kDocuments:
        case PartKind::kOther:
          return 4;
        default:
          return 2;
      }
    };
    std::stable_sort(layout_.parts.begin(), layout_.parts.end(),
                     [&](const AddonPart& a, const AddonPart& b) { return rank(a) < rank(b); });
    return std::move(layout_);
  }

 private:
  struct Entry {
    std::string stored;
    std::vector<std::string> parts;  // the path's names, "\" read as "/"
  };
  struct Folder {
    std::string name;  // as first spelled
    int depth = 0;
    std::set<std::string> subfolders;  // keys
    std::vector<int> files;            // entries directly in it
  };

  bool Ignored(const std::vector<std::string>& parts) const {
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      if (Contains(rules_.ignored_folders, LowerAscii(parts[i]))) return true;
    }
    const std::string file = LowerAscii(parts.back());
    if (Contains(rules_.ignored_files, file)) return true;
    return std::any_of(rules_.ignored_prefixes.begin(), rules_.ignored_prefixes.end(),
                       [&](const std::string& p) { return file.starts_with(p); });
  }

  void Collect() {
    folders_[""];
    for (const std::string& stored : view_.names) {
      std::string path = stored;
      std::replace(path.begin(), path.end(), '\\', '/');
      std::vector<std::string> parts = Split(path);
      std::erase(parts, ".");
      if (parts.empty() || path.back() == '/') continue;  // a folder entry: folders are implied
      if (std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return p == ".."; })) {
        layout_.unplaced.push_back(stored);  // never placed anywhere
        continue;
      }
      if (Ignored(parts)) {
        layout_.ignored.push_back(stored);
        continue;
      }
      if (Extension(parts.back()) == ".zip") {
        layout_.inner_zips.push_back(stored);
        continue;
      }
      const int index = static_cast<int>(entries_.size());
      entries_.push_back({stored, parts});
      placed_.push_back(false);
      part_of_.push_back(-1);
      target_of_.emplace_back();
      // Items come folder by folder: the folders the previous item's path went through are
      // taken again as far as this path names them the same.
      const size_t folders = parts.size() - 1;
      size_t same = 0;
      while (same < folders && same < chain_.size() && chain_[same].name == parts[same]) ++same;
      chain_.resize(same);
      for (size_t depth = same + 1; depth <= folders; ++depth) {
        const std::string& parent = depth == 1 ? root_key_ : chain_[depth - 2].key;
        std::string key = depth == 1 ? std::string() : parent + '/';
        key += LowerAscii(parts[depth - 1]);
        Folder& folder = folders_[key];
        if (folder.name.empty()) {
          folder.name = parts[depth - 1];
          folder.depth = static_cast<int>(depth);
        }
        folders_[parent].subfolders.insert(key);
        chain_.push_back({parts[depth - 1], std::move(key), &folder});
      }
      (folders == 0 ? folders_[root_key_] : *chain_.back().folder).files.push_back(index);
    }
  }

  // ---- questions about folders ----

  std::string NameOf(const std::string& key) { return folders_[key].name; }
  std::string LowerName(const std::string& key) { return LowerAscii(folders_[key].name); }

  std::optional<int> FileNamed(const std::string& key, std::string_view lower_name) {
    for (int i : folders_[key].files) {
      if (LowerAscii(entries_[static_cast<size_t>(i)].parts.back()) == lower_name) return i;
    }
    return std::nullopt;
  }
  bool HasExtension(const std::string& key, std::string_view ext) {
    return std::any_of(folders_[key].files.begin(), folders_[key].files.end(), [&](int i) {
      return Extension(entries_[static_cast<size_t>(i)].parts.back()) == ext;
    });
  }
  std::optional<std::string> Subfolder(const std::string& key, std::string_view lower_name) {
    for (const std::string& sub : folders_[key].subfolders) {
      if (LowerName(sub) == lower_name) return sub;
    }
    return std::nullopt;
  }
  bool IsTopFolder(const std::string& key) { return Contains(rules_.top_folders, LowerName(key)); }
  // A scenery area: a folder whose "scenery" folder holds .bgl files.
  bool IsArea(const std::string& key) {
    const auto scenery = Subfolder(key, "scenery");
    return scenery && HasExtension(*scenery, ".bgl");
  }
  bool IsLivery(const std::string& key) {
    return LowerName(key).starts_with("texture.") && !FileNamed(key, "aircraft.cfg");
  }
  bool IsUnit(const std::string& key) {
    return FileNamed(key, "aircraft.cfg") || FileNamed(key, "sim.cfg") || IsArea(key) ||
           IsLivery(key);
  }
  bool IsDocument(const std::string& file) {
    return Contains(rules_.document_extensions, Extension(file));
  }

  std::optional<std::string> Read(int index, size_t max) {
    if (!view_.read) return std::nullopt;
    return view_.read(entries_[static_cast<size_t>(index)].stored, max);
  }

  // Every file below key, nested ones included.
  void FilesBelow(const std::string& key, std::vector<int>& out) {
    for (int i : folders_[key].files) out.push_back(i);
    for (const std::string& sub : folders_[key].subfolders) FilesBelow(sub, out);
  }

  // The path of entry i below the folder at depth (its names from there on).
  std::string RelativePath(int i, int depth) {
    const auto& parts = entries_[static_cast<size_t>(i)].parts;
    std::string out;
    for (size_t k = static_cast<size_t>(depth); k < parts.size(); ++k) {
      if (!out.empty()) out += '/';
      out += parts[k];
    }
    return out;
  }

  AddonPart& NewPart(PartKind kind, std::string name, const std::string& key,
                     std::string destination) {
    AddonPart part;
    part.kind = kind;
    part.name = std::move(name);
    part.root = RootOf(key);
    part.destination = std::move(destination);
    parts_.push_back(std::move(part));
    part_index_.emplace(&parts_.back(), static_cast<int>(parts_.size()) - 1);
    return parts_.back();
  }
  // The folder's path as the archive stores it (the first file's spelling).
  std::string RootOf(const std::string& key) {
    if (key.empty()) return {};
    std::vector<int> files;
    FilesBelow(key, files);
    if (files.empty()) return folders_[key].name;
    const auto& parts = entries_[static_cast<size_t>(files.front())].parts;
    std::string out;
    for (int k = 0; k < folders_[key].depth; ++k) {
      if (!out.empty()) out += '/';
      out += parts[static_cast<size_t>(k)];
    }
    return out;
  }

  void Place(AddonPart& part, int i, std::string target) {
    const auto at = static_cast<size_t>(i);
    if (placed_[at]) return;
    placed_[at] = true;
    part_of_[at] = part_index_.at(&part);
    target_of_[at] = std::move(target);
  }
  // Every file below key goes below destination, keeping the folders below key.
  void PlaceBelow(AddonPart& part, const std::string& key, const std::string& destination) {
    std::vector<int> files;
    FilesBelow(key, files);
    const int depth = key.empty() ? 0 : folders_[key].depth;
    for (int i : files) Place(part, i, destination + "/" + RelativePath(i, depth));
  }

  // ---- FS2004 and FSX versions side by side ----

  bool HoldsWord(const std::string& key, const std::vector<std::string>& words) {
    const std::string name = LowerName(key);
    return std::any_of(words.begin(), words.end(), [&](const std::string& w) {
      return name.find(LowerAscii(w)) != std::string::npos;
    });
  }

  bool LeaveOutOtherVersion(std::string& root) {
    const Folder& folder = folders_[root];
    if (folder.subfolders.size() < 2) return false;
    std::vector<std::string> own;
    std::vector<std::string> old;
    for (const std::string& sub : folder.subfolders) {
      if (HoldsWord(sub, rules_.own_version_words)) {
        own.push_back(sub);
      } else if (HoldsWord(sub, rules_.old_version_words)) {
        old.push_back(sub);
      }
    }
    if (own.size() != 1 || old.empty()) return false;
    for (const std::string& left : old) {
      std::vector<int> files;
      FilesBelow(left, files);
      for (int i : files) {
        placed_[static_cast<size_t>(i)] = true;
        layout_.ignored.push_back(entries_[static_cast<size_t>(i)].stored);
      }
      layout_.notes.push_back("The zip holds an " + rules_.simulator + " version and another (" +
                              RootOf(left) + "/): the " + rules_.simulator + " version (" +
                              RootOf(own.front()) + "/) is installed.");
    }
    for (int i : folder.files) {
      if (IsDocument(entries_[static_cast<size_t>(i)].parts.back())) documents_.push_back(i);
    }
    root = own.front();
    return true;
  }

  // ---- what each folder is ----

  void Classify(const std::string& key, int depth) {
    // The archive's top is named after the add-on (an aircraft after its title first); a folder
    // reached below it, after itself.
    const bool top = key.empty();
    if (FileNamed(key, "aircraft.cfg")) {
      Aircraft(key, top ? std::string() : NameOf(key));
      return;
    }
    if (FileNamed(key, "sim.cfg")) {
      SimObject(key, top ? layout_.name : NameOf(key));
      return;
    }
    if (IsArea(key)) {
      Area(key, top ? layout_.name : NameOf(key));
      return;
    }
    const bool loose_scenery = HasExtension(key, ".bgl");
    for (const std::string& sub : folders_[key].subfolders) {
      const std::string lower = LowerName(sub);
      if (loose_scenery && lower == "texture") continue;  // goes with the loose area below
      if (IsTopFolder(sub)) {
        MergeTop(sub);
      } else if (FileNamed(sub, "aircraft.cfg")) {
        Aircraft(sub, NameOf(sub));
      } else if (FileNamed(sub, "sim.cfg")) {
        SimObject(sub, NameOf(sub));
      } else if (IsArea(sub)) {
        Area(sub, NameOf(sub));
      } else if (IsLivery(sub)) {
        Livery(sub);
      } else if (HasExtension(sub, ".bgl")) {
        WrappedArea(sub);
      } else if (HasExtension(sub, ".flt")) {
        AddonPart& part = NewPart(PartKind::kMission, NameOf(sub), sub,
                                  rules_.missions + "/" + SafeFolderName(NameOf(sub)));
        PlaceBelow(part, sub, part.destination);
      } else if (HasExtension(sub, ".gau") || HasExtension(sub, ".cab")) {
        AddonPart& part = NewPart(PartKind::kGauges, NameOf(sub), sub, rules_.gauges);
        PlaceBelow(part, sub, rules_.gauges);
      } else if (HasExtension(sub, ".fx")) {
        AddonPart& part = NewPart(PartKind::kEffects, NameOf(sub), sub, rules_.effects);
        PlaceBelow(part, sub, rules_.effects);
      } else if (HasExtension(sub, ".dll")) {
        AddonPart& part = NewPart(PartKind::kModule, NameOf(sub), sub, rules_.modules);
        PlaceBelow(part, sub, rules_.modules);
      } else if (IsXmlGauges(sub)) {
        AddonPart& part =
            NewPart(PartKind::kGauges, NameOf(sub), sub, rules_.gauges + "/" + NameOf(sub));
        PlaceBelow(part, sub, part.destination);
      } else if (depth < kMaxDepth) {
        Classify(sub, depth + 1);
      }
    }
    LooseFiles(key, loose_scenery);
  }

  // A folder of XML gauges: XML files (and their pictures), no flight.
  bool IsXmlGauges(const std::string& key) {
    return HasExtension(key, ".xml") && !HasExtension(key, ".flt") &&
           folders_[key].subfolders.empty();
  }

  void LooseFiles(const std::string& key, bool loose_scenery) {
    const Folder& folder = folders_[key];
    std::set<std::string> mission_stems;
    for (int i : folder.files) {
      const std::string& name = entries_[static_cast<size_t>(i)].parts.back();
      if (Extension(name) == ".flt") mission_stems.insert(LowerAscii(Stem(name)));
    }
    AddonPart* scenery = nullptr;
    for (int i : folder.files) {
      if (placed_[static_cast<size_t>(i)]) continue;
      const std::string& name = entries_[static_cast<size_t>(i)].parts.back();
      const std::string ext = Extension(name);
      const std::string stem = LowerAscii(Stem(name));
      if (ext == ".bgl") {
        if (scenery == nullptr) scenery = &WrappedAreaPart(key);
        Place(*scenery, i, scenery->destination + "/scenery/" + name);
      } else if (mission_stems.count(stem) > 0) {
        AddonPart& part = PartFor(PartKind::kMission, Stem(name),
                                  rules_.missions + "/" + SafeFolderName(Stem(name)), key);
        Place(part, i, part.destination + "/" + name);
      } else if (ext == ".gau" || ext == ".cab") {
        Place(PartFor(PartKind::kGauges, name, rules_.gauges, key), i, rules_.gauges + "/" + name);
      } else if (ext == ".fx") {
        Place(PartFor(PartKind::kEffects, name, rules_.effects, key), i,
              rules_.effects + "/" + name);
      } else if (ext == ".dll") {
        AddonPart& part = PartFor(PartKind::kModule, name, rules_.modules, key);
        Place(part, i, rules_.modules + "/" + name);
      } else if (IsDocument(name) && key == root_) {
        documents_.push_back(i);
      }
    }
    if (loose_scenery) {
      if (const auto texture = Subfolder(key, "texture")) {
        if (scenery == nullptr) scenery = &WrappedAreaPart(key);
        PlaceBelow(*scenery, *texture, scenery->destination + "/texture");
      }
    }
  }

  // The part of kind with that destination, made on first use.
  AddonPart& PartFor(PartKind kind, const std::string& name, const std::string& destination,
                     const std::string& key) {
    for (AddonPart& part : parts_) {
      if (part.kind == kind && part.destination == destination) return part;
    }
    return NewPart(kind, name, key, destination);
  }

  void MergeTop(const std::string& key) {
    const std::string top = Canonical(rules_.top_folders, NameOf(key));
    const std::string lower = LowerAscii(top);
    if (lower == "simobjects") {
      for (const std::string& category : folders_[key].subfolders) {
        const std::string spelled = Canonical(rules_.simobject_folders, NameOf(category));
        const PartKind kind = SimObjectKind(LowerAscii(spelled));
        for (const std::string& object : folders_[category].subfolders) {
          const std::string destination = top + "/" + spelled + "/" + NameOf(object);
          if (kind == PartKind::kAircraft || kind == PartKind::kRotorcraft) {
            AircraftAt(object, NameOf(object), destination, kind);
          } else {
            AddonPart& part = NewPart(kind, NameOf(object), object, destination);
            PlaceBelow(part, object, destination);
          }
        }
        Rest(category, top + "/" + spelled);
      }
      Rest(key, top);
      return;
    }
    if (lower == LowerAscii(rules_.scenery_root)) {
      for (const std::string& area : folders_[key].subfolders) {
        AddonPart& part = NewPart(PartKind::kScenery, NameOf(area), area, top + "/" + NameOf(area));
        part.registers = IsArea(area);
        PlaceBelow(part, area, part.destination);
      }
      Rest(key, top);
      return;
    }
    PartKind kind = PartKind::kOther;
    if (lower == LowerAscii(rules_.gauges)) kind = PartKind::kGauges;
    if (lower == LowerAscii(rules_.effects)) kind = PartKind::kEffects;
    if (lower == LowerAscii(rules_.sound)) kind = PartKind::kSound;
    if (lower == LowerAscii(rules_.texture)) kind = PartKind::kTexture;
    if (lower == LowerAscii(rules_.missions)) kind = PartKind::kMission;
    if (lower == LowerAscii(rules_.modules)) kind = PartKind::kModule;
    AddonPart& part = NewPart(kind, top, key, top);
    PlaceBelow(part, key, top);
  }

  // Files of key not taken by a part made below it: merged as they are.
  void Rest(const std::string& key, const std::string& destination) {
    std::vector<int> files;
    FilesBelow(key, files);
    std::vector<int> left;
    for (int i : files) {
      if (!placed_[static_cast<size_t>(i)]) left.push_back(i);
    }
    if (left.empty()) return;
    AddonPart& part = NewPart(PartKind::kOther, destination, key, destination);
    for (int i : left) Place(part, i, destination + "/" + RelativePath(i, folders_[key].depth));
  }

  static std::string Canonical(const std::vector<std::string>& spellings, const std::string& name) {
    for (const std::string& s : spellings) {
      if (LowerAscii(s) == LowerAscii(name)) return s;
    }
    return name;
  }

  PartKind SimObjectKind(const std::string& lower_folder) const {
    if (lower_folder == LowerAscii(Last(rules_.airplanes))) return PartKind::kAircraft;
    if (lower_folder == LowerAscii(Last(rules_.rotorcraft))) return PartKind::kRotorcraft;
    if (lower_folder == LowerAscii(Last(rules_.boats))) return PartKind::kBoat;
    if (lower_folder == LowerAscii(Last(rules_.ground_vehicles))) return PartKind::kGroundVehicle;
    if (lower_folder == LowerAscii(Last(rules_.animals))) return PartKind::kAnimal;
    return PartKind::kOther;
  }
  static std::string Last(const std::string& path) {
    const size_t slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }

  // ---- the kinds ----

  // An aircraft folder; name empty for one at the archive's top (named after its title= or the
  // add-on).
  void Aircraft(const std::string& key, std::string name) {
    const auto cfg = FileNamed(key, "aircraft.cfg");
    const std::optional<std::string> text = cfg ? Read(*cfg, kMaxConfigSize) : std::nullopt;
    if (name.empty()) {
      const auto title = text ? IniValue(*text, "fltsim.", "title") : std::nullopt;
      name = title && !title->empty() ? *title : layout_.name;
    }
    name = SafeFolderName(name);
    PartKind kind = PartKind::kAircraft;
    if (text) {
      const std::string category = LowerAscii(IniValue(*text, "general", "category").value_or(""));
      const std::string atc = LowerAscii(IniValue(*text, "general", "atc_type").value_or(""));
      for (const std::string& word : rules_.rotorcraft_words) {
        if (category.find(LowerAscii(word)) != std::string::npos ||
            atc.find(LowerAscii(word)) != std::string::npos) {
          kind = PartKind::kRotorcraft;
        }
      }
    }
    const std::string& base = kind == PartKind::kRotorcraft ? rules_.rotorcraft : rules_.airplanes;
    AircraftAt(key, name, base + "/" + name, kind);
  }

  void AircraftAt(const std::string& key, const std::string& name, const std::string& destination,
                  PartKind kind) {
    AddonPart& part = NewPart(kind, name, key, destination);
    PlaceBelow(part, key, destination);
    // A model built for an older simulator says so at byte 8.
    size_t looked = 0;
    std::vector<int> files;
    FilesBelow(key, files);
    for (int i : files) {
      if (Extension(entries_[static_cast<size_t>(i)].parts.back()) != ".mdl") continue;
      if (++looked > kMaxModelsLooked) break;
      const auto head = Read(i, 12);
      if (!head || head->size() < 12) continue;
      if (Contains(rules_.old_model_marks, LowerAscii(head->substr(8, 4)))) {
        part.kind = PartKind::kFs9Aircraft;
        part.installable = false;
        part.note = "built for FS2004 (its model " + entries_[static_cast<size_t>(i)].parts.back() +
                    " is " + head->substr(8, 4) + "): not installed into " + rules_.simulator;
        break;
      }
    }
  }

  void SimObject(const std::string& key, const std::string& name) {
    const auto cfg = FileNamed(key, "sim.cfg");
    const auto text = cfg ? Read(*cfg, kMaxConfigSize) : std::nullopt;
    const std::string category =
        LowerAscii(text ? IniValue(*text, "general", "category").value_or("") : std::string());
    PartKind kind = PartKind::kSimObject;
    std::string base;
    if (category == "boat") {
      kind = PartKind::kBoat;
      base = rules_.boats;
    } else if (category == "groundvehicle") {
      kind = PartKind::kGroundVehicle;
      base = rules_.ground_vehicles;
    } else if (category == "animal") {
      kind = PartKind::kAnimal;
      base = rules_.animals;
    }
    const std::string folder = SafeFolderName(name);
    AddonPart& part =
        NewPart(kind, folder, key, base.empty() ? std::string() : base + "/" + folder);
    if (base.empty()) {
      part.installable = false;
      part.awaits_choice = true;
      part.note = "a sim object of category \"" + category +
                  "\": choose whether it is a boat or a ground vehicle";
      std::vector<int> files;
      FilesBelow(key, files);
      for (int i : files) Place(part, i, RelativePath(i, folders_[key].depth));
      return;
    }
    PlaceBelow(part, key, part.destination);
  }

  void Area(const std::string& key, const std::string& name) {
    const std::string folder = SafeFolderName(name);
    AddonPart& part = NewPart(PartKind::kScenery, folder, key, rules_.scenery_root + "/" + folder);
    part.registers = true;
    PlaceBelow(part, key, part.destination);
  }

  AddonPart& WrappedAreaPart(const std::string& key) {
    const std::string destination = rules_.scenery_root + "/" + layout_.name;
    for (AddonPart& part : parts_) {
      if (part.kind == PartKind::kScenery && part.destination == destination) return part;
    }
    AddonPart& part = NewPart(PartKind::kScenery, layout_.name, key, destination);
    part.registers = true;
    return part;
  }

  // A folder of .bgl files without its scenery level.
  void WrappedArea(const std::string& key) {
    AddonPart& part = WrappedAreaPart(key);
    for (int i : folders_[key].files) {
      Place(part, i,
            part.destination + "/scenery/" + entries_[static_cast<size_t>(i)].parts.back());
    }
    for (const std::string& sub : folders_[key].subfolders) {
      const bool texture = LowerName(sub) == "texture";
      PlaceBelow(part, sub, part.destination + (texture ? "/texture" : "/scenery/" + NameOf(sub)));
    }
  }

  void Livery(const std::string& key) {
    const std::string name = NameOf(key).substr(std::string("texture.").size());
    AddonPart& part = NewPart(PartKind::kLivery, name, key, std::string());
    part.installable = false;
    part.awaits_choice = true;
    part.note = "a livery: choose the installed aircraft it is for";
    std::vector<int> files;
    FilesBelow(key, files);
    for (int i : files) Place(part, i, RelativePath(i, folders_[key].depth));
    livery_ = static_cast<int>(parts_.size()) - 1;
  }

  // ---- documents and notes ----

  void PlaceDocuments() {
    // A livery takes its [fltsim] block from a readme; a module's snippet is told.
    for (int i : documents_) {
      const std::string ext = Extension(entries_[static_cast<size_t>(i)].parts.back());
      if (ext != ".txt" && ext != ".cfg" && ext != ".ini") continue;
      const auto text = Read(i, kMaxReadmeSize);
      if (!text) continue;
      if (livery_ >= 0 && parts_[static_cast<size_t>(livery_)].fltsim.empty()) {
        parts_[static_cast<size_t>(livery_)].fltsim = FltsimBlock(*text);
      }
      const size_t open = text->find("<Launch.Addon>");
      const size_t close = text->find("</Launch.Addon>");
      if (open != std::string::npos && close != std::string::npos && close > open) {
        layout_.notes.push_back("Add to dll.xml by hand:\n" +
                                text->substr(open, close + 15 - open));
      }
    }
    const AddonPart* aircraft = nullptr;
    for (const AddonPart& part : parts_) {
      if ((part.kind == PartKind::kAircraft || part.kind == PartKind::kRotorcraft) &&
          part.installable) {
        aircraft = &part;
        break;
      }
    }
    std::string destination = aircraft != nullptr ? aircraft->destination : layout_.name + " docs";
    std::vector<int> documents;
    for (int i : documents_) {
      if (!placed_[static_cast<size_t>(i)]) documents.push_back(i);
    }
    if (documents.empty()) return;
    AddonPart& part = NewPart(PartKind::kDocuments, layout_.name + " docs", root_, destination);
    for (int i : documents) {
      Place(part, i, destination + "/" + entries_[static_cast<size_t>(i)].parts.back());
    }
  }

  const ArchiveView& view_;
  const LayoutRules& rules_;
  AddonLayout layout_;
  std::vector<Entry> entries_;
  std::vector<bool> placed_;
  std::unordered_map<std::string, Folder> folders_;
  // The parts as they are made: a deque, so that a part in hand stays put while others are made.
  std::deque<AddonPart> parts_;
  std::vector<int> part_of_;            // by entry: the part it went to, or -1
  std::vector<std::string> target_of_;  // by entry: where it goes
  std::vector<int> documents_;
  std::unordered_map<const AddonPart*, int> part_index_;
  // The folders of the last item's path, outer first, while the names are collected.
  struct Link {
    std::string name;
    std::string key;
    Folder* folder;
  };
  std::vector<Link> chain_;
  const std::string root_key_;
  std::string root_;
  int livery_ = -1;
};

}  // namespace

AddonLayout AnalyseLayout(const ArchiveView& archive, const std::string& zip_name,
                          const LayoutRules& rules) {
  return Analysis(archive, zip_name, rules).Run();
}

}  // namespace vz::installer
