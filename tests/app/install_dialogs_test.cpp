// The add-on install through the real window: the detected entry, the plan dialog, the
// completion message and the installed add-ons' dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <cstdlib>

#include "form_test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

using namespace form_test;

// An add-on opened on the Extract page is offered as the FSX list's first entry, chosen; UnZip
// shows its plan in a dialog and installs it, and the outline's popup menu lists it for uninstall.
TEST_F(FormTest, AnAddonIsDetectedPlannedInstalledAndUninstalled) {
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  vz::testing::ZipBuilder zip;
  for (const char* name : {"Veldrin Cub/aircraft.cfg", "Veldrin Cub/model/cub.mdl"}) {
    vz::testing::ZipEntry entry;
    entry.name = name;
    entry.data = {'x'};
    zip.entries.push_back(entry);
  }
  vz::testing::WriteFile(dir / "cub.zip", zip.Build());
  Drop(Get("ZipViewer"), {dir / "cub.zip"});
  auto* fsx = Get<QComboBox>("cbxFSXFolder");
  EXPECT_EQ(fsx->itemText(0).toStdString(),
            "Add-on's own folders (detected: aircraft \"Veldrin Cub\")");
  EXPECT_EQ(fsx->count(), 14);
  EXPECT_EQ(fsx->currentIndex(), 0);
  EXPECT_TRUE(Get<QCheckBox>("cbUseFSXFolder")->isChecked());

  std::string parts;
  SeenBox done;
  Modals modals({[&](QWidget* w) {
                   ASSERT_EQ(w->objectName(), "InstallPlanDialog");
                   parts = w->findChild<QLabel*>("planParts")->text().toStdString();
                   w->findChild<QPushButton*>("btnInstall")->click();
                 },
                 Box(&done, "OK")});
  Click("btnUnZip");
  ASSERT_TRUE(WaitFor([&] { return modals.Done(); }));
  EXPECT_NE(parts.find("aircraft \"Veldrin Cub\": SimObjects/Airplanes/Veldrin Cub"),
            std::string::npos)
      << parts;
  EXPECT_EQ(done.text.rfind("Add-on installed: \"cub\"", 0), 0u) << done.text;
  const std::string cfg = dir / "prefix/drive_c/FSX/SimObjects/Airplanes/Veldrin Cub/aircraft.cfg";
  EXPECT_TRUE(fs::exists(cfg));

  SeenBox uninstalled;
  Modals list({[&](QWidget* w) {
                 ASSERT_EQ(w->objectName(), "InstalledAddonsDialog");
                 auto* addons = w->findChild<QListWidget*>("addonList");
                 ASSERT_EQ(addons->count(), 1);
                 addons->setCurrentRow(0);
                 w->findChild<QPushButton*>("btnUninstall")->click();
               },
               Box(&uninstalled, "OK")});
  form->findChild<QAction*>("mnuInstalledAddons")->trigger();
  ASSERT_TRUE(WaitFor([&] { return list.Done(); }));
  EXPECT_EQ(uninstalled.text.rfind("Add-on uninstalled: \"cub\"", 0), 0u) << uninstalled.text;
  EXPECT_FALSE(fs::exists(cfg));
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace vz
