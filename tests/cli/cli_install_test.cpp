// vzip install, installed and uninstall against a Wine prefix made here, a zip made by Info-ZIP
// zip (so the names are another tool's).
#include <gtest/gtest.h>

#include <filesystem>

#include "cli_test_support.h"

namespace vz::testing {
namespace {

namespace fs = std::filesystem;

// Each command as a user runs it: what it prints, its status, and what the FSX folder holds
// after it. The plan's lines are "STORED -> PATH" and nothing else has " -> ".
TEST(CliInstallTest, InstallInstalledUninstall) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  ScratchDir dir;
  const std::string fsx = dir / "pfx/drive_c/FSX";
  fs::create_directories(fsx + "/SimObjects/Airplanes");
  WriteFile(fsx + "/fsx.exe", "MZ");
  WriteFile(dir / "pfx/system.reg", "WINE REGISTRY Version 2\n");
  fs::create_directories(dir / "src/Veldrin_172/SimObjects/Airplanes/Veldrin 172");
  WriteFile(dir / "src/Veldrin_172/SimObjects/Airplanes/Veldrin 172/aircraft.cfg", "[fltsim.0]");
  WriteFile(dir / "src/Veldrin_172/readme.txt", "Fly it.");
  ASSERT_EQ(Shell("cd " + Quote(dir / "src") + " && zip -qr ../Veldrin_172.zip Veldrin_172").status,
            0);
  const std::string env = "XDG_DATA_HOME=" + Quote(dir / "data") + " ";
  const std::string where = " --fsx " + Quote(fsx);
  const std::string zip = Quote(dir / "Veldrin_172.zip");
  const std::string cfg = fsx + "/SimObjects/Airplanes/Veldrin 172/aircraft.cfg";
  struct Step {
    std::string args;
    int status;
    std::string output;  // found in what it prints
    bool installed;      // the aircraft is in place afterwards
  };
  const Step steps[] = {
      {"install " + zip + where + " --dry-run", 0,
       "Veldrin_172/SimObjects/Airplanes/Veldrin 172/aircraft.cfg -> "
       "SimObjects/Airplanes/Veldrin 172/aircraft.cfg\n"
       "Veldrin_172/readme.txt -> SimObjects/Airplanes/Veldrin 172/readme.txt\n",
       false},
      {"install " + zip + where + " </dev/null", 1, "run again with --yes", false},
      {"install " + zip + " --fsx " + Quote(dir / "nowhere") + " --yes", 2, "no fsx.exe", false},
      {"install " + zip + where + " --yes", 0, "2 files written", true},
      {"installed" + where, 0, "Veldrin_172\taircraft\tSimObjects/Airplanes/Veldrin 172\n", true},
      {"install " + zip + where + " --yes", 0, "2 files written", true},  // an update
      {"uninstall Veldrin_172" + where, 0, "2 files removed", false},
      {"uninstall Veldrin_172" + where, 2, "no add-on of that name is installed", false},
      {"installed" + where, 0, "", false},
  };
  for (const Step& step : steps) {
    const RunResult run = Shell(env + Vzip(step.args));
    EXPECT_EQ(run.status, step.status) << step.args << "\n" << run.output;
    EXPECT_NE(run.output.find(step.output), std::string::npos) << step.args << "\n" << run.output;
    EXPECT_EQ(fs::exists(cfg), step.installed) << step.args;
  }
  // What install left behind is gone with uninstall: only what the test made is there.
  EXPECT_FALSE(fs::exists(fsx + "/SimObjects/Airplanes/Veldrin 172"));
  EXPECT_TRUE(fs::exists(fsx + "/SimObjects/Airplanes"));
}

}  // namespace
}  // namespace vz::testing
