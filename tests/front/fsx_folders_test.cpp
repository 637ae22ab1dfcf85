// FSX folder resolution over hand-made Wine prefixes and Steam libraries in a scratch home: the
// registry values and their order, the fsx.exe check, the destinations, the warning and the FSX
// mode's controls.
#include "front/fsx_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "test_support.h"

namespace vz::front {
namespace {

namespace fs = std::filesystem;

// The warning as the window shows it, for a location.
std::string Warning(const std::string& location) {
  return "Please note: This utility has performed a check and found that the FSX.exe\r"
         "file is not found at the following location as reported by the registry:\r\r" +
         location +
         "\r\rWe recommend you correct this situation using our freeware Marrowline\r"
         "which can be downloaded from our main website (https://veldrin.example) otherwise\r"
         "some features (e.g. 'Extract to Specific FSX Folder') may not function correctly.";
}

// A hive section with one string value, from texts as Windows shows them.
std::string Value(std::string_view key, std::string_view name, std::string_view text) {
  auto escaped = [](std::string_view s) {
    std::string out;
    for (const char c : s) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
  };
  return "[" + escaped(key) + "]\n\"" + std::string(name) + "\"=\"" + escaped(text) + "\"\n";
}
std::string AppPath(std::string_view folder) {
  return Value(R"(Software\Microsoft\Microsoft Games\Flight Simulator\10.0)", "AppPath", folder);
}
std::string SetupPath(std::string_view folder) {
  return Value(R"(Software\Microsoft\Microsoft Games\Flight Simulator\10.0)", "SetupPath", folder);
}
std::string SteamPath(std::string_view folder) {
  return Value(R"(Software\Microsoft\Microsoft Games\Flight Simulator - Steam Edition\10.0)",
               "AppPath", folder);
}
std::string Personal(std::string_view folder) {
  return Value(R"(Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders)", "Personal",
               folder);
}

// A scratch home laid out from a table: names ending in "/" are folders, hives (.reg) get Wine's
// header and a drive C: beside them. "~" stands for the home folder, in names and in contents.
class Home {
 public:
  explicit Home(const std::map<std::string, std::string>& files) {
    for (const auto& [name, text] : files) {
      const fs::path path = dir_.path() / (*this)(name);
      fs::create_directories(name.ends_with('/') ? path : path.parent_path());
      if (name.ends_with('/')) continue;
      const bool hive = name.ends_with(".reg");
      vz::testing::WriteFile(path.string(),
                             (hive ? "WINE REGISTRY Version 2\n\n" : "") + (*this)(text));
      std::error_code exists;
      if (hive) fs::create_directory(path.parent_path() / "dosdevices", exists);
      if (hive)
        fs::create_directory_symlink("../drive_c", path.parent_path() / "dosdevices/c:", exists);
    }
  }
  std::string operator()(std::string text) const {
    for (size_t at = text.find('~'); at != std::string::npos; at = text.find('~', at + 1)) {
      text.replace(at, 1, dir_.path().string());
    }
    return text;
  }
  FsxSearch Search(const std::string& wine_prefix = "") const {
    return {wine_prefix.empty() ? "" : (*this)(wine_prefix), dir_.path().string()};
  }

 private:
  vz::testing::ScratchDir dir_;
};

TEST(FsxFoldersTest, FindsTheInstallation) {
  const std::string libraries = R"(// written by Steam
"libraryfolders"
{
	"0" { "path" "~/.steam/steam"  "apps" { "228980" "1" } }
	"1" [$LINUX]
	{
		"path"		"~/games/SteamLibrary"
		"apps" { "314160"		"9876543" }
	}
})";
  const std::string old_libraries =
      "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1634200000\"\n\t\"1\"\t\"~/games/"
      "SteamLibrary/\"\n}\n";
  const std::string pfx = "games/SteamLibrary/steamapps/compatdata/314160/pfx/";
  const std::string proton = SteamPath(R"(C:\Program Files (x86)\Steam\steamapps\common\FSX\)") +
                             Personal(R"(C:\users\steamuser\Documents)");
  const std::string proton_fsx =
      "~/" + pfx + "drive_c/Program Files (x86)/Steam/steamapps/common/FSX";
  const std::string vdf = ".steam/steam/steamapps/libraryfolders.vdf";
  const std::string documents = Personal(R"(C:\users\pilot\Documents)");

  const struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* wine_prefix;  // "": unset
    std::string folder;       // GetFSXPath
    bool holds_fsx_exe;
    std::string documents;  // where GetFSXFilesFolder is
  } cases[] = {
      {"AppPath with a trailing separator",
       {{".wine/user.reg", AppPath(R"(C:\FSX\)") + documents}, {".wine/drive_c/FSX/fsx.exe", ""}},
       "",
       "~/.wine/drive_c/FSX",
       true,
       "~/.wine/drive_c/users/pilot/Documents"},
      {"FSX.EXE in capitals, $WINEPREFIX",
       {{"fsx/user.reg", AppPath(R"(c:\Games\FSX)")}, {"fsx/drive_c/Games/FSX/FSX.EXE", ""}},
       "~/fsx",
       "~/fsx/drive_c/Games/FSX",
       true,
       ""},
      {"a folder named fsx.exe",
       {{".wine/user.reg", AppPath(R"(C:\FSX)")}, {".wine/drive_c/FSX/fsx.exe/", ""}},
       "",
       "~/.wine/drive_c/FSX",
       true,
       ""},
      {"AppPath without fsx.exe gives way to SetupPath, which is not checked",
       {{".wine/user.reg", AppPath(R"(C:\Old\)") + documents},
        {".wine/system.reg", SetupPath(R"(C:\Games\FSX\)")},
        {".wine/drive_c/Old/", ""}},
       "",
       "~/.wine/drive_c/Games/FSX",
       false,
       "~/.wine/drive_c/users/pilot/Documents"},
      {"a drive without a link: used as read",
       {{".wine/system.reg", SetupPath(R"(Q:\FSX\)")}},
       "",
       R"(Q:\FSX)",
       false,
       ""},
      {"nothing registered",
       {{".wine/user.reg", documents}},
       "",
       "[FSX.exe not found]",
       false,
       "~/.wine/drive_c/users/pilot/Documents"},
      {"Steam Edition before a stale SetupPath",
       {{".wine/user.reg", SteamPath(R"(C:\FSX SE\)")},
        {".wine/system.reg", SetupPath(R"(C:\FSX)")},
        {".wine/drive_c/FSX SE/fsx.exe", ""}},
       "",
       "~/.wine/drive_c/FSX SE",
       true,
       ""},
      {"Proton's prefix, from the library list",
       {{".wine/system.reg", SetupPath(R"(C:\FSX)")},
        {vdf, libraries},
        {pfx + "user.reg", proton},
        {proton_fsx + "/fsx.exe", ""}},
       "",
       proton_fsx,
       true,
       "~/" + pfx + "drive_c/users/steamuser/Documents"},
      {"Proton's prefix, older library list",
       {{vdf, old_libraries}, {pfx + "user.reg", proton}, {proton_fsx + "/fsx.exe", ""}},
       "",
       proton_fsx,
       true,
       "~/" + pfx + "drive_c/users/steamuser/Documents"},
      {"Proton's prefix in Steam's own folder, damaged list",
       {{vdf, "\"libraryfolders\" { \"path\" \"/x"},
        {".steam/steam/steamapps/compatdata/314160/pfx/system.reg", SetupPath(R"(C:\FSX)")},
        {".steam/steam/steamapps/compatdata/314160/pfx/drive_c/FSX/fsx.exe", ""}},
       "",
       "~/.steam/steam/steamapps/compatdata/314160/pfx/drive_c/FSX",
       true,
       ""},
      {"no Proton when $WINEPREFIX is set",
       {{"empty/", ""},
        {vdf, libraries},
        {pfx + "user.reg", proton},
        {proton_fsx + "/fsx.exe", ""}},
       "~/empty",
       "[FSX.exe not found]",
       false,
       ""},
      {"~/.wine before Proton",
       {{".wine/user.reg", AppPath(R"(C:\FSX)")},
        {".wine/drive_c/FSX/fsx.exe", ""},
        {vdf, libraries},
        {pfx + "user.reg", proton},
        {proton_fsx + "/fsx.exe", ""}},
       "",
       "~/.wine/drive_c/FSX",
       true,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Home home(c.files);
    const FsxSearch search = home.Search(c.wine_prefix);
    const std::string folder = home(c.folder);
    EXPECT_EQ(GetFSXPath(search), folder);
    EXPECT_EQ(HoldsFsxExe(folder), c.holds_fsx_exe);
    EXPECT_EQ(FsxMissingWarning(search),
              c.holds_fsx_exe ? std::nullopt : std::optional<std::string>(Warning(folder)));
    EXPECT_EQ(GetFSXFilesFolder(search), home(c.documents) + "/Flight Simulator X Files");
  }
}

TEST(FsxFoldersTest, DestinationsFollowTheList) {
  const char* items[][2] = {
      {"Main FSX Folder", ""},
      {"SimObjects Folder", "/SimObjects"},
      {"SimObjects Airplanes Folder", "/SimObjects/Airplanes"},
      {"SimObjects Rotorcraft Folder", "/SimObjects/Rotorcraft"},
      {"Main Scenery Folder", "/Scenery"},
      {"Addon Scenery Folder", "/Addon Scenery"},
      {"Modules Folder", "/Modules"},
      {"Sound Folder", "/Sound"},
      {"Texture Folder", "/Texture"},
      {"Missions Folder", "/Missions"},
      {"Gauges Folder", "/Gauges"},
      {"Effects Folder", "/Effects"},
      {"FSX Files Folder", nullptr},  // below the documents folder
  };
  ASSERT_EQ(kFsxFolderItems.size(), std::size(items));
  const Home found({{".wine/user.reg", AppPath(R"(C:\FSX\)") + Personal(R"(C:\Docs)")},
                    {".wine/drive_c/FSX/FSX.exe", ""}});
  const Home missing({{".wine/user.reg", Personal(R"(C:\Docs)")}});
  for (const Home* home : {&found, &missing}) {
    const std::string fsx = home == &found ? (*home)("~/.wine/drive_c/FSX") : "[FSX.exe not found]";
    for (size_t i = 0; i < std::size(items); ++i) {
      EXPECT_EQ(kFsxFolderItems[i], items[i][0]);
      EXPECT_EQ(FsxFolderOf(home->Search(), static_cast<int>(i)),
                items[i][1] ? fsx + items[i][1]
                            : (*home)("~/.wine/drive_c/Docs/Flight Simulator X Files"));
    }
    EXPECT_EQ(FsxFolderOf(home->Search(), -1), std::nullopt);
    EXPECT_EQ(FsxFolderOf(home->Search(), 13), std::nullopt);
  }
}

// The check box, the list, the folder button and the destination, as the window's logic drives
// them: the new tick, ApplyFsxTick, then the check.
TEST(FsxFoldersTest, ModeFollowsTheTickAndTheCheck) {
  const FsxControls off{false, false, -1, true, ""};
  const FsxControls on{true, true, 3, false, "/fsx/SimObjects/Rotorcraft"};
  const struct {
    const char* name;
    FsxControls before;
    bool tick;
    bool fsx_found;
    FsxControls after;
  } cases[] = {
      {"on, FSX found", off, true, true, {true, true, -1, false, ""}},
      {"on, FSX missing: back off", off, true, false, off},
      {"off keeps the destination", on, false, true, {false, false, -1, true, on.folder_path}},
      {"off, FSX missing: destination emptied", on, false, false, off},
  };
  EXPECT_EQ(FsxControls(), off) << "at start";
  const Home found({{".wine/user.reg", AppPath(R"(C:\FSX)")}, {".wine/drive_c/FSX/fsx.exe", ""}});
  const Home missing({});
  for (const auto& c : cases) {
    FsxControls controls = c.before;
    controls.use_fsx_folder = c.tick;
    ApplyFsxTick(controls);
    if (FsxMissingWarning((c.fsx_found ? found : missing).Search())) ApplyFsxModeOff(controls);
    EXPECT_EQ(controls, c.after) << c.name;
  }
}

}  // namespace
}  // namespace vz::front
