// The window's add-on install, through its handlers with a scripted view and shell, over a Wine
// prefix made here: the detected entry of the FSX list, the plan, the install and its report, the
// installed add-ons and their uninstall.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "front/zip_utility.h"
#include "test_support.h"
#include "window_script.h"
#include "zip_builder.h"

namespace vz::front {
namespace {

namespace fs = std::filesystem;
using testing::WriteFile;

std::vector<uint8_t> Zip(const std::vector<std::pair<std::string, std::string>>& items) {
  testing::ZipBuilder zip;
  for (const auto& [name, data] : items) {
    testing::ZipEntry entry;
    entry.name = name;
    entry.data.assign(data.begin(), data.end());
    zip.entries.push_back(entry);
  }
  return zip.Build();
}

// A prefix with FSX in C:\FSX and its scenery library, and the data folder for install records.
struct FsxPrefix {
  testing::ScratchDir dir;
  FsxPrefix() {
    const std::string prefix = dir / "wine";
    fs::create_directories(prefix + "/dosdevices");
    fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    WriteFile(prefix + "/user.reg",
              "WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\Microsoft Games\\\\Flight "
              "Simulator\\\\10.0]\n\"AppPath\"=\"C:\\\\FSX\\\\\"\n");
    WriteFile(prefix + "/system.reg",
              "WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
              "Explorer\\\\Shell Folders]\n\"Common AppData\"=\"C:\\\\ProgramData\"\n");
    fs::create_directories(fsx());
    WriteFile(fsx() + "/fsx.exe", "MZ");
    fs::create_directories(prefix + "/drive_c/ProgramData/Microsoft/FSX");
    WriteFile(prefix + "/drive_c/ProgramData/Microsoft/FSX/Scenery.CFG",
              "[General]\r\nTitle=FS9 World Scenery\r\n\r\n[Area.001]\r\nTitle=Default\r\n"
              "Local=Scenery\\World\r\nLayer=1\r\nActive=TRUE\r\nRequired=TRUE\r\n");
    WriteFile(dir / "cub.zip", Zip({{"Veldrin Cub/aircraft.cfg", "[fltsim.0]\n"},
                                    {"Veldrin Cub/model/cub.mdl", "RIFF1234MDLX"},
                                    {"Isle/scenery/isle.bgl", "bgl"}}));
    WriteFile(dir / "photos.zip", Zip({{"a.jpg", "jpg"}, {"b.txt", "txt"}}));
    WriteFile(dir / "livery.zip", Zip({{"texture.Veldrin Air/cub.dds", "dds"}}));
    testing::portable::SetEnvironment("XDG_DATA_HOME", dir / "data");
  }
  ~FsxPrefix() { testing::portable::UnsetEnvironment("XDG_DATA_HOME"); }
  std::string fsx() const { return dir / "wine/drive_c/FSX"; }
  FsxSearch Search() const { return {dir / "wine", dir / "home"}; }
};

TEST(WindowInstallTest, DetectPlanInstallListUninstall) {
  FsxPrefix setup;
  script::ScriptedView view;
  script::ScriptedShell shell;
  ZipUtilityWindow window(view, shell, {setup.Search(), setup.dir / "program"});
  shell.window = &window;
  window.FormCreate();

  // A zip of photos is no add-on: the list keeps its thirteen folders.
  window.WMDropFiles({setup.dir / "photos.zip"});
  EXPECT_FALSE(window.AddonDetected());
  EXPECT_TRUE(view.fsx_list.empty());

  // An aircraft with its scenery: the detected entry comes first, chosen.
  window.WMDropFiles({setup.dir / "cub.zip"});
  ASSERT_TRUE(window.AddonDetected());
  ASSERT_EQ(view.fsx_list.size(), 14u);
  EXPECT_EQ(view.fsx_list[0], "Add-on's own folders (detected: aircraft \"Veldrin Cub\")");
  EXPECT_EQ(view.fsx_list[1], "Main FSX Folder");
  EXPECT_EQ(view.fsx_index, 0);
  EXPECT_TRUE(view.Checked(Control::cbUseFSXFolder));
  EXPECT_EQ(view.Text(Control::edFolderPath), setup.fsx());
  // The other entries keep their meaning, one place down.
  view.fsx_index = 11;
  window.cbxFSXFolderChange();
  EXPECT_EQ(view.Text(Control::edFolderPath), setup.fsx() + "/Gauges");
  view.fsx_index = 0;
  window.cbxFSXFolderChange();

  // UnZip shows the plan; cancelled, nothing is written.
  window.btnUnZipClick();
  ASSERT_EQ(shell.plans.size(), 1u);
  EXPECT_EQ(shell.plans[0].title, "Install \"cub\" into FSX");
  EXPECT_EQ(shell.plans[0].parts,
            (std::vector<std::string>{"aircraft \"Veldrin Cub\": SimObjects/Airplanes/Veldrin Cub",
                                      "scenery \"Isle\": Addon Scenery/Isle"}));
  EXPECT_FALSE(fs::exists(setup.fsx() + "/SimObjects"));

  // Installed: the report says where each part went and that the scenery is registered.
  shell.plan_answers.push_back({true, false});
  window.btnUnZipClick();
  EXPECT_TRUE(fs::exists(setup.fsx() + "/SimObjects/Airplanes/Veldrin Cub/model/cub.mdl"));
  ASSERT_FALSE(shell.boxes.empty());
  EXPECT_EQ(shell.boxes.back().text,
            "Add-on installed: \"cub\"\r\n\r\n"
            "aircraft \"Veldrin Cub\": SimObjects/Airplanes/Veldrin Cub\r\n"
            "scenery \"Isle\": Addon Scenery/Isle\r\n\r\n"
            "Scenery registered in FSX's scenery library: Isle (Area.002)");
  EXPECT_EQ(shell.boxes.back().kind, MessageKind::kInformation);
  EXPECT_FALSE(window.Working());

  // A livery: the plan offers the installed aircraft, and it goes into the one chosen.
  window.WMDropFiles({setup.dir / "livery.zip"});
  EXPECT_EQ(view.fsx_list.at(0), "Add-on's own folders (detected: livery \"Veldrin Air\")");
  shell.plan_answers.push_back({true, false, 0, -1});
  window.btnUnZipClick();
  EXPECT_EQ(shell.plans.back().aircraft,
            (std::vector<std::string>{"SimObjects/Airplanes/Veldrin Cub"}));
  EXPECT_TRUE(
      fs::exists(setup.fsx() + "/SimObjects/Airplanes/Veldrin Cub/texture.Veldrin Air/cub.dds"));
  shell.uninstall_choices.push_back(1);  // the livery, listed after the aircraft
  window.mnuInstalledAddonsClick();
  EXPECT_EQ(shell.installed_lists.back().at(1),
            "livery - livery - SimObjects/Airplanes/Veldrin Cub/texture.Veldrin Air");

  // Listed, and uninstalled from the list.
  shell.uninstall_choices.push_back(0);
  window.mnuInstalledAddonsClick();
  ASSERT_EQ(shell.installed_lists.size(), 2u);
  EXPECT_EQ(shell.installed_lists[1],
            (std::vector<std::string>{"cub - aircraft - SimObjects/Airplanes/Veldrin Cub"}));
  EXPECT_EQ(shell.boxes.back().text,
            "Add-on uninstalled: \"cub\"\r\n\r\n3 file(s) removed, 0 put back as they were, "
            "scenery unregistered.");
  EXPECT_FALSE(fs::exists(setup.fsx() + "/SimObjects"));
  window.mnuInstalledAddonsClick();
  EXPECT_TRUE(shell.installed_lists.back().empty());

  // Back to a zip that is no add-on: the entry goes, and the destination it chose with it.
  window.WMDropFiles({setup.dir / "photos.zip"});
  EXPECT_FALSE(window.AddonDetected());
  EXPECT_EQ(view.fsx_list.size(), 13u);
  EXPECT_EQ(view.fsx_index, -1);
  EXPECT_EQ(view.Text(Control::edFolderPath), "");
}

}  // namespace
}  // namespace vz::front
