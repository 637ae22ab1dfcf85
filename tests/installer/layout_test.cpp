#include "installer/layout.h"

#include <gtest/gtest.h>

#include <map>

namespace vz::installer {
namespace {

// An archive as the analysis sees it: names, and the contents of the few files it reads.
ArchiveView View(const std::vector<std::pair<std::string, std::string>>& items) {
  auto contents = std::make_shared<std::map<std::string, std::string>>();
  ArchiveView view;
  for (const auto& [name, text] : items) {
    view.names.push_back(name);
    (*contents)[name] = text;
  }
  view.read = [contents](const std::string& name, size_t max) -> std::optional<std::string> {
    const auto found = contents->find(name);
    if (found == contents->end()) return std::nullopt;
    return found->second.substr(0, max);
  };
  return view;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

const std::string kModelX = std::string("RIFF\0\0\0\0MDLX", 12);
const std::string kModel9 = std::string("RIFF\0\0\0\0MDL9", 12);

// Each layout an add-on comes in, and the plan it gets: every file's target below the FSX
// folder, the areas registered, what waits for a choice, what is left unplaced.
TEST(LayoutTest, EachLayoutGetsItsPlan) {
  struct Case {
    const char* label;
    const char* zip;
    std::vector<std::pair<std::string, std::string>> items;
    const char* plan;
  };
  const Case cases[] = {
      {"an FSX tree in a wrapper folder, with macOS leftovers",
       "Veldrin_172.zip",
       {{"Veldrin_172/SimObjects/Airplanes/Veldrin 172/aircraft.cfg", "[fltsim.0]\ntitle=V172\n"},
        {"Veldrin_172/SimObjects/Airplanes/Veldrin 172/model/v172.mdl", kModelX},
        {"__MACOSX/Veldrin_172/._readme.txt", ""},
        {"Veldrin_172/.DS_Store", ""},
        {"Veldrin_172/readme.txt", "Fly it."}},
       "Veldrin_172/SimObjects/Airplanes/Veldrin 172/aircraft.cfg -> "
       "SimObjects/Airplanes/Veldrin 172/aircraft.cfg\n"
       "Veldrin_172/SimObjects/Airplanes/Veldrin 172/model/v172.mdl -> "
       "SimObjects/Airplanes/Veldrin 172/model/v172.mdl\n"
       "Veldrin_172/readme.txt -> SimObjects/Airplanes/Veldrin 172/readme.txt\n"},
      {"an aircraft folder, \\ separators and upper case, no folder entries",
       "cub.zip",
       {{"CUB\\AIRCRAFT.CFG", "[General]\ncategory=airplane\n"},
        {"CUB\\MODEL\\CUB.MDL", kModelX},
        {"CUB\\Panel\\panel.cfg", ""}},
       "CUB\\AIRCRAFT.CFG -> SimObjects/Airplanes/CUB/AIRCRAFT.CFG\n"
       "CUB\\MODEL\\CUB.MDL -> SimObjects/Airplanes/CUB/MODEL/CUB.MDL\n"
       "CUB\\Panel\\panel.cfg -> SimObjects/Airplanes/CUB/Panel/panel.cfg\n"},
      {"a helicopter at the archive's top, named after its title",
       "heli_v2.zip",
       {{"aircraft.cfg", "[fltsim.0]\ntitle=Veldrin Jet Ranger\n[General]\natc_type=BELL\n"},
        {"model/heli.mdl", kModelX}},
       "aircraft.cfg -> SimObjects/Rotorcraft/Veldrin Jet Ranger/aircraft.cfg\n"
       "model/heli.mdl -> SimObjects/Rotorcraft/Veldrin Jet Ranger/model/heli.mdl\n"},
      {"an FS2004 aircraft is never installed",
       "old.zip",
       {{"Old/aircraft.cfg", ""}, {"Old/model/old.mdl", kModel9}},
       "not installed: FS2004 aircraft \"Old\" (Old/): built for FS2004 (its model old.mdl is "
       "MDL9): not installed into FSX\n"},
      {"FS9 and FSX versions side by side",
       "both.zip",
       {{"Jet FS9/aircraft.cfg", ""},
        {"Jet FS9/model/jet.mdl", kModel9},
        {"Jet FSX/aircraft.cfg", ""},
        {"Jet FSX/model/jet.mdl", kModelX}},
       "Jet FSX/aircraft.cfg -> SimObjects/Airplanes/Jet FSX/aircraft.cfg\n"
       "Jet FSX/model/jet.mdl -> SimObjects/Airplanes/Jet FSX/model/jet.mdl\n"
       "note: The zip holds an FSX version and another (Jet FS9/): the FSX version (Jet FSX/) is "
       "installed.\n"},
      {"a scenery area, registered, its readme beside it in the FSX root's docs folder",
       "lake.zip",
       {{"Lake Veldrin/scenery/lake.bgl", ""},
        {"Lake Veldrin/texture/lake.dds", ""},
        {"Read Me.txt", "Enjoy"}},
       "Lake Veldrin/scenery/lake.bgl -> Addon Scenery/Lake Veldrin/scenery/lake.bgl\n"
       "Lake Veldrin/texture/lake.dds -> Addon Scenery/Lake Veldrin/texture/lake.dds\n"
       "Read Me.txt -> lake docs/Read Me.txt\n"
       "register scenery area \"Lake Veldrin\": Local=Addon Scenery\\Lake Veldrin\n"},
      {"loose .bgl files and their texture folder are wrapped in an area named after the zip",
       "EGVZ_airfield.zip",
       {{"egvz.bgl", ""}, {"texture/grass.dds", ""}, {"egvz_cvx.BGL", ""}},
       "egvz.bgl -> Addon Scenery/EGVZ_airfield/scenery/egvz.bgl\n"
       "texture/grass.dds -> Addon Scenery/EGVZ_airfield/texture/grass.dds\n"
       "egvz_cvx.BGL -> Addon Scenery/EGVZ_airfield/scenery/egvz_cvx.BGL\n"
       "register scenery area \"EGVZ_airfield\": Local=Addon Scenery\\EGVZ_airfield\n"},
      {"gauges, effects, a mission and a module with its dll.xml snippet",
       "pack.zip",
       {{"veldrin.gau", ""},
        {"fx_smoke.fx", ""},
        {"Effects Textures/smoke.bmp", ""},
        {"Mission1/Mission1.xml", ""},
        {"Mission1/Mission1.FLT", ""},
        {"vz_module.dll", ""},
        {"install.txt", "Add <Launch.Addon><Path>Modules\\vz_module.dll</Path></Launch.Addon>"}},
       "Mission1/Mission1.xml -> Missions/Mission1/Mission1.xml\n"
       "Mission1/Mission1.FLT -> Missions/Mission1/Mission1.FLT\n"
       "veldrin.gau -> Gauges/veldrin.gau\n"
       "fx_smoke.fx -> Effects/fx_smoke.fx\n"
       "vz_module.dll -> Modules/vz_module.dll\n"
       "install.txt -> pack docs/install.txt\n"
       "not placed: Effects Textures/smoke.bmp\n"
       "note: Add to dll.xml by hand:\n"
       "<Launch.Addon><Path>Modules\\vz_module.dll</Path></Launch.Addon>\n"},
      {"a livery waits for the aircraft it is for; a nested zip is offered by name",
       "livery.zip",
       {{"texture.Veldrin Air/livery.dds", ""},
        {"readme.txt", "Add this:\n[fltsim.x]\ntitle=C172 Veldrin Air\ntexture=Veldrin Air\n\nBye"},
        {"extras/other_addon.zip", ""}},
       "readme.txt -> livery docs/readme.txt\n"
       "not installed: livery \"Veldrin Air\" (texture.Veldrin Air/): a livery: choose the "
       "installed aircraft it is for\n"
       "inner zip, an add-on of its own: extras/other_addon.zip\n"},
      {"a boat, and a sim object of no known category",
       "objects.zip",
       {{"Ferry/sim.cfg", "[General]\ncategory=Boat\n"},
        {"Ferry/model/ferry.mdl", kModelX},
        {"Thing/sim.cfg", "[General]\ncategory=Viewer\n"}},
       "Ferry/sim.cfg -> SimObjects/Boats/Ferry/sim.cfg\n"
       "Ferry/model/ferry.mdl -> SimObjects/Boats/Ferry/model/ferry.mdl\n"
       "not installed: sim object \"Thing\" (Thing/): a sim object of category \"viewer\": "
       "choose whether it is a boat or a ground vehicle\n"},
      {"an Addon Scenery tree merges at the root, its area registered",
       "tree.zip",
       {{"addon scenery/Veldrin Isle/Scenery/isle.bgl", ""}, {"ADDON SCENERY/Veldrin Isle/x.txt", ""}},
       "addon scenery/Veldrin Isle/Scenery/isle.bgl -> Addon Scenery/Veldrin Isle/Scenery/isle.bgl\n"
       "ADDON SCENERY/Veldrin Isle/x.txt -> Addon Scenery/Veldrin Isle/x.txt\n"
       "register scenery area \"Veldrin Isle\": Local=Addon Scenery\\Veldrin Isle\n"},
  };
  for (const Case& c : cases) {
    const AddonLayout layout = AnalyseLayout(View(c.items), c.zip);
    EXPECT_EQ(Lines(PlanLines(layout)), c.plan) << c.label;
  }
}

// Whatever the names, nothing is placed outside the simulator's folder, and every file is either
// planned, left unplaced, ignored or named as an inner zip.
TEST(LayoutTest, EveryNameIsAccountedForAndStaysBelow) {
  const ArchiveView view = View({{"../evil.bgl", ""},
                                 {"a/../../b.gau", ""},
                                 {"/abs/aircraft.cfg", ""},
                                 {"ok/scenery/x.bgl", ""},
                                 {"dir/", ""},
                                 {"", ""},
                                 {"Thumbs.db", ""}});
  const AddonLayout layout = AnalyseLayout(view, "x.zip");
  size_t accounted = layout.unplaced.size() + layout.ignored.size() + layout.inner_zips.size();
  for (const AddonPart& part : layout.parts) {
    accounted += part.files.size();
    for (const PlannedFile& file : part.files) {
      EXPECT_EQ(file.target.find(".."), std::string::npos) << file.target;
      EXPECT_NE(file.target.front(), '/') << file.target;
    }
  }
  EXPECT_EQ(accounted, 5u);  // the folder entry and the empty name hold no file
}

}  // namespace
}  // namespace vz::installer
