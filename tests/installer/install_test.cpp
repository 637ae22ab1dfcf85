#include "installer/install.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "errors/errors.h"
#include "installer/scenery_cfg.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz::installer {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// A zip of stored items with these names and contents.
std::vector<uint8_t> Zip(const std::vector<std::pair<std::string, std::string>>& items) {
  testing::ZipBuilder zip;
  for (const auto& [name, data] : items) {
    testing::ZipEntry entry;
    entry.name = name;
    entry.data = Bytes(data);
    zip.entries.push_back(entry);
  }
  return zip.Build();
}

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

// A Wine prefix as Wine lays it out, with FSX in C:\FSX and its scenery library in ProgramData.
struct Prefix {
  explicit Prefix(const std::string& scenery_cfg) {
    fs::create_directories(root / "dosdevices");
    fs::create_directory_symlink("../drive_c", root / "dosdevices/c:");
    WriteFile(
        root / "system.reg",
        "WINE REGISTRY Version 2\n\n"
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1\n"
        "\"Common AppData\"=\"C:\\\\ProgramData\"\n");
    fs::create_directories(fsx() + "/SimObjects/airplanes/Veldrin Cub");
    WriteFile(fsx() + "/fsx.exe", "MZ");
    WriteFile(fsx() + "/SimObjects/airplanes/Veldrin Cub/aircraft.cfg",
              "[fltsim.0]\r\ntitle=Veldrin Cub\r\nsim=cub\r\ntexture=\r\n\r\n[fltsim.1]\r\n"
              "title=Veldrin Cub Red\r\nsim=cub\r\ntexture=red\r\n");
    fs::create_directories(fsx() + "/Gauges");
    WriteFile(fsx() + "/Gauges/veldrin.gau", "old gauge");
    fs::create_directories(root / "drive_c/ProgramData/Microsoft/FSX");
    WriteFile(root / "drive_c/ProgramData/Microsoft/FSX/Scenery.CFG", scenery_cfg);
    installation = InstallationAt(fsx());
  }
  std::string fsx() const { return root / "drive_c/FSX"; }
  std::string library() const { return root / "drive_c/ProgramData/Microsoft/FSX/Scenery.CFG"; }

  // Every file of the prefix and its bytes (the drive link not followed).
  std::map<std::string, std::vector<uint8_t>> Snapshot() const {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root.path())) {
      const std::string name = fs::relative(entry.path(), root.path()).string();
      if (entry.is_symlink()) {
        files[name] = Bytes("-> " + fs::read_symlink(entry.path()).string());
      } else if (entry.is_regular_file()) {
        files[name] = ReadFile(entry.path().string());
      } else {
        files[name + "/"] = {};
      }
    }
    return files;
  }

  ScratchDir root;
  FsxInstallation installation;
};

// The user's data folder, for the install records, inside the test's scratch folder.
struct DataHome {
  DataHome() { testing::portable::SetEnvironment("XDG_DATA_HOME", dir.path().string()); }
  ~DataHome() { testing::portable::UnsetEnvironment("XDG_DATA_HOME"); }
  ScratchDir dir;
};

std::string AddonZip(const std::string& folder, const std::string& name) {
  const std::string path = folder + "/" + name;
  WriteFile(path,
            Zip({
                {"Veldrin Pack/SimObjects/Airplanes/Veldrin 172/aircraft.cfg", "[fltsim.0]\n"},
                {"Veldrin Pack/SimObjects/Airplanes/Veldrin 172/model/v172.mdl", "RIFF1234MDLX"},
                {"Veldrin Pack/Addon Scenery/Veldrin Isle/scenery/isle.bgl", "bgl"},
                {"Veldrin Pack/Gauges/veldrin.gau", "new gauge"},
                {"Veldrin Pack/readme.txt", "Fly it."},
            }));
  return path;
}

// UTF-16 LE with its byte order mark, as FSX writes its scenery library on some systems.
std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (const char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

const std::string kLibrary =
    "[General]\r\nTitle=FS9 World Scenery\r\n\r\n[Area.001]\r\nTitle=Default Terrain\r\n"
    "Local=Scenery\\World\r\nLayer=1\r\nActive=TRUE\r\nRequired=TRUE\r\n";

// Install, then uninstall, leaves the prefix as it was to the byte, whatever the scenery
// library's encoding, also after an update and after an install cut short halfway.
TEST(InstallTest, UninstallGivesBackThePrefixAsItWas) {
  struct Case {
    const char* label;
    std::string library;
  };
  const Case cases[] = {
      {"UTF-16 LE", Utf16(kLibrary)},
      {"ANSI", kLibrary + "\r\n[Area.002]\r\nTitle=Caf\xE9\r\nLocal=Addon Scenery\\Cafe\r\n"
                          "Layer=2\r\nActive=TRUE\r\nRequired=FALSE\r\n"},
  };
  for (const Case& c : cases) {
    DataHome data;
    Prefix prefix(c.library);
    ScratchDir work;
    const auto before = prefix.Snapshot();
    const std::string zip = AddonZip(work.path(), "veldrin-pack.zip");
    InstallPlan plan = MakePlan(zip, prefix.installation);
    EXPECT_EQ(plan.layout.name, "Veldrin Pack") << c.label;
    EXPECT_EQ(plan.Count(TargetState::kDifferent), 1) << c.label;  // the old gauge

    InstallChoices choices;
    choices.replace_different = true;
    const InstallReport report = Install(plan, choices);
    EXPECT_EQ(report.written.size(), 5u) << c.label;
    EXPECT_TRUE(report.registration_problem.empty()) << report.registration_problem;
    // The aircraft went into the folder that was there, whatever its letter case.
    EXPECT_TRUE(fs::exists(prefix.fsx() + "/SimObjects/airplanes/Veldrin 172/model/v172.mdl"));
    EXPECT_FALSE(fs::exists(prefix.fsx() + "/SimObjects/Airplanes"));
    EXPECT_EQ(ReadFile(prefix.fsx() + "/Gauges/veldrin.gau"), Bytes("new gauge"));
    const auto library = SceneryLibrary::Parse(ReadText(prefix.library()));
    ASSERT_TRUE(library) << c.label;
    EXPECT_TRUE(library->Lists("Addon Scenery\\Veldrin Isle")) << c.label;
    EXPECT_EQ(library->Encoding(), SceneryLibrary::Parse(c.library)->Encoding());
    ASSERT_EQ(Installed(prefix.installation).size(), 1u);
    EXPECT_EQ(Installed(prefix.installation)[0].kind, "aircraft");

    // An update removes the old install first; its plan says so.
    plan = MakePlan(zip, prefix.installation);
    EXPECT_TRUE(plan.update);
    Install(plan, choices);
    const UninstallReport undone = Uninstall(prefix.installation, "Veldrin Pack");
    EXPECT_TRUE(undone.changed.empty() && undone.problem.empty()) << undone.problem;
    EXPECT_EQ(undone.restored, 1);
    EXPECT_EQ(prefix.Snapshot(), before) << c.label;
    EXPECT_TRUE(Installed(prefix.installation).empty());

    // Cut short after two files: nothing of it stays.
    plan = MakePlan(zip, prefix.installation);
    choices.progress = [](const std::string&, int done, int) { return done < 2; };
    EXPECT_THROW(Install(plan, choices), UserAbortError) << c.label;
    EXPECT_EQ(prefix.Snapshot(), before) << c.label;
    EXPECT_TRUE(Installed(prefix.installation).empty());
    // ... and no record or backup stays in the user's data folder.
    EXPECT_TRUE(fs::is_empty(RecordsFolder(prefix.installation))) << c.label;
  }
}

// A damaged scenery library does not stop the install: the area is not registered, the file is
// left alone and the user is told what to add. A livery goes into the aircraft chosen, with a
// section of its own that uninstall takes out again.
TEST(InstallTest, DamagedLibraryAndLivery) {
  DataHome data;
  const std::string damaged = "[Area.x1]\r\nTitle=?\r\n";
  Prefix prefix(damaged);
  ScratchDir work;
  WriteFile(
      work / "pack.zip",
      Zip({{"Isle/scenery/isle.bgl", "bgl"},
           {"texture.Veldrin Air/cub.dds", "dds"},
           {"readme.txt", "[fltsim.x]\ntitle=Cub Veldrin Air\nsim=cub\ntexture=Veldrin Air\n"}}));
  const auto before = prefix.Snapshot();
  const std::string cub = "SimObjects/airplanes/Veldrin Cub";
  const InstallPlan plan = MakePlan(work / "pack.zip", prefix.installation, cub);
  const InstallReport report = Install(plan, {});
  EXPECT_NE(report.registration_problem.find("Local=Addon Scenery\\Isle"), std::string::npos)
      << report.registration_problem;
  EXPECT_EQ(ReadText(prefix.library()), damaged);
  EXPECT_TRUE(fs::exists(prefix.fsx() + "/" + cub + "/texture.Veldrin Air/cub.dds"));
  const std::string cfg = ReadText(prefix.fsx() + "/" + cub + "/aircraft.cfg");
  EXPECT_NE(cfg.find("[fltsim.2]\r\nsim=cub\r\ntitle=Cub Veldrin Air\r\ntexture=Veldrin Air\r\n"),
            std::string::npos)
      << cfg;
  Uninstall(prefix.installation, "pack");
  EXPECT_EQ(prefix.Snapshot(), before);
  // The aircraft chosen for a livery is one below the FSX folder, and nothing else.
  for (const char* aircraft : {"../../../outside", "/tmp", "SimObjects/airplanes/None"}) {
    EXPECT_THROW(MakePlan(work / "pack.zip", prefix.installation, aircraft), ArchiveError)
        << aircraft;
  }
}

// A zip inside the zip is looked into and named with what it holds, and can be taken out whole
// to be installed on its own.
TEST(InstallTest, InnerZipsAreLookedInto) {
  ScratchDir work;
  const std::vector<uint8_t> inner = Zip({{"Veldrin Cub/aircraft.cfg", "[fltsim.0]\n"}});
  WriteFile(work / "outer.zip", Zip({{"extras/cub.zip", std::string(inner.begin(), inner.end())},
                                     {"junk.zip", "not a zip"},
                                     {"Isle/scenery/isle.bgl", "bgl"}}));
  const AddonLayout layout = AnalyseArchive(work / "outer.zip");
  EXPECT_EQ(layout.inner_zips, (std::vector<std::string>{"extras/cub.zip", "junk.zip"}));
  EXPECT_EQ(layout.inner_contents,
            (std::vector<std::string>{"aircraft \"Veldrin Cub\"", "not a zip that can be read"}));
  const std::string copy = ExtractInnerZip(work / "outer.zip", "extras/cub.zip", work.path());
  EXPECT_EQ(copy, work / "cub.zip");
  EXPECT_EQ(ReadFile(copy), inner);
  EXPECT_THROW(ExtractInnerZip(work / "outer.zip", "none.zip", work.path()), ArchiveError);
}

// An install that never ended (its record still says so) is undone the next time the records
// are read.
TEST(InstallTest, AnInstallThatDidNotEndIsUndone) {
  DataHome data;
  Prefix prefix(kLibrary);
  ScratchDir work;
  const auto before = prefix.Snapshot();
  const std::string zip = AddonZip(work.path(), "pack.zip");
  Install(MakePlan(zip, prefix.installation), {});
  auto record = LoadRecord(RecordsFolder(prefix.installation), "Veldrin Pack");
  ASSERT_TRUE(record);
  record->complete = false;
  SaveRecord(RecordsFolder(prefix.installation), *record);
  EXPECT_TRUE(Installed(prefix.installation).empty());
  EXPECT_EQ(prefix.Snapshot(), before);
}

}  // namespace
}  // namespace vz::installer
